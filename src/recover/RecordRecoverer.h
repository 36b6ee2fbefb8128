// Records a database file still holds outside its live tables: in the
// freeblocks and unallocated space of b-tree pages, on freelist pages
// (among them whole pages of dropped tables) and in write-ahead log frames
// that the database shown does not use.
//
// A candidate is reported only when it reads as a record of a known table
// (live, or dropped but named by a CREATE statement left in the schema
// pages): as many serial types as the table has columns or fewer, each
// fitting its column's declared affinity and the bytes available, with text
// that is well formed. A candidate whose recovered values equal a live row
// of the same table is never reported.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/DbInfo.h"
#include "platform/WindowMessage.h"

class CSqliteParser;

struct RecoveredRecord {
    std::optional<std::u16string> table;   // no value when no table fits
    const char* source = "";               // "freeblock", "unallocated", "freelist", "wal"
    std::uint32_t page = 0;
    std::uint32_t offset = 0;              // where the cell or freeblock begins in the page
    std::optional<std::uint32_t> frame;    // log frame, for source "wal"
    std::optional<std::int64_t> rowid;
    // Display texts in the table's column order; no value where the bytes
    // were lost (a stored NULL is the empty text, as in a table read).
    std::vector<std::optional<std::u16string>> values;
};

class CRecoverSink {
public:
    virtual ~CRecoverSink() = default;
    virtual void OnRecord(const RecoveredRecord& record) = 0;
};

class CRecordRecoverer {
public:
    // `parser` has opened `db` (its m_bUseWal decides whether the log's
    // committed pages are the database shown); its log window gets the
    // lines of the scan.
    CRecordRecoverer(CSqliteParser& parser, DbInfo& db);
    ~CRecordRecoverer();
    CRecordRecoverer(const CRecordRecoverer&) = delete;
    CRecordRecoverer& operator=(const CRecordRecoverer&) = delete;

    // Scans the whole file and hands every candidate to `sink`, those of
    // the table named `onlyTable` when it is not empty. Returns false when
    // no live or dropped table has that name.
    bool Run(const std::u16string& onlyTable, CRecoverSink& sink);

    // Finds the dropped tables alone, without scanning for records: a walk
    // of the schema pages only.
    void ReadDroppedTables();

    // Tables named by CREATE statements left in free space of the schema
    // pages that the live schema no longer holds (filled by Run).
    const std::list<TableInfo>& DroppedTables() const { return m_dropped; }

private:
    struct Schema;
    struct Candidate;
    class Scanner;

    void FindDroppedTables();
    // Walks a table b-tree of the main file itself, past any log, calling
    // `onPage` for each of its leaf and interior pages.
    void WalkFileTree(std::uint32_t root,
                      const std::function<void(std::uint32_t, const std::uint8_t*, std::uint32_t)>& onPage);
    // Marks the main file's own pages with the tables its own schema gave
    // them (m_fileOwner), from the roots FindDroppedTables read.
    void MapFileTrees();
    int FileOwner(std::uint32_t page) const { return page < m_fileOwner.size() ? m_fileOwner[page] : -1; }
    // Page `number` as a state other than the one shown held it: the log's
    // as of frame `frame` (its newest valid frame of the page at or before
    // it, else the main file's), or with `frame` 0 the main file's own.
    bool ReadPageAsOf(std::uint32_t number, std::uint32_t frame, std::vector<std::uint8_t>& page);
    void ScanTables();
    void ScanFreelist();
    // Marks the leaf pages of the freelist (overflow chains of deleted
    // records are read only through them).
    void CollectFreelistLeaves();
    bool IsFreelistLeaf(std::uint32_t page) const
    {
        return page < m_freelistLeaf.size() && m_freelistLeaf[page] != 0;
    }
    void ScanLog();
    void DropLiveRows();
    void UnnameForeignPages(int schema);
    void AddCandidate(Candidate&& candidate);
    // A candidate's known values apart from its rowid column, as one key.
    std::u16string ValuesKey(const Candidate& candidate) const;
    void MergeAttested();
    // Scans the free space of a table leaf page (every cell too when
    // `withCells`: a page no tree uses any more).
    void ScanLeaf(Scanner& scanner, const std::uint8_t* page, std::uint32_t headerOffset,
                  bool withCells);
    // Walks the b-tree at `root`, marking its pages with `owner`, and calls
    // `onLeaf` for each table leaf page (page bytes, header offset).
    void WalkTree(std::uint32_t root, int owner,
                  const std::function<void(std::uint32_t, const std::uint8_t*, std::uint32_t)>& onLeaf);
    // The schemas to try on a page no live table owns.
    std::vector<int> AllSchemas(int preferred) const;

    CSqliteParser& m_parser;
    DbInfo& m_db;
    std::list<TableInfo> m_dropped;
    std::vector<Schema> m_schemas;
    std::vector<Candidate> m_candidates;
    std::vector<int> m_owner;   // by page number: schema index, -1 none, -2 schema tree
    std::vector<std::uint8_t> m_freelistLeaf;  // by page number: 1 on the freelist as a leaf
    // With a log: each table of the main file's own schema and its root
    // page there, and by page of the main file the schema index of the
    // table its own trees gave it (-1 none).
    std::vector<std::pair<std::u16string, std::uint32_t>> m_fileRoots;
    std::vector<int> m_fileOwner;
    // By page number, the valid log frames that hold it: (frame, offset of
    // its page in the log), in frame order.
    std::unordered_map<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint64_t>>> m_pageFrames;
    // Table and values of each candidate, to its index in m_candidates.
    std::unordered_map<std::u16string, std::size_t> m_seen;
    std::u16string m_onlyTable;
    std::uint64_t m_pageCount = 0;
};
