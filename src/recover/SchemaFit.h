// How the serial types of a record read from free space fit the columns of
// a table: each stored value must be one its column's affinity can hold,
// and of several tables the one whose columns the record fits best wins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbInfo.h"
#include "records/SchemaCatalogue.h"

// A table records are read against: live, or dropped and named by a CREATE
// statement left in free space of the schema pages.
struct RecoverSchema {
    std::u16string name;
    TableInfo* table = nullptr;
    std::vector<ColumnAffinity> affinity;  // by column, from the declared types
    int alias = -1;                        // the rowid alias column, or -1
    bool live = false;
    // A WITHOUT ROWID table: its records are the cells of an index b-tree
    // (no rowid), their values in stored order (the key first), value i
    // showing column recordColumns[i]; `affinity` is in that order too.
    bool withoutRowid = false;
    std::vector<int> recordColumns;
    // An ordinary index of the table at schema index `indexOf`: its records
    // are index entries (withoutRowid set, as their cells are an index
    // b-tree's), value i showing table column recordColumns[i] and the last
    // value the table row's rowid; its b-tree's root is `indexRoot`.
    int indexOf = -1;
    std::uint32_t indexRoot = 0;
};

// True for a table recovery reads: stored columns only, and a WITHOUT
// ROWID table only when its record holds every column.
bool Recoverable(const TableInfo& table);

RecoverSchema SchemaOf(TableInfo& table, bool live);

// The schema table's own columns: type, name, tbl_name, rootpage, sql.
RecoverSchema SchemaTableSchema();

// Whether a stored value of serial type `t` can sit in a column of this
// affinity (the rowid alias column holds only NULL).
bool TypeFits(std::uint64_t t, ColumnAffinity affinity, bool rowidAlias);

// How well serial types fit a schema: every column, then each value whose
// storage class is the column's own (a NULL rowid column counts).
int Fit(const RecoverSchema& schema, const std::vector<std::uint64_t>& types);

// Tables of the same rowid alias and column affinities read any bytes alike.
bool ReadAlike(const RecoverSchema& a, const RecoverSchema& b);

// The indexes of `count` schemas to try on a page, `preferred` (when not
// negative) first, then the others in order.
std::vector<int> SchemaOrder(std::size_t count, int preferred);
