// The shapes a deleted cell of a table leaf page leaves its record in, read
// from the bytes of a page: pure functions, no state of a scan.
//
// A freed cell was: payload size varint, rowid varint, record. Freed at
// the top of the cell content area, joined to the freeblock before it, or
// on a page freed whole, it is an intact cell: nothing is lost. Freed
// elsewhere, its first four bytes become a freeblock header (next
// freeblock, size), which overwrites the payload size, the rowid and, when
// they were short, the record's header size and first serial type. With
// the record header beginning s bytes into the freeblock (s = size varint
// + rowid varint):
//   s >= 4   the header is whole, only the payload size is lost
//   s = 3    the header size byte is lost too: serial types from f + 4
//   s = 2    the first serial type is lost as well; its value's size
//            follows from where the record must end
// And a newer cell placed at the end of the freeblock it fills takes the
// tail of an older record: only its head is read (a partial record).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/DbInfo.h"
#include "recover/SchemaFit.h"

// The bytes of one page version read for records.
struct PageBytes {
    const std::uint8_t* page = nullptr;
    std::uint32_t usable = 0;
    std::uint32_t encoding = kUtf8;
};

// A record read from a page: its serial types and where its values lie.
struct RecordParse {
    std::vector<std::uint64_t> types;
    bool firstLost = false;       // the first serial type was overwritten
    std::uint32_t bodyStart = 0;
    std::uint32_t end = 0;        // first byte after the record (or its local part)
    std::uint32_t localEnd = 0;   // values reaching past it went to overflow pages
    std::optional<std::int64_t> rowid;
    bool overflow = false;        // the payload went on to overflow pages
    bool partial = false;         // the record's tail was overwritten (CheckPartial)
    std::uint32_t cellEnd = 0;    // end of the whole cell (ParseCell)

    // Back to no guess, keeping the types' storage.
    void Restart()
    {
        types.clear();
        firstLost = false;
        rowid.reset();
        partial = false;
        overflow = false;
    }
};

// Where a record read from free space may end: what follows it decides,
// and the scan of the region knows that. `strict` and `sized` as in
// CRegionScan::EndsCleanly.
class CRecordEnds {
public:
    virtual ~CRecordEnds() = default;
    virtual bool EndsCleanly(const RecoverSchema& schema, std::uint32_t end, std::uint32_t limit,
                             bool strict, bool sized) = 0;
};

// Whether a column of the table besides its rowid may hold text: a record
// of a table of numbers only has no text to tell it from stray bytes.
bool HoldsText(const RecoverSchema& schema);

// Serial types of `count` values (or up to `headerEnd` when it is not 0)
// from `at`.
bool ReadTypes(const PageBytes& bytes, std::uint32_t at, std::uint32_t headerEnd, std::size_t count,
               std::vector<std::uint64_t>& types, std::uint32_t& consumed);

// Checks the serial types against the schema and the values against the
// bytes before `limit`; sets parse.end.
bool CheckRecord(const PageBytes& bytes, const RecoverSchema& schema, RecordParse& parse,
                 std::uint32_t limit);

// A whole cell at x: payload size, rowid, record of at most `columns`
// values whose sizes add up to the payload; with `indexCell` the cell of an
// index b-tree leaf (a WITHOUT ROWID table's): no rowid.
bool ParseCell(const PageBytes& bytes, std::uint32_t x, std::uint32_t limit, std::size_t columns,
               RecordParse& parse, bool indexCell = false);
// Checks a cell read by ParseCell against `schema`; parse.end becomes the
// cell's end.
bool FinishCell(const PageBytes& bytes, const RecoverSchema& schema, RecordParse& parse,
                std::uint32_t limit);

// Whether a record header may begin at f + start of a freed cell: the
// bytes from f + 4 up to it are the tail of one varint (the payload size
// or rowid the freeblock header partly overwrote).
bool HeaderMayBeginAt(const PageBytes& bytes, std::uint32_t f, std::uint32_t start);

// s >= 4: the record header whole at f + start, the payload size lost.
bool ReadWholeHeader(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                     std::uint32_t start, std::uint32_t limit, RecordParse& parse);
// s = 3: the header size lost, the serial types from f + 4.
bool ReadHeaderSizeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                        std::uint32_t limit, RecordParse& parse);
// s = 2: the header size and first serial type lost. The first value's
// size is the one that makes the record end where `ends` accepts (first
// strictly, then as any freed run may end).
bool ReadFirstTypeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                       std::uint32_t limit, CRecordEnds& ends, RecordParse& parse);
// A freed index entry (an ordinary index's cell) whose payload size took
// two bytes: the freeblock header took them, the header size and the first
// serial type, one byte or two (the second at f + 4 then survives). The
// first value's size is the one that makes the entry end where `ends`
// accepts strictly; more than one such reading proves none.
bool ReadEntryFirstTypeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                            std::uint32_t limit, CRecordEnds& ends, RecordParse& parse);
// A freed cell whose tail a newer cell took: its record header whole at
// f + 4 (header size lost) or after the end of a varint further on, the
// record cut at `limit` when `cutAtLimit` (where newer bytes begin), or a
// record whose payload went on to overflow pages.
bool ReadPartialHead(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                     std::uint32_t limit, bool cutAtLimit, RecordParse& parse);
