#pragma once

#include <cstdint>

#include "engine/DbInfo.h"

class CSqliteParser;

// Bytes of payload that the overflow chain starting at `firstPage` can hold
// (usable size − 4 per page), following at most `maxPages` pages. The walk
// ends at page number 0 or 1, at a page the parser's current b-tree walk has
// already entered (earlier in this chain, as a tree page or in another
// cell's chain), at a page that cannot be read, and after as many pages as
// the file holds.
std::uint64_t MeasureOverflowChain(CSqliteParser& parser, std::uint32_t firstPage,
                                   const DbInfo& db, std::uint64_t maxPages);

// The payload split of the file format: how many bytes of a payload of
// `payloadSize` bytes are kept in the b-tree page itself.
std::uint32_t LocalPayloadSize(std::uint64_t payloadSize, std::uint32_t usableSize,
                               bool tableLeaf);
