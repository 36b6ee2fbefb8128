// The records the engine fills while it reads a database: one DbInfo per
// opened file, a TableInfo per table of its schema, a ColumnInfo per
// declared column.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "engine/EvidenceHash.h"

struct ColumnInfo {
    std::u16string name;
    std::u16string type;  // declared type as PRAGMA table_info reports it
    // REAL affinity by the file format's rules on the declared type: an
    // integer stored in such a column is a real written compactly.
    bool realAffinity = false;
};

struct TableInfo {
    std::uint8_t kind = 0;
    std::u16string name;
    std::uint32_t rootPage = 0;
    std::int32_t ordinal = -1;
    std::vector<ColumnInfo> columns;

    std::u16string sql;          // the CREATE statement, as stored
    bool withoutRowid = false;   // rows live in an index b-tree
    std::vector<int> primaryKey; // column indexes in key order, as stored
    int rowidAliasColumn = -1;   // the column that holds the rowid, or -1
    // The column shown for each value of a stored record, -1 for a stored
    // value that no listed column shows (a generated column). Empty means
    // the record holds the columns in declaration order.
    std::vector<int> recordColumns;
    // Module of a virtual table (lower case), empty for a stored table.
    std::u16string module;
    // A table the live schema no longer holds, named by a CREATE statement
    // left in free space: it has no b-tree, only recovered records.
    bool dropped = false;
};

// The write-ahead log found beside a database when it was opened.
struct LogInfo {
    bool found = false;             // a non-empty "-wal" file
    std::uint32_t frames = 0;       // whole frames in the file
    std::uint32_t validFrames = 0;
    std::uint32_t commits = 0;      // commit frames among the valid ones
    std::uint32_t lastCommitPages = 0;
};

// Text encodings of the database header (offset 56).
enum TextEncoding : std::uint32_t { kUtf8 = 1, kUtf16le = 2, kUtf16be = 3 };

struct DbInfo {
    std::uint32_t pageSize = 0;    // 0 when the file was not accepted
    std::u16string path;           // as shown; invalid UTF-8 bytes show as U+FFFD
    // The file name's bytes exactly as given, when it was given as bytes:
    // the file read is always the one named, whatever its bytes.
    std::string nativePath;
    std::uint64_t fileSize = 0;
    std::uint32_t tableCount = 0;
    std::list<TableInfo> tables;   // node-based: entries never move

    std::uint8_t reservedBytes = 0;         // header offset 20
    std::uint32_t textEncoding = kUtf8;     // header offset 56
    // Opened with the committed pages of its write-ahead log laid over the
    // file; its tables are then read the same way.
    bool withWal = false;
    // Opened with its hot rollback journal rolled back over the file.
    bool withJournal = false;
    // The digests of every file read for it (the file itself, then its
    // journal and its log when laid over it), once they have been taken.
    std::vector<EvidenceHash> hashes;
    LogInfo log;
    // Tables recovery names from freed schema space, after the live ones.
    std::list<TableInfo> droppedTables;

    // Bytes of each page that hold b-tree content (the format's U).
    std::uint32_t UsableSize() const { return pageSize - reservedBytes; }
    // The name to open the file by.
    std::string OpenName() const;
};
