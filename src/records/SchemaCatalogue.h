// The schema table: each row of type "table" becomes a TableInfo whose
// columns come from the row's CREATE TABLE statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbInfo.h"

// Handles one decoded schema row (values at `offset` onward, typed by
// `types`) and appends a TableInfo to db.tables when it names a table.
void DecodeSchemaRecord(DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                        std::uint64_t offset, const std::vector<std::uint64_t>& types);

// Fills table.columns, the primary key, the WITHOUT ROWID flag and the rowid
// alias from a CREATE TABLE statement.
void ParseCreateTable(std::u16string_view sql, TableInfo& table);

// One comma-separated piece of the column list: a column definition, or a
// table constraint (which adds no column).
void ParseColumnDef(std::u16string_view piece, TableInfo& table);
