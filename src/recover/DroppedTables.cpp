#include "recover/DroppedTables.h"

#include <algorithm>

#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/RecordDecoder.h"
#include "records/SchemaCatalogue.h"
#include "recover/LeafScan.h"
#include "recover/RecoveredRecord.h"

namespace {

// Keeps the schema records a scan finds.
class CSchemaRecords : public CRecordFound {
public:
    void OnFound(int, const RecordParse& parse, std::uint32_t, bool, bool) override
    {
        found.push_back(parse);
    }
    std::vector<RecordParse> found;
};

// The values of a schema record as texts (a lost value is the empty text).
std::vector<std::u16string> SchemaValues(const std::uint8_t* page, const RecordParse& parse,
                                         std::uint32_t encoding)
{
    std::vector<std::u16string> values;
    std::uint64_t at = parse.bodyStart;
    for (std::size_t i = 0; i < parse.types.size(); ++i) {
        std::u16string text;
        const std::uint64_t size = SerialTypeSize(parse.types[i]);
        if (!(i == 0 && parse.firstLost) && at + size <= parse.localEnd)
            AppendValueText(text, page, parse.localEnd, at, parse.types[i], encoding);
        values.push_back(std::move(text));
        at += size;
    }
    return values;
}

// The root page a schema record's rootpage text names, or 0.
std::uint32_t RootPageOf(std::u16string_view text)
{
    std::uint32_t root = 0;
    for (char16_t c : text)
        root = c >= u'0' && c <= u'9' && root < 100000000 ? root * 10 + (c - u'0') : UINT32_MAX;
    return root == UINT32_MAX ? 0 : root;
}

class CDroppedTableFinder {
public:
    CDroppedTableFinder(CSqliteParser& parser, const DbInfo& db, DroppedTableScan& result)
        : m_parser(parser), m_db(db), m_result(result), m_master{SchemaTableSchema()}
    {
    }

    // Reads the schema records of one page: with `withCells` its cells
    // too, and then each table's root page is kept as the main file's own.
    void ReadSchemaPage(std::uint32_t number, const std::uint8_t* page, std::uint32_t h, bool withCells)
    {
        const PageBytes bytes{page, m_db.UsableSize(), m_db.textEncoding};
        CSchemaRecords records;
        CRegionScan scan(m_master, bytes, records);
        scan.SetSchemas({0});
        ScanLeaf(scan, bytes, h, withCells, number, m_parser.m_hLogWnd);
        for (const RecordParse& parse : records.found)
            ReadSchemaRecord(number, SchemaValues(page, parse, m_db.textEncoding), withCells);
    }

private:
    void ReadSchemaRecord(std::uint32_t number, const std::vector<std::u16string>& values, bool withCells)
    {
        if (values.size() < 5 || values[1].empty() || (!values[0].empty() && values[0] != u"table"))
            return;
        const std::u16string& sql = values[4];
        if (sql.size() < 12 || !EqualsIgnoringAsciiCase(sql.substr(0, 12), u"CREATE TABLE"))
            return;
        if (withCells && values[0] == u"table" && RootPageOf(values[3]) != 0)
            m_result.fileRoots.push_back({values[1], RootPageOf(values[3])});
        const auto sameName = [&](const TableInfo& t) { return EqualsIgnoringAsciiCase(t.name, values[1]); };
        if (std::any_of(m_db.tables.begin(), m_db.tables.end(), sameName) ||
            std::any_of(m_result.dropped.begin(), m_result.dropped.end(), sameName))
            return;
        TableInfo table;
        table.name = values[1];
        table.sql = sql;
        ParseCreateTable(sql, table);
        if (table.columns.empty() || table.withoutRowid)
            return;
        PostLog(m_parser.m_hLogWnd, u"Recover",
                WideFormat(withCells ? u"recover: dropped table %s named by the main file's own "
                                       u"schema (page %u), which the log has since replaced"
                                     : u"recover: dropped table %s named by a CREATE statement in "
                                       u"free space of page %u",
                           {table.name, number}),
                kLogInfo);
        m_result.dropped.push_back(std::move(table));
    }

    CSqliteParser& m_parser;
    const DbInfo& m_db;
    DroppedTableScan& m_result;
    const std::vector<RecoverSchema> m_master;
};

}  // namespace

void FindDroppedTables(CSqliteParser& parser, const DbInfo& db, CPageOwners& owners,
                       DroppedTableScan& result)
{
    CDroppedTableFinder finder(parser, db, result);
    owners.WalkTree(parser.m_pageSource, db.UsableSize(), 1, CPageOwners::kSchemaTree,
                    [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
                        finder.ReadSchemaPage(number, page, h, false);
                    });
    // With a log laid over the file, the main file still holds the database
    // as the last checkpoint left it: its own schema names the tables
    // dropped since, and where each table's tree was then.
    if (parser.m_pageSource.HasOverlay())
        WalkFileTree(parser.m_pageSource, db, 1,
                     [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
                         finder.ReadSchemaPage(number, page, h, true);
                     });
}
