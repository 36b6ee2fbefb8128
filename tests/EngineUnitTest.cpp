// Unit tests of the pieces the page walk relies on: the column list of a
// CREATE TABLE statement, size display, varints and page reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "engine/DbInfo.h"
#include "engine/PageSource.h"
#include "engine/FormatSize.h"
#include "records/SchemaCatalogue.h"
#include "records/Varint.h"
#include "support/TempDir.h"

namespace {

struct Column {
    std::u16string name, type;
    bool operator==(const Column&) const = default;
};
void PrintTo(const Column& c, std::ostream* out)
{
    *out << "[";
    for (char16_t ch : c.name) *out << (ch < 0x80 ? static_cast<char>(ch) : '?');
    *out << ":";
    for (char16_t ch : c.type) *out << (ch < 0x80 ? static_cast<char>(ch) : '?');
    *out << "]";
}

TableInfo Parse(std::u16string_view sql)
{
    TableInfo table;
    ParseCreateTable(sql, table);
    return table;
}

std::vector<Column> ColumnsOf(std::u16string_view sql)
{
    std::vector<Column> columns;
    for (const ColumnInfo& c : Parse(sql).columns)
        columns.push_back({c.name, c.type});
    return columns;
}

TEST(ColumnParser, TypesKeepTheirArgumentsAndStopAtConstraints)
{
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT)"),
              (std::vector<Column>{{u"a", u"INTEGER"}, {u"b", u"TEXT"}}));
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(a,b)"), (std::vector<Column>{{u"a", u""}, {u"b", u""}}));
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(x DECIMAL(10,2), y VARCHAR ( 20 ) NOT NULL)"),
              (std::vector<Column>{{u"x", u"DECIMAL(10,2)"}, {u"y", u"VARCHAR ( 20 )"}}));
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(a unsigned big int DEFAULT 1, b double precision "
                        u"COLLATE nocase, c varchar(5) REFERENCES p(x), d x CHECK(d>0))"),
              (std::vector<Column>{{u"a", u"unsigned big int"},
                                   {u"b", u"double precision"},
                                   {u"c", u"varchar(5)"},
                                   {u"d", u"x"}}));
}

TEST(ColumnParser, StandardTypeNamesAreCapitalisedLikeTableInfo)
{
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(a integer, b Text, c real, d int, e blob, f any, "
                        u"g integer(5), h varchar)"),
              (std::vector<Column>{{u"a", u"INTEGER"},
                                   {u"b", u"TEXT"},
                                   {u"c", u"REAL"},
                                   {u"d", u"INT"},
                                   {u"e", u"BLOB"},
                                   {u"f", u"ANY"},
                                   {u"g", u"integer(5)"},
                                   {u"h", u"varchar"}}));
}

TEST(ColumnParser, QuotedNamesAndTypes)
{
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE \"t\"(\"a \"\"b\"\"\" TEXT, [c d] INT, `e` x, 'f' y, "
                        u"g [my type], h `text`, i [big] int, j \"double\" precision)"),
              (std::vector<Column>{{u"a \"b\"", u"TEXT"},
                                   {u"c d", u"INT"},
                                   {u"e", u"x"},
                                   {u"f", u"y"},
                                   {u"g", u"my type"},
                                   {u"h", u"TEXT"},
                                   {u"i", u"big] in"},
                                   {u"j", u"double"}}));
}

TEST(ColumnParser, WhitespaceCommentsAndTableConstraints)
{
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(\n\ta\tINTEGER,\r\n  b -- note, with a comma\n TEXT,\n"
                        u"  c /* (x, y) */ BLOB,\n"
                        u"  CONSTRAINT pk PRIMARY KEY (a, b),\n  UNIQUE (b),\n  CHECK (a > 0),\n"
                        u"  FOREIGN KEY (c) REFERENCES p(x)\n)"),
              (std::vector<Column>{{u"a", u"INTEGER"}, {u"b", u"TEXT"}, {u"c", u"BLOB"}}));
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(a TEXT DEFAULT 'x,y', b CHECK (b IN (1, 2)), c)"),
              (std::vector<Column>{{u"a", u"TEXT"}, {u"b", u""}, {u"c", u""}}));
}

