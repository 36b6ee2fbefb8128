// Deleted entries of an ordinary index, read from databases written by
// sqlite3: an entry whose row's own bytes are gone comes back as a partial
// row of the table; one whose row is live or came back from the table's
// pages does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "platform/TextConvert.h"
#include "recover/IndexDefinitions.h"
#include "support/RecoveredFile.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

using Version = std::tuple<std::int64_t, std::string, std::int64_t>;  // rowid, address, date

// The bytes of the entry of a version in messages_address (UTF-8) from its
// header size on: serial types of the address, the date (six bytes) and the
// rowid, then the values.
std::string EntryBytes(const Version& v)
{
    const auto& [rowid, address, date] = v;
    std::string rowidBytes;
    for (std::int64_t r = rowid; r != 0 || rowidBytes.empty() || (rowidBytes[0] & 0x80); r >>= 8)
        rowidBytes.insert(rowidBytes.begin(), static_cast<char>(r & 0xFF));
    const std::size_t text = 13 + 2 * address.size();
    std::string entry = text < 0x80 ? std::string{4, static_cast<char>(text)}
                                    : std::string{5, static_cast<char>(0x80 | text >> 7), static_cast<char>(text & 0x7F)};
    entry += std::string{5, static_cast<char>(rowidBytes.size())} + address;
    for (int shift = 40; shift >= 0; shift -= 8)
        entry.push_back(static_cast<char>((date >> shift) & 0xFF));
    return entry + rowidBytes;
}

std::set<Version> Versions(CSqliteDb& db, const std::string& where)
{
    std::set<Version> versions;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db.Handle(), ("SELECT id, addr, date FROM messages WHERE " + where).c_str(), -1, &statement,
                       nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        versions.emplace(sqlite3_column_int64(statement, 0),
                         reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)),
                         sqlite3_column_int64(statement, 2));
    sqlite3_finalize(statement);
    return versions;
}

struct IndexCase {
    const char* name;
    bool update;       // the rows' address changes to one of the same length
    bool deletes;      // then they are deleted, with secure_delete on after an update
    bool partialRows;  // rows are expected back from index entries alone
    // Addresses long enough for a payload size of two bytes: a freeblock
    // header then leaves the sizes of every value but the first, which the
    // freed entry's end gives.
    bool longKeys = false;
};

