// Write-ahead logs and deleted records against databases written by sqlite3:
// a log copied while its writer holds it must read as sqlite3 reads the
// copy, also torn or damaged; deleted rows must come back from free space
// and no live row may ever be reported as deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <ranges>
#include <set>

#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"
#include "support/EngineReader.h"
#include "support/LogCollector.h"
#include "support/PageFile.h"
#include "support/RecoveredFile.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Messages with an INTEGER PRIMARY KEY; row i has body "message i ...".
void AddMessages(CSqliteDb& db, int from, int to)
{
    std::vector<std::vector<SqlValue>> rows;
    for (int i = from; i <= to; ++i)
        rows.push_back({std::int64_t(i), std::int64_t(i % 7),
                        "message " + std::to_string(i) + std::string(i % 40, 'x'),
                        std::int64_t(1600000000000 + i)});
    db.Exec("BEGIN");
    db.InsertRows("INSERT INTO m VALUES(?,?,?,?)", rows);
    db.Exec("COMMIT");
}

// What sqlite3 shows for a database and its log: read from a scratch copy,
// which sqlite3 may checkpoint.
DbSnapshot OracleWithLog(const CTempDir& dir, const std::string& db)
{
    const std::string scratch = dir.File("oracle.db");
    fs::copy_file(db, scratch, fs::copy_options::overwrite_existing);
    if (fs::exists(db + "-wal"))
        fs::copy_file(db + "-wal", scratch + "-wal", fs::copy_options::overwrite_existing);
    {
        CSqliteDb open(scratch, SQLITE_OPEN_READWRITE);
        open.QueryInt("SELECT count(*) FROM sqlite_master");
    }
    return ReadWithSqlite(scratch, true);
}

enum class LogCase { kOnlyInLog, kUpdates, kRestarted, kTornFrame, kFlippedByte, kBigEndian, kFlippedSalt };

// The same log as a big-endian machine writes it (checksums over big-endian
// words), or with one byte of a middle frame's second salt flipped.
void Rewrite(const std::string& path, LogCase how)
{
    CPageFile log(path);
    const std::size_t frame = 24 + log.Get32(8);
    const std::size_t salt2 = 32 + (log.Bytes().size() - 32) / frame / 2 * frame + 12;
    if (how == LogCase::kFlippedSalt)
        log.Put8(salt2 + 3, log.Get8(salt2 + 3) ^ 0x10);
    std::uint32_t s[2] = {0, 0};
    const auto sum = [&](std::size_t at, std::size_t size) {
        for (std::size_t k = 0; k < size; k += 8) {
            s[0] += log.Get32(at + k) + s[1];
            s[1] += log.Get32(at + k + 4) + s[0];
        }
    };
    for (std::size_t at = 32; how == LogCase::kBigEndian && at + frame <= log.Bytes().size(); at += frame) {
        if (at == 32) {
            log.Put32(0, 0x377f0683);
            sum(0, 24);
            log.Put32(24, s[0]);
            log.Put32(28, s[1]);
        }
        sum(at, 8);
        sum(at + 24, frame - 24);
        log.Put32(at + 16, s[0]);
        log.Put32(at + 20, s[1]);
    }
    log.Save(path);
}

class WalTest : public ::testing::TestWithParam<LogCase> {};

