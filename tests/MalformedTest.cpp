// Damaged files: each fixture is a good database written by sqlite3 with a
// few bytes changed, and each must give its own log lines, keep every row
// that is still reachable, and never crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "driver/DbEntries.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/OverflowChain.h"
#include "support/EngineReader.h"
#include "support/PageFile.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

constexpr std::uint32_t kPageSize = 512;

std::u16string W(const std::string& utf8) { return Widen(utf8); }

// Table t(id INTEGER PRIMARY KEY, v TEXT) with `rows` rows of about 45
// bytes: at 512-byte pages its root is an interior page over ~20 leaves.
std::string MakeTreeDb(const CTempDir& dir, int rows = 200, std::size_t textBytes = 40)
{
    const std::string path = dir.File("good.db");
    DbLayout layout;
    layout.pageSize = kPageSize;
    auto db = CreateDatabase(path, layout);
    db->Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)");
    std::vector<std::vector<SqlValue>> values;
    for (int k = 1; k <= rows; ++k) {
        std::string text = "row " + std::to_string(k) + " ";
        text.resize(textBytes, static_cast<char>('a' + k % 26));
        values.push_back({static_cast<std::int64_t>(k), text});
    }
    db->Exec("BEGIN");
    db->InsertRows("INSERT INTO t VALUES(?,?)", values);
    db->Exec("COMMIT");
    return path;
}

std::uint32_t RootOf(const std::string& path, const std::string& table = "t")
{
    CSqliteDb db(path, SQLITE_OPEN_READONLY);
    return static_cast<std::uint32_t>(
        db.QueryInt("SELECT rootpage FROM sqlite_master WHERE name='" + table + "'"));
}

// The engine's rows of table t.
std::vector<DisplayRow> EngineRows(const std::string& path, CLogCollector& log)
{
    const DbSnapshot snapshot = ReadWithEngine(path, log);
    const TableSnapshot* table = snapshot.Find(u"t");
    return table ? table->rows : std::vector<DisplayRow>();
}

std::vector<DisplayRow> OracleRows(const std::string& path)
{
    return ReadWithSqlite(path, false).Find(u"t")->rows;
}

// Rows and row places of table t read by a parser of its own that decodes
// on `threads` threads (1: the walk decodes itself).
struct TableRead {
    std::vector<DisplayRow> rows;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> cells;
    std::string text;  // laid out by a row sink that takes batches
};
// A sink that lays rows out as the command line prints them and keeps the text.
class CBatchSink : public CRowSink {
public:
    const Utf8Layout* Utf8RowLayout() const override { return &m_layout; }
    bool TakesRowBatches() const override { return true; }

private:
    Utf8Layout m_layout{"<", "|", ">\n"};
};
// A sink that takes rows one by one and keeps them in the same layout.
class CRowByRowSink : public CRowSink {
public:
    bool TakesUtf8() const override { return true; }
    void OnRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends) override
    {
        std::string& text = m_text;
        for (std::size_t i = 0, begin = 0; i < ends.size(); begin = ends[i++])
            text.append(i == 0 ? "<" : "|").append(joined.substr(begin, ends[i] - begin));
        text += ">\n";
    }
    std::string m_text;
};
enum class Into { kRows, kBatchSink, kRowByRowSink };
TableRead ReadTableT(const std::string& path, unsigned threads, CLogCollector& log,
                     Into into = Into::kRows)
{
    TableRead read;
    CBatchSink sink;
    CRowByRowSink rowByRow;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_nDecodeThreads = threads;
    if (into != Into::kRows)
        parser.m_pRowSink = into == Into::kBatchSink ? static_cast<CRowSink*>(&sink) : &rowByRow;
    parser.OpenDatabase(W(path));
    DbInfo& db = g_dbList.back();
    for (TableInfo& table : db.tables)
        if (table.name == u"t") {
            parser.m_pDb = &db;
            parser.m_pTable = &table;
            parser.ReadTable();
        }
    for (const RowValues& row : parser.m_rows)
        read.rows.push_back(row.ToVector());
    for (std::size_t row = 0; row < parser.m_rowCells.size(); ++row)
        read.cells.emplace_back(parser.m_rowCells[row].page, parser.m_rowCells[row].offset);
    read.text.assign(sink.Utf8Buffer().View());
    read.text += rowByRow.m_text;
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(&db));
    return read;
}

