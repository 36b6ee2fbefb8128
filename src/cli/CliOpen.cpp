// Opening the database a subcommand works on.
#include <cstdio>

#include "CliCommands.h"
#include "driver/DbEntries.h"

DbInfo* OpenCliDatabase(CSqliteParser& parser, const std::string& path)
{
    DbInfo* entry = OpenDatabaseEntry(parser, path);
    if (entry == nullptr) {
        std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
        return nullptr;
    }
    DbInfo& db = *entry;
    if (db.pageSize == 0) {
        std::fprintf(stderr, "salvix-cli: %s is not an SQLite database\n", path.c_str());
        return nullptr;
    }
    return &db;
}
