// Random schemas (type words, constraints, collations, defaults, generated
// columns, key forms, table constraints with and without commas, WITHOUT
// ROWID, STRICT, odd names) in random page sizes and encodings: every one
// sqlite3 accepts must read back with PRAGMA table_info's columns and
// sqlite3's rows. SALVIX_RANDOM_SCHEMA_DATABASES sets the number of
// databases (four tables each); bench/random_schemas.sh runs thousands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "support/EngineReader.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

class CGenerator {
public:
    explicit CGenerator(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    std::uint32_t Below(std::uint32_t n)
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33) % n;
    }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    std::uint64_t m_state;
};

// A name in one of the forms SQL allows; `base` keeps names distinct.
std::string Name(CGenerator& g, const std::string& base)
{
    static const char* const kKeywords[] = {"select", "order", "key", "Table", "index", "group"};
    switch (g.Below(7)) {
    case 0: return "\"" + base + " \"\"q\"\"\"";
    case 1: return "[" + base + " sp]";
    case 2: return "`" + base + "`";
    case 3: return "'" + base + "'";
    case 4: return "\"" + std::string(g.Pick(kKeywords)) + base + "\"";
    case 5: return "\"中" + base + "\"";
    default: return base;
    }
}

struct Column {
    std::string name;  // as written
    bool generated = false;
};

std::string TypeWords(CGenerator& g, bool strict)
{
    static const char* const kStrict[] = {"INT", "INTEGER", "REAL", "TEXT", "BLOB", "ANY", "integer"};
    static const char* const kAny[] = {
        "", "", "INTEGER", "integer", "INT", "TEXT", "REAL", "BLOB", "NUMERIC", "VARCHAR(20)",
        "DECIMAL(10, 2)", "unsigned big int", "DOUBLE PRECISION", "[my type]", "'text'",
        "\"INTEGER\"", "INT GENERATED", "x ALWAYS", "FLOATING POINT", "CHARINT", "nvarchar ( 100 )",
        "Text(5)", "real blob", "floaty", "GENERATED", "integer(5)", "`REAL`", "double"};
    return strict ? g.Pick(kStrict) : g.Pick(kAny);
}

std::string ColumnConstraint(CGenerator& g)
{
    static const char* const kConstraints[] = {
        "UNIQUE", "COLLATE NOCASE", "COLLATE rtrim", "DEFAULT 'it''s, (x)'",
        "DEFAULT (abs(-(1)) + length('a,b)'))", "DEFAULT -5", "CHECK (length('(,') > 0)",
        "REFERENCES other(x) ON DELETE CASCADE", "CONSTRAINT c1 DEFAULT 0", "NULL",
        "DEFAULT \"x\"", "/* (a, b) */ DEFAULT 1", "NOT NULL ON CONFLICT IGNORE DEFAULT 3"};
    return g.Pick(kConstraints);
}