// Cells of the table leaves under `page`.
std::size_t RowsUnder(const CPageFile& file, std::uint32_t page)
{
    if (file.PageType(page) == 13)
        return file.CellCount(page);
    std::size_t rows = RowsUnder(file, file.RightChild(page));
    for (std::uint32_t k = 0; k < file.CellCount(page); ++k)
        rows += RowsUnder(file, file.ChildOf(page, k));
    return rows;
}

bool IsSubset(std::vector<DisplayRow> part, std::vector<DisplayRow> whole)
{
    std::sort(part.begin(), part.end());
    std::sort(whole.begin(), whole.end());
    return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

// Opens `path` with the engine and returns what g_dbList got (the entry is
// removed again); `registered` tells whether an entry was added at all.
DbInfo OpenOnly(const std::string& path, CLogCollector& log, bool& registered)
{
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    DbInfo* entry = OpenDatabaseEntry(parser, W(path));
    // Refused or not, the open must not leave the parser pointing at the
    // record it built on its own stack.
    EXPECT_EQ(parser.m_pDb, nullptr);
    registered = entry != nullptr;
    if (!registered)
        return DbInfo();
    DbInfo copy = *entry;
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(entry));
    return copy;
}

std::u16string NotADatabase(const std::string& path) { return W(path + ":不是sqlite数据库文件"); }

// ---------------------------------------------------------------- header

class HeaderTest : public ::testing::Test {
protected:
    CTempDir dir;
    CLogCollector log;

    // The good file with `patch` applied, saved as bad.db.
    template <typename Patch>
    std::string Patched(Patch patch)
    {
        CPageFile file(MakeTreeDb(dir, 20));
        patch(file);
        const std::string path = dir.File("bad.db");
        file.Save(path);
        return path;
    }

    void ExpectRefused(const std::string& path)
    {
        bool registered = false;
        const DbInfo db = OpenOnly(path, log, registered);
        EXPECT_TRUE(registered);
        EXPECT_EQ(db.pageSize, 0u);
        EXPECT_TRUE(db.tables.empty());
        ASSERT_EQ(log.Lines().size(), 1u) << log.Dump();
        EXPECT_EQ(log.Lines()[0].text, NotADatabase(path));
        EXPECT_EQ(log.Lines()[0].caption, u"error");
        EXPECT_EQ(log.Lines()[0].type, 3);
    }
};

// The smallest usable size the format allows is 480: 512-byte pages with
// 33 reserved bytes are refused, with 32 they are read.
TEST_F(HeaderTest, UsableSizeBelow480IsRefused)
{
    const std::string path = Patched([](CPageFile& f) { f.Put8(20, 33); });
    ExpectRefused(path);
    CPageFile file(path);
    file.Put8(20, 32);
    file.Save(path);
    log.Clear();
    bool registered = false;
    EXPECT_EQ(OpenOnly(path, log, registered).pageSize, kPageSize);
}

TEST_F(HeaderTest, WrongHeaderStringIsRefused)
{
    ExpectRefused(Patched([](CPageFile& f) { f.Put8(0, 's'); }));
}

TEST_F(HeaderTest, NonzeroSixteenthByteIsRefused)
{
    ExpectRefused(Patched([](CPageFile& f) { f.Put8(15, ' '); }));
}

TEST_F(HeaderTest, PageSizeNotAMultipleOf512IsRefused)
{
    ExpectRefused(Patched([](CPageFile& f) { f.Put16(16, 1000); }));
}

TEST_F(HeaderTest, ZeroLengthFileIsListedAndRefused)
{
    const std::string path = dir.File("empty.db");
    std::ofstream(path).close();
    ExpectRefused(path);
}

