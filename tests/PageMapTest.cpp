// The page map and decoded times: every page kind of databases sqlite3
// wrote is laid out byte for byte as a reading of the page itself and
// sqlite3's own dbstat table say; damaged pages stay covered once; the six
// time encodings at known instants and at the edges of their range.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/PageSource.h"
#include "engine/SqliteParser.h"
#include "records/PageRoles.h"
#include "records/TimeDecoder.h"
#include "support/PageFile.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

struct DbStatPage {
    std::string type;  // internal, leaf, overflow
    std::int64_t unused = 0;
};

// A database with every page kind: table and index b-trees deep enough for
// interior pages, long rows on overflow chains, deleted rows leaving
// freeblocks and a dropped table leaving freelist trunk and leaf pages.
std::map<std::uint32_t, DbStatPage> BuildFixture(const std::string& path, int reservedBytes)
{
    auto db = CreateDatabase(path, DbLayout{1024, "UTF-8", reservedBytes, false});
    db->Exec("PRAGMA secure_delete=OFF");
    db->Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, date INTEGER)");
    db->Exec("CREATE INDEX m_body ON m(body)");
    db->Exec("CREATE TABLE gone(x)");
    db->Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300) "
             "INSERT INTO m(body, date) SELECT 'message ' || i, 1578268800000 + i FROM n");
    db->Exec("INSERT INTO m(body, date) VALUES(hex(randomblob(1200)), 1), (hex(randomblob(700)), 2)");
    db->Exec("INSERT INTO gone SELECT zeroblob(3000) FROM m WHERE id < 4");
    db->Exec("DELETE FROM m WHERE id % 5 = 0");
    db->Exec("DROP TABLE gone");
    std::map<std::uint32_t, DbStatPage> stat;
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db->Handle(), "SELECT pageno, pagetype, unused FROM dbstat", -1, &query, nullptr);
    while (query != nullptr && sqlite3_step(query) == SQLITE_ROW)
        stat[sqlite3_column_int(query, 0)] = {
            reinterpret_cast<const char*>(sqlite3_column_text(query, 1)), sqlite3_column_int64(query, 2)};
    sqlite3_finalize(query);
    if (stat.empty())
        throw std::runtime_error("sqlite3 has no dbstat table");
    return stat;
}

// Freelist pages by a reading of the file: trunk pages from header offset
// 32, each with its leaf page numbers.
std::map<std::uint32_t, PageKind> ReadFreelist(const CPageFile& file)
{
    std::map<std::uint32_t, PageKind> pages;
    for (std::uint32_t trunk = file.Get32(32); trunk != 0; trunk = file.Get32(file.PageStart(trunk))) {
        pages[trunk] = PageKind::kFreelistTrunk;
        const std::size_t at = file.PageStart(trunk);
        for (std::uint32_t i = 0; i < file.Get32(at + 4); ++i)
            pages[file.Get32(at + 8 + 4 * i)] = PageKind::kFreelistLeaf;
    }
    return pages;
}

// The regions follow each other from 0 to the page's end, none empty.
void ExpectCoversOnce(const CPageMap& map, std::uint32_t size)
{
    std::uint32_t at = 0;
    for (const PageRegion& region : map.Regions()) {
        EXPECT_EQ(region.start, at);
        EXPECT_LT(region.start, region.end);
        at = region.end;
    }
    EXPECT_EQ(at, size);
}

std::uint64_t BytesOf(const CPageMap& map, std::set<PageRegionKind> kinds)
{
    std::uint64_t bytes = 0;
    for (const PageRegion& region : map.Regions())
        bytes += kinds.count(region.kind) ? region.end - region.start : 0;
    return bytes;
}

// A b-tree page against the bytes: the header and cell pointer array where
// the header says, each cell where its pointer says, each freeblock of the
// chain with its own size.
void ExpectBtreeLayout(const CPageFile& file, std::uint32_t page, const CPageMap& map)
{
    const std::size_t base = file.PageStart(page);
    const std::uint32_t header = CPageFile::HeaderOffset(page);
    const std::uint8_t type = file.PageType(page);
    const std::uint32_t array = header + (type == kTableInterior || type == kIndexInterior ? 12 : 8);
    ASSERT_NE(map.RegionAt(header), nullptr);
    EXPECT_EQ(map.RegionAt(header)->kind, PageRegionKind::kPageHeader);
    EXPECT_EQ(map.RegionAt(header)->end, array);
    for (std::uint32_t k = 0; k < file.CellCount(page); ++k) {
        const PageRegion* cell = map.RegionAt(file.CellOffset(page, k));
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->kind, PageRegionKind::kCell);
        EXPECT_EQ(cell->cell, static_cast<std::int32_t>(k));
        EXPECT_EQ(cell->start, file.CellOffset(page, k));
        EXPECT_EQ(map.RegionAt(array + 2 * k)->kind, PageRegionKind::kCellPointers);
    }
    for (std::uint32_t fb = file.Get16(base + header + 1); fb != 0; fb = file.Get16(base + fb)) {
        const PageRegion* region = map.RegionAt(fb);
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(region->kind, PageRegionKind::kFreeblock);
        EXPECT_EQ(region->start, fb);
        EXPECT_EQ(region->end, fb + file.Get16(base + fb + 2));
    }
}