TEST(RecoverIndexTest, EntriesOfRowsWhoseTableBytesAreGoneComeBackInPart)
{
    const IndexCase cases[] = {
        // The address changes to one of the same length (the table cell is
        // overwritten in place, the old entry freed), then the rows go with
        // secure_delete on, which wipes their table cells and new entries.
        {"table bytes wiped", true, true, true},
        {"long keys, table bytes wiped", true, true, true, true},
        // The old entries hold the rowids of live rows: no row is deleted.
        {"updated, not deleted", true, false, false},
        // The table's pages give every deleted row back whole: the entries
        // add nothing.
        {"plain delete", false, true, false},
        // Page splits left copies of live entries in free space: none is a
        // deleted row.
        {"untouched", false, false, false},
    };
    const std::string where = "id IN (7, 77, 177, 277, 377) OR id BETWEEN 120 AND 150";
    for (const IndexCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        const std::string path = dir.File("indexed.db");
        std::set<Version> deleted;
        {
            auto db = CreateDatabase(path, DbLayout{1024, "UTF-8"});
            db->Exec("PRAGMA secure_delete=OFF; CREATE TABLE messages(id INTEGER PRIMARY KEY, addr TEXT, date "
                     "INTEGER, body TEXT); CREATE INDEX messages_address ON messages(addr, date)");
            std::vector<std::vector<SqlValue>> rows;
            for (std::int64_t i = 1; i <= 400; ++i)
                rows.push_back({i, "+1555" + std::to_string(1000000 + (i * 7919) % 9000000) +
                                       std::string(c.longKeys ? 120 : 0, 'a'),
                                std::int64_t(1600000000000 + i * 61000), "body " + std::to_string(i)});
            db->InsertRows("INSERT INTO messages VALUES(?,?,?,?)", rows);
            std::set<Version> before = Versions(*db, where);
            if (c.update)
                db->Exec("UPDATE messages SET addr = '+1666' || substr(addr, 6) WHERE " + where);
            // Versions overwritten by the update are row versions gone too.
            if (c.update)
                deleted = before;
            if (c.deletes) {
                deleted.merge(Versions(*db, where));
                deleted.merge(before);
                db->Exec(c.update ? "PRAGMA secure_delete=ON" : "SELECT 1");
                db->Exec("DELETE FROM messages WHERE " + where);
            }
        }
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::set<std::int64_t> live;
        const DbSnapshot snapshot = ReadWithSqlite(path, true);
        for (const DisplayRow& row : snapshot.Find(u"messages")->rows)
            live.insert(std::stoll(WideToUtf8(row[0])));

        CRecoveredFile file(path);
        ASSERT_TRUE(file.ran);
        // A freeblock header may have taken a whole row's rowid: versions
        // are matched by address and date.
        std::set<std::pair<std::string, std::int64_t>> back;
        std::size_t entries = 0;
        std::size_t rebuilt = 0;
        std::map<std::pair<std::string, std::int64_t>, std::int64_t> deletedRowid;
        for (const auto& [rowid, address, date] : deleted)
            deletedRowid[{address, date}] = rowid;
        for (const RecoveredRecord& record : file.sink.records) {
            const std::pair<std::string, std::int64_t> key{WideToUtf8(record.values[1].value_or(u"")),
                                                           std::stoll(WideToUtf8(record.values[2].value_or(u"0")))};
            const auto version = deletedRowid.find(key);
            ASSERT_NE(version, deletedRowid.end()) << "not a deleted row: " << key.first;
            EXPECT_EQ(record.rowid.value_or(version->second), version->second);
            // An entry's row: the rowid in its column, the body unknown,
            // never a live row's rowid.
            const bool entry = record.partial && record.rowid && !record.values[3];
            if (entry) {
                EXPECT_EQ(record.values[0], Widen(std::to_string(version->second)));
                EXPECT_EQ(live.count(version->second), 0u) << "live row " << version->second;
            }
            entries += entry;
            // Rebuilt where a freeblock header took the entry's head.
            const std::string entryBytes = EntryBytes({version->second, key.first, key.second});
            rebuilt += entry && bytes.find(entryBytes) == std::string::npos;
            // Each row once: an entry of a row the table gave back adds nothing.
            EXPECT_TRUE(back.insert(key).second) << "reported twice: " << version->second;
        }
        // Every deleted version whose entry is still in the file comes back.
        for (const auto& [rowid, address, date] : deleted)
            if (c.deletes && bytes.find(EntryBytes({rowid, address, date})) != std::string::npos) {
                EXPECT_EQ(back.count({address, date}), 1u) << rowid << " " << file.log.Dump();
            }
        EXPECT_EQ(entries > 0, c.partialRows) << file.log.Dump();
        EXPECT_EQ(rebuilt > 0, c.longKeys) << file.log.Dump();
        if (!c.update && !c.deletes) {
            EXPECT_NE(file.log.Dump().find("index entries read"), std::string::npos) << file.log.Dump();
        }
    }
}

// The columns of CREATE INDEX statements: plain columns in key order,
// quoted, with a collation or an order; an expression or the rowid makes
// the index one whose entries are not read.
TEST(RecoverIndexTest, IndexedColumnsAreReadFromTheCreateStatement)
{
    TableInfo table;
    for (const char16_t* name : {u"id", u"addr", u"date"})
    {
        ColumnInfo column;
        column.name = name;
        table.columns.push_back(column);
    }
    const std::pair<const char16_t*, std::vector<int>> cases[] = {
        {u"CREATE INDEX i ON t(addr, date)", {1, 2}},
        {u"CREATE UNIQUE INDEX IF NOT EXISTS \"i\" ON \"t\" (\"DATE\" DESC, [addr] COLLATE NOCASE)", {2, 1}},
        {u"CREATE INDEX i ON t(id) WHERE date > 5", {0}},
        {u"CREATE INDEX i ON t(lower(addr))", {}},
        {u"CREATE INDEX i ON t(rowid)", {}},
        {u"CREATE INDEX i ON t(addr, date", {}},
    };
    for (const auto& [sql, columns] : cases) {
        SCOPED_TRACE(WideToUtf8(sql));
        const auto read = IndexedColumns(sql, table);
        EXPECT_EQ(read.value_or(std::vector<int>{}), columns);
        EXPECT_EQ(read.has_value(), !columns.empty());
    }
}

}  // namespace
