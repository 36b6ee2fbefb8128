// Differential tests: databases written by the sqlite3 library in every page
// size, text encoding and reserved-space layout must read back through the
// engine with the same tables, columns and rows as sqlite3 itself returns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/EngineReader.h"
#include "support/PageFile.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

using Rows = std::vector<std::vector<SqlValue>>;

// A small deterministic generator, so every run builds the same files.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed) : m_state(seed * 6364136223846793005ULL + 1) {}
    std::uint32_t Next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint64_t m_state;
};

const std::vector<std::int64_t>& SpecialIntegers()
{
    // Each width boundary of the integer serial types (1, 2, 3, 4, 6, 8 bytes).
    static const std::vector<std::int64_t> values = {
        0, 1, -1, 2, 127, 128, -128, -129, 255, 256, 32767, 32768, -32768, -32769,
        8388607, 8388608, -8388608, -8388609, 2147483647, 2147483648LL, -2147483648LL,
        -2147483649LL, 140737488355327LL, 140737488355328LL, -140737488355328LL,
        -140737488355329LL, std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min()};
    return values;
}

const std::vector<double>& SpecialReals()
{
    static const std::vector<double> values = {
        0.0, -0.0, 0.1, -2.5, 3.141592653589793, 1e5, 1e14, 1e15, 140737488355327.0,
        140737488355328.0, -140737488355328.0, 1e20, 1.7976931348623157e308, 5e-324,
        2.2250738585072014e-308, -1e-300, std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 123456.789, 1.0 / 3.0, 9007199254740993.0};
    return values;
}

std::vector<std::string> SpecialTexts()
{
    return {"",
            "a",
            "hello world",
            "中文测试",
            "😀 emoji 👍🏽 flags 🇨🇳",
            "tab\tnew\nline\\back\rslash",
            "mixed 中文 and 😀 in one",
            std::string("nul\0after", 9),
            "\xEF\xBB\xBF" "starts with a byte-order mark",
            std::string(200, 'x'),
            "Ünïcödé àccénts ñ",
            "ＦＵＬＬＷＩＤＴＨ　ｔｅｘｔ"};
}

SqlBlob BlobOf(std::size_t size, std::uint32_t seed)
{
    SqlBlob blob;
    CRandom random(seed);
    for (std::size_t i = 0; i < size; ++i)
        blob.bytes.push_back(static_cast<std::uint8_t>(random.Next()));
    return blob;
}

// Text of about `bytes` UTF-8 bytes, mixing one-, three- and four-byte
// characters so that page boundaries fall inside characters.
std::string TextOf(std::size_t bytes, std::uint32_t seed)
{
    static const char* const kPieces[] = {"abc", "中", "文", "😀", " ", "Z", "é", "🇨🇳", "\n"};
    CRandom random(seed);
    std::string text;
    while (text.size() < bytes)
        text += kPieces[random.Below(9)];
    return text;
}

SqlValue AnyValue(std::uint32_t pick)
{
    const auto texts = SpecialTexts();
    switch (pick % 5) {
    case 0: return nullptr;
    case 1: return SpecialIntegers()[pick % SpecialIntegers().size()];
    case 2: return SpecialReals()[pick % SpecialReals().size()];
    case 3: return texts[pick % texts.size()];
    default: return BlobOf(pick % 40, pick);
    }
}

struct DiffCase {
    std::uint32_t pageSize;
    const char* encoding;
    int reservedBytes;
};

void PrintTo(const DiffCase& c, std::ostream* out)
{
    *out << c.pageSize << " " << c.encoding << " reserved " << c.reservedBytes;
}

std::string CaseName(const ::testing::TestParamInfo<DiffCase>& info)
{
    std::string encoding = info.param.encoding;
    std::string name = "p" + std::to_string(info.param.pageSize) + "_";
    for (char c : encoding)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
    return name + "_r" + std::to_string(info.param.reservedBytes);
}

