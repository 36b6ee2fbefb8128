// Reads a table the way the desktop program does, keeping every row in
// m_rows, and prints the row count: the benchmark measures the peak memory
// of holding a whole table for display. A third argument sets the threads
// the records are decoded on (1: the walk alone), for comparing.
#include <cstdio>
#include <cstdlib>

#include "driver/DbEntries.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: salvix-hold-rows DB TABLE [THREADS]\n");
        return 2;
    }
    CSqliteParser parser;  // no log window: lines are dropped
    DbInfo* entry = OpenDatabaseEntry(parser, Widen(argv[1]));
    if (entry == nullptr || entry->pageSize == 0)
        return 1;
    DbInfo& db = *entry;
    for (TableInfo& table : db.tables) {
        if (table.name != Widen(argv[2]))
            continue;
        parser.m_pDb = &db;
        parser.m_pTable = &table;
        parser.m_bPackHeldValues = true;  // as the table window holds them
        if (argc == 4)
            parser.m_nDecodeThreads = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
        parser.ReadTable();
        std::printf("%zu\n", parser.m_rows.size());
        return 0;
    }
    return 1;
}
