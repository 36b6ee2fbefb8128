#include "recover/LeafScan.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "records/OverflowChain.h"
#include "records/Varint.h"

namespace {

using Ranges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The cell pointer array of a page, as the page header lays it out.
struct CellArray {
    std::uint32_t start = 0;  // first pointer
    std::uint32_t count = 0;
    std::uint32_t end = 0;    // first byte after the array, within the page
    bool interior = false;
    bool index = false;       // an index b-tree page: cells without a rowid
};

CellArray CellArrayOf(const PageBytes& bytes, std::uint32_t h)
{
    CellArray array;
    array.count = ClampCellCount(Get16(bytes.page, bytes.usable, h + 3).value_or(0), bytes.usable);
    const std::uint8_t type = bytes.page[h];
    array.interior = type == kTableInterior || type == kIndexInterior;
    array.index = type == kIndexLeaf || type == kIndexInterior;
    array.start = h + (array.interior ? 12 : 8);
    array.end = std::min<std::uint64_t>(bytes.usable, array.start + 2ull * array.count);
    return array;
}

std::uint32_t CellPointer(const PageBytes& bytes, const CellArray& array, std::uint32_t k)
{
    return Get16(bytes.page, bytes.usable, array.start + 2 * k).value_or(0);
}

// Where the page's cells begin, in ascending order.
std::vector<std::uint32_t> CellStarts(const PageBytes& bytes, const CellArray& array)
{
    std::vector<std::uint32_t> starts;
    for (std::uint32_t k = 0; k < array.count; ++k) {
        const std::uint32_t c = CellPointer(bytes, array, k);
        if (c >= array.end && c < bytes.usable)
            starts.push_back(c);
    }
    std::sort(starts.begin(), starts.end());
    return starts;
}

// The bytes live cells hold, as [start, end) ranges in ascending order.
Ranges LiveCells(const PageBytes& bytes, const CellArray& array)
{
    const std::uint32_t usable = bytes.usable;
    Ranges cells;
    for (std::uint32_t k = 0; k < array.count; ++k) {
        const std::uint32_t c = CellPointer(bytes, array, k);
        std::uint64_t payload = 0;
        std::uint64_t rowid = 0;
        std::uint32_t p = 0;
        std::uint32_t r = 0;
        // A table interior cell: left child, rowid.
        if (array.interior && !array.index && c >= array.end &&
            ReadVarintAt(bytes.page, usable, c + 4, rowid, r)) {
            cells.push_back({c, c + 4 + r});
            continue;
        }
        // An index interior cell begins with its left child.
        const std::uint32_t child = array.interior ? 4 : 0;
        if ((array.interior && !array.index) || c < array.end ||
            !ReadVarintAt(bytes.page, usable, c + child, payload, p) ||
            (!array.index && !ReadVarintAt(bytes.page, usable, c + p, rowid, r)))
            continue;
        const std::uint32_t local = LocalPayloadSize(payload, usable, !array.index);
        const std::uint64_t size = child + p + r + std::uint64_t(local) + (local < payload ? 4 : 0);
        cells.push_back({c, static_cast<std::uint32_t>(std::min<std::uint64_t>(usable, c + size))});
    }
    std::sort(cells.begin(), cells.end());
    return cells;
}

// The freeblock chain as [start, end) ranges; a chain that loops or
// leaves the page ends.
Ranges FreeblockChain(const PageBytes& bytes, std::uint32_t h, std::uint32_t arrayEnd,
                      std::uint32_t pageNumber, HWND log)
{
    const std::uint32_t usable = bytes.usable;
    Ranges freeblocks;
    for (std::uint32_t f = Get16(bytes.page, usable, h + 1).value_or(0); f != 0 && freeblocks.size() < usable / 4;) {
        const auto next = Get16(bytes.page, usable, f);
        const auto size = Get16(bytes.page, usable, f + 2);
        if (f < arrayEnd || !next || !size || *size < 4 || *size > usable - f ||
            (*next != 0 && *next <= f)) {
            PostLog(log, u"warning",
                    WideFormat(u"recover: page %u: freeblock at offset %u is not sound, chain ends",
                               {pageNumber, f}),
                    kLogWarning);
            break;
        }
        freeblocks.push_back({f, f + *size});
        f = *next;
    }
    return freeblocks;
}

}  // namespace

void ScanLeaf(CRegionScan& scan, const PageBytes& bytes, std::uint32_t headerOffset, bool withCells,
              std::uint32_t pageNumber, HWND log)
{
    const CellArray array = CellArrayOf(bytes, headerOffset);
    scan.SetIndexCells(array.index, array.index && array.interior ? 4 : 0);
    // With its cells, the whole page past the array is scanned; else what
    // lies between the live cells.
    Ranges cells;
    if (withCells)
        scan.SetCellStarts(CellStarts(bytes, array));
    else
        cells = LiveCells(bytes, array);
    const Ranges freeblocks = FreeblockChain(bytes, headerOffset, array.end, pageNumber, log);
    std::uint32_t x = array.end;
    for (const auto& [start, end] : cells) {
        if (start > x)
            scan.ScanRegion(x, start, freeblocks);
        x = std::max(x, end);
    }
    if (x < bytes.usable)
        scan.ScanRegion(x, bytes.usable, freeblocks);
}