std::vector<DiffCase> AllCases()
{
    std::vector<DiffCase> cases;
    for (std::uint32_t size = 512; size <= 65536; size *= 2)
        for (const char* encoding : {"UTF-8", "UTF-16le", "UTF-16be"})
            for (int reserved : {0, 32})
                cases.push_back({size, encoding, reserved});
    return cases;
}

class DifferentialTest : public ::testing::TestWithParam<DiffCase> {
protected:
    std::uint32_t Usable() const { return GetParam().pageSize - GetParam().reservedBytes; }
    // The megabyte rows are written for a few layouts only, to keep the
    // suite fast under the sanitizers.
    bool WithHugeRows() const
    {
        const DiffCase& c = GetParam();
        return c.reservedBytes == 0 && (c.pageSize == 1024 || c.pageSize == 65536 ||
                                        (c.pageSize == 4096 && std::string(c.encoding) != "UTF-8"));
    }

    void BuildKinds(CSqliteDb& db)
    {
        db.Exec("CREATE TABLE kinds(id INTEGER PRIMARY KEY, i INT, r REAL, t TEXT, b BLOB,"
                " n NUMERIC, v)");
        const auto texts = SpecialTexts();
        const auto& ints = SpecialIntegers();
        const auto& reals = SpecialReals();
        Rows rows;
        for (std::uint32_t k = 0; k < 240; ++k) {
            // Rowids: mostly assigned by sqlite3, some chosen (negative,
            // extreme) to exercise every rowid varint length.
            SqlValue id = nullptr;
            if (k % 17 == 3)
                id = ints[(k / 17) % ints.size()];
            SqlValue i = k % 11 == 0 ? SqlValue(nullptr) : SqlValue(ints[k % ints.size()]);
            SqlValue r = k % 13 == 0 ? SqlValue(nullptr) : SqlValue(reals[(k * 7) % reals.size()]);
            if (k % 19 == 5)
                r = ints[k % ints.size()];  // an integer in a REAL column
            SqlValue t = texts[k % texts.size()];
            if (k % 23 == 1)
                t = std::string("42");
            SqlValue b = k % 9 == 0 ? SqlValue(nullptr) : SqlValue(BlobOf((k * 5) % 70, k));
            SqlValue n = k % 4 == 0   ? SqlValue(std::string("123"))
                         : k % 4 == 1 ? SqlValue(std::string("1.5"))
                         : k % 4 == 2 ? SqlValue(reals[k % reals.size()])
                                      : SqlValue(std::string("abc"));
            rows.push_back({id, i, r, t, b, n, AnyValue(k * 31 + 7)});
        }
        // Delete the rows whose chosen rowid collided before inserting.
        db.Exec("BEGIN");
        for (auto& row : rows) {
            if (const auto* id = std::get_if<std::int64_t>(&row[0]))
                db.Exec("DELETE FROM kinds WHERE id=" + std::to_string(*id));
            db.InsertRows("INSERT INTO kinds VALUES(?,?,?,?,?,?,?)", {row});
        }
        db.Exec("COMMIT");
    }

    void BuildOverflow(CSqliteDb& db)
    {
        db.Exec("CREATE TABLE big(id INTEGER PRIMARY KEY, label TEXT, body TEXT, data BLOB)");
        const std::uint32_t u = Usable();
        const std::vector<std::size_t> sizes = {u - 40, u - 36, u - 35, u - 34, u - 1,
                                                u,      u + 1,  2 * u,  5 * u + 7, 40000};
        Rows rows;
        std::uint32_t seed = 1;
        for (std::size_t size : sizes) {
            rows.push_back({nullptr, std::string("text ") + std::to_string(size),
                            TextOf(size, seed++), nullptr});
            rows.push_back({nullptr, std::string("blob ") + std::to_string(size), nullptr,
                            BlobOf(size, seed++)});
            rows.push_back({nullptr, std::string("both ") + std::to_string(size),
                            TextOf(size / 2, seed++), BlobOf(size / 2, seed++)});
        }
        if (WithHugeRows()) {
            rows.push_back({nullptr, std::string("huge text"), TextOf(1 << 20, 99), nullptr});
            rows.push_back({nullptr, std::string("huge blob"), nullptr, BlobOf(1 << 20, 98)});
        }
        db.Exec("BEGIN");
        db.InsertRows("INSERT INTO big VALUES(?,?,?,?)", rows);
        db.Exec("COMMIT");
    }