TEST_F(HeaderTest, WalAndShmCompanionsAreRefused)
{
    const std::string path = dir.File("wal.db");
    CSqliteDb db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Exec("PRAGMA journal_mode=WAL");
    db.Exec("CREATE TABLE t(a); INSERT INTO t VALUES(1)");
    // Copies taken while the connection keeps both companions alive.
    CopyFile(path + "-wal", dir.File("copy.db-wal"));
    CopyFile(path + "-shm", dir.File("copy.db-shm"));
    ExpectRefused(dir.File("copy.db-wal"));
    log.Clear();
    ExpectRefused(dir.File("copy.db-shm"));
}

TEST_F(HeaderTest, MissingFileIsNotRegistered)
{
    const std::string path = dir.File("no such file.db");
    bool registered = true;
    OpenOnly(path, log, registered);
    EXPECT_FALSE(registered);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].text, W("打开/创建设备" + path + "失败"));
    EXPECT_EQ(log.Lines()[0].type, 3);
}

TEST_F(HeaderTest, PageSizeFieldOneMeans65536)
{
    const std::string path = dir.File("big.db");
    {
        DbLayout layout;
        layout.pageSize = 65536;
        auto db = CreateDatabase(path, layout);
        db->Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)");
        db->Exec("INSERT INTO t VALUES(1, 'one'), (2, 'two')");
    }
    ASSERT_EQ(CPageFile(path).Get16(16), 1);
    const DbSnapshot engine = ReadWithEngine(path, log);
    EXPECT_EQ(engine.pageSize, 65536u);
    ASSERT_NE(engine.Find(u"t"), nullptr);
    EXPECT_TRUE(SameRows(engine.Find(u"t")->rows, {{u"1", u"one"}, {u"2", u"two"}}));
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
}

// ------------------------------------------------------------- page walk

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        good = MakeTreeDb(dir);
        root = RootOf(good);
        all = OracleRows(good);
        file = std::make_unique<CPageFile>(good);
        ASSERT_EQ(file->PageType(root), 5) << "the fixture needs an interior root";
        ASSERT_GE(file->CellCount(root), 3);
    }
    std::string Save()
    {
        const std::string path = dir.File("bad.db");
        file->Save(path);
        return path;
    }
    // Rows that sqlite3 finds outside leaf page `leaf`.
    std::size_t RowsOutside(std::uint32_t leaf) const { return all.size() - file->CellCount(leaf); }

    CTempDir dir;
    CLogCollector log;
    std::string good;
    std::uint32_t root = 0;
    std::vector<DisplayRow> all;
    std::unique_ptr<CPageFile> file;
};

TEST_F(WalkTest, ZeroedChildPageIsReportedAndSiblingsAreWalked)
{
    const std::uint32_t child = file->ChildOf(root, 0);
    const std::uint16_t cell = file->CellOffset(root, 0);
    const std::size_t outside = RowsOutside(child);
    file->Put8(file->PageStart(child), 0);
    const auto rows = EngineRows(Save(), log);

    const int notNormal = log.Find(WideFormat(u"节点%I32u不正常", {child}));
    const int parentLine = log.Find(
        WideFormat(u"索引节点%I32u-偏移%d---解析子节点%I32u错误", {root, int(cell), child}));
    EXPECT_GE(notNormal, 0) << log.Dump();
    EXPECT_EQ(parentLine, notNormal + 1) << log.Dump();
    EXPECT_EQ(log.Errors().size(), 2u) << log.Dump();
    EXPECT_EQ(rows.size(), outside);
    EXPECT_TRUE(IsSubset(rows, all));
}

TEST_F(WalkTest, ChildPastTheEndIsReportedAndTheSiblingStillRead)
{
    const std::uint32_t child = file->ChildOf(root, 1);
    const std::uint16_t cell = file->CellOffset(root, 1);
    const std::size_t outside = RowsOutside(child);
    file->Put32(file->PageStart(root) + cell, 100000);
    const auto rows = EngineRows(Save(), log);

    EXPECT_TRUE(log.Has(WideFormat(u"索引节点%I32u-偏移%d---读取子节点%I32u错误",
                                   {root, int(cell), 100000u})))
        << log.Dump();
    EXPECT_EQ(log.Errors().size(), 1u) << log.Dump();
    EXPECT_EQ(rows.size(), outside);
    EXPECT_TRUE(IsSubset(rows, all));
}

