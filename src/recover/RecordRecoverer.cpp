// Free-space record recovery: the run. The steps are units of their own:
// the dropped tables (DroppedTables), whose each page is (PageOwners), the
// scans of table, freelist and log pages (PageScans) and of the rollback
// journal's page images (JournalScan) over the shapes a
// deleted record leaves (RecordShapes, RegionScan), the candidates found
// (Candidates) and the live rows they are checked against (LiveRowIndex).
#include "recover/RecordRecoverer.h"

#include <algorithm>

#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "recover/IndexDefinitions.h"
#include "recover/JournalScan.h"
#include "recover/LiveRowIndex.h"
#include "recover/PageScans.h"

CRecordRecoverer::CRecordRecoverer(CSqliteParser& parser, DbInfo& db) : m_parser(parser), m_db(db) {}

CRecordRecoverer::~CRecordRecoverer() = default;

bool CRecordRecoverer::Run(const std::u16string& onlyTable, CRecoverSink& sink)
{
    for (TableInfo& table : m_db.tables)
        if (Recoverable(table))
            m_schemas.push_back(SchemaOf(table, true));
    if (!m_parser.OpenPages(m_db)) {
        PostOpenError(m_parser.m_hLogWnd, u"error", m_db.path, kLogError);
        return true;
    }
    CPageSource& source = m_parser.m_pageSource;
    FindTables(source);
    const auto named = [&](const RecoverSchema& s) { return EqualsIgnoringAsciiCase(s.name, onlyTable); };
    if (!onlyTable.empty() && std::none_of(m_schemas.begin(), m_schemas.end(), named)) {
        source.Close();
        return false;
    }
    // The indexes of the live tables come after every table.
    AddIndexSchemas(source, m_db, m_schemas);
    m_indexEntries.Reset(m_schemas);
    CLogHistory history(source, m_db.pageSize);
    RecoverContext context{m_parser, m_db, m_schemas, m_owners, history, m_candidates, m_indexEntries};
    ScanTables(context);
    ScanFreelist(context);
    ScanLog(context);
    ScanJournal(context);
    source.Close();
    m_candidates.MergeAttested(m_parser.m_hLogWnd);
    DropLiveRows(context);
    m_indexEntries.Sift(m_candidates.Items(), m_parser.m_hLogWnd);
    Report(onlyTable, sink);
    return true;
}

void CRecordRecoverer::FindTables(CPageSource& source)
{
    m_owners.Reset(source.PageCount());
    // The schema tree's pages are marked as it is read.
    FindDroppedTables(m_parser, m_db, m_owners, m_found);
    for (TableInfo& table : m_found.dropped)
        m_schemas.push_back(SchemaOf(table, false));
    m_owners.MapFileTrees(source, m_db, m_found.fileRoots, m_schemas);
    m_owners.ReadFreelist(source, m_db.UsableSize());
    // Then the CREATE statements of page versions no schema tree uses.
    const std::size_t known = m_found.dropped.size();
    FindDroppedTablesInOldPages(m_parser, m_db, m_owners, m_found);
    for (auto table = std::next(m_found.dropped.begin(), static_cast<std::ptrdiff_t>(known));
         table != m_found.dropped.end(); ++table)
        m_schemas.push_back(SchemaOf(*table, false));
}

void CRecordRecoverer::ReadDroppedTables()
{
    if (!m_parser.OpenPages(m_db)) {
        PostOpenError(m_parser.m_hLogWnd, u"error", m_db.path, kLogError);
        return;
    }
    CPageSource& source = m_parser.m_pageSource;
    m_owners.Reset(source.PageCount());
    FindDroppedTables(m_parser, m_db, m_owners, m_found);
    // Names on freelist pages and in log frames need only the schema tree's
    // pages and the freelist, not the owners of every tree.
    m_owners.ReadFreelist(source, m_db.UsableSize());
    FindDroppedTablesInOldPages(m_parser, m_db, m_owners, m_found);
    source.Close();
}

void CRecordRecoverer::Report(const std::u16string& onlyTable, CRecoverSink& sink)
{
    std::uint64_t reported = 0;
    std::uint64_t live = 0;
    for (const Candidate& candidate : m_candidates.Items()) {
        if (candidate.live) {
            ++live;
            continue;
        }
        if (!onlyTable.empty() &&
            (!candidate.record.table || !EqualsIgnoringAsciiCase(m_schemas[candidate.schema].name, onlyTable)))
            continue;
        sink.OnRecord(candidate.record);
        ++reported;
    }
    PostLog(m_parser.m_hLogWnd, u"Recover",
            WideFormat(u"recover: %I64u records reported; %I64u candidates equal to live rows "
                       u"left out",
                       {reported, live}),
            kLogInfo);
}