    void BuildWithoutRowid(CSqliteDb& db)
    {
        // The key columns (b, a) are stored first, in key order, then c, d, e.
        db.Exec("CREATE TABLE wr(a TEXT, b INTEGER, c BLOB, d REAL, e,\n"
                "  PRIMARY KEY (b, a)) WITHOUT ROWID");
        db.Exec("CREATE TABLE wr_inline(k TEXT PRIMARY KEY NOT NULL, v INT) WITHOUT ROWID");
        Rows rows, inlineRows;
        for (std::uint32_t k = 0; k < 1200; ++k) {
            const std::size_t length = (k * 37) % 300 + 1;
            rows.push_back({std::to_string(k) + TextOf(length, 1000 + k),
                            static_cast<std::int64_t>(k % 50) - 25,
                            k % 3 == 0 ? SqlValue(nullptr) : SqlValue(BlobOf(k % 20, k)),
                            static_cast<double>(k) / 8, AnyValue(k)});
        }
        // Keys longer than an index cell holds at any page size: the rows
        // overflow in index leaf and interior cells alike.
        for (std::uint32_t k = 0; k < 4; ++k)
            rows.push_back({TextOf(20000 + k, 7000 + k), static_cast<std::int64_t>(k), nullptr,
                            0.5, nullptr});
        for (std::uint32_t k = 0; k < 60; ++k)
            inlineRows.push_back({std::string("key ") + std::to_string(k * 7919 % 1000),
                                  static_cast<std::int64_t>(k) - 30});
        db.Exec("BEGIN");
        db.InsertRows("INSERT INTO wr VALUES(?,?,?,?,?)", rows);
        db.InsertRows("INSERT INTO wr_inline VALUES(?,?)", inlineRows);
        db.Exec("COMMIT");
    }

    void BuildChurn(CSqliteDb& db)
    {
        db.Exec("CREATE TABLE churn(id INTEGER PRIMARY KEY, note TEXT, qty INT)");
        Rows rows;
        for (std::uint32_t k = 0; k < 600; ++k)
            rows.push_back({nullptr, TextOf(10 + (k * 13) % 90, 3000 + k),
                            static_cast<std::int64_t>(k) * 1000});
        db.Exec("BEGIN");
        db.InsertRows("INSERT INTO churn VALUES(?,?,?)", rows);
        db.Exec("COMMIT");
        // Deleted and shrunk rows leave freeblocks; no VACUUM follows.
        db.Exec("DELETE FROM churn WHERE id % 3 = 0");
        db.Exec("UPDATE churn SET note = substr(note, 1, 2) WHERE id % 5 = 0");
    }

