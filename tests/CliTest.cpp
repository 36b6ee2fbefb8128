// The command line: output shapes, escaping and exit codes of salvix-cli.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/wait.h>

#include "support/CliRun.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db = dir.File("cli.db");
        CSqliteDb sqlite(db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite.Exec("CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT, data BLOB)");
        sqlite.Exec("CREATE TABLE \"Mixed Case\"(x REAL)");
        sqlite.InsertRows("INSERT INTO notes VALUES(?,?,?)",
                          {{std::int64_t(1), std::string("tab\there\nline\\ \r中文"), SqlBlob{{0xAB, 0x01}}},
                           {std::int64_t(-5), nullptr, nullptr}});
        sqlite.Exec("INSERT INTO \"Mixed Case\" VALUES(0.5)");
    }
    CTempDir dir;
    std::string db;
};

TEST_F(CliTest, TablesJsonDescribesEachDatabaseOnOneLine)
{
    const CliResult r = RunCli(dir, {"tables", "--json", db, db});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const auto json = nlohmann::json::parse(line);
        EXPECT_EQ(json.at("path"), db);
        EXPECT_EQ(json.at("pageSize"), 4096);
        EXPECT_EQ(json.at("fileSize").get<std::uint64_t>() % 4096, 0u);
        EXPECT_EQ(json.at("tableCount"), 2);
        const auto& tables = json.at("tables");
        // Tables come in ascending cell offset of their schema rows: the
        // later CREATE is stored lower in page 1, so it is listed first.
        ASSERT_EQ(tables.size(), 2u);
        EXPECT_EQ(tables[0].at("name"), "Mixed Case");
        EXPECT_EQ(tables[0].at("ordinal"), 0);
        EXPECT_EQ(tables[0].at("columns"), nlohmann::json::parse(R"([{"name":"x","type":"REAL"}])"));
        EXPECT_EQ(tables[1].at("name"), "notes");
        EXPECT_EQ(tables[1].at("ordinal"), 1);
        EXPECT_EQ(tables[1].at("rootPage"), 2);
        EXPECT_EQ(tables[1].at("columns"),
                  nlohmann::json::parse(R"([{"name":"id","type":"INTEGER"},)"
                                        R"({"name":"body","type":"TEXT"},{"name":"data","type":"BLOB"}])"));
    }
    EXPECT_EQ(count, 2);
}

TEST_F(CliTest, RowsEscapeTabsLineBreaksAndBackslashes)
{
    const CliResult r = RunCli(dir, {"rows", db, "notes"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Rows in b-tree order: rowid -5 sorts before 1.
    EXPECT_EQ(r.out, "-5\t\t\n1\ttab\\there\\nline\\\\ \\r中文\tAB01\n");
}

TEST_F(CliTest, RowsJsonIsOneArrayOfStringsPerLine)
{
    const CliResult r = RunCli(dir, {"rows", "--json", db, "mixed case"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[\"0.5\"]\n");
    const CliResult notes = RunCli(dir, {"rows", "--json", db, "notes"});
    std::istringstream lines(notes.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(nlohmann::json::parse(second),
              nlohmann::json::array({"1", "tab\there\nline\\ \r中文", "AB01"}));
}

// --time turns a column's numbers into times in every layout; a text, a
// NULL and a number out of range stay as they are; a column the table
// lacks fails.
TEST_F(CliTest, RowsShowTimeColumnsInEveryLayout)
{
    {
        CSqliteDb sqlite(db, SQLITE_OPEN_READWRITE);
        sqlite.Exec("CREATE TABLE chat(at, sent REAL);"
                    "INSERT INTO chat VALUES(1578268800000, 446692882.792), ('soon', NULL), (5, 1e300)");
    }
    // Rows in the order the table read gives them (cell content order).
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"rows", "--time", "at=unix-ms", "--time", "SENT=mac", db, "chat"},
         "5\t1e+300\nsoon\t\n2020-01-06T00:00:00.000Z\t2015-02-27T01:21:22.792Z\n"},
        {{"rows", "--json", "--time", "sent=mac", db, "chat"},
         "[\"5\",\"1e+300\"]\n[\"soon\",\"\"]\n[\"1578268800000\",\"2015-02-27T01:21:22.792Z\"]\n"},
        {{"rows", "--csv", "--time", "at=unix-ms", db, "chat"},
         "\xEF\xBB\xBF" "at,sent\r\n5,1e+300\r\nsoon,\r\n2020-01-06T00:00:00.000Z,446692882.792\r\n"},
    };
    for (const auto& [args, out] : cases) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, out);
    }
    EXPECT_EQ(RunCli(dir, {"rows", "--time", "nosuch=unix", db, "chat"}).status, 1);
    EXPECT_EQ(RunCli(dir, {"rows", "--time", "at=days", db, "chat"}).status, 2);
}

