// The rows a table window shows: the live rows the table read left in its
// parser (m_rows, with the page and cell of each in m_rowCells), then the
// records recovery found for the same table. Every row has the table's
// columns and four more after them: its state (empty for a live row, the
// source of a recovered one), its page, the offset of its cell in that page
// and the log frame it was read from.
//
// Rows are numbered live first (0 .. LiveCount()-1, as in m_rows), then
// recovered. Values are UTF-8 display texts, as in m_rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "PageReader.h"
#include "engine/DbInfo.h"
#include "engine/RowValues.h"
#include "platform/WindowMessage.h"

class CSqliteParser;
class CWalLog;
struct RecoveredRecord;

// Where a row comes from.
enum class RowSource : std::uint8_t {
    kLive,
    kFreeblock,       // a freed cell in a freeblock chain
    kUnallocated,     // between the cell pointer array and the cells
    kFreelist,        // a page on the freelist
    kWalSuperseded,   // a committed frame a later commit replaced
    kWalUncommitted,  // a valid frame after the last commit
    kWalStale,        // a frame of an earlier log (other salts)
    kWalInvalid,      // a frame past the end of the valid log
    kMainFile,        // the main file's own version of a page the log replaced
    kJournal,         // a page image of the rollback journal
};

// The text of the state column; empty for a live row.
std::u16string_view RowSourceText(RowSource source);

class CTableRows {
public:
    // The columns after the table's own.
    enum ExtraColumn { kStateColumn, kPageColumn, kOffsetColumn, kFrameColumn, kExtraColumns };
    static std::u16string_view ExtraCaption(int extra);

    struct Recovered {
        RowSource source = RowSource::kLive;
        std::uint32_t page = 0;
        std::uint64_t offset = 0;  // in the page, or in the journal
        std::uint32_t end = 0;     // first byte after the record in the page, 0 when unknown
        std::optional<std::uint32_t> frame;
        std::string texts;                // the values back to back
        std::vector<std::uint32_t> ends;  // where value i ends in texts
        std::vector<bool> lost;           // value i could not be recovered
    };

    explicit CTableRows(const CSqliteParser& parser) : m_parser(parser) {}

    // Forgets the recovered rows and the log's frames.
    void Clear();
    // Runs recovery for `table` of `db` (its own parser, so the live rows
    // stay) and keeps the records it reports for that table. With the log
    // laid over the database, live rows read from the log get their frame.
    void Recover(DbInfo& db, const TableInfo& table, HWND logWnd);
    // Keeps one recovered record; `log` (may be null) sorts a frame's
    // record into its log state.
    void Add(const RecoveredRecord& record, const CWalLog* log);

    void SetColumnCount(std::size_t columns) { m_columns = columns; }
    std::size_t ColumnCount() const { return m_columns; }
    std::size_t LiveCount() const;
    std::size_t RecoveredCount() const { return m_recovered.size(); }
    bool IsRecovered(std::size_t row) const { return row >= LiveCount(); }
    const Recovered& RecoveredRow(std::size_t i) const { return m_recovered[i]; }

    // The UTF-8 text of `column` of row `row` (table columns first, then
    // the four extra ones). A number is written into `scratch`, which must
    // outlive the use of the result; empty past the row's values.
    using Scratch = RowValues::TextRoom;
    std::string_view Text(std::size_t row, int column, Scratch& scratch) const;
    // True for a value of a recovered row whose bytes were lost.
    bool IsLost(std::size_t row, int column) const;
    // Where the row's cell lies: page and offset (0 when unknown).
    std::uint32_t Page(std::size_t row) const;
    std::uint64_t Offset(std::size_t row) const;
    std::optional<std::uint32_t> Frame(std::size_t row) const;

    // The page version a row was read from: a live row's page and a
    // record found in the free space of a page shown as the database
    // shows it, a log record's page as its frame holds it, the main file's
    // older version as the main file holds it.
    PageRef PageOf(std::size_t row) const;
    // The bytes of `row` in its page laid out in `map`: a live row's cell,
    // a recovered record from its offset to its end (or the region it
    // starts in, when its end is unknown). Empty past the page.
    std::pair<std::uint32_t, std::uint32_t> Extent(std::size_t row, const CPageMap& map) const;
    // The row whose bytes hold byte `offset` of the page version `ref`
    // laid out in `map`: a live row's cell first, then a recovered record.
    std::optional<std::size_t> RowAt(const PageRef& ref, std::uint32_t offset, const CPageMap& map) const;

private:
    const CSqliteParser& m_parser;
    std::size_t m_columns = 0;
    std::vector<Recovered> m_recovered;
    // With the log laid over the database: the frame each page shown from
    // the log was read from.
    std::unordered_map<std::uint32_t, std::uint32_t> m_pageFrames;
};