    void BuildSchemaVariety(CSqliteDb& db)
    {
        db.Exec("CREATE TABLE \"odd \"\"name\"\" table\" (\n"
                "\t[first col] integer primary key,\n"
                "\t`second` DECIMAL(10, 2) NOT NULL DEFAULT 0,\n"
                "\t'third'   VARCHAR(20) COLLATE NOCASE,\n"
                "\tfourth UNSIGNED  BIG INT CHECK (fourth > 0 OR fourth IS NULL),\n"
                "\tfifth,\n"
                "\t\"six\"\"th\" TEXT REFERENCES kinds(id) ON DELETE CASCADE, -- a comment, with a comma\n"
                "\tseventh DOUBLE PRECISION CONSTRAINT pos CHECK (seventh >= 0),\n"
                "\teighth NVARCHAR ( 100 ) UNIQUE /* (not, a, column) */,\n"
                "\tninth VARCHAR(10) DEFAULT 'a,b',\n"
                "\ttenth [my type], eleventh `text`, twelfth Text(5), thirteenth [big] int,\n"
                "\tCONSTRAINT uq UNIQUE (second, third),\n"
                "\tCHECK (second >= 0),\n"
                "\tFOREIGN KEY (fifth) REFERENCES kinds(id)\n"
                ")");
        db.Exec("CREATE TABLE alias_by_constraint(x TEXT, id Integer, PRIMARY KEY(id))");
        db.Exec("CREATE TABLE int_pk_not_alias(id INT PRIMARY KEY, x TEXT)");
        db.Exec("CREATE TABLE desc_pk_not_alias(id INTEGER PRIMARY KEY DESC, x)");
        db.Exec("CREATE TABLE auto_inc(id INTEGER PRIMARY KEY AUTOINCREMENT, x)");
        db.Exec("CREATE TABLE empty_one(a, b)");
        db.Exec("CREATE TABLE [中文表](名字 TEXT, 值 INTEGER)");
        for (int k = 0; k < 8; ++k)
            db.Exec("CREATE TABLE extra_" + std::to_string(k) + "(x INTEGER, y TEXT)");
        db.Exec("CREATE INDEX kinds_t ON kinds(t)");
        db.Exec("CREATE INDEX churn_qty ON churn(qty DESC)");
        db.Exec("CREATE VIEW v_kinds AS SELECT * FROM kinds");
        db.Exec("CREATE TRIGGER trg AFTER INSERT ON auto_inc BEGIN SELECT 1; END");

        Rows odd;
        for (std::uint32_t k = 0; k < 40; ++k) {
            odd.push_back({k % 4 == 0 ? SqlValue(nullptr) : SqlValue(std::int64_t(k * 3 + 1000)),
                           static_cast<double>(k) * 1.25, k % 3 ? SqlValue(nullptr) : SqlValue(TextOf(k, k)),
                           k % 5 == 0 ? SqlValue(nullptr) : SqlValue(std::int64_t(k + 1)),
                           AnyValue(k), std::string("six ") + std::to_string(k),
                           k % 2 ? SqlValue(nullptr) : SqlValue(static_cast<double>(k) / 3),
                           std::string("u") + std::to_string(k), nullptr,
                           AnyValue(k + 1), AnyValue(k + 2), std::string("5"), AnyValue(k + 4)});
        }
        Rows pairs, singles;
        for (std::uint32_t k = 0; k < 30; ++k) {
            pairs.push_back({TextOf(k, k + 50), k % 3 == 0 ? SqlValue(nullptr) : SqlValue(std::int64_t(k * 11))});
            singles.push_back({AnyValue(k + 3)});
        }
        db.Exec("BEGIN");
        db.InsertRows("INSERT INTO \"odd \"\"name\"\" table\" VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)", odd);
        db.InsertRows("INSERT INTO alias_by_constraint(x, id) VALUES(?,?)", pairs);
        db.InsertRows("INSERT INTO int_pk_not_alias(x, id) VALUES(?,?)", pairs);
        db.InsertRows("INSERT INTO desc_pk_not_alias(x, id) VALUES(?,?)", pairs);
        db.InsertRows("INSERT INTO auto_inc(x) VALUES(?)", singles);
        db.InsertRows("INSERT INTO [中文表] VALUES(?,?)", pairs);
        for (int k = 0; k < 8; ++k)
            db.Exec("INSERT INTO extra_" + std::to_string(k) + " VALUES(" + std::to_string(k) +
                    ", 'row')");
        db.Exec("COMMIT");
    }

    void Build(const std::string& path)
    {
        DbLayout layout;
        layout.pageSize = GetParam().pageSize;
        layout.encoding = GetParam().encoding;
        layout.reservedBytes = GetParam().reservedBytes;
        layout.autoVacuum = GetParam().pageSize == 2048;
        auto db = CreateDatabase(path, layout);
        BuildKinds(*db);
        BuildOverflow(*db);
        BuildWithoutRowid(*db);
        BuildChurn(*db);
        BuildSchemaVariety(*db);
    }
};