class PageMapTest : public ::testing::TestWithParam<int> {};

TEST_P(PageMapTest, EveryPageAgreesWithItsBytesAndWithDbStat)
{
    CTempDir dir;
    const std::string path = dir.File("map.db");
    const int reserved = GetParam();
    const auto stat = BuildFixture(path, reserved);
    const CPageFile file(path);
    const auto freelist = ReadFreelist(file);
    ASSERT_FALSE(freelist.empty());

    CPageSource source;
    ASSERT_TRUE(source.Open(path));
    source.SetPageSize(file.PageSize());
    CPageRoles roles(source, file.PageSize() - reserved);
    std::set<PageKind> seen;
    for (std::uint32_t n = 1; n <= file.PageCount(); ++n) {
        SCOPED_TRACE("page " + std::to_string(n));
        std::vector<std::uint8_t> page;
        CPageMap map;
        ASSERT_TRUE(roles.MapPage(n, page, map));
        seen.insert(map.Kind());
        ExpectCoversOnce(map, file.PageSize());
        EXPECT_TRUE(map.Faults().empty());
        if (reserved != 0) {
            EXPECT_EQ(map.Regions().back().kind, PageRegionKind::kReserved);
        }
        EXPECT_EQ(BytesOf(map, {PageRegionKind::kReserved}), static_cast<std::uint64_t>(reserved));
        if (const auto it = freelist.find(n); it != freelist.end()) {
            EXPECT_EQ(map.Kind(), it->second);
            continue;
        }
        const DbStatPage& expected = stat.at(n);
        // dbstat's unused bytes: free space, freeblocks and fragments.
        EXPECT_EQ(BytesOf(map, {PageRegionKind::kUnallocated, PageRegionKind::kFreeblock}),
                  static_cast<std::uint64_t>(expected.unused));
        if (expected.type == "overflow") {
            EXPECT_EQ(map.Kind(), PageKind::kOverflow);
            continue;
        }
        const std::uint8_t type = file.PageType(n);
        EXPECT_EQ(map.Kind() == PageKind::kTableInterior || map.Kind() == PageKind::kIndexInterior,
                  expected.type == "internal");
        EXPECT_EQ(map.Kind() == PageKind::kTableLeaf || map.Kind() == PageKind::kTableInterior,
                  type == kTableLeaf || type == kTableInterior);
        ExpectBtreeLayout(file, n, map);
        if (n == 1) {
            EXPECT_EQ(map.Regions().front().kind, PageRegionKind::kFileHeader);
        }
    }
    EXPECT_EQ(seen.size(), 7u) << "the fixture lacks a page kind";
}

INSTANTIATE_TEST_SUITE_P(ReservedBytes, PageMapTest, ::testing::Values(0, 8));

