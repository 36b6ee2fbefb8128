// Tables the database no longer has, named by CREATE statements left in
// the free space of the schema pages, on freelist pages and in log frames
// the database shown does not use or, with a log laid over the file, by
// the main file's own schema as the last checkpoint left it.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/SqliteParser.h"
#include "recover/PageOwners.h"

struct DroppedTableScan {
    // Tables named by a CREATE statement that the live schema does not hold.
    std::list<TableInfo> dropped;
    // With a log: each table of the main file's own schema and its root page there.
    std::vector<std::pair<std::u16string, std::uint32_t>> fileRoots;
};

// Walks the schema tree of the database shown (marking its pages in
// `owners` as the schema tree's) and, with a log, the main file's own.
void FindDroppedTables(CSqliteParser& parser, const DbInfo& db, CPageOwners& owners,
                       DroppedTableScan& result);

// Adds the tables named by CREATE statements on page versions no schema
// tree uses: the log's frames of schema pages the database shown does not
// use, and the freelist's pages (read by `owners` already).
void FindDroppedTablesInOldPages(CSqliteParser& parser, const DbInfo& db, const CPageOwners& owners,
                                 DroppedTableScan& result);
