#include "recover/DroppedTables.h"

#include <algorithm>

#include "engine/Globals.h"
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

// Where a page of schema records was read: the free space of the schema
// tree shown, the main file's own schema tree past the log, or a page
// version no schema tree uses (a log frame, a freelist page).
enum class SchemaPlace { kFreeSpace, kFileTree, kOldVersion };

class CDroppedTableFinder {
public:
    CDroppedTableFinder(CSqliteParser& parser, const DbInfo& db, DroppedTableScan& result)
        : m_parser(parser), m_db(db), m_result(result), m_master{SchemaTableSchema()}
    {
    }

    // Reads the schema records of one page (with its cells but in the free
    // space of the schema tree shown); in the main file's own tree each
    // table's root page is kept too.
    void ReadSchemaPage(std::uint32_t number, const std::uint8_t* page, std::uint32_t h, SchemaPlace place)
    {
        const PageBytes bytes{page, m_db.UsableSize(), m_db.textEncoding};
        CSchemaRecords records;
        CRegionScan scan(m_master, bytes, records);
        scan.SetSchemas({0});
        ScanLeaf(scan, bytes, h, place != SchemaPlace::kFreeSpace, number, m_parser.m_hLogWnd);
        for (const RecordParse& parse : records.found)
            ReadSchemaRecord(number, SchemaValues(page, parse, m_db.textEncoding), place);
    }

    // Reads the schema records in the bytes of a page no tree holds, from
    // `from` to its end.
    void ReadSchemaBytes(std::uint32_t number, const std::uint8_t* page, std::uint32_t from)
    {
        const PageBytes bytes{page, m_db.UsableSize(), m_db.textEncoding};
        CSchemaRecords records;
        CRegionScan scan(m_master, bytes, records);
        scan.SetSchemas({0});
        scan.ScanRegion(from, bytes.usable, {});
        for (const RecordParse& parse : records.found)
            ReadSchemaRecord(number, SchemaValues(page, parse, m_db.textEncoding), SchemaPlace::kOldVersion);
    }

private:
    void ReadSchemaRecord(std::uint32_t number, const std::vector<std::u16string>& values, SchemaPlace place)
    {
        if (values.size() < 5 || values[1].empty() || (!values[0].empty() && values[0] != u"table"))
            return;
        const std::u16string& sql = values[4];
        if (sql.size() < 12 || !EqualsIgnoringAsciiCase(sql.substr(0, 12), u"CREATE TABLE"))
            return;
        if (place == SchemaPlace::kFileTree && values[0] == u"table" && RootPageOf(values[3]) != 0)
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
        static constexpr const char16_t* kFound[] = {
            u"recover: dropped table %s named by a CREATE statement in free space of page %u",
            u"recover: dropped table %s named by the main file's own schema (page %u), which the log "
            u"has since replaced",
            u"recover: dropped table %s named by a CREATE statement in a version of page %u that the "
            u"database shown does not use (a log frame or a freelist page)",
        };
        PostLog(m_parser.m_hLogWnd, u"Recover",
                WideFormat(kFound[static_cast<int>(place)], {table.name, number}), kLogInfo);
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
                        finder.ReadSchemaPage(number, page, h, SchemaPlace::kFreeSpace);
                    });
    // With a log laid over the file, the main file still holds the database
    // as the last checkpoint left it: its own schema names the tables
    // dropped since, and where each table's tree was then.
    if (parser.m_pageSource.HasOverlay())
        WalkFileTree(parser.m_pageSource, db, 1,
                     [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
                         finder.ReadSchemaPage(number, page, h, SchemaPlace::kFileTree);
                     });
}

namespace {

// The schema records of the log's frames the database shown does not use:
// an older page 1 names a table created and dropped since the checkpoint.
void ReadLogSchemaPages(CSqliteParser& parser, const DbInfo& db, const CPageOwners& owners,
                        CDroppedTableFinder& finder)
{
    CPageSource& source = parser.m_pageSource;
    if (!source.HasOverlay() || source.Log().PageSize() != db.pageSize)
        return;
    std::vector<std::uint8_t> page(db.pageSize);
    for (const CWalLog::Frame& frame : source.Log().Frames()) {
        if (g_bStop.load())
            return;
        const std::uint32_t h = frame.pageNumber == 1 ? 100 : 0;
        const bool schemaPage = frame.pageNumber == 1 || (frame.pageNumber <= owners.PageCount() &&
                                                          owners.Owner(frame.pageNumber) == CPageOwners::kSchemaTree);
        if (frame.state != CWalLog::FrameState::kApplied && schemaPage &&
            source.ReadLogAt(page.data(), db.pageSize, frame.pageOffset) && page[h] == kTableLeaf)
            finder.ReadSchemaPage(frame.pageNumber, page.data(), h, SchemaPlace::kOldVersion);
    }
}

// The schema records on the freelist's pages: a page the schema tree gave
// up keeps its cells.
void ReadFreelistSchemaPages(CSqliteParser& parser, const DbInfo& db, const CPageOwners& owners,
                             CDroppedTableFinder& finder)
{
    std::vector<std::uint8_t> page;
    for (const FreelistWalk::Trunk& trunk : owners.Freelist().trunks) {
        if (g_bStop.load() || !parser.m_pageSource.ReadPage(trunk.page, page))
            return;
        finder.ReadSchemaBytes(trunk.page, page.data(),
                               8 + 4 * static_cast<std::uint32_t>(std::min<std::size_t>(trunk.leaves.size(), db.UsableSize() / 4)));
        for (std::uint32_t leaf : trunk.leaves) {
            if (!owners.IsFreelistLeaf(leaf) || !parser.m_pageSource.ReadPage(leaf, page))
                continue;
            if (page[0] == kTableLeaf)
                finder.ReadSchemaPage(leaf, page.data(), 0, SchemaPlace::kOldVersion);
            else
                finder.ReadSchemaBytes(leaf, page.data(), 0);
        }
    }
}

}  // namespace

void FindDroppedTablesInOldPages(CSqliteParser& parser, const DbInfo& db, const CPageOwners& owners,
                                 DroppedTableScan& result)
{
    CDroppedTableFinder finder(parser, db, result);
    ReadLogSchemaPages(parser, db, owners, finder);
    ReadFreelistSchemaPages(parser, db, owners, finder);
}