TEST(ColumnParser, RowidAliasAndWithoutRowidOrder)
{
    EXPECT_EQ(Parse(u"CREATE TABLE t(x, id integer primary key)").rowidAliasColumn, 1);
    EXPECT_EQ(Parse(u"CREATE TABLE t(x, id INTEGER, PRIMARY KEY(id DESC))").rowidAliasColumn, 1);
    EXPECT_EQ(Parse(u"CREATE TABLE t(id INT PRIMARY KEY)").rowidAliasColumn, -1);
    EXPECT_EQ(Parse(u"CREATE TABLE t(id INTEGER PRIMARY KEY DESC)").rowidAliasColumn, -1);
    EXPECT_EQ(Parse(u"CREATE TABLE t(a INTEGER, b INTEGER, PRIMARY KEY(a, b))").rowidAliasColumn, -1);

    const TableInfo wr = Parse(u"CREATE TABLE w(a, b, c, d, PRIMARY KEY (c, a)) WITHOUT ROWID");
    EXPECT_TRUE(wr.withoutRowid);
    EXPECT_EQ(wr.recordColumns, (std::vector<int>{2, 0, 1, 3}));
    EXPECT_EQ(wr.rowidAliasColumn, -1);
    EXPECT_FALSE(Parse(u"CREATE TABLE \"without rowid\"(a)").withoutRowid);

    // VIRTUAL generated columns are not stored; STORED ones are, unlisted.
    EXPECT_EQ(Parse(u"CREATE TABLE t(a, g AS (a*2), s INT GENERATED ALWAYS AS (a) STORED, b)")
                  .recordColumns,
              (std::vector<int>{0, -1, 1}));
}

TEST(ColumnParser, GeneratedColumnsAndVirtualTablesAsTableInfoListsThem)
{
    EXPECT_EQ(ColumnsOf(u"CREATE TABLE t(x INT GENERATED, y INT ALWAYS, z GENERATED ALWAYS, "
                        u"w INT GENERATED ALWAYS AS (1), k xxxxxxxxxxxxalways, r REAL)"),
              (std::vector<Column>{{u"x", u"INT GENERATED"},
                                   {u"y", u"INT ALWAYS"},
                                   {u"z", u""},
                                   {u"k", u"xxxxxxxxxxxx"},
                                   {u"r", u"REAL"}}));
    EXPECT_EQ(ColumnsOf(u"CREATE VIRTUAL TABLE f USING fts4(\"a b\", [c] TEXT, languageid=lid, "
                        u"tokenize=simple)"),
              (std::vector<Column>{{u"a b", u""}, {u"c", u""}}));
    EXPECT_EQ(ColumnsOf(u"CREATE VIRTUAL TABLE f USING FTS3"), (std::vector<Column>{{u"content", u""}}));
    EXPECT_EQ(ColumnsOf(u"CREATE VIRTUAL TABLE f USING fts5(a, b UNINDEXED, prefix=2)"),
              (std::vector<Column>{{u"a", u""}, {u"b", u""}}));
    EXPECT_EQ(ColumnsOf(u"CREATE VIRTUAL TABLE r USING rtree_i32(id, x0, x1, +aux TEXT)"),
              (std::vector<Column>{{u"id", u"INT"}, {u"x0", u"INT"}, {u"x1", u"INT"}, {u"aux", u""}}));
}

// The first of INT, CHAR/CLOB/TEXT, BLOB (or no type), REAL/FLOA/DOUB
// decides, wherever in the type it stands; anything else is NUMERIC.
TEST(ColumnAffinity, FirstRuleThatMatchesDecides)
{
    const std::pair<std::u16string_view, ColumnAffinity> cases[] = {
        {u"INTEGER", ColumnAffinity::kInteger},  {u"tinyint", ColumnAffinity::kInteger},
        {u"CHARINT", ColumnAffinity::kInteger},  {u"FLOATING POINT", ColumnAffinity::kInteger},
        {u"VARCHAR(20)", ColumnAffinity::kText}, {u"BLOB TEXT", ColumnAffinity::kText},
        {u"clob", ColumnAffinity::kText},        {u"", ColumnAffinity::kBlob},
        {u"REAL BLOB", ColumnAffinity::kBlob},   {u"DOUBLE PRECISION", ColumnAffinity::kReal},
        {u"float", ColumnAffinity::kReal},       {u"DECIMAL(10,2)", ColumnAffinity::kNumeric},
        {u"BOOLEAN", ColumnAffinity::kNumeric},  {u"\u00cdNT", ColumnAffinity::kNumeric},
    };
    for (const auto& [type, affinity] : cases)
        EXPECT_EQ(AffinityOf(type), affinity) << std::string(type.begin(), type.end());
}

