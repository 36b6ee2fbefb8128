// Opened databases and their tables as the views see them: the one way to
// open a database and get its new g_dbList entry, the identifiers that tie
// a tree item to an entry, and lookups by identifier and by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/DbInfo.h"
#include "platform/WindowMessage.h"

class CSqliteParser;

// Whether the views open databases with their write-ahead logs laid over
// them (the desktop's --wal): the choice for each database opened, which
// the database's own command may then change. Set once at start.
extern bool g_bOpenWithWal;

// Opens `path` with `parser` and returns the g_dbList entry the open added
// (a file refused as not a database is listed too, with page size 0), or
// null when the file could not be opened at all. The engine has logged why.
DbInfo* OpenDatabaseEntry(CSqliteParser& parser, const std::u16string& path);
// The same for a file name given as bytes (a command-line argument).
DbInfo* OpenDatabaseEntry(CSqliteParser& parser, const std::string& nativePath);

// Opens the file of the entry `id` again with `parser` (its m_bUseWal
// decides about the log) and puts the new entry in the old one's place,
// which goes. Null when there is no such entry or the file could not be
// opened (the old entry then stays).
DbInfo* ReopenDatabaseEntry(CSqliteParser& parser, std::int64_t id);

// Lists in db.droppedTables the tables recovery names from freed schema
// space (a walk of the schema pages only). The scan's lines go to `logWnd`.
void FindDroppedTables(DbInfo& db, HWND logWnd);

// The identifier of an entry: its address, which stays put while other
// entries come and go (the lists are node-based). Always below 2^63, so the
// decimal text reads back as a signed 64-bit number.
std::int64_t EntryId(const DbInfo& db);
std::int64_t EntryId(const TableInfo& table);
// "%I64u" text of an identifier, and its reading back with base 10 (0 for a
// text that is not a plain decimal number).
std::u16string EntryIdText(std::int64_t id);
std::int64_t ParseEntryId(std::u16string_view text);

// The g_dbList entry with identifier `id`, or null.
DbInfo* FindDbEntry(std::int64_t id);
// The table of `db` with identifier `id`, live or dropped, or null.
TableInfo* FindTableEntry(DbInfo& db, std::int64_t id);
// The first table of `db` called `name`, or null.
TableInfo* FindTableByName(DbInfo& db, std::u16string_view name);
