// Deleted records of tables that hold numbers only, with no text to tell
// them from stray bytes, read from databases written by sqlite3.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "support/RecoveredFile.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

using TableRows = std::set<std::pair<std::u16string, DisplayRow>>;

void AddRows(TableRows& rows, const std::string& path, bool remove)
{
    for (const TableSnapshot& table : ReadWithSqlite(path, true).tables)
        for (const DisplayRow& row : table.rows)
            remove ? (void)rows.erase({table.name, row}) : (void)rows.emplace(table.name, row);
}

// Two tables of numbers only, neither with a rowid column: one starts with
// an id, one with a millisecond time (six bytes: serial type 5). One level
// in ten is whole, which a REAL column stores as an integer. Single rows
// and a run are deleted, nothing written after: every deleted row comes
// back whole, and nothing else. A table on one page that never lost a row
// has no candidate at all, not even one equal to a live row.
TEST(RecoverNumbersTest, EveryDeletedRowComesBackWholeAndNothingElse)
{
    for (const auto& [pageSize, encoding] : {std::pair{1024u, "UTF-8"}, std::pair{4096u, "UTF-16le"}}) {
        SCOPED_TRACE(encoding);
        CTempDir dir;
        const std::string path = dir.File("numbers.db");
        TableRows deleted;
        {
            auto db = CreateDatabase(path, DbLayout{pageSize, encoding});
            auto small = CreateDatabase(dir.File("untouched.db"), DbLayout{pageSize, encoding});
            db->Exec("PRAGMA secure_delete=OFF; CREATE TABLE readings(id INTEGER, ts INTEGER, level REAL, flag INTEGER)");
            std::vector<std::vector<SqlValue>> readings, samples;
            for (std::int64_t i = 1; i <= 300; ++i) {
                readings.push_back({i, 1600000000000 + 61000 * i, i % 10 ? (i % 97) * 0.25 - 11.1 : i / 10.0, i % 4});
                samples.push_back({1600000000000 + 1000 * i + i % 331, 30 + i / 1024.0, i * 0.013 - 120.5, i % 200 + 2});
            }
            for (CSqliteDb* d : {db.get(), small.get()})
                d->Exec("CREATE TABLE samples(ts INTEGER, lat REAL, lon REAL, accuracy INTEGER)");
            small->InsertRows("INSERT INTO samples VALUES(?,?,?,?)", {samples.begin(), samples.begin() + 12});
            db->Exec("BEGIN");
            db->InsertRows("INSERT INTO readings VALUES(?,?,?,?)", readings);
            db->InsertRows("INSERT INTO samples VALUES(?,?,?,?)", samples);
            db->Exec("COMMIT");
            AddRows(deleted, path, false);
            db->Exec("DELETE FROM readings WHERE rowid IN (3, 140, 299) OR rowid BETWEEN 50 AND 58");
            db->Exec("DELETE FROM samples WHERE rowid IN (3, 140, 299) OR rowid BETWEEN 50 AND 58");
        }
        AddRows(deleted, path, true);
        ASSERT_EQ(deleted.size(), 24u);
        CRecoveredFile file(path);
        TableRows reported;
        for (const RecoveredRecord& record : file.sink.records) {
            DisplayRow row;
            for (const auto& value : record.values)
                row.push_back(value.value_or(u"(lost)"));
            reported.emplace(record.table.value_or(u"(none)"), std::move(row));
        }
        EXPECT_EQ(reported, deleted) << file.log.Dump();

        CRecoveredFile untouched(dir.File("untouched.db"));
        EXPECT_TRUE(untouched.log.Has(u"recover: 0 records reported; 0 candidates equal to live rows left out"))
            << untouched.log.Dump();
    }
}

}  // namespace