// A CREATE TABLE statement and the number of its columns.
std::string CreateTable(CGenerator& g, const std::string& tableName, std::vector<Column>& columns)
{
    const bool withoutRowid = g.Chance(30);
    const bool strict = g.Chance(20);
    const int count = 1 + static_cast<int>(g.Below(6));
    const int keyOnColumn = g.Chance(35) ? static_cast<int>(g.Below(count)) : -1;
    std::string sql = "CREATE TABLE " + tableName + " (";
    for (int i = 0; i < count; ++i) {
        Column column;
        column.name = Name(g, "c" + std::to_string(i));
        std::string definition = column.name;
        const std::string type = TypeWords(g, strict);
        if (!type.empty())
            definition += " " + type;
        for (int k = g.Below(3); k > 0; --k)
            definition += " " + ColumnConstraint(g);
        if (i == keyOnColumn) {
            definition += g.Chance(50) ? " PRIMARY KEY" : g.Chance(50) ? " PRIMARY KEY DESC" : " PRIMARY KEY ASC";
        } else if (!withoutRowid && g.Chance(8)) {
            column.generated = true;
            definition += g.Chance(50) ? " GENERATED ALWAYS AS (length('a)')) STORED"
                                       : " AS (1 + 2) VIRTUAL";
        }
        sql += (i ? ", " : "") + definition;
        columns.push_back(column);
    }
    // Table constraints, with or without commas between them.
    std::vector<std::string> constraints;
    bool anyStored = false;
    for (const Column& column : columns)
        anyStored = anyStored || !column.generated;
    if (anyStored && keyOnColumn < 0 && (withoutRowid || g.Chance(60))) {
        std::string key = "PRIMARY KEY(";
        const int terms = 1 + static_cast<int>(g.Below(3));
        for (int t = 0; t < terms; ++t) {
            int c = static_cast<int>(g.Below(count));
            while (columns[c].generated)
                c = (c + 1) % count;
            std::string term = columns[c].name;
            if (g.Chance(25)) term = "(" + term + ")";
            if (g.Chance(25)) term += g.Chance(50) ? " COLLATE nocase" : " COLLATE binary";
            if (g.Chance(20)) term += " DESC";
            key += (t ? ", " : "") + term;
        }
        constraints.push_back((g.Chance(30) ? "CONSTRAINT pk " : "") + key + ")");
    }
    if (g.Chance(30))
        constraints.push_back("UNIQUE(" + columns[0].name + ")");
    if (g.Chance(30))
        constraints.push_back("CHECK (" + columns[0].name + " IS NULL OR '),' <> 'x')");
    if (g.Chance(15))
        constraints.push_back("FOREIGN KEY(" + columns[count - 1].name + ") REFERENCES other(x)");
    for (std::size_t k = 0; k < constraints.size(); ++k) {
        const std::size_t at = g.Below(static_cast<std::uint32_t>(constraints.size()));
        std::swap(constraints[k], constraints[at]);
    }
    for (const std::string& constraint : constraints)
        sql += (g.Chance(50) ? ", " : " ") + constraint;
    sql += ")";
    if (withoutRowid && strict)
        sql += " WITHOUT ROWID, STRICT";
    else if (withoutRowid)
        sql += " WITHOUT ROWID";
    else if (strict)
        sql += " STRICT";
    return sql;
}

SqlValue RandomValue(CGenerator& g)
{
    static const std::int64_t kIntegers[] = {0, 1, -1, 127, 128, -32769, 8388608, 2147483648LL,
                                             -140737488355329LL, INT64_MAX, INT64_MIN};
    static const double kReals[] = {0.0, -0.0, 3.0, 2.5, 1e15, 1e20, -1e-300, 100000.0,
                                    123456789012345680.0};
    static const char* const kTexts[] = {"", "a", "中文 😀", "tab\there", "x,y)", "42", "3.0",
                                         "bad\xC3(\xE2\x82", "\xED\xA0\x80\xF0\x9F\x98"};
    switch (g.Below(6)) {
    case 0: return nullptr;
    case 1: return g.Pick(kIntegers);
    case 2: return g.Pick(kReals);
    case 3: return g.Chance(10) ? std::string("nul\0after", 9) : std::string(g.Pick(kTexts));
    case 4: {
        if (g.Chance(80))
            return std::string(g.Pick(kTexts)) + std::to_string(g.Below(1000));
        return std::string(1000 + g.Below(9000), static_cast<char>('a' + g.Below(26)));
    }
    default: {
        SqlBlob blob;
        for (int k = g.Below(g.Chance(90) ? 40 : 6000); k > 0; --k)
            blob.bytes.push_back(static_cast<std::uint8_t>(g.Below(256)));
        return blob;
    }
    }
}

