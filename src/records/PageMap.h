// The layout of one database page: which of its bytes are the file header,
// the page header, the cell pointer array, each cell, each freeblock,
// unallocated space and reserved bytes, or the data of an overflow or
// freelist page. The regions cover the page from 0 to its size exactly
// once, in order.
//
// B-tree page (its header at 100 on page 1, at 0 elsewhere):
//   offset size  meaning
//        0    1  page type: 2, 5, 10, 13 (index interior, table interior,
//                index leaf, table leaf)
//        1    2  first freeblock, 0 for none
//        3    2  number of cells
//        5    2  start of the cell content area (0 means 65536)
//        7    1  fragmented free bytes
//        8    4  right-most child (interior pages only)
//   then the cell pointer array: one 2-byte offset per cell.
// Freeblock: next freeblock (2 bytes, 0 at the end), its size (2 bytes).
// Overflow page: next page (4 bytes), then payload.
// Freelist trunk page: next trunk (4 bytes), leaf count (4 bytes), then
// that many 4-byte leaf page numbers.
// The last "reserved bytes" (header offset 20) of every page are not b-tree
// content.
//
// A damaged page is never read past its size: offsets outside the page are
// dropped, and where two structures claim a byte the one listed first in
// PageRegionKind keeps it (cells among themselves: the lower cell index);
// each such conflict is a fault line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PageRegionKind : std::uint8_t {
    kFileHeader,
    kPageHeader,
    kCellPointers,
    kReserved,
    kCell,
    kFreeblock,
    kOverflowData,
    kFreelistData,
    kUnallocated,
};

enum class PageKind : std::uint8_t {
    kTableLeaf,
    kTableInterior,
    kIndexLeaf,
    kIndexInterior,
    kOverflow,
    kFreelistTrunk,
    kFreelistLeaf,
    kUnknown,
};

struct PageRegion {
    PageRegionKind kind;
    std::uint32_t start;
    std::uint32_t end;   // one past the last byte
    std::int32_t cell;   // index in the cell pointer array, -1 for other kinds
};

class CPageMap {
public:
    // What the walk of the freelist and of the live cells' overflow chains
    // says the page is (CPageRoles): kOverflow, kFreelistTrunk,
    // kFreelistLeaf, or kUnknown for a page in neither, read as a b-tree
    // page when its type byte names one. `overflowBytes` is how many payload
    // bytes an overflow page holds.
    struct Role {
        PageKind kind = PageKind::kUnknown;
        std::uint32_t overflowBytes = 0;
    };

    // Lays out the `size` bytes of page `pageNumber`; `usableSize` is the
    // page size less the reserved bytes.
    void Build(const std::uint8_t* page, std::uint32_t size, std::uint32_t usableSize,
               std::uint32_t pageNumber, Role role);

    PageKind Kind() const { return m_kind; }
    const std::vector<PageRegion>& Regions() const { return m_regions; }
    // Offsets outside the page and bytes claimed twice, one line each.
    const std::vector<std::u16string>& Faults() const { return m_faults; }
    // The region holding byte `offset`, or null past the page.
    const PageRegion* RegionAt(std::uint32_t offset) const;

    static const char* KindName(PageKind kind);
    static const char* RegionName(PageRegionKind kind);

private:
    // Claims [start, end) for a region; bytes already claimed keep their
    // owner and the conflict is reported.
    void Claim(PageRegionKind kind, std::uint32_t start, std::uint32_t end, std::int32_t cell);
    void LayOutBtreePage(const std::uint8_t* page, std::uint32_t headerOffset);
    void LayOutCells(const std::uint8_t* page, std::uint32_t headerOffset,
                     std::uint32_t cellCount);
    void LayOutFreeblocks(const std::uint8_t* page, std::uint32_t headerOffset);
    void LayOutFreelistTrunk(const std::uint8_t* page);
    // Turns the byte owners into regions; unclaimed bytes are unallocated.
    void CollectRegions();
    void Fault(std::u16string text);

    PageKind m_kind = PageKind::kUnknown;
    std::uint8_t m_type = 0;  // the b-tree page type byte
    std::uint32_t m_pageNumber = 0;
    std::uint32_t m_size = 0;
    std::uint32_t m_usable = 0;
    // Per byte: the index into m_claims of its owner, or -1.
    std::vector<std::int32_t> m_owner;
    // Per byte: a step towards the next unclaimed byte (itself when free).
    std::vector<std::uint32_t> m_next;
    std::vector<PageRegion> m_claims;
    std::vector<PageRegion> m_regions;
    std::vector<std::u16string> m_faults;
};

// Where one cell's parts lie. `extent` is the bytes the cell takes (its
// header, local payload and, when the payload overflows, the 4-byte number
// of the first overflow page), at least 4 as SQLite counts it.
struct CellLayout {
    std::uint32_t extent = 0;
    std::uint64_t payloadSize = 0;   // 0 on table interior pages
    std::uint32_t payloadStart = 0;  // offset in the page
    std::uint32_t localSize = 0;     // payload bytes kept in the page
    std::uint32_t overflowPage = 0;  // 0 when the payload fits
};

// Reads the layout of the cell at `offset` of a b-tree page of type
// `pageType` whose first `usable` bytes are b-tree content. False when the
// cell's fixed fields or varints run past them; a local payload that does
// is cut at `usable`.
bool ReadCellLayout(const std::uint8_t* page, std::uint32_t usable, std::uint32_t offset,
                    std::uint8_t pageType, CellLayout& cell);

// True for the four b-tree page type bytes.
bool IsBtreePageType(std::uint8_t type);