TEST(FormatSize, OneDecimalInTheFittingUnit)
{
    EXPECT_EQ(FormatSize(1000), u"1.0 KB");
    EXPECT_EQ(FormatSize(107374), u"104.9 KB");
    EXPECT_EQ(FormatSize(107375), u"0.1 MB");
    EXPECT_EQ(FormatSize(107374182), u"102.4 MB");
    EXPECT_EQ(FormatSize(107374183), u"0.1 GB");
    EXPECT_EQ(FormatSize(std::int64_t(1) << 40), u"1024.0 GB");
    EXPECT_EQ(FormatSize((std::int64_t(1) << 40) + (std::int64_t(1) << 30) * 103), u"1.1 TB");
}

TEST(ReadVarint, LengthsValuesAndShortInput)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint64_t value;
        int consumed;
    };
    const std::vector<Case> cases = {
        {{0x00}, 0, 1},
        {{0x7F, 0xFF}, 127, 1},
        {{0x81, 0x00}, 128, 2},
        {{0x82, 0x2C}, 300, 2},
        // Nine bytes: the ninth gives all eight of its bits.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, UINT64_MAX, 9},
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 1, 9},
        {{0xC0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, 0x8000000000000000ULL, 9},
        {{0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, 1ULL << 57, 9},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x55}, 0xFFFFFFFFFFFFFFFEULL, 9},
    };
    for (const Case& c : cases) {
        std::int32_t available = static_cast<std::int32_t>(c.bytes.size());
        std::uint64_t value = 12345;
        ASSERT_EQ(ReadVarint(c.bytes.data(), available, value), 0);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(available, c.consumed);
    }
    // -1 as a rowid is the nine-byte all-ones varint.
    const std::uint8_t minusOne[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::int32_t available = 9;
    std::uint64_t value = 0;
    ASSERT_EQ(ReadVarint(minusOne, available, value), 0);
    EXPECT_EQ(static_cast<std::int64_t>(value), -1);

    // Bytes that end before the last group fail and leave the count alone.
    const std::uint8_t open[3] = {0x81, 0x82, 0x83};
    for (std::int32_t n : {0, 1, 3}) {
        std::int32_t count = n;
        EXPECT_EQ(ReadVarint(open, count, value), -1) << n;
    }
}

// Page reads in order run through read-ahead windows, the next one read on
// a worker; jumps, returns, a re-opened file and the last partial page must
// all read exactly the file's bytes.
TEST(PageSource, PagesReadInAnyOrderAreTheFileBytes)
{
    constexpr std::uint32_t kPage = 4096;
    constexpr std::uint32_t kPages = 700;  // several windows, the last page partial
    CTempDir dir;
    const std::string path = dir.File("pages.bin");
    std::vector<std::uint8_t> bytes(std::size_t{kPages} * kPage - 1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 ^ i >> 12);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
    std::fclose(out);

    std::vector<std::uint32_t> inOrder(kPages);
    std::iota(inOrder.begin(), inOrder.end(), 1u);
    std::vector<std::uint32_t> jumps;  // runs of ten from scattered starts, some revisited
    for (const std::uint32_t start : {1u, 600u, 64u, 65u, 300u, 1u, 690u, 128u})
        for (std::uint32_t n = start; n < start + 10 && n <= kPages; ++n)
            jumps.push_back(n);
    CPageSource source;
    for (const auto& order : {inOrder, jumps, inOrder}) {
        ASSERT_TRUE(source.Open(path));  // each order from a freshly opened file
        source.SetPageSize(kPage);
        std::vector<std::uint8_t> page(kPage);
        for (const std::uint32_t n : order) {
            ASSERT_TRUE(source.ReadPage(n, page.data(), kPage)) << n;
            const std::size_t at = std::size_t{n - 1} * kPage;
            const std::size_t held = std::min<std::size_t>(kPage, bytes.size() - at);
            ASSERT_TRUE(std::equal(page.begin(), page.begin() + held, bytes.begin() + at)) << n;
            ASSERT_TRUE(std::all_of(page.begin() + held, page.end(), [](std::uint8_t b) { return b == 0; }))
                << n;
        }
    }
}

}  // namespace
