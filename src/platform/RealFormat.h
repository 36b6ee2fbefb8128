// The shortest text that reads back as the same double, exactly as
// std::to_chars(first, last, value) writes it, but faster for the common
// stored reals: those of at most fifteen significant digits whose shortest
// form is fixed-point ("3.25", "-0.001", "123456.789"). Every other value
// is left to std::to_chars.
#pragma once

#include <cstddef>

// Writes the text at `first` (room for kShortestRealMax characters) and
// returns its end.
constexpr std::size_t kShortestRealMax = 32;
char* WriteShortestReal(char* first, double value);
