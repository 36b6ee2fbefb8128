// The ordinary indexes of the live rowid tables, as the schema tree of the
// database shown lists them: each becomes a schema whose records are the
// index's entries (the indexed columns' values, then the table row's rowid).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/PageSource.h"
#include "recover/SchemaFit.h"

// The table columns a CREATE INDEX statement indexes, in key order; no
// value when a term is not a plain column of `table` (an expression, the
// rowid) or the statement does not read as one.
std::optional<std::vector<int>> IndexedColumns(std::u16string_view sql, const TableInfo& table);

// The schema of an index of the table `tableSchema` (a live rowid table)
// on `columns`, its b-tree at `root`.
RecoverSchema IndexSchemaOf(const std::vector<RecoverSchema>& schemas, int tableSchema,
                            const std::vector<int>& columns, std::uint32_t root);

// Appends a schema for each index of a live rowid table in `schemas` that
// the schema tree of the database shown names, on two columns or more
// besides the rowid; returns how many.
std::size_t AddIndexSchemas(CPageSource& source, const DbInfo& db, std::vector<RecoverSchema>& schemas);
