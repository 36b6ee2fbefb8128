// Opening the database a subcommand works on.
#include <cstdio>

#include "CliCommands.h"
#include "engine/Globals.h"

DbInfo* OpenCliDatabase(CSqliteParser& parser, const std::string& path)
{
    const std::size_t before = g_dbList.size();
    parser.OpenDatabase(path);
    if (g_dbList.size() == before) {
        std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
        return nullptr;
    }
    DbInfo& db = g_dbList.back();
    if (db.pageSize == 0) {
        std::fprintf(stderr, "salvix-cli: %s is not an SQLite database\n", path.c_str());
        return nullptr;
    }
    return &db;
}