TEST_F(WalkTest, RightChildPointingAtAnAncestorCostsOneLine)
{
    const std::uint32_t right = file->RightChild(root);
    const std::size_t outside = RowsOutside(right);
    file->Put32(file->PageStart(root) + 8, root);
    const auto rows = EngineRows(Save(), log);

    ASSERT_EQ(log.Errors().size(), 1u) << log.Dump();
    EXPECT_NE(log.Errors()[0].text.find(WideFormat(u"%I32u", {root})), std::u16string::npos);
    EXPECT_EQ(rows.size(), outside);
}

TEST_F(WalkTest, CellCountLargerThanTheLeaf)
{
    const std::uint32_t leaf = file->ChildOf(root, 2);
    const std::size_t outside = RowsOutside(leaf);
    file->Put16(file->PageStart(leaf) + 3, 300);
    const auto rows = EngineRows(Save(), log);

    // A 512-byte page holds at most (512 - 8) / 6 = 84 cells: the count is
    // clamped with one line. The slots past the real ones read the zeros
    // between the pointer array and the cells: offsets inside the array.
    EXPECT_TRUE(log.Has(WideFormat(u"节点%I32u单元数%I32u超出页面容量,按%I32u个处理", {leaf, 300, 84})))
        << log.Dump();
    EXPECT_TRUE(log.Has(WideFormat(u"叶节点%I32u-偏移%d解析地址存在错误", {leaf, 0})));
    EXPECT_LE(log.Errors().size(), 1u + 2 * 84u);
    // The other leaves are untouched.
    EXPECT_GE(rows.size(), outside);
}

// A damaged cell count of 65535 on a leaf costs a bounded number of lines,
// not one per slot.
TEST_F(WalkTest, HugeCellCountKeepsTheLogSmall)
{
    const std::uint32_t leaf = file->ChildOf(root, 1);
    const std::size_t outside = RowsOutside(leaf);
    file->Put16(file->PageStart(leaf) + 3, 65535);
    const auto rows = EngineRows(Save(), log);
    // At most a line or two for each cell a 512-byte page can hold.
    EXPECT_LE(log.Lines().size(), 400u);
    EXPECT_GE(rows.size(), outside);
}

TEST_F(WalkTest, FreeblockInsideThePageHeaderStopsOnlyTheChain)
{
    const std::uint32_t leaf = file->ChildOf(root, 0);
    file->Put16(file->PageStart(leaf) + 1, 5);
    const auto rows = EngineRows(Save(), log);

    EXPECT_TRUE(log.Has(WideFormat(u"叶节点%I32u-自由空间偏移%d解析地址存在错误", {leaf, 5})))
        << log.Dump();
    EXPECT_EQ(log.Errors().size(), 1u) << log.Dump();
    EXPECT_TRUE(SameRows(rows, all));
}

TEST_F(WalkTest, RootPageZeroAndPastTheEndAreReadErrors)
{
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.OpenDatabase(W(good));
    DbInfo& db = g_dbList.back();
    for (std::uint32_t rootPage : {0u, 100000u}) {
        log.Clear();
        TableInfo table = db.tables.front();
        table.rootPage = rootPage;
        parser.m_pDb = &db;
        parser.m_pTable = &table;
        parser.ReadTable();
        EXPECT_TRUE(parser.m_rows.empty());
        ASSERT_EQ(log.Lines().size(), 1u) << log.Dump();
        EXPECT_EQ(log.Lines()[0].text, WideFormat(u"读取节点%I32u错误", {rootPage}));
    }
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(&db));
}

