// What a reader makes of a database: its tables, each with its columns and
// its rows as display texts. Filled once by the engine and once from the
// sqlite3 library, then compared.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using DisplayRow = std::vector<std::u16string>;

struct ColumnSnapshot {
    std::u16string name;
    std::u16string type;
    bool operator==(const ColumnSnapshot&) const = default;
};

struct TableSnapshot {
    std::u16string name;
    std::uint32_t rootPage = 0;
    bool isVirtual = false;  // rootpage 0: no b-tree of its own
    std::vector<ColumnSnapshot> columns;
    std::vector<DisplayRow> rows;
};

struct DbSnapshot {
    std::uint32_t pageSize = 0;
    std::vector<TableSnapshot> tables;

    const TableSnapshot* Find(const std::u16string& name) const
    {
        for (const TableSnapshot& table : tables)
            if (table.name == name)
                return &table;
        return nullptr;
    }
};

// UTF-8 of a row, values joined by " | " (for failure messages).
std::string RowToUtf8(const DisplayRow& row);