// The header says what the case asked for, so a case cannot silently test
// a different layout.
void ExpectLayout(const CPageFile& file, const DiffCase& c)
{
    EXPECT_EQ(file.PageSize(), c.pageSize);
    EXPECT_EQ(file.Get16(16), c.pageSize == 65536 ? 1 : c.pageSize);
    EXPECT_EQ(file.Get8(20), c.reservedBytes);
    const std::string encoding = c.encoding;
    EXPECT_EQ(file.Get32(56), encoding == "UTF-8" ? 1u : encoding == "UTF-16le" ? 2u : 3u);
}

int LeafPagesWithFreeblocks(const CPageFile& file)
{
    int count = 0;
    for (std::uint32_t page = 2; page <= file.PageCount(); ++page) {
        const std::uint8_t type = file.PageType(page);
        if ((type == 10 || type == 13) && file.Get16(file.PageStart(page) + 1) != 0)
            ++count;
    }
    return count;
}

TEST_P(DifferentialTest, EveryTableReadsAsSqliteReadsIt)
{
    CTempDir dir;
    const std::string path = dir.File("diff.db");
    Build(path);

    const CPageFile file(path);
    ExpectLayout(file, GetParam());
    EXPECT_GT(LeafPagesWithFreeblocks(file), 0);

    const DbSnapshot oracle = ReadWithSqlite(path, false);
    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(path, log);

    EXPECT_EQ(engine.pageSize, GetParam().pageSize);
    ASSERT_TRUE(SameSchema(engine, oracle));
    for (const TableSnapshot& expected : oracle.tables) {
        SCOPED_TRACE(NameOf(expected));
        EXPECT_TRUE(SameRows(engine.Find(expected.name)->rows, expected.rows));
    }
    // The WITHOUT ROWID table is deep enough to have interior index pages,
    // whose cells hold rows too.
    const TableSnapshot* wr = oracle.Find(u"wr");
    ASSERT_NE(wr, nullptr);
    EXPECT_EQ(file.PageType(wr->rootPage), 2);
    EXPECT_EQ(wr->rows.size(), 1204u);

    // Valid files give no error line; every overflowing cell gives a notice.
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    bool sawOverflow = false;
    for (const LogMessage& line : log.Lines())
        sawOverflow = sawOverflow || (line.type == 0 && line.caption == u"normal");
    EXPECT_TRUE(sawOverflow);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DifferentialTest, ::testing::ValuesIn(AllCases()), CaseName);

// A real never reads as an integer, also where a REAL column keeps an
// integral value as an integer on disk (when it fits in six bytes).
TEST(DifferentialStorage, RealsNeverLookLikeIntegers)
{
    CTempDir dir;
    const std::string path = dir.File("reals.db");
    {
        auto db = CreateDatabase(path, DbLayout{});
        db->Exec("CREATE TABLE r(x REAL, y)");
        db->InsertRows("INSERT INTO r VALUES(?,?)", {{-0.0, -0.0},
                                                     {100000.0, 3.0},
                                                     {1e15, 123456789012345680.0},
                                                     {2.5, std::int64_t(3)}});
    }
    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(path, log);
    const TableSnapshot* table = engine.Find(u"r");
    ASSERT_NE(table, nullptr);
    // Rows come in ascending cell offset: the reverse of insertion here.
    const std::vector<DisplayRow> expected = {{u"2.5", u"3"},
                                              {u"1e+15", u"123456789012345680.0"},
                                              {u"1e+05", u"3.0"},
                                              {u"0.0", u"-0.0"}};
    EXPECT_EQ(table->rows, expected);
    EXPECT_TRUE(SameRows(table->rows, ReadWithSqlite(path, false).Find(u"r")->rows));
}