TEST_F(WalkTest, ReadingATableTwiceGivesTheSameRows)
{
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.OpenDatabase(W(good));
    DbInfo& db = g_dbList.back();
    parser.m_pDb = &db;
    parser.m_pTable = &db.tables.front();
    parser.ReadTable();
    std::vector<DisplayRow> first;
    for (const RowValues& row : parser.m_rows)
        first.push_back(row.ToVector());
    parser.ReadTable();
    std::vector<DisplayRow> second;
    for (const RowValues& row : parser.m_rows)
        second.push_back(row.ToVector());
    EXPECT_EQ(first.size(), all.size());
    EXPECT_EQ(first, second);
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(&db));
    EXPECT_TRUE(parser.m_rows.empty());
}

// Records decoded beside the walk (several batches, on three threads)
// come out as the walk decodes them itself, into rows or laid out for a
// sink: the same rows in the same order,
// the same places, the same log lines in the same order, whether the damage
// is seen by the walk (a page that is no b-tree page) or by the decoder (a
// record header that cannot be read).
TEST_F(WalkTest, DecodingBesideTheWalkGivesTheSameRowsPlacesAndLines)
{
    CTempDir other;
    const std::string big = MakeTreeDb(other, 3000, 200);  // records in three batches
    const CPageFile intact(big);
    CPageFile damaged(big);
    const std::uint32_t bigRoot = RootOf(big);
    std::uint32_t leaf = intact.ChildOf(bigRoot, 1);
    while (intact.PageType(leaf) != 13)
        leaf = intact.ChildOf(leaf, 0);
    // The first cell of the leaf: payload size and rowid take two bytes each.
    damaged.Put8(intact.PageStart(leaf) + intact.CellOffset(leaf, 0) + 4, 0);
    damaged.Put8(intact.PageStart(intact.ChildOf(bigRoot, 2)), 0);
    const std::string broken = other.File("broken.db");
    damaged.Save(broken);
    const std::size_t lost = 1 + RowsUnder(intact, intact.ChildOf(bigRoot, 2));

    for (const std::string& path : {good, big, broken}) {
        CLogCollector walkLog, poolLog;
        const TableRead walk = ReadTableT(path, 1, walkLog);
        const TableRead pool = ReadTableT(path, 3, poolLog);
        EXPECT_EQ(pool.rows, walk.rows) << path;
        EXPECT_EQ(pool.cells, walk.cells) << path;
        EXPECT_EQ(poolLog.Dump(), walkLog.Dump()) << path;
        CLogCollector sinkLog;
        const std::string laidOut = ReadTableT(path, 3, sinkLog, Into::kBatchSink).text;
        EXPECT_EQ(laidOut, ReadTableT(path, 1, sinkLog, Into::kBatchSink).text) << path;
        EXPECT_EQ(ReadTableT(path, 3, sinkLog, Into::kRowByRowSink).text, laidOut) << path;
        EXPECT_EQ(std::count(laidOut.begin(), laidOut.end(), '\n'), long(walk.rows.size())) << path;
        const std::size_t live = OracleRows(path == good ? good : big).size();
        EXPECT_EQ(walk.rows.size(), live - lost * (path == broken)) << path;
        EXPECT_EQ(walkLog.Errors().size(), path == broken ? 3u : 0u) << walkLog.Dump();
    }
}

// A stop request seen by the walk ends it at the next page; rows decoded
// before stay.
TEST_F(WalkTest, StopDuringTheWalkKeepsTheRowsSoFar)
{
    CTempDir other;
    // Rows of 600 bytes overflow 512-byte pages: each posts a notice.
    const std::string path = MakeTreeDb(other, 60, 600);
    const std::size_t total = OracleRows(path).size();
    int notices = 0;
    log.onLine = [&](const LogMessage& line) {
        if (line.caption == u"normal" && ++notices == 5)
            g_bStop = 1;
    };
    const auto rows = EngineRows(path, log);
    g_bStop = 0;

    int stops = 0;
    for (const LogMessage& line : log.Lines())
        if (line.text == u"当前操作被停止") {
            EXPECT_EQ(line.caption, u"stop");
            EXPECT_EQ(line.type, 0);
            ++stops;
        }
    EXPECT_GE(stops, 1);
    EXPECT_GE(rows.size(), 5u);
    EXPECT_LT(rows.size(), total);
    EXPECT_TRUE(IsSubset(rows, OracleRows(path)));
}

