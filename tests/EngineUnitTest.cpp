// Unit tests of the pieces the page walk relies on: the column list of a
// CREATE TABLE statement, size display and varints.
#include <gtest/gtest.h>

#include "engine/DbInfo.h"
#include "engine/FormatSize.h"
#include "records/SchemaCatalogue.h"
#include "records/Varint.h"

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

}  // namespace
