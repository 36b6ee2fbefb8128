// The engine object: reads one SQLite database file page by page, with no
// database library, and reports every fault as a log line.
//
// Opening a database walks the schema b-tree rooted at page 1 and appends a
// DbInfo with its tables to g_dbList; reading a table walks that table's
// b-tree and leaves one row per record in m_rows (one arena per table).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/CellMap.h"
#include "engine/DbInfo.h"
#include "engine/RowArena.h"
#include "engine/RowCells.h"
#include "engine/RowSink.h"
#include "engine/PageSource.h"
#include "platform/WindowMessage.h"

// B-tree page types.
enum PageType : std::uint8_t {
    kIndexInterior = 2,
    kTableInterior = 5,
    kIndexLeaf = 10,
    kTableLeaf = 13,
};

class CRowDecodePool;

class CSqliteParser {
public:
    CSqliteParser() = default;
    CSqliteParser(const CSqliteParser&) = delete;
    CSqliteParser& operator=(const CSqliteParser&) = delete;

    // Opens the file at `path`, validates its header, walks the schema tree
    // and appends the result to g_dbList (also a file refused as not a
    // database; not a file that cannot be opened).
    void OpenDatabase(const std::u16string& path);
    // The same for a file name given as bytes (a command-line argument): the
    // file opened is exactly the one named; DbInfo.path shows the name with
    // any invalid UTF-8 as U+FFFD.
    void OpenDatabase(const std::string& nativePath);
    // Reads m_pTable of m_pDb into m_rows.
    void ReadTable();
    // Opens the pages of `db` in m_pageSource, with a hot journal rolled back
    // over them when m_bUseJournal or the database's withJournal is set, and
    // the log laid over them when m_bUseWal or the database's withWal is set (its lines were posted when the database was
    // opened). False when the file cannot be opened.
    bool OpenPages(const DbInfo& db);

    // Validates the header of the open file; returns the page size, or 0
    // when the file is not a database. Fills the reserved-bytes and text
    // encoding fields of *m_pDb.
    std::uint32_t ReadHeaderPageSize();

    // The b-tree walk. `page` holds `length` bytes of page `pageNumber`;
    // `headerOffset` is 100 on page 1 and 0 elsewhere. Results: 0 handled or
    // stopped, 2 unrecognised page type.
    int ParsePage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                  std::uint32_t pageNumber, std::uint32_t headerOffset);
    int ParseInteriorPage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                          std::uint32_t pageNumber, std::uint32_t headerOffset);
    int ParseLeafPage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                      std::uint32_t pageNumber, std::uint32_t headerOffset);
    // Decodes every live cell of a leaf page; `cells` bounds each cell by
    // the entry after it.
    void ParseCells(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                    std::uint32_t pageNumber, std::uint8_t pageType, const CellMap& cells);
    // Decodes the key record of one index interior cell (the rows of a
    // WITHOUT ROWID table live in interior cells too).
    void ParseIndexInteriorCell(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                                std::uint32_t pageNumber, std::uint16_t cellOffset);
    // Marks an overflow page as entered in the current walk. False when the
    // walk has entered it before, as a b-tree page or in another chain: in a
    // sound file every page has one owner, and a damaged file whose cells
    // all share one long chain would otherwise cost a full chain per cell.
    bool EnterOverflowPage(std::uint32_t pageNumber);

    HWND m_hLogWnd = nullptr;
    HWND m_hProgressWnd = nullptr;
    HWND m_hResultWnd = nullptr;
    TableInfo* m_pTable = nullptr;
    DbInfo* m_pDb = nullptr;
    // The open database: every page read goes through it.
    CPageSource m_pageSource;
    std::uint32_t m_bSchemaMode = 1;
    // When set, the committed pages of the database's write-ahead log are
    // laid over its file; otherwise a non-empty log only gets a warning.
    bool m_bUseWal = false;
    // When set, a hot rollback journal beside the database is rolled back
    // over its file (read only); otherwise a non-empty journal only gets a
    // warning.
    bool m_bUseJournal = false;
    // The rows of the last table read, in walk order; views into them
    // stay valid until the next read clears them.
    RowArena m_rows;
    // When set, a table read into m_rows holds numbers and blobs in their
    // bytes rather than their display text (smaller, and formatted only
    // when shown): read such rows through RowValues::Text(), Wide() or
    // ToVector(), not operator[].
    bool m_bPackHeldValues = false;
    // Where each row of m_rows was read: its page and its cell's offset.
    using RowCell = RowCells::Cell;
    RowCells m_rowCells;
    // When set, a table read hands each row to it instead of m_rows.
    CRowSink* m_pRowSink = nullptr;
    // The sink whose RowWanted a table read asks when m_pRowSink is not set
    // (a decoding thread's parser, whose rows go back to the walk's sink).
    const CRowSink* m_pRowFilter = nullptr;
    // Threads a table read into m_rows decodes its records on, beside the
    // walk: 0 one per processor (see CRowDecodePool), 1 none (the walk
    // decodes each record itself). The rows, their places and the log
    // lines are the same either way. A recovery scans the free space of the
    // live tables' pages on as many threads (see CPageScanPool).
    unsigned m_nDecodeThreads = 0;

