#include "DbEntries.h"

#include <charconv>

#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"

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
    for (TableInfo& table : db.tables) {
        if (EntryId(table) == id)
            return &table;
    }
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
