// The case report: salvix-cli report writes one HTML file that Python's
// html.parser reads, that holds every hash and table, escapes every text
// and loads nothing from elsewhere; a real browser renders it when one is
// installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "driver/CaseReport.h"
#include "platform/TextConvert.h"
#include "support/CliRun.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// The report as html.parser sees it: every start tag with its attribute
// names, and the text between the tags.
const char kParseReport[] = R"(
import html.parser, json, sys
class Reader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags, self.text = [], []
    def handle_starttag(self, tag, attrs):
        self.tags.append([tag] + [name for name, _ in attrs])
    def handle_data(self, data):
        self.text.append(data)
reader = Reader()
reader.feed(open(sys.argv[1], encoding='utf-8', errors='strict').read())
reader.close()
print(json.dumps({'tags': reader.tags, 'text': '\n'.join(reader.text)}))
)";

class CaseReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(dir.File("evidence"));
        fs::create_directory(dir.File("out"));
        db = dir.File("evidence/短信.db");
        CSqliteDb sqlite(db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite.Exec("PRAGMA secure_delete=OFF");
        sqlite.Exec("CREATE TABLE \"<script>\"(x TEXT)");
        sqlite.Exec("INSERT INTO \"<script>\" VALUES('</td></table><script>alert(1)</script>')");
        sqlite.Exec("CREATE TABLE messages(id INTEGER PRIMARY KEY, body TEXT)");
        std::vector<std::vector<SqlValue>> rows;
        for (int i = 1; i <= 40; ++i)
            rows.push_back({std::int64_t(i), std::string("消息 message number ") + std::to_string(i)});
        sqlite.InsertRows("INSERT INTO messages VALUES(?, ?)", rows);
        sqlite.Exec("DELETE FROM messages WHERE id % 4 = 0");
    }

    nlohmann::json ParseReport(const std::string& path)
    {
        std::ofstream(dir.File("parse.py")) << kParseReport;
        const CliResult r = RunProgram(dir, "python3", {dir.File("parse.py"), path});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? nlohmann::json::parse(r.out) : nlohmann::json();
    }

    CTempDir dir;
    std::string db;
};

// Only the page's own markup: no script, nothing loaded from elsewhere.
void ExpectOnlyOwnMarkup(const nlohmann::json& parsed)
{
    for (const auto& tag : parsed.at("tags")) {
        EXPECT_NE(tag[0], "script");
        EXPECT_NE(tag[0], "link");
        EXPECT_NE(tag[0], "img");
        for (std::size_t i = 1; i < tag.size(); ++i)
            EXPECT_TRUE(tag[i] == "class" || tag[i] == "lang" || tag[i] == "charset") << tag;
    }
}

TEST_F(CaseReportTest, HoldsHashesTablesAndCountsWithEveryTextEscaped)
{
    const std::string report = dir.File("out/report.html");
    const CliResult r = RunCli(dir, {"report", "--out", report, "--examiner", "张三 <b>", "--case",
                                     "A&B-2026", db});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json parsed = ParseReport(report);
    ASSERT_TRUE(parsed.is_object());
    const std::string text = parsed.at("text");

    const auto hash = nlohmann::json::parse(RunCli(dir, {"hash", "--json", db}).out);
    for (const char* key : {"md5", "sha1", "sha256"})
        EXPECT_NE(text.find(hash.at(key).get<std::string>()), std::string::npos) << key;
    // Texts from the file and the command line come back as text, not markup.
    for (const std::string expected : {db, std::string("张三 <b>"), std::string("A&B-2026")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    ExpectOnlyOwnMarkup(parsed);
    // Each table's row: name, root page, live rows, the rows recover finds.
    const auto recovered = [&](const std::string& table) {
        const std::string out = RunCli(dir, {"recover", db, table}).out;
        return std::to_string(std::count(out.begin(), out.end(), '\n'));
    };
    EXPECT_NE(recovered("messages"), "0");
    for (const std::string row : {"<script>\n2\n1\n" + recovered("<script>"), "messages\n3\n30\n" + recovered("messages")})
        EXPECT_NE(text.find(row + "\n"), std::string::npos) << row;
}

// What the desktop adds: checked records, scan hits and log lines, each
// with text that would break out of its cell if it were not escaped.
TEST_F(CaseReportTest, ChecksScanHitsAndLogAreEscaped)
{
    const std::string hostile = "</td></table><script>alert(1)</script>&amp;";
    CCaseReport report;
    report.AddCheckedRecords({u"messages", {u"状态", u"body"}, {{u"deleted", Widen(hostile)}}});
    report.AddScan({EvidenceHash{}, {u"扫描结果", {u"偏移"}, {{Widen(hostile)}}}});
    report.AddLogLine({kLogError, u"error", Widen(hostile + "\x01")});
    const std::string path = dir.File("out/grid.html");
    ASSERT_TRUE(report.Write(path, false));
    const nlohmann::json parsed = ParseReport(path);
    ASSERT_TRUE(parsed.is_object());
    const std::string text = parsed.at("text");
    // Each comes back whole as text: records, hits, log (its control
    // character written out).
    std::size_t found = 0;
    for (std::size_t at = text.find(hostile); at != std::string::npos; at = text.find(hostile, at + 1))
        ++found;
    EXPECT_EQ(found, 3u) << text;
    EXPECT_NE(text.find(hostile + "\\x01"), std::string::npos) << text;
    ExpectOnlyOwnMarkup(parsed);
}

TEST_F(CaseReportTest, RefusesTheFolderOfAnExaminedFileAndAnExistingFile)
{
    EXPECT_EQ(RunCli(dir, {"report", "--out", dir.File("evidence/r.html"), db}).status, 2);
    EXPECT_FALSE(fs::exists(dir.File("evidence/r.html")));
    std::ofstream(dir.File("out/old.html")) << "kept";
    EXPECT_EQ(RunCli(dir, {"report", "--out", dir.File("out/old.html"), db}).status, 1);
    std::ifstream old(dir.File("out/old.html"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "kept");
    EXPECT_EQ(RunCli(dir, {"report", db}).status, 2);
}

// Debian's chromium, when installed, prints the report to PDF headless.
TEST_F(CaseReportTest, RendersInAHeadlessBrowser)
{
    std::string browser;
    for (const char* name : {"chromium", "chromium-browser", "google-chrome"})
        if (RunProgram(dir, "sh", {"-c", std::string("command -v ") + name}).status == 0)
            browser = name;
    if (browser.empty())
        GTEST_SKIP() << "skipped: no chromium installed to render the report";
    const std::string report = dir.File("out/report.html");
    ASSERT_EQ(RunCli(dir, {"report", "--out", report, db}).status, 0);
    const std::string pdf = dir.File("out/report.pdf");
    const CliResult r = RunProgram(dir, "timeout", {"120", browser, "--headless", "--no-sandbox", "--disable-gpu",
                                                    "--print-to-pdf=" + pdf, "file://" + report});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(pdf));
    std::ifstream in(pdf, std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
}

}  // namespace