// ----------------------------------------------------- freeblocks, overflow

TEST(FreeblockTest, ChainThatLoopsEndsWithALine)
{
    CTempDir dir;
    const std::string good = MakeTreeDb(dir);
    {
        CSqliteDb db(good, SQLITE_OPEN_READWRITE);
        db.Exec("DELETE FROM t WHERE id % 4 = 0");
    }
    const std::vector<DisplayRow> all = OracleRows(good);
    CPageFile file(good);
    std::uint32_t leaf = 0;
    for (std::uint32_t page = 2; page <= file.PageCount() && leaf == 0; ++page)
        if (file.PageType(page) == 13 && file.Get16(file.PageStart(page) + 1) != 0)
            leaf = page;
    ASSERT_NE(leaf, 0u) << "no freeblock in the fixture";
    const std::uint16_t first = file.Get16(file.PageStart(leaf) + 1);
    file.Put16(file.PageStart(leaf) + first, first);  // the block names itself as next
    const std::string bad = dir.File("bad.db");
    file.Save(bad);

    CLogCollector log;
    const auto rows = EngineRows(bad, log);
    ASSERT_EQ(log.Errors().size(), 1u) << log.Dump();
    EXPECT_NE(log.Errors()[0].text.find(WideFormat(u"叶节点%I32u-自由空间偏移%d", {leaf, int(first)})),
              std::u16string::npos);
    EXPECT_TRUE(SameRows(rows, all));
}

TEST(OverflowTest, ChainThatLoopsTerminatesWithALine)
{
    CTempDir dir;
    const std::string good = dir.File("good.db");
    const std::size_t payloadText = 3000;
    {
        DbLayout layout;
        layout.pageSize = kPageSize;
        auto db = CreateDatabase(good, layout);
        db->Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)");
        db->InsertRows("INSERT INTO t VALUES(?,?)", {{std::int64_t(1), std::string(payloadText, 'q')}});
    }
    CPageFile file(good);
    const std::uint32_t leaf = RootOf(good);
    ASSERT_EQ(file.PageType(leaf), 13);
    // Cell: payload size (2-byte varint), rowid (1 byte), local payload,
    // first overflow page.
    const std::size_t cell = file.PageStart(leaf) + file.CellOffset(leaf, 0);
    const std::uint64_t payload = ((file.Get8(cell) & 0x7F) << 7) | file.Get8(cell + 1);
    const std::uint32_t local = LocalPayloadSize(payload, kPageSize, true);
    const std::uint32_t first = file.Get32(cell + 3 + local);
    const std::uint32_t second = file.Get32(file.PageStart(first));
    ASSERT_GT(second, 1u);
    file.Put32(file.PageStart(second), first);  // second → first → second ...
    const std::string bad = dir.File("bad.db");
    file.Save(bad);

    CLogCollector log;
    const auto rows = EngineRows(bad, log);
    EXPECT_EQ(log.Errors().size(), 1u) << log.Dump();
    EXPECT_TRUE(log.Has(WideFormat(u"节点%I32u-偏移%I16u分析有溢出", {leaf, file.CellOffset(leaf, 0)})));
    // The row is decoded from what the two pages hold: a shorter text.
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][0], u"1");
    EXPECT_LT(rows[0][1].size(), payloadText);
    EXPECT_GT(rows[0][1].size(), 2 * (kPageSize - 4) - 10);
}

// --------------------------------------------------------- record headers

class RecordHeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        good = dir.File("good.db");
        DbLayout layout;
        layout.pageSize = kPageSize;
        auto db = CreateDatabase(good, layout);
        db->Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)");
        db->Exec("INSERT INTO t VALUES(1, 'first'), (2, 'second'), (3, NULL)");
        db.reset();
        file = std::make_unique<CPageFile>(good);
        leaf = RootOf(good);
        ASSERT_EQ(file->PageType(leaf), 13);
    }
    // The cell of rowid `rowid`: one-byte payload size and rowid, so the
    // record starts two bytes in.
    std::size_t RecordOf(std::int64_t rowid, std::uint32_t& payloadSize)
    {
        for (std::uint32_t k = 0; k < file->CellCount(leaf); ++k) {
            const std::size_t cell = file->PageStart(leaf) + file->CellOffset(leaf, k);
            if (file->Get8(cell + 1) == rowid) {
                payloadSize = file->Get8(cell);
                return cell + 2;
            }
        }
        ADD_FAILURE() << "no cell for rowid " << rowid;
        return 0;
    }
    std::vector<DisplayRow> Read()
    {
        const std::string bad = dir.File("bad.db");
        file->Save(bad);
        return EngineRows(bad, log);
    }

    CTempDir dir;
    CLogCollector log;
    std::string good;
    std::unique_ptr<CPageFile> file;
    std::uint32_t leaf = 0;
};

TEST_F(RecordHeaderTest, HeaderSizeBelowItsOwnLength)
{
    std::uint32_t size = 0;
    file->Put8(RecordOf(1, size), 0);
    const auto rows = Read();
    EXPECT_TRUE(log.Has(WideFormat(u"节点%I32u-最后%d数据字段集长度错误", {leaf, int(size)})))
        << log.Dump();
    EXPECT_TRUE(SameRows(rows, {{u"2", u"second"}, {u"3", u""}}));
}

TEST_F(RecordHeaderTest, SerialTypesRunningPastTheData)
{
    std::uint32_t size = 0;
    file->Put8(RecordOf(2, size), 0x7F);
    const auto rows = Read();
    EXPECT_TRUE(log.Has(WideFormat(u"节点%I32u-最后%d数据获取字段集偏移列表失败", {leaf, int(size)})))
        << log.Dump();
    EXPECT_TRUE(SameRows(rows, {{u"1", u"first"}, {u"3", u""}}));
}

// Hand-made serial types. Types 10 and 11 are reserved and take no bytes,
// so the value after them is still read from the right place; a serial type
// left unfinished by the end of the header is dropped, not a reason to
// refuse the record.
TEST_F(RecordHeaderTest, ReservedAndUnfinishedSerialTypes)
{
    struct Case {
        std::uint8_t firstType, secondType;
        DisplayRow expected;
    };
    const Case cases[] = {
        {10, 23, {u"", u"first"}},
        {11, 23, {u"", u"first"}},
        {0, 0x81, {u"1"}},  // "first"'s type begins a varint the header cuts off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.secondType) * 256 + c.firstType);
        file = std::make_unique<CPageFile>(good);
        log.Clear();
        std::uint32_t size = 0;
        const std::size_t record = RecordOf(1, size);
        ASSERT_EQ(file->Get8(record), 3);  // header: its size, then NULL and text(5)
        file->Put8(record + 1, c.firstType);
        file->Put8(record + 2, c.secondType);
        const auto rows = Read();
        EXPECT_TRUE(log.Errors().empty()) << log.Dump();
        EXPECT_TRUE(SameRows(rows, {c.expected, {u"2", u"second"}, {u"3", u""}}));
    }
}

TEST_F(RecordHeaderTest, UnreadableHeaderSize)
{
    std::uint32_t size = 0;
    const std::size_t record = RecordOf(3, size);
    ASSERT_LT(size, 9u);
    for (std::uint32_t i = 0; i < size; ++i)
        file->Put8(record + i, 0xFF);
    const auto rows = Read();
    // Data length less the two one-byte varints of the cell.
    EXPECT_TRUE(log.Has(WideFormat(u"节点%I32u-最后%d数据转化失败", {leaf, int(size) - 2})))
        << log.Dump();
    EXPECT_TRUE(SameRows(rows, {{u"1", u"first"}, {u"2", u"second"}}));
}

}  // namespace
