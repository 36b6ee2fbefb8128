// The text of a value of m_rows held packed (see ValueWriters.h).
#pragma once

#include <cstddef>
#include <string_view>

// The display text of a value as m_rows holds it: a text as it is, a
// number or blob held packed (CSqliteParser::m_bPackHeldValues) written
// out in `room`, exactly as it would have been held as text.
constexpr std::size_t kHeldTextRoom = 128;
std::string_view HeldValueText(std::string_view held, char (&room)[kHeldTextRoom]);