private:
    struct Payload;
    void OpenDatabase(DbInfo& db);
    // Fills `log` from the log the open attached.
    void NoteLog(LogInfo& log) const;
    // Gives the rows a cell has just added to m_rows its place.
    void NoteRowCell(std::uint32_t pageNumber, std::uint16_t cellOffset)
    {
        if (m_pRowSink == nullptr && m_bSchemaMode == 0)
            m_rowCells.resize(m_rows.size(), RowCell{pageNumber, cellOffset});
    }
    // Hands each sound cell offset of a page's cell pointer array to
    // `onCell`, in array order; reports the others.
    template <typename OnCell>
    void ForEachCellPointer(const DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                            std::uint32_t pageNumber, std::uint32_t headerOffset, bool interior,
                            OnCell onCell);
    // Reads page `pageNumber` into `buffer` (resized to the page size).
    bool ReadPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer)
    {
        return m_pageSource.ReadPage(pageNumber, buffer);
    }
    // Guards of the walk: every page is entered at most once per walk, and
    // the walk goes no deeper than any valid tree.
    bool EnterChild(std::uint32_t parent, int slotOffset, std::uint32_t child);
    void ResetWalk();
    // Reads one cell's payload (in place, or assembled from its overflow
    // chain) and hands it to the record decoder.
    void DecodeCellPayload(DbInfo& db, const std::uint8_t* page, std::uint32_t pageNumber,
                           std::uint16_t cellOffset, std::uint32_t payloadStart,
                           std::uint32_t boundary, std::uint64_t payloadSize, bool tableCell,
                           int sizeLength, int rowidLength, std::int64_t rowid);
    // Hands the record of a cell to the decoder, or to the decode pool of
    // the read under way, and notes where its rows came from.
    void HandRecord(DbInfo& db, const std::uint8_t* record, std::uint32_t length,
                    std::uint32_t pageNumber, std::uint16_t cellOffset, int sizeLength,
                    int rowidLength, std::int64_t rowid);
    void PostError(const std::u16string& text);
    void PostStop();

    CRowDecodePool* m_pDecodePool = nullptr;  // set while ReadTable() walks
    CellMap m_cellMap;             // the current leaf page's map, reused
    std::vector<bool> m_visited;   // pages entered during the current walk
    int m_depth = 0;
};

// Empties the g_dbList entry whose address is `address` (if any), then the
// parser's rows.
void CloseDatabase(CSqliteParser& parser, std::uint64_t address);

// Deepest b-tree the walk follows; SQLite itself refuses trees deeper
// than 20 levels.
constexpr int kMaxTreeDepth = 40;
