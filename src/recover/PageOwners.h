// Whose each page of the database is, as the scans need to know it: the
// tree of a live table, the schema tree, the freelist. One walk of each
// tree and one walk of the freelist serve every scan; with a log, the
// main file's own trees tell whose each page was at the last checkpoint.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/PageSource.h"
#include "recover/SchemaFit.h"

// Called for each table leaf and interior page of a walk: page number,
// page bytes, b-tree header offset.
using PageVisit = std::function<void(std::uint32_t, const std::uint8_t*, std::uint32_t)>;

// Walks a table b-tree (an index b-tree with `index`: a WITHOUT ROWID
// table's) depth first from `root`, right-most child first.
// A page is queued only when it is neither 0 nor past `lastPage`, no
// deeper than any valid tree, and `enter` (which marks it) says it is new:
// each is queued once however many cells point at it.
void WalkTableTree(std::uint32_t root, std::uint64_t lastPage, std::uint32_t usable,
                   const std::function<bool(std::uint32_t)>& enter,
                   const std::function<bool(std::uint32_t, std::vector<std::uint8_t>&)>& read,
                   const PageVisit& onPage, bool index = false);

// Walks a table b-tree of the main file itself, past any log.
void WalkFileTree(CPageSource& source, const DbInfo& db, std::uint32_t root, const PageVisit& onPage,
                  bool index = false);

// The freelist as one walk read it: each trunk page with its leaf page
// numbers, and the trunk number that ended the walk (0 at the list's end).
struct FreelistWalk {
    struct Trunk {
        std::uint32_t page = 0;
        std::vector<std::uint32_t> leaves;
    };
    std::vector<Trunk> trunks;
    std::uint32_t end = 0;
};

class CPageOwners {
public:
    static constexpr int kNone = -1;
    static constexpr int kSchemaTree = -2;
    static constexpr int kFreelistPage = -3;

    // Every page of the database shown, 1 to `pageCount`, back to no owner.
    void Reset(std::uint64_t pageCount);
    std::uint64_t PageCount() const { return m_pageCount; }
    // By page number (1 to PageCount()): a schema index, or kNone,
    // kSchemaTree, kFreelistPage.
    int Owner(std::uint32_t page) const { return m_owner[page]; }
    void SetOwner(std::uint32_t page, int owner) { m_owner[page] = owner; }

    // Walks the b-tree at `root` of the database shown, marking its pages
    // with `owner`; a page already marked is not entered again.
    void WalkTree(CPageSource& source, std::uint32_t usable, std::uint32_t root, int owner,
                  const PageVisit& onPage, bool index = false);

    // Walks the freelist once, marking its leaf pages that no tree walked
    // so far holds (overflow chains of deleted records are read only
    // through them).
    void ReadFreelist(CPageSource& source, std::uint32_t usable);
    const FreelistWalk& Freelist() const { return m_freelist; }
    bool IsFreelistLeaf(std::uint32_t page) const
    {
        return page < m_freelistLeaf.size() && m_freelistLeaf[page] != 0;
    }

    // Marks the main file's own pages with the tables its own schema gave
    // them: `fileRoots` holds each table's name and root page there.
    void MapFileTrees(CPageSource& source, const DbInfo& db,
                      const std::vector<std::pair<std::u16string, std::uint32_t>>& fileRoots,
                      const std::vector<RecoverSchema>& schemas);
    // The schema index the main file's own tree gave a page, or -1.
    int FileOwner(std::uint32_t page) const
    {
        return page < m_fileOwner.size() ? m_fileOwner[page] : -1;
    }

private:
    std::uint64_t m_pageCount = 0;
    std::vector<int> m_owner;
    std::vector<std::uint8_t> m_freelistLeaf;  // by page number: 1 on the freelist as a leaf
    FreelistWalk m_freelist;
    std::vector<int> m_fileOwner;
};
