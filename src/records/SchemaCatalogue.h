// The schema table: each row of type "table" becomes a TableInfo whose
// columns come from the row's CREATE TABLE statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbInfo.h"

// How a column converts the values stored in it, from its declared type.
enum class ColumnAffinity : std::uint8_t { kInteger, kText, kBlob, kReal, kNumeric };
ColumnAffinity AffinityOf(std::u16string_view declaredType);

// Handles one decoded schema row (values at `offset` onward, typed by
// `types`) and appends a TableInfo to db.tables when it names a table.
void DecodeSchemaRecord(DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                        std::uint64_t offset, const std::vector<std::uint64_t>& types);

// Fills table.columns, the primary key, the WITHOUT ROWID flag, the rowid
// alias and the record's column order from a CREATE TABLE statement (or the
// module and its columns from a CREATE VIRTUAL TABLE statement).
void ParseCreateTable(std::u16string_view sql, TableInfo& table);