TEST_P(WalTest, ReadsAsSqliteReadsTheCopy)
{
    CTempDir dir;
    const std::string live = dir.File("live.db");
    const std::string copy = dir.File("copy.db");
    {
        CSqliteDb db(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=OFF");
        db.Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
        AddMessages(db, 1, 200);
        if (GetParam() != LogCase::kOnlyInLog)
            db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        if (GetParam() == LogCase::kRestarted) {
            AddMessages(db, 201, 600);
            db.Exec("PRAGMA wal_checkpoint(PASSIVE)");
        }
        db.Exec("DELETE FROM m WHERE id % 5 = 0; UPDATE m SET body = 'edited' WHERE id % 7 = 0");
        db.Exec("CREATE TABLE later(a TEXT)");
        db.Exec("INSERT INTO later VALUES('only in the log')");
        fs::copy_file(live, copy);
        fs::copy_file(live + "-wal", copy + "-wal");
    }
    const auto walSize = fs::file_size(copy + "-wal");
    if (GetParam() == LogCase::kTornFrame)
        fs::resize_file(copy + "-wal", walSize - 700);
    if (GetParam() == LogCase::kFlippedByte) {
        std::fstream wal(copy + "-wal", std::ios::in | std::ios::out | std::ios::binary);
        wal.seekp(static_cast<std::streamoff>(walSize / 2));
        wal.put('\x5A');
    }
    if (GetParam() == LogCase::kBigEndian || GetParam() == LogCase::kFlippedSalt)
        Rewrite(copy + "-wal", GetParam());

    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(copy, log, true, true);
    const DbSnapshot oracle = OracleWithLog(dir, copy);
    ASSERT_TRUE(SameSchema(engine, oracle)) << log.Dump();
    for (const TableSnapshot& table : oracle.tables) {
        SCOPED_TRACE(NameOf(table));
        EXPECT_TRUE(SameRows(engine.Find(table.name)->rows, table.rows));
    }
    EXPECT_GE(oracle.tables.size(), GetParam() == LogCase::kOnlyInLog ? 2u : 1u);

    // Without the log: the main file only, and one warning about the log.
    log.Clear();
    ReadWithEngine(copy, log, false, false);
    int warnings = 0;
    for (const LogMessage& line : log.Lines())
        warnings += line.type == kLogWarning && line.text.find(u"committed frames") != std::u16string::npos;
    EXPECT_EQ(warnings, 1) << log.Dump();
    if (GetParam() == LogCase::kOnlyInLog) {
        // Never checkpointed, the main file cut to nothing: the log alone is
        // the database, and a line says so.
        fs::resize_file(copy, 0);
        log.Clear();
        EXPECT_TRUE(SameSchema(ReadWithEngine(copy, log, true, true), oracle)) << log.Dump();
        EXPECT_NE(log.Dump().find("main file is empty"), std::string::npos) << log.Dump();
    }
}

INSTANTIATE_TEST_SUITE_P(Logs, WalTest,
                         ::testing::Values(LogCase::kOnlyInLog, LogCase::kUpdates,
                                           LogCase::kRestarted, LogCase::kTornFrame,
                                           LogCase::kFlippedByte, LogCase::kBigEndian,
                                           LogCase::kFlippedSalt));

// Deleted single rows, a run of rows and a dropped table, in both encodings
// and with auto_vacuum off and incremental: most come back, none is live.
TEST(RecoverTest, DeletedRowsComeBackAndNoLiveRowIsReported)
{
    for (const char* encoding : {"UTF-8", "UTF-16le"}) {
        SCOPED_TRACE(encoding);
        CTempDir dir;
        const std::string path = dir.File("deleted.db");
        std::map<std::u16string, int> deletedBodies;
        const bool autoVacuum = std::string(encoding) == "UTF-16le";
        {
            DbLayout layout;
            layout.pageSize = 1024;
            layout.encoding = encoding;
            layout.autoVacuum = autoVacuum;
            auto db = CreateDatabase(path, layout);
            db->Exec("PRAGMA secure_delete=OFF");
            db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
            db->Exec("CREATE TABLE gone(id INTEGER PRIMARY KEY, note TEXT)");
            db->Exec("INSERT INTO gone VALUES(1, 'dropped note one'), (2, 'dropped note two')");
            AddMessages(*db, 1, 300);
            for (int id : {3, 50, 51, 52, 53, 54, 55, 56, 57, 58, 140, 299})
                deletedBodies.emplace(Widen("message " + std::to_string(id) + std::string(id % 40, 'x')), id);
            db->Exec("DELETE FROM m WHERE id IN (3, 140, 299) OR id BETWEEN 50 AND 58");
            db->Exec("DROP TABLE gone");
        }
        CRecoveredFile file(path);
        ASSERT_TRUE(file.ran);
        const DbSnapshot live = ReadWithSqlite(path, true);

        std::set<std::u16string> found;
        int droppedNotes = 0;
        for (const RecoveredRecord& record : file.sink.records) {
            ASSERT_TRUE(record.table.has_value());
            if (*record.table == u"gone") {
                droppedNotes += record.values[1] && record.values[1]->starts_with(u"dropped note");
                continue;
            }
            ASSERT_EQ(*record.table, u"m");
            ASSERT_EQ(record.values.size(), 4u);
            ASSERT_TRUE(record.values[2].has_value());
            // Never a live row, and nothing that was not deleted.
            for (const DisplayRow& row : live.Find(u"m")->rows)
                EXPECT_NE(row[2], *record.values[2]) << "live row reported as deleted";
            const auto deleted = deletedBodies.find(*record.values[2]);
            ASSERT_NE(deleted, deletedBodies.end()) << WideToUtf8(*record.values[2]);
            // Whole: the thread and the date too.
            EXPECT_EQ(record.values[1], Widen(std::to_string(deleted->second % 7)));
            EXPECT_EQ(record.values[3], Widen(std::to_string(1600000000000 + deleted->second)));
            found.insert(*record.values[2]);
        }
        // Every deleted row's bytes are still in the file: every one comes back.
        EXPECT_EQ(found.size(), deletedBodies.size()) << file.log.Dump();
        EXPECT_EQ(file.recoverer->DroppedTables().size(), 1u);
        // With auto_vacuum the dropped table's page is cut off the end of the
        // file at commit: its rows are gone from the file.
        EXPECT_EQ(droppedNotes, autoVacuum ? 0 : 2);
    }
}

// A record as one line: where it was read and every value.
std::string RecordLine(const RecoveredRecord& r)
{
    std::string line = WideToUtf8(r.table.value_or(u"-")) + " " + r.source + " " + std::to_string(r.page) + " " +
                       std::to_string(r.offset) + " " + std::to_string(r.end) + " " +
                       (r.rowid ? std::to_string(*r.rowid) : "-") + (r.partial ? " partial" : "");
    for (const auto& value : r.values)
        line += "|" + (value ? WideToUtf8(*value) : "\\N");
    return line;
}

// The live tables' pages scanned on several threads give the same records
// and log lines, in the same order, as scanned on the walk's own thread,
// also where the freeblock chain of a page is not sound.
TEST(RecoverTest, ScanningPagesOnSeveralThreadsGivesTheSameRecordsAndLines)
{
    CTempDir dir;
    const std::string path = dir.File("many.db");
    {
        DbLayout layout;
        layout.pageSize = 1024;
        auto db = CreateDatabase(path, layout);
        db->Exec("PRAGMA secure_delete=OFF");
        db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
        AddMessages(*db, 1, 4000);  // some hundred leaves: several batches of pages
        db->Exec("DELETE FROM m WHERE id % 9 = 0");
    }
    // Two leaves far apart whose first freeblock points back into the cell
    // pointer array: each a warning line between the records of other pages.
    CPageFile file(path);
    std::vector<std::uint32_t> damaged;
    for (std::uint32_t page = 2; page <= file.PageCount() && damaged.size() < 2; page += 100)
        for (std::uint32_t p = page; p <= file.PageCount(); ++p)
            if (file.PageType(p) == 13 && file.Get16(file.PageStart(p) + 1) != 0) {
                file.Put16(file.PageStart(p) + 1, 9);
                damaged.push_back(p);
                break;
            }
    ASSERT_EQ(damaged.size(), 2u);
    const std::string broken = dir.File("broken.db");
    file.Save(broken);
    for (const std::string& db : {path, broken}) {
        CRecoveredFile one(db, false, false, 1);
        CRecoveredFile many(db, false, false, 3);
        std::vector<std::string> oneLines, manyLines;
        std::ranges::transform(one.sink.records, std::back_inserter(oneLines), RecordLine);
        std::ranges::transform(many.sink.records, std::back_inserter(manyLines), RecordLine);
        EXPECT_EQ(manyLines, oneLines) << db;
        EXPECT_EQ(many.log.Dump(), one.log.Dump()) << db;
        EXPECT_GE(oneLines.size(), 4000u / 9 - 20) << db;  // most deleted rows come back
        EXPECT_EQ(one.log.Dump().find("freeblock at offset 9 is not sound") != std::string::npos, db == broken);
    }
}

// A WAL database of 300 messages in m, checkpointed, then `change` run on
// it: the path of a copy of the database and its log taken while the writer
// holds them.
std::string CopyAfterCheckpoint(const CTempDir& dir, bool autoVacuum, const std::string& change)
{
    const std::string live = dir.File("live.db");
    const std::string copy = dir.File("copy.db");
    DbLayout layout;
    layout.autoVacuum = autoVacuum;
    auto db = CreateDatabase(live, layout);
    db->Exec("PRAGMA secure_delete=OFF; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
    db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
    AddMessages(*db, 1, 300);
    db->Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db->Exec(change);
    fs::copy_file(live, copy);
    fs::copy_file(live + "-wal", copy + "-wal");
    return copy;
}

// Deletions made after the last checkpoint, read from a copy of the database
// and its log: the main file still holds what the checkpoint left.
struct CheckpointCase {
    const char* name;
    bool autoVacuum;
    bool dropped;  // the table is dropped and twelve rows go into a new one
    const char* change;
};

TEST(RecoverTest, RowsTheCheckpointLeftComeBackFromTheMainFile)
{
    const CheckpointCase cases[] = {
        // auto_vacuum FULL moves the last pages down over the freed ones and
        // the commit shrinks the database: the rows are in the file's tail.
        {"shrinking commit", true, false, "DELETE FROM m WHERE id > 150"},
        // The dropped table's CREATE statement is gone from the log's schema,
        // but the main file's own schema still names it and its pages.
        // Its pages are taken again, one commit per new row.
        {"drop, then a table of the same columns", false, true,
         "DELETE FROM m WHERE id > 150; DROP TABLE m; "
         "CREATE TABLE d(id INTEGER PRIMARY KEY, kind INTEGER, text TEXT, created INTEGER)"},
        // The main file's own schema names the table by its old name, its
        // pages there hold the live rows: none of them may be reported.
        {"rename", false, false, "ALTER TABLE m RENAME TO renamed; DELETE FROM renamed WHERE id > 150"},
    };
    std::string drafts;
    for (int i = 1; i <= 12; ++i)
        drafts += "; INSERT INTO d VALUES(" + std::to_string(i) + ", 1, 'draft " + std::to_string(i) +
                  std::string(i * 3, 'y') + "', " + std::to_string(1700000000 + i) + ")";
    for (const CheckpointCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        CRecoveredFile file(CopyAfterCheckpoint(dir, c.autoVacuum, c.change + (c.dropped ? drafts : "")), true);
        ASSERT_TRUE(file.ran);
        std::set<std::int64_t> ids;
        for (const RecoveredRecord& record : file.sink.records) {
            ASSERT_TRUE(record.rowid.has_value());
            EXPECT_EQ(record.table, std::optional<std::u16string>(u"m")) << *record.rowid;
            // Whole, not pieced together with the bytes of newer cells.
            EXPECT_EQ(record.values[2], Widen("message " + std::to_string(*record.rowid) +
                                              std::string(*record.rowid % 40, 'x')));
            EXPECT_EQ(record.values[3], Widen(std::to_string(1600000000000 + *record.rowid)));
            ids.insert(*record.rowid);
        }
        // Every deleted row and no other: the dropped table's rows are all
        // deleted.
        ASSERT_EQ(ids.size(), c.dropped ? 300u : 150u) << file.log.Dump();
        EXPECT_EQ(*ids.begin(), c.dropped ? 1 : 151);
    }
}

// Long rows that exist only in the log, deleted there, with auto_vacuum
// moving their overflow pages since: each cell's chain is read as its own
// transaction left it, so every body comes back whole.
TEST(RecoverTest, ChainsOfRowsOnlyInTheLogAreReadAsTheirTransactionLeftThem)
{
    CTempDir dir;
    CRecoveredFile file(CopyAfterCheckpoint(dir, true,
                                            "INSERT INTO m SELECT id + 1000, thread, body || printf('%.5000c', 'z'), "
                                            "date FROM m WHERE id <= 10; DELETE FROM m WHERE id > 1000"),
                        true);
    ASSERT_TRUE(file.ran);
    std::set<std::int64_t> whole;
    for (const RecoveredRecord& record : file.sink.records) {
        const std::int64_t id = record.rowid.value_or(0) - 1000;
        if (id >= 1 && id <= 10 &&
            record.values[2] == Widen("message " + std::to_string(id) + std::string(id % 40, 'x') +
                                      std::string(5000, 'z')))
            whole.insert(id);
    }
    EXPECT_EQ(whole.size(), 10u) << file.log.Dump();
}

// The names the device tree lists under a database: its dropped tables,
// read without a scan for records.
std::set<std::u16string> TreeListsDropped(CRecoveredFile& file)
{
    CRecordRecoverer tree(file.parser, *file.db);
    tree.ReadDroppedTables();
    std::set<std::u16string> names;
    for (const TableInfo& table : tree.DroppedTables())
        names.insert(table.name);
    return names;
}

// Tables named only on page versions no schema tree uses: one created,
// filled and dropped (with secure_delete on) since the checkpoint, its
// CREATE statement and its rows only in older log frames; and schema pages
// given up to the freelist when most of forty tables are dropped.
TEST(RecoverTest, CreateStatementsInLogFramesAndOnFreelistPagesNameDroppedTables)
{
    const std::string kColumns = "(id INTEGER PRIMARY KEY, note TEXT, a TEXT, b TEXT, c TEXT, d TEXT, e TEXT, f TEXT)";
    CTempDir dir;
    CRecoveredFile logged(CopyAfterCheckpoint(dir, false,
                                              "CREATE TABLE gone(id INTEGER PRIMARY KEY, note TEXT, ts INTEGER); "
                                              "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 120) "
                                              "INSERT INTO gone SELECT i, 'gone note ' || i, 1600000000 + i FROM c; "
                                              "PRAGMA secure_delete=ON; DROP TABLE gone"),
                          true);
    std::set<std::int64_t> gone;
    for (const RecoveredRecord& record : logged.sink.records)
        if (record.table == std::optional<std::u16string>(u"gone") && record.rowid &&
            record.values[1] == Widen("gone note " + std::to_string(*record.rowid)) &&
            record.values[2] == Widen(std::to_string(1600000000 + *record.rowid)))
            gone.insert(*record.rowid);
    EXPECT_EQ(gone.size(), 120u) << logged.log.Dump();
    EXPECT_EQ(logged.sink.records.size(), 120u);

    const std::string path = dir.File("schema.db");
    {
        DbLayout layout;
        layout.pageSize = 1024;
        auto db = CreateDatabase(path, layout);
        db->Exec("PRAGMA secure_delete=OFF");
        std::string drops = "BEGIN";
        for (int t = 10; t < 50; ++t) {
            db->Exec("CREATE TABLE t" + std::to_string(t) + kColumns);
            if (t % 8 != 0)
                drops += "; DROP TABLE t" + std::to_string(t);
        }
        db->Exec(drops + "; COMMIT");
    }
    // Every dropped table whose whole statement the file still holds.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::set<std::u16string> held;
    for (int t = 10; t < 50; ++t)
        if (t % 8 != 0 && bytes.find("CREATE TABLE t" + std::to_string(t) + kColumns) != std::string::npos)
            held.insert(Widen("t" + std::to_string(t)));
    CRecoveredFile dropped(path);
    std::set<std::u16string> named;
    for (const TableInfo& table : dropped.recoverer->DroppedTables())
        named.insert(table.name);
    EXPECT_EQ(named, held) << dropped.log.Dump();
    EXPECT_GE(held.size(), 16u);
    // The device tree reads the dropped tables alone, and names the same.
    EXPECT_EQ(TreeListsDropped(dropped), held);
    EXPECT_EQ(TreeListsDropped(logged), std::set<std::u16string>{u"gone"});
}

// A WITHOUT ROWID table (its key not its first column) with rows deleted
// after a checkpoint: the main file keeps each page the log replaced, whose
// index cells come back whole, every one, in column order; and in a file
// without a log the cells of its freed pages come back, none of them live.
TEST(RecoverTest, DeletedRowsOfAWithoutRowidTableComeBack)
{
    for (const bool wal : {true, false}) {
        SCOPED_TRACE(wal ? "log" : "file");
        CTempDir dir;
        const std::string live = dir.File("live.db"), copy = dir.File("copy.db");
        {
            DbLayout layout;
            layout.pageSize = 1024;
            auto db = CreateDatabase(live, layout);
            db->Exec(std::string("PRAGMA secure_delete=OFF; PRAGMA journal_mode=") + (wal ? "WAL" : "DELETE") +
                     "; PRAGMA wal_autocheckpoint=0");
            db->Exec("CREATE TABLE kv(n INTEGER, v TEXT, k TEXT PRIMARY KEY) WITHOUT ROWID");
            db->Exec("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 400) "
                     "INSERT INTO kv SELECT i * 7, 'value number ' || i, printf('key%04d', i) FROM c");
            db->Exec("PRAGMA wal_checkpoint(TRUNCATE)");
            db->Exec("DELETE FROM kv WHERE n % 9 = 0 OR k > 'key0350'");
            fs::copy_file(live, copy);
            if (wal)
                fs::copy_file(live + "-wal", copy + "-wal");
        }
        CRecoveredFile file(copy, wal);
        std::set<int> back;
        for (const RecoveredRecord& record : file.sink.records) {
            ASSERT_EQ(record.values.size(), 3u);
            ASSERT_TRUE(record.values[2].has_value());
            const int i = std::stoi(WideToUtf8(record.values[2]->substr(3)));
            EXPECT_TRUE(i % 9 == 0 || i > 350) << i << " is live";
            EXPECT_EQ(record.values[0], Widen(std::to_string(i * 7)));
            EXPECT_EQ(record.values[1], Widen("value number " + std::to_string(i)));
            back.insert(i);
        }
        EXPECT_EQ(back.size(), wal ? 44u + 49u - 5u : back.size()) << file.log.Dump();
        EXPECT_GE(back.size(), 20u);
    }
}

// A freed cell whose tail a newer, smaller cell took comes back in part:
// the values of its surviving head, null for the rest. A shrinking update
// leaves the old version's head behind the new cell; it is reported only
// when that head differs from the live row. A deleted record's overflow
// pages are read while they are freelist leaves.
struct PartialCase {
    const char* name;
    bool longNotes;             // notes 3 and 7 go on to overflow pages
    const char* change;         // SQL run on note 7 after the notes are written
    const char* created;        // the old version's `created` expected back, or nullptr: none
    bool contentBack;           // its content comes back whole, else null
};

std::string NoteContent(int i, bool longNotes)
{
    const std::size_t length = longNotes && (i == 3 || i == 7) ? 6000 : 80;
    return "content of note " + std::to_string(i) + " " + std::string(length, 'y');
}

TEST(RecoverTest, RecordsWithOverwrittenTailsComeBackInPart)
{
    const PartialCase cases[] = {
        {"deleted, then a shorter row with its rowid", false,
         "DELETE FROM n WHERE id = 7; INSERT INTO n VALUES(7, 'new', 1, 'short')", "1600000007", false},
        {"shrinking update that changes the date too", false,
         "UPDATE n SET created = 1700000000, content = 'edited' WHERE id = 7", "1600000007", false},
        {"shrinking update of the last column only: the head equals the live row", false,
         "UPDATE n SET content = 'edited' WHERE id = 7", nullptr, false},
        {"deleted after another long note: its overflow pages are freelist leaves", true,
         "DELETE FROM n WHERE id = 3; DELETE FROM n WHERE id = 7", "1600000007", true},
        {"deleted alone: its first overflow page became the freelist trunk", true,
         "DELETE FROM n WHERE id = 7", "1600000007", false},
    };
    for (const PartialCase& c : cases)
        for (const char* encoding : {"UTF-8", "UTF-16le"}) {
            SCOPED_TRACE(std::string(c.name) + " " + encoding);
            CTempDir dir;
            const std::string path = dir.File("partial.db");
            {
                DbLayout layout;
                layout.pageSize = 4096;
                layout.encoding = encoding;
                auto db = CreateDatabase(path, layout);
                db->Exec("PRAGMA secure_delete=OFF");
                db->Exec("CREATE TABLE n(id INTEGER PRIMARY KEY, title TEXT, created INTEGER, content TEXT)");
                for (int i = 1; i <= 12; ++i)
                    db->Exec("INSERT INTO n VALUES(" + std::to_string(i) + ", 'note " + std::to_string(i) +
                             "', " + std::to_string(1600000000 + i) + ", '" +
                             NoteContent(i, c.longNotes) + "')");
                db->Exec(c.change);
            }
            CRecoveredFile file(path);
            ASSERT_TRUE(file.ran);
            int found = 0;
            for (const RecoveredRecord& record : file.sink.records) {
                ASSERT_EQ(record.values.size(), 4u);
                if (record.values[1] != std::optional<std::u16string>(u"note 7"))
                    continue;
                ++found;
                ASSERT_TRUE(c.created != nullptr) << "the live row was reported";
                EXPECT_EQ(record.values[2], std::optional<std::u16string>(Widen(c.created)));
                EXPECT_EQ(record.partial, !c.contentBack);
                if (c.contentBack)
                    EXPECT_EQ(record.values[3], std::optional<std::u16string>(Widen(NoteContent(7, true))));
                else
                    EXPECT_FALSE(record.values[3].has_value()) << "lost bytes were read";
            }
            EXPECT_EQ(found, c.created ? 1 : 0) << file.log.Dump();
        }
}

// A PERSIST journal after several commits keeps old page images behind its
// zeroed header. With secure_delete on, the rows deleted or overwritten in
// place are gone from the file: those whose bytes only the journal still
// holds must all come back whole (long ones with the overflow pages their
// own transaction journaled), at their byte offset in the journal, and no
// live row.
std::string JournalBody(int i)
{
    return (i > 1000 ? "long " : "message ") + std::to_string(i) + std::string(i > 1000 ? 3000 : i % 40, 'x');
}

TEST(RecoverTest, RowsOnlyAPersistJournalHoldsComeBackFromIt)
{
    for (const DbLayout& layout : {DbLayout{1024, "UTF-8"}, DbLayout{4096, "UTF-16le"}}) {
        SCOPED_TRACE(layout.encoding);
        CTempDir dir;
        const std::string path = dir.File("persist.db");
        // Every version updated or deleted (none is live), to its first bytes as stored.
        std::map<std::u16string, std::string> old;
        const auto addOld = [&](std::string text) {
            const std::u16string body = Widen(text);
            const bool utf8 = layout.encoding == std::string("UTF-8");
            old[body] = utf8 ? text.substr(0, 400) : std::string(reinterpret_cast<const char*>(body.data()),
                                                              2 * std::min<std::size_t>(body.size(), 200));
        };
        {
            auto db = CreateDatabase(path, layout);
            db->Exec("PRAGMA journal_mode=PERSIST; PRAGMA cache_size=5");
            db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, thread INTEGER, body TEXT, date INTEGER)");
            std::vector<std::vector<SqlValue>> rows;
            for (int i : std::views::iota(1, 404)) {
                const int id = i > 400 ? i + 600 : i;
                rows.push_back({std::int64_t(id), std::int64_t(id % 7), JournalBody(id), std::int64_t(id)});
                std::string upper = JournalBody(id);
                std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
                const bool deleted = id % 9 == 0 || id == 1001 || id == 1003;
                if (deleted || id % 13 == 0)
                    addOld(JournalBody(id));
                if (deleted && id % 13 == 0)
                    addOld(upper);
            }
            db->Exec("BEGIN");
            db->InsertRows("INSERT INTO m VALUES(?,?,?,?)", rows);
            db->Exec("COMMIT; PRAGMA secure_delete=ON");
            db->Exec("UPDATE m SET body = upper(body) WHERE id % 13 = 0");
            db->Exec("DELETE FROM m WHERE id % 9 = 0 OR id IN (1001, 1003)");
            db->Exec("INSERT INTO m VALUES(500, 1, 'late', 1)");
        }
        std::ifstream in(path, std::ios::binary), journalIn(path + "-journal", std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), {}};
        const std::string journal{std::istreambuf_iterator<char>(journalIn), {}};
        std::set<std::u16string> onlyJournal;
        for (const auto& [body, stored] : old)
            if (journal.find(stored) != std::string::npos && file.find(stored) == std::string::npos)
                onlyJournal.insert(body);
        ASSERT_GE(onlyJournal.size(), 20u);

        CRecoveredFile recovered(path, false, true);
        std::set<std::u16string> found;
        for (const RecoveredRecord& record : recovered.sink.records) {
            const std::u16string body = record.values.at(2).value_or(u"");
            ASSERT_TRUE(old.count(body)) << "not an old row: " << WideToUtf8(body);
            // A journal record's offset is where its cell lies in the journal.
            if (std::string_view(record.source) == "journal" &&
                journal.substr(record.offset, layout.pageSize).find(old[body].substr(0, 40)) != std::string::npos)
                found.insert(body);
        }
        for (const std::u16string& body : onlyJournal)
            EXPECT_TRUE(found.count(body)) << "only in the journal, not found: " << WideToUtf8(body).substr(0, 20);
        EXPECT_TRUE(onlyJournal.count(Widen(JournalBody(1003))) || onlyJournal.count(Widen(JournalBody(1001))));

        // Without --journal its images are not read.
        CRecoveredFile unread(path);
        for (const RecoveredRecord& record : unread.sink.records)
            EXPECT_NE(std::string_view(record.source), "journal");
    }
}

}  // namespace