// page --json lists regions from 0 to the page size in order; the cells
// start where the cell pointer array says.
TEST_F(CliTest, PageJsonCoversThePageInOrder)
{
    const CliResult r = RunCli(dir, {"page", "--json", db, "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json.at("page"), 2);
    EXPECT_EQ(json.at("type"), "table-leaf");
    const auto file = CSqliteDb(db, SQLITE_OPEN_READONLY).QueryInt("PRAGMA page_size");
    std::int64_t at = 0;
    std::vector<std::int64_t> cellStarts;
    for (const auto& region : json.at("regions")) {
        EXPECT_EQ(region.at("start"), at);
        at = region.at("end");
        if (region.at("kind") == "cell" && region.at("cell") == cellStarts.size())
            cellStarts.push_back(region.at("start"));
    }
    EXPECT_EQ(at, file);
    EXPECT_EQ(cellStarts.size(), 2u);
    EXPECT_EQ(RunCli(dir, {"page", db, "99"}).status, 1);
    EXPECT_EQ(RunCli(dir, {"page", db, "0"}).status, 2);
}

// Names are bytes: a file named with a Latin-1 byte opens; tables named
// "", "-x" and "--help" are read after "--"; two tables whose names differ
// only in invalid UTF-8 bytes stay apart and each reads by its ordinal.
TEST_F(CliTest, NamesAreTakenAsTheirBytes)
{
    const std::string latin1 = dir.File("caf\xE9.db");
    {
        CSqliteDb sqlite(latin1, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite.Exec("CREATE TABLE \"\"(a REAL); INSERT INTO \"\" VALUES(3);"
                    "CREATE TABLE \"-x\"(a); INSERT INTO \"-x\" VALUES('dash');"
                    "CREATE TABLE \"--help\"(a); INSERT INTO \"--help\" VALUES('help');"
                    "CREATE TABLE \"t\xFF\"(a); INSERT INTO \"t\xFF\" VALUES('ff');"
                    "CREATE TABLE \"t\xFE\"(a); INSERT INTO \"t\xFE\" VALUES('fe');");
    }
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"rows", latin1, ""}, "3.0\n"},
        {{"rows", latin1, "--", "-x"}, "dash\n"},
        {{"rows", "--", latin1, "--help"}, "help\n"},
        {{"rows", "--ordinal", "0", latin1}, "fe\n"},  // listed in cell order: last created first
        {{"rows", "--ordinal", "1", latin1}, "ff\n"},
    };
    for (const auto& [args, out] : cases) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 0) << args.back() << r.err;
        EXPECT_EQ(r.out, out) << args.back();
    }
    EXPECT_EQ(RunCli(dir, {"rows", "--ordinal", "9", latin1}).status, 1);
}

// A deleted record whose tail a newer cell took is marked partial, after its
// values in plain text and with "partial": true in JSON; a whole one is not.
TEST_F(CliTest, RecoverMarksPartialRecords)
{
    {
        CSqliteDb sqlite(db, SQLITE_OPEN_READWRITE);
        sqlite.Exec("PRAGMA secure_delete=OFF; CREATE TABLE n(id INTEGER PRIMARY KEY, title TEXT, created INTEGER, content TEXT)");
        for (int i = 1; i <= 12; ++i)
            sqlite.Exec("INSERT INTO n VALUES(" + std::to_string(i) + ", 'note " + std::to_string(i) + "', " +
                        std::to_string(1600000000 + i) + ", 'content " + std::string(80, 'y') + "')");
        sqlite.Exec("DELETE FROM n WHERE id IN (4, 7); INSERT INTO n VALUES(7, 'new', 1, 'short')");
    }
    std::istringstream plain(RunCli(dir, {"recover", db, "n"}).out), json(RunCli(dir, {"recover", "--json", db, "n"}).out);
    std::map<std::string, bool> marked;
    for (std::string line, object; std::getline(plain, line) && std::getline(json, object);) {
        const nlohmann::json record = nlohmann::json::parse(object);
        EXPECT_EQ(record.value("partial", false), line.ends_with("\tpartial")) << line;
        marked[record["values"][1]] = line.ends_with("\tpartial");
    }
    EXPECT_EQ(marked, (std::map<std::string, bool>{{"note 4", false}, {"note 7", true}}));
}

TEST_F(CliTest, ExitCodes)
{
    EXPECT_EQ(RunCli(dir, {"tables", db}).status, 0);
    EXPECT_EQ(RunCli(dir, {"--help"}).status, 0);

    // 1: the file is missing, is not a database, or lacks the table.
    const CliResult missing = RunCli(dir, {"tables", dir.File("missing.db")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("打开/创建设备"), std::string::npos) << missing.err;
    const std::string text = dir.File("text.db");
    std::ofstream(text) << "not a database at all";
    const CliResult notDb = RunCli(dir, {"rows", text, "t"});
    EXPECT_EQ(notDb.status, 1);
    EXPECT_NE(notDb.err.find("3\terror\t" + text + ":不是sqlite数据库文件"), std::string::npos)
        << notDb.err;
    EXPECT_EQ(RunCli(dir, {"rows", db, "nosuch"}).status, 1);
    EXPECT_EQ(RunCli(dir, {"tables", db, dir.File("missing.db")}).status, 1);
    EXPECT_EQ(RunCli(dir, {"hash", db, dir.Path()}).status, 1);  // a folder is not read

    // 2: usage errors.
    EXPECT_EQ(RunCli(dir, {}).status, 2);
    EXPECT_EQ(RunCli(dir, {"bogus"}).status, 2);
    EXPECT_EQ(RunCli(dir, {"tables"}).status, 2);
    EXPECT_EQ(RunCli(dir, {"hash", "--wal", db}).status, 2);
    EXPECT_EQ(RunCli(dir, {"rows", db}).status, 2);
    EXPECT_EQ(RunCli(dir, {"rows", "--xml", db, "notes"}).status, 2);
}

}  // namespace
