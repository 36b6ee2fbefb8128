// Measures a database found inside a larger file (a disk image) by its own
// structure, for a database whose header does not state its size: the
// highest page that its b-trees, overflow chains and freelist lead to.
//
// Only pages that lie whole inside the file are read. A page counts as part
// of the database when it was reached through the structure and looks like
// what its pointer promised (a b-tree page has a b-tree page type); a
// freelist leaf counts when a freelist trunk names it. A pointer to a page
// past the end of the file is remembered, so the caller can tell a database
// cut off by the end of the image from one that ends inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "engine/SourceFile.h"

class CSqliteExtent {
public:
    // Page 1 starts at `start` in `file`, which holds `fileLength` bytes.
    CSqliteExtent(const CSourceFile& file, std::uint64_t fileLength, std::uint64_t start,
                  std::uint32_t pageSize, std::uint32_t usableSize);

    // Walks the schema tree, every tree it names, their overflow chains and
    // the freelist whose first trunk page and page count the header gives.
    void Walk(std::uint32_t firstTrunk, std::uint32_t freelistCount);

    // The highest page found in place; 0 when not even page 1 was.
    std::uint32_t LastPage() const { return m_lastPage; }
    // True when the structure named a page past the end of the file.
    bool PointsPastEnd() const { return m_pointsPastEnd; }
    // True when the walk stopped at its page limit (kMaxWalkedPages): a
    // crafted image could otherwise make every header in it walk the whole
    // image. The length found so far is then a lower bound.
    bool WalkCut() const { return m_walkCut; }

    static constexpr std::size_t kMaxWalkedPages = 1 << 20;

private:
    // Marks a page as entered; false for page 0, a page entered before, or
    // a page past the end of the file (which is remembered).
    bool Enter(std::uint32_t page);
    bool ReadPage(std::uint32_t page, std::vector<std::uint8_t>& buffer) const;
    void Prove(std::uint32_t page);
    void WalkTree(std::uint32_t root, bool schema);
    void WalkCell(std::uint32_t cellOffset, std::uint8_t pageType, bool schema,
                  std::vector<std::uint32_t>& children);
    void WalkOverflow(std::uint32_t first, std::uint64_t overflowBytes);
    void WalkFreelist(std::uint32_t trunk, std::uint32_t count);
    // Takes the rootpage column of one schema record from its local bytes.
    void NoteRootPage(const std::uint8_t* payload, std::uint32_t localSize);

    const CSourceFile& m_file;
    std::uint64_t m_start;
    std::uint32_t m_pageSize;
    std::uint32_t m_usableSize;
    std::uint32_t m_availablePages;  // whole pages between start and the file's end
    std::uint32_t m_lastPage = 0;
    bool m_pointsPastEnd = false;
    bool m_walkCut = false;
    std::unordered_set<std::uint32_t> m_entered;
    std::vector<std::uint32_t> m_roots;  // trees named by the schema, not yet walked
    std::vector<std::uint8_t> m_page;      // the b-tree page being walked
    std::vector<std::uint8_t> m_chainPage; // an overflow or freelist page
};