// Builds one database of four random tables; returns how many sqlite3
// accepted.
int BuildDatabase(CGenerator& g, const std::string& path)
{
    static const std::uint32_t kPageSizes[] = {512, 1024, 4096, 8192, 65536};
    static const char* const kEncodings[] = {"UTF-8", "UTF-16le", "UTF-16be"};
    DbLayout layout;
    layout.pageSize = g.Pick(kPageSizes);
    layout.encoding = g.Pick(kEncodings);
    auto db = CreateDatabase(path, layout);
    db->Exec("CREATE TABLE other(x INTEGER PRIMARY KEY)");
    int accepted = 0;
    for (int t = 0; t < 4; ++t) {
        const std::string tableName = t == 0 && g.Chance(40) ? "\"\"" : Name(g, "t" + std::to_string(t));
        std::vector<Column> columns;
        const std::string sql = CreateTable(g, tableName, columns);
        try {
            db->Exec(sql);
        } catch (const std::runtime_error&) {
            continue;  // a form sqlite3 refuses
        }
        ++accepted;
        std::string insert = "INSERT OR IGNORE INTO " + tableName + " (";
        std::string marks;
        for (const Column& column : columns) {
            if (column.generated)
                continue;
            insert += (marks.empty() ? "" : ", ") + column.name;
            marks += marks.empty() ? "?" : ", ?";
        }
        insert += ") VALUES (" + marks + ")";
        const int rows = static_cast<int>(g.Below(25));
        for (int r = 0; r < rows; ++r) {
            std::vector<SqlValue> row;
            for (const Column& column : columns)
                if (!column.generated)
                    row.push_back(RandomValue(g));
            try {
                db->InsertRows(insert, {row});
            } catch (const std::runtime_error&) {
                // A value STRICT refuses: that row is left out.
            }
        }
    }
    return accepted;
}

// A table's rows through the command line's UTF-8 path, values ended by
// unit separators and rows by record separators (no value here holds them).
std::string Utf8RowsOf(const std::string& path, const std::u16string& name)
{
    struct CSink : CRowSink {
        Utf8Layout layout{"", "\x1F", "\x1F\x1E"};
        const Utf8Layout* Utf8RowLayout() const override { return &layout; }
    } sink;
    CSqliteParser parser;
    parser.OpenDatabase(path);
    DbInfo& db = g_dbList.back();
    for (TableInfo& table : db.tables) {
        parser.m_pDb = &db;
        parser.m_pTable = &table;
        parser.m_pRowSink = &sink;
        if (table.name == name)
            parser.ReadTable();
    }
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(&db));
    return std::string(sink.Utf8Buffer().View());
}

int DatabaseCount()
{
    const char* text = std::getenv("SALVIX_RANDOM_SCHEMA_DATABASES");
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 120;
}

TEST(RandomSchemaTest, EverySchemaReadsAsSqliteReadsIt)
{
    const int databases = DatabaseCount();
    int schemas = 0;
    std::size_t rows = 0;
    for (int n = 0; n < databases; ++n) {
        SCOPED_TRACE("database " + std::to_string(n));
        CGenerator g(static_cast<std::uint64_t>(n) + 1);
        CTempDir dir;
        const std::string path = dir.File("random.db");
        schemas += BuildDatabase(g, path);
        const DbSnapshot oracle = ReadWithSqlite(path, false);
        CLogCollector log;
        const DbSnapshot engine = ReadWithEngine(path, log);
        ASSERT_TRUE(SameSchema(engine, oracle));
        for (const TableSnapshot& expected : oracle.tables) {
            SCOPED_TRACE(NameOf(expected));
            const std::vector<DisplayRow>& wide = engine.Find(expected.name)->rows;
            EXPECT_TRUE(SameRows(wide, expected.rows));
            rows += expected.rows.size();
            // The UTF-8 path shows exactly the same texts, row for row.
            std::string asUtf8;
            for (const DisplayRow& row : wide) {
                for (const std::u16string& value : row)
                    asUtf8 += WideToUtf8(value) + "\x1F";
                asUtf8 += "\x1E";
            }
            EXPECT_EQ(Utf8RowsOf(path, expected.name), asUtf8);
        }
        EXPECT_TRUE(log.Errors().empty()) << log.Dump();
        if (HasFailure())
            break;
    }
    std::printf("random schemas accepted by sqlite3 and compared: %d, rows %zu\n", schemas, rows);
    // The generator must mostly produce schemas sqlite3 accepts.
    EXPECT_GT(schemas, databases * 2);
}

}  // namespace
