// The order of a sorted record list: empty values first, then numbers by
// value, then texts by code point; equal values keep the shown order (live
// rows last read first, then the recovered ones). Long lists are sorted on
// two processors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/TableRows.h"

// The rows' indexes (live first, then recovered, as CTableRows numbers
// them) of the first `liveShown` and `recoveredShown` shown rows, sorted by
// `column`, ascending or descending.
std::vector<std::uint32_t> SortedRecordOrder(const CTableRows& rows, std::size_t liveShown,
                                             std::size_t recoveredShown, int column, bool ascending);
