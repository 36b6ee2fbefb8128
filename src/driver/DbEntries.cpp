#include "DbEntries.h"

#include <algorithm>
#include <charconv>

#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "recover/RecordRecoverer.h"

namespace {

template <typename Path>
DbInfo* OpenAndFind(CSqliteParser& parser, const Path& path)
{
    // One job at a time opens databases, so an entry that appeared during
    // the open is the one it added.
    const std::size_t before = g_dbList.size();
    parser.OpenDatabase(path);
    if (g_dbList.size() == before)
        return nullptr;
    return &g_dbList.back();
}

}  // namespace

bool g_bOpenWithWal = false;

DbInfo* OpenDatabaseEntry(CSqliteParser& parser, const std::u16string& path)
{
    return OpenAndFind(parser, path);
}

DbInfo* OpenDatabaseEntry(CSqliteParser& parser, const std::string& nativePath)
{
    return OpenAndFind(parser, nativePath);
}

DbInfo* ReopenDatabaseEntry(CSqliteParser& parser, std::int64_t id)
{
    DbInfo* old = FindDbEntry(id);
    if (old == nullptr)
        return nullptr;
    const auto place = std::find_if(g_dbList.begin(), g_dbList.end(),
                                    [old](const DbInfo& db) { return &db == old; });
    DbInfo* opened = old->nativePath.empty() ? OpenDatabaseEntry(parser, old->path)
                                             : OpenDatabaseEntry(parser, old->nativePath);
    if (opened == nullptr)
        return nullptr;  // the entry stays as it was
    g_dbList.splice(place, g_dbList, std::prev(g_dbList.end()));
    g_dbList.erase(place);
    return opened;
}

void FindDroppedTables(DbInfo& db, HWND logWnd)
{
    db.droppedTables.clear();
    if (db.pageSize == 0)
        return;
    CSqliteParser parser;
    parser.m_hLogWnd = logWnd;
    CRecordRecoverer recoverer(parser, db);
    recoverer.ReadDroppedTables();
    for (const TableInfo& table : recoverer.DroppedTables()) {
        db.droppedTables.push_back(table);
        db.droppedTables.back().dropped = true;
    }
}

std::int64_t EntryId(const DbInfo& db)
{
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(&db));
}

std::int64_t EntryId(const TableInfo& table)
{
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(&table));
}

std::u16string EntryIdText(std::int64_t id)
{
    return WideFormat(u"%I64u", {static_cast<std::uint64_t>(id)});
}

std::int64_t ParseEntryId(std::u16string_view text)
{
    char digits[24];
    if (text.empty() || text.size() >= sizeof digits)
        return 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return 0;
        digits[i] = static_cast<char>(text[i]);
    }
    std::int64_t id = 0;
    const auto result = std::from_chars(digits, digits + text.size(), id, 10);
    return result.ec == std::errc() ? id : 0;
}

DbInfo* FindDbEntry(std::int64_t id)
{
    for (DbInfo& db : g_dbList) {
        if (EntryId(db) == id)
            return &db;
    }
    return nullptr;
}

TableInfo* FindTableEntry(DbInfo& db, std::int64_t id)
{
    for (std::list<TableInfo>* tables : {&db.tables, &db.droppedTables})
        for (TableInfo& table : *tables)
            if (EntryId(table) == id)
                return &table;
    return nullptr;
}

TableInfo* FindTableByName(DbInfo& db, std::u16string_view name)
{
    for (TableInfo& table : db.tables) {
        if (table.name == name)
            return &table;
    }
    return nullptr;
}
