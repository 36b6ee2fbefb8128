// Which pages of a database are freelist trunk or leaf pages and which are
// overflow pages of a live cell: what a page's own bytes cannot say. The
// freelist is walked from the database header (offset 32: first trunk
// page); the overflow chains from every live cell of every b-tree the
// schema names (and the schema's own, rooted at page 1).
//
// Every walk is bounded: a page is entered once, trees are followed no
// deeper than kMaxTreeDepth, chains end at a page outside the database.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "records/PageMap.h"

class CPageSource;

class CPageRoles {
public:
    // `source` is open with its page size set; `usableSize` is the page size
    // less the reserved bytes. Nothing is read until a role is asked for.
    CPageRoles(CPageSource& source, std::uint32_t usableSize);

    // The role of page `pageNumber`, whose bytes are `page` (`size` bytes):
    // a freelist page by the freelist walk; else a page whose type byte
    // names a b-tree page is kUnknown (CPageMap reads it as such); else an
    // overflow page when a live cell's chain holds it. The overflow walk
    // reads every b-tree and runs once, when first needed.
    CPageMap::Role RoleOf(std::uint32_t pageNumber, const std::uint8_t* page, std::uint32_t size);

    // Reads page `pageNumber` into `page` (the page size) and lays it out
    // in `map` by its role. False when the database has no such page.
    bool MapPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& page, CPageMap& map);

private:
    void ReadFreelist();
    void ReadOverflowChains();
    void WalkTree(std::uint32_t pageNumber, int depth, std::vector<std::uint32_t>* roots);
    void WalkCell(const std::uint8_t* page, std::uint32_t usable, std::uint32_t offset,
                  std::uint8_t type, std::vector<std::uint32_t>* roots);
    void WalkOverflowChain(std::uint32_t firstPage, std::uint64_t bytes);
    // True the first time a page is entered by the tree and chain walk.
    bool Enter(std::uint32_t pageNumber);

    CPageSource& m_source;
    std::uint32_t m_usable;
    bool m_freelistRead = false;
    bool m_overflowRead = false;
    std::unordered_map<std::uint32_t, PageKind> m_freelist;
    std::unordered_map<std::uint32_t, std::uint32_t> m_overflow;  // page -> payload bytes it holds
    std::unordered_set<std::uint32_t> m_entered;
};
