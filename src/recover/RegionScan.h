// The scan of a byte range of one page for records of known tables: at
// each offset an intact cell or a freed cell's head (RecordShapes) is
// tried against every schema of the page, the one whose columns fit best
// wins, and the scan goes on after the record found.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "recover/RecordShapes.h"
#include "recover/SchemaFit.h"

// Receives the records a scan finds.
class CRecordFound {
public:
    virtual ~CRecordFound() = default;
    // `offset` is where the record's cell or freeblock begins; `inFreeblock`
    // when that lies in a freeblock of the page's chain; `atCell` when a
    // live cell of the page's own cell pointer array begins there.
    virtual void OnFound(int schema, const RecordParse& parse, std::uint32_t offset,
                         bool inFreeblock, bool atCell) = 0;
};

class CRegionScan : public CRecordEnds {
public:
    CRegionScan(const std::vector<RecoverSchema>& schemas, PageBytes bytes, CRecordFound& found)
        : m_schemas(schemas), m_bytes(bytes), m_found(found)
    {
    }

    // The schemas records of this page are tried against, best first.
    void SetSchemas(std::vector<int> order);
    // Where the cells of the page's own cell pointer array begin, in
    // ascending order: set when a whole page is read with its cells. The
    // array is the newest layout of the page, so a record reaching over one
    // of them had its tail overwritten by that cell and is not read whole.
    void SetCellStarts(std::vector<std::uint32_t> starts) { m_cellStarts = std::move(starts); }
    // The page is an index b-tree page (a WITHOUT ROWID table's): only
    // whole index cells are read, each after `childPointer` bytes (4 on an
    // interior page, whose cells begin with their left child).
    void SetIndexCells(bool index, std::uint32_t childPointer)
    {
        m_indexCells = index;
        m_cellPrefix = childPointer;
    }

    // Scans [from, to) of the page; `freeblocks` are the (start, end) pairs
    // of the page's freeblock chain, in ascending order.
    void ScanRegion(std::uint32_t from, std::uint32_t to,
                    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& freeblocks);

    // True when a record ending at `end` is followed by what a freed cell
    // run can hold: the region's end or another whole cell; unless `strict`,
    // also a fragment or another freed cell whose own freeblock header was
    // later merged into the one before it. With `sized` the record's length
    // was chosen to fit, so reaching the region's end proves nothing unless
    // a freeblock header put the end there (the region may end where newer
    // cells cut an old one short).
    bool EndsCleanly(const RecoverSchema& schema, std::uint32_t end, std::uint32_t limit, bool strict,
                     bool sized) override;

private:
    using Freeblocks = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    // Tries every schema at x, intact cell or freeblock head.
    bool TryEach(std::uint32_t x, std::uint32_t limit, bool head, RecordParse& best, int& bestSchema);
    bool TryEachCell(std::uint32_t x, std::uint32_t limit, RecordParse& best, int& bestSchema);
    // A freed index entry whose first four bytes hold a freeblock header.
    bool TryEachEntryHead(std::uint32_t f, std::uint32_t limit, RecordParse& best, int& bestSchema);
    // The cells at x after `prefix` bytes, against the schemas of index
    // entries alone when `entriesOnly`.
    bool TryCellsAt(std::uint32_t x, std::uint32_t limit, std::uint32_t prefix, bool entriesOnly,
                    RecordParse& best, int& bestSchema);
    bool EntryEndsCleanly(const RecoverSchema& schema, std::uint32_t limit);
    bool TryCell(const RecoverSchema& schema, std::uint32_t x, std::uint32_t limit, RecordParse& parse);
    // A freed cell whose first four bytes hold a freeblock header.
    bool TryFreeblockHead(const RecoverSchema& schema, std::uint32_t f, std::uint32_t limit,
                          RecordParse& parse);
    bool TryHeaderWhole(const RecoverSchema& schema, std::uint32_t f, std::uint32_t limit,
                        RecordParse& parse, std::optional<RecordParse>& fallback);
    // True when a cell of the page's cell pointer array begins inside (x, end).
    bool OverlapsCell(std::uint32_t x, std::uint32_t end) const;
    // True when x begins a run of offsets an older cell pointer array left.
    bool InPointerRun(std::uint32_t x, std::uint32_t to) const;
    // Sets the limit of a record tried at x and where a head there ends.
    std::uint32_t HeadLimit(std::uint32_t x, std::uint32_t to, const Freeblocks& freeblocks,
                            std::size_t next, bool& freeStart, bool& staleHead);

    const std::vector<RecoverSchema>& m_schemas;
    PageBytes m_bytes;
    CRecordFound& m_found;
    std::vector<int> m_order;
    std::vector<int> m_sameAs;  // by position in m_order: an earlier twin, or -1
    std::size_t m_maxColumns = 0;
    bool m_entries = false;  // index entries are among the records read
    bool m_inFree = false;   // the offset tried lies in a freeblock of the chain
    const Freeblocks* m_freeblocks = nullptr;  // the chain of the region scanned
    std::vector<std::uint32_t> m_cellStarts;
    bool m_indexCells = false;
    std::uint32_t m_cellPrefix = 0;
    std::uint32_t m_headEnd = 0;  // where the freeblock tried as a head says it ends
    std::uint32_t m_cutEnd = 0;   // where a record tried as a head may have been cut, or 0
    // Scratch records, kept so that the byte-by-byte scan allocates nothing.
    RecordParse m_foundParse, m_cell, m_head, m_next, m_trial;
    // By offset: 0 not asked yet, 1 no cell of any table starts there, 2 one may.
    std::vector<std::uint8_t> m_noCell;
};
