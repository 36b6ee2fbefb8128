// salvix-cli tables: open databases and list their tables.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "driver/DbEntries.h"
#include "driver/EvidenceFiles.h"
#include "engine/FormatSize.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"

namespace {

// Keys in this order: the file, its hashes, then its tables.
nlohmann::ordered_json DbInfoToJson(const DbInfo& db)
{
    using Json = nlohmann::ordered_json;
    Json hashes = Json::array();
    for (const EvidenceHash& hash : db.hashes)
        hashes.push_back(EvidenceHashToJson(hash));
    Json tables = Json::array();
    for (const TableInfo& table : db.tables) {
        Json columns = Json::array();
        for (const ColumnInfo& column : table.columns)
            columns.push_back({{"name", WideToUtf8(column.name)}, {"type", WideToUtf8(column.type)}});
        tables.push_back({{"name", WideToUtf8(table.name)},
                          {"rootPage", table.rootPage},
                          {"ordinal", table.ordinal},
                          {"columns", std::move(columns)}});
    }
    return {{"path", WideToUtf8(db.path)},
            {"fileSize", db.fileSize},
            {"pageSize", db.pageSize},
            {"tableCount", db.tableCount},
            {"hashes", std::move(hashes)},
            {"tables", std::move(tables)}};
}

void PrintDbInfo(const DbInfo& db)
{
    std::printf("%s\tsize %llu (%s)\tpage size %u\ttables %u\n", WideToUtf8(db.path).c_str(),
                static_cast<unsigned long long>(db.fileSize),
                WideToUtf8(FormatSize(static_cast<std::int64_t>(db.fileSize))).c_str(),
                db.pageSize, db.tableCount);
    for (const TableInfo& table : db.tables) {
        std::printf("  [%d] %s\troot page %u%s\n", table.ordinal, WideToUtf8(table.name).c_str(),
                    table.rootPage, table.withoutRowid ? "\tWITHOUT ROWID" : "");
        for (const ColumnInfo& column : table.columns)
            std::printf("      %s\t%s\n", WideToUtf8(column.name).c_str(),
                        WideToUtf8(column.type).c_str());
    }
}

}  // namespace

int RunTables(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.empty())
        return UsageError("tables needs at least one database file");
    if (options.ordinal >= 0)
        return UsageError("--ordinal is an option of rows");

    CCliLogWnd log;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    parser.m_bUseJournal = options.journal;
    int status = 0;
    for (const std::string& path : options.positional) {
        DbInfo* entry = OpenDatabaseEntry(parser, path);
        if (entry == nullptr) {
            std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
            status = 1;
            continue;
        }
        DbInfo& db = *entry;
        if (db.pageSize == 0) {
            std::fprintf(stderr, "salvix-cli: %s is not an SQLite database\n", path.c_str());
            status = 1;
        }
        if (options.json) {
            HashEvidenceFiles(db, &log);
            std::printf("%s\n", DbInfoToJson(db).dump().c_str());
        }
        else
            PrintDbInfo(db);
    }
    return status;
}