// Damage derived from one sound leaf page: each variant still covers the
// page exactly once and says what it found.
TEST(PageMapDamage, ConflictsAreResolvedAndReported)
{
    CTempDir dir;
    const std::string path = dir.File("damaged.db");
    BuildFixture(path, 0);
    CPageFile file(path);
    std::uint32_t leaf = 2;
    while (file.PageType(leaf) != kTableLeaf || file.CellCount(leaf) < 3)
        ++leaf;
    const std::size_t base = file.PageStart(leaf);
    const std::vector<std::uint8_t> good(file.Bytes().begin() + base,
                                         file.Bytes().begin() + base + file.PageSize());
    struct Damage {
        const char* what;
        std::size_t at;       // offset in the page of the 16-bit field
        std::uint16_t value;
        std::int32_t lostCell;  // a cell that keeps no byte, -1 for none
        // Who keeps the first byte of cell 0: the cell itself, or the
        // cell pointer array a huge count stretches over it.
        PageRegionKind cell0Owner = PageRegionKind::kCell;
    };
    const std::uint16_t cell0 = static_cast<std::uint16_t>((good[8] << 8) | good[9]);
    const Damage cases[] = {
        {"two pointers to one cell", 10, cell0, 1},
        {"pointer past the page", 10, 0xFFF0, 1},
        {"pointer into the header", 10, 2, 1},
        {"cell count past the page", 3, 0xFFFF, -1, PageRegionKind::kCellPointers},
        {"freeblock onto a live cell", 1, cell0, -1},
        {"freeblock past the page", 1, 1022, -1},
    };
    for (const Damage& damage : cases) {
        SCOPED_TRACE(damage.what);
        std::vector<std::uint8_t> page = good;
        page[damage.at] = static_cast<std::uint8_t>(damage.value >> 8);
        page[damage.at + 1] = static_cast<std::uint8_t>(damage.value);
        CPageMap map;
        map.Build(page.data(), static_cast<std::uint32_t>(page.size()), file.PageSize(), leaf, {});
        ExpectCoversOnce(map, file.PageSize());
        EXPECT_FALSE(map.Faults().empty());
        EXPECT_EQ(map.RegionAt(cell0)->kind, damage.cell0Owner);
        for (const PageRegion& region : map.Regions())
            EXPECT_TRUE(damage.lostCell < 0 || region.cell != damage.lostCell);
    }
}

TEST(TimeDecoder, EncodingsAtKnownInstantsAndRangeEdges)
{
    struct Case {
        const char* text;
        TimeEncoding encoding;
        const char* expected;  // null: the value stays as it is
    };
    using E = TimeEncoding;
    const Case cases[] = {
        {"1578268800", E::kUnix, "2020-01-06T00:00:00.000Z"},
        {"1578268800000", E::kUnixMs, "2020-01-06T00:00:00.000Z"},
        {"1578268800123456", E::kUnixUs, "2020-01-06T00:00:00.123Z"},
        {"599961600", E::kMac, "2020-01-06T00:00:00.000Z"},
        {"446692882.792", E::kMac, "2015-02-27T01:21:22.792Z"},
        {"-94694400", E::kMac, "1998-01-01T00:00:00.000Z"},
        {"13222742400000000", E::kWebKit, "2020-01-06T00:00:00.000Z"},
        {"132227424000000000", E::kFileTime, "2020-01-06T00:00:00.000Z"},
        {"1.5782688e9", E::kUnix, "2020-01-06T00:00:00.000Z"},
        // The range: the years 1990 to 2040 in UTC, under each encoding.
        {"631152000", E::kUnix, "1990-01-01T00:00:00.000Z"},
        {"631151999", E::kUnix, nullptr},
        {"2240611199", E::kUnix, "2040-12-31T23:59:59.000Z"},
        {"2240611200", E::kUnix, nullptr},
        {"631151999999", E::kUnixMs, nullptr},
        {"2240611199999999", E::kUnixUs, "2040-12-31T23:59:59.999Z"},
        {"-347155200", E::kMac, "1990-01-01T00:00:00.000Z"},
        {"-347155201", E::kMac, nullptr},
        {"12275625600000000", E::kWebKit, "1990-01-01T00:00:00.000Z"},
        {"12275625599999999", E::kWebKit, nullptr},
        {"122756255999999999", E::kFileTime, nullptr},
        {"138850848000000000", E::kFileTime, nullptr},
        {"138850847999990000", E::kFileTime, "2040-12-31T23:59:59.999Z"},
        // No numbers: texts, blob hex with letters, NULL's empty text, a
        // number with a leading zero, and values no 64-bit range holds.
        {"2020-01-06", E::kUnix, nullptr},
        {"", E::kUnix, nullptr},
        {"0A1B", E::kUnix, nullptr},
        {"01578268800", E::kUnix, nullptr},
        {"99999999999999999999", E::kFileTime, nullptr},
        {"-9223372036854775808", E::kUnixUs, nullptr},
        {"inf", E::kUnix, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " as " + TimeEncodingName(c.encoding));
        const auto decoded = DecodeTimeText(c.text, c.encoding);
        EXPECT_EQ(decoded.has_value(), c.expected != nullptr);
        if (decoded && c.expected) {
            EXPECT_EQ(*decoded, c.expected);
        }
    }
    const auto readings = TimeReadings("1578268800000");
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].first, E::kUnixMs);
}

}  // namespace
