// The number of cells a b-tree page header claims (2 bytes at offset 3),
// as every walker of the file reads it.
#pragma once

#include <algorithm>
#include <cstdint>

// A page of `usable` bytes holds at most (usable - 8) / 6 cells: each takes
// its two-byte pointer and at least four bytes of content, past a header of
// eight bytes or more, as SQLite's own b-tree code bounds the count. A
// damaged count is clamped to that, which keeps the cell pointer array
// inside the page.
inline std::uint32_t ClampCellCount(std::uint32_t claimed, std::uint32_t usable)
{
    return std::min<std::uint32_t>(claimed, usable < 8 ? 0 : (usable - 8) / 6);
}
