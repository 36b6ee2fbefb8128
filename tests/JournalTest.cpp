// Rollback journals written by sqlite3: a database copied with its journal
// while a transaction that has spilled pages to the file is still open must
// read, with the journal rolled back, as sqlite3 reads the copy after its own
// rollback; a damaged record ends the rollback as it ends sqlite3's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "support/EngineReader.h"
#include "support/LogCollector.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct JournalCase {
    std::uint32_t pageSize;
    const char* synchronous;  // OFF writes "every record to the end" headers
    bool dropTable;           // the transaction drops a table and makes another
};

// Rows of m(id INTEGER PRIMARY KEY, thread, body, date) from `from` to `to`.
void AddRows(CSqliteDb& db, int from, int to, const std::string& prefix)
{
    std::vector<std::vector<SqlValue>> rows;
    for (int i = from; i <= to; ++i)
        rows.push_back({std::int64_t(i), std::int64_t(i % 7), prefix + std::to_string(i) + std::string(i % 40, 'x'),
                        std::int64_t(1600000000000 + i)});
    db.InsertRows("INSERT INTO m VALUES(?,?,?,?)", rows);
}

// `copy` and its journal as a live database held them mid-transaction,
// after the transaction spilled pages to the file (a five-page cache).
void MakeHotJournal(const CTempDir& dir, const JournalCase& c, const std::string& copy)
{
    const std::string live = dir.File("live.db");
    DbLayout layout;
    layout.pageSize = c.pageSize;
    auto db = CreateDatabase(live, layout);
    db->Exec(std::string("PRAGMA journal_mode=DELETE; PRAGMA cache_size=5; PRAGMA synchronous=") +
             c.synchronous);
    db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
    db->Exec("CREATE TABLE kept(a TEXT)");
    db->Exec("BEGIN");
    AddRows(*db, 1, 600, "message ");
    db->Exec("INSERT INTO kept VALUES('before the transaction')");
    db->Exec("COMMIT");
    db->Exec("BEGIN");
    db->Exec("DELETE FROM m WHERE id % 5 = 0; UPDATE m SET body = 'edited ' || body WHERE id % 7 = 0");
    if (c.dropTable)
        db->Exec("DROP TABLE kept; CREATE TABLE later(a TEXT); INSERT INTO later VALUES('new')");
    AddRows(*db, 601, 1400, "late ");
    fs::copy_file(live, copy);
    fs::copy_file(live + "-journal", copy + "-journal");
    db->Exec("ROLLBACK");
}

// What sqlite3 shows: a scratch copy opened read-write rolls the journal back.
DbSnapshot OracleWithJournal(const CTempDir& dir, const std::string& db)
{
    const std::string scratch = dir.File("oracle.db");
    fs::copy_file(db, scratch);
    fs::copy_file(db + "-journal", scratch + "-journal");
    {
        CSqliteDb open(scratch, SQLITE_OPEN_READWRITE);
        open.QueryInt("SELECT count(*) FROM sqlite_master");
    }
    return ReadWithSqlite(scratch, true);
}

int CountLines(const CLogCollector& log, std::uint8_t type, const char16_t* part)
{
    int count = 0;
    for (const LogMessage& line : log.Lines())
        count += line.type == type && line.text.find(part) != std::u16string::npos;
    return count;
}

class JournalTest : public ::testing::TestWithParam<JournalCase> {};

TEST_P(JournalTest, RollsBackAsSqliteRollsBackTheCopy)
{
    CTempDir dir;
    const std::string copy = dir.File("copy.db");
    MakeHotJournal(dir, GetParam(), copy);

    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(copy, log, true, false, true);
    const DbSnapshot oracle = OracleWithJournal(dir, copy);
    ASSERT_TRUE(SameSchema(engine, oracle)) << log.Dump();
    for (const TableSnapshot& table : oracle.tables) {
        SCOPED_TRACE(NameOf(table));
        EXPECT_TRUE(SameRows(engine.Find(table.name)->rows, table.rows));
    }
    EXPECT_EQ(oracle.Find(u"m")->rows.size(), 600u);

    // Without --journal: the file as the transaction left it, one warning.
    log.Clear();
    ReadWithEngine(copy, log, false, false, false);
    EXPECT_EQ(CountLines(log, kLogWarning, u"hot rollback journal"), 1) << log.Dump();
}

INSTANTIATE_TEST_SUITE_P(Journals, JournalTest,
                         ::testing::Values(JournalCase{1024, "FULL", false},
                                           JournalCase{4096, "FULL", true},
                                           JournalCase{1024, "OFF", true}));

// A record whose checksum fails ends the rollback before it, and a header
// claiming four billion pages costs no more than the pages present.
TEST(JournalDamageTest, ChecksumEndsTheRollbackAndCountsAreBounded)
{
    CTempDir dir;
    const std::string copy = dir.File("copy.db");
    MakeHotJournal(dir, {1024, "FULL", false}, copy);
    const auto rolledBack = [&](CLogCollector& log) {
        CSqliteParser parser;
        parser.m_hLogWnd = &log;
        EXPECT_TRUE(parser.m_pageSource.Open(copy));
        parser.m_pageSource.AttachJournal(copy, true, &log);
        return std::pair(parser.m_pageSource.Journal().RollbackPages().Size(),
                         parser.m_pageSource.PageCount());
    };
    CLogCollector log;
    const auto [pages, count] = rolledBack(log);
    ASSERT_GT(pages, 3u) << log.Dump();

    // The first segment's header fills a 512-byte sector; its second record
    // starts one record further. Its last sampled byte is flipped.
    const std::string journal = copy + "-journal";
    std::fstream file(journal, std::ios::in | std::ios::out | std::ios::binary);
    const std::streamoff second = 512 + (1024 + 8);
    file.seekg(second + 4 + 824);
    const char byte = static_cast<char>(file.get());
    file.seekp(second + 4 + 824);
    file.put(static_cast<char>(byte ^ 0x5A));
    file.close();
    log.Clear();
    EXPECT_EQ(rolledBack(log).first, 1u) << log.Dump();
    EXPECT_EQ(CountLines(log, kLogWarning, u"fails its checksum"), 1) << log.Dump();

    // Initial page count 0xffffffff: bounded by the file and the journal.
    file.open(journal, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(16);
    file.write("\xff\xff\xff\xff", 4);
    file.close();
    log.Clear();
    EXPECT_LE(rolledBack(log).second, fs::file_size(copy) / 1024 + fs::file_size(journal) / 1024);
    EXPECT_EQ(CountLines(log, kLogWarning, u"claims 4294967295 pages"), 1) << log.Dump();
}

}  // namespace
