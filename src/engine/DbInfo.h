// The records the engine fills while it reads a database: one DbInfo per
// opened file, a TableInfo per table of its schema, a ColumnInfo per
// declared column.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

struct ColumnInfo {
    std::u16string name;
    std::u16string type;  // declared type as written, possibly empty
};

struct TableInfo {
    std::uint8_t kind = 0;
    std::u16string name;
    std::uint32_t rootPage = 0;
    std::int32_t ordinal = -1;
    std::vector<ColumnInfo> columns;

    std::u16string sql;          // the CREATE statement, as stored
    bool withoutRowid = false;   // rows live in an index b-tree
    std::vector<int> primaryKey; // column indexes in key order
    // PRIMARY KEY DESC written on the column itself: such an INTEGER column
    // is not a rowid alias (a quirk of the format's reference library).
    bool primaryKeyDescending = false;
    int rowidAliasColumn = -1;   // column declared INTEGER PRIMARY KEY, or -1
    // For a WITHOUT ROWID table: the column shown for each value of a stored
    // record (primary-key columns first, then the others). Empty means the
    // record holds the columns in declaration order.
    std::vector<int> recordColumns;
};

// Text encodings of the database header (offset 56).
enum TextEncoding : std::uint32_t { kUtf8 = 1, kUtf16le = 2, kUtf16be = 3 };

struct DbInfo {
    std::uint32_t pageSize = 0;    // 0 when the file was not accepted
    std::u16string path;
    std::uint64_t fileSize = 0;
    std::uint32_t tableCount = 0;
    std::list<TableInfo> tables;   // node-based: entries never move

    std::uint8_t reservedBytes = 0;         // header offset 20
    std::uint32_t textEncoding = kUtf8;     // header offset 56

    // Bytes of each page that hold b-tree content (the format's U).
    std::uint32_t UsableSize() const { return pageSize - reservedBytes; }
};