// Payloads at the edge of the in-page limit X (U - 35 in table leaves,
// ((U - 12) * 64 / 255) - 23 in index pages), and overflowing ones that keep
// exactly K = X bytes in the page, at the smallest, a middle and the largest
// page size: each reads back whole, with no error.
TEST(DifferentialStorage, PayloadsOfExactlyTheLocalLimit)
{
    // Record of one text of n bytes: header size, serial type 13 + 2n, text.
    const auto textForPayload = [](std::uint64_t payload) {
        for (std::uint64_t typeBytes = 1; typeBytes <= 3; ++typeBytes) {
            const std::uint64_t n = payload - 1 - typeBytes;
            const std::uint64_t type = 13 + 2 * n;
            if ((type < 128 ? 1 : type < 16384 ? 2 : 3) == typeBytes)
                return std::string(n, 'x') + "";
        }
        return std::string();
    };
    for (std::uint32_t pageSize : {512u, 4096u, 65536u}) {
        SCOPED_TRACE(pageSize);
        CTempDir dir;
        const std::string path = dir.File("edge.db");
        {
            DbLayout layout;
            layout.pageSize = pageSize;
            auto db = CreateDatabase(path, layout);
            db->Exec("CREATE TABLE leaf(v TEXT)");
            db->Exec("CREATE TABLE keyed(v TEXT PRIMARY KEY) WITHOUT ROWID");
            const std::uint64_t u = pageSize;
            const std::uint64_t tableLimit = u - 35, indexLimit = (u - 12) * 64 / 255 - 23;
            for (const auto& [table, limit] : {std::pair{"leaf", tableLimit}, std::pair{"keyed", indexLimit}}) {
                // X - 1, X, X + 1 bytes, and X + (U - 4): K = X with overflow.
                std::vector<std::vector<SqlValue>> rows;
                for (std::uint64_t payload : {limit - 1, limit, limit + 1, limit + u - 4}) {
                    std::string text = textForPayload(payload);
                    ASSERT_FALSE(text.empty());
                    text[0] = static_cast<char>('a' + rows.size());  // distinct keys
                    rows.push_back({text});
                }
                db->InsertRows(std::string("INSERT INTO ") + table + " VALUES(?)", rows);
            }
        }
        const DbSnapshot oracle = ReadWithSqlite(path, false);
        CLogCollector log;
        const DbSnapshot engine = ReadWithEngine(path, log);
        for (const char16_t* table : {u"leaf", u"keyed"}) {
            ASSERT_EQ(oracle.Find(table)->rows.size(), 4u);
            EXPECT_TRUE(SameRows(engine.Find(table)->rows, oracle.Find(table)->rows));
        }
        EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    }
}

// Rows written before ALTER TABLE ADD COLUMN store fewer values than the
// table now has columns. sqlite3 fills in the column's default; the engine
// shows only what is stored, so those rows are shorter.
TEST(DifferentialStorage, RowsBeforeAddColumnShowTheirStoredValues)
{
    CTempDir dir;
    const std::string path = dir.File("added.db");
    {
        auto db = CreateDatabase(path, DbLayout{});
        db->Exec("CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT)");
        db->Exec("INSERT INTO t VALUES(1, 'old')");
        db->Exec("ALTER TABLE t ADD COLUMN c INT DEFAULT 7");
        db->Exec("INSERT INTO t VALUES(2, 'new', 8)");
    }
    const DbSnapshot oracle = ReadWithSqlite(path, false);
    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(path, log);
    ASSERT_TRUE(SameSchema(engine, oracle));
    const std::vector<DisplayRow> expectedOracle = {{u"1", u"old", u"7"}, {u"2", u"new", u"8"}};
    EXPECT_EQ(oracle.Find(u"t")->rows, expectedOracle);
    const std::vector<DisplayRow> expectedEngine = {{u"2", u"new", u"8"}, {u"1", u"old"}};
    EXPECT_EQ(engine.Find(u"t")->rows, expectedEngine);
}

}  // namespace
