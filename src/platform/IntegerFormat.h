// Decimal text of a 64-bit integer, exactly as std::to_chars writes it, in
// fewer steps for the long values tables hold (times in milliseconds, ids):
// the digits are taken eight at a time with 32-bit arithmetic.
#pragma once

#include <cstdint>

// Writes the text at `first` (room for kIntegerMax characters) and returns
// its end.
constexpr int kIntegerMax = 20;
char* WriteLongInteger(char* first, std::int64_t value);
inline char* WriteInteger(char* first, std::int64_t value)
{
    if (static_cast<std::uint64_t>(value) < 10) {  // flags and small counts: in line
        *first = static_cast<char>('0' + value);
        return first + 1;
    }
    return WriteLongInteger(first, value);
}
