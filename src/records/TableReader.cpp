// Reading one table: its b-tree is walked from the root page and every
// record becomes a row of display texts in m_rows.
#include <memory>

#include "engine/ByteReader.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "records/RowDecodePool.h"

namespace {

// The shadow tables in which a virtual table of the built-in modules keeps
// its rows, by name suffix.
std::vector<std::u16string_view> ShadowSuffixes(std::u16string_view module)
{
    if (module == u"fts3" || module == u"fts4")
        return {u"_content", u"_segments", u"_segdir", u"_docsize", u"_stat"};
    if (module == u"fts5")
        return {u"_data", u"_idx", u"_content", u"_docsize", u"_config"};
    if (module == u"rtree" || module == u"rtree_i32" || module == u"geopoly")
        return {u"_rowid", u"_node", u"_parent"};
    return {};
}

// "name_content, name_segments, ..." of the shadow tables this database
// lists for `table`; for other modules every table named "name_...".
std::u16string ShadowTableNames(const DbInfo& db, const TableInfo& table)
{
    const std::vector<std::u16string_view> suffixes = ShadowSuffixes(table.module);
    std::u16string names;
    for (const TableInfo& other : db.tables) {
        if (&other == &table || other.name.size() <= table.name.size() + 1 ||
            other.name.compare(0, table.name.size(), table.name) != 0 ||
            other.name[table.name.size()] != u'_')
            continue;
        const std::u16string_view suffix = std::u16string_view(other.name).substr(table.name.size());
        bool known = suffixes.empty();
        for (std::u16string_view candidate : suffixes)
            known = known || suffix == candidate;
        if (!known)
            continue;
        if (!names.empty())
            names += u", ";
        names += other.name;
    }
    return names.empty() ? u"-" : names;
}

}  // namespace

void CSqliteParser::ReadTable()
{
    m_bSchemaMode = 0;
    m_rows.clear();
    m_rowCells.clear();
    if (m_pDb == nullptr || m_pTable == nullptr)
        return;
    if (!OpenPages(*m_pDb)) {
        PostOpenError(m_hLogWnd, u"error", m_pDb->path, kLogError);
        return;
    }
    const std::uint32_t root = m_pTable->rootPage;
    if (root == 0 && !m_pTable->module.empty()) {
        // A virtual table has no b-tree of its own.
        PostLog(m_hLogWnd, u"normal",
                WideFormat(u"虚拟表%s(%s)没有自己的页,其记录保存在影子表中: %s",
                           {m_pTable->name, m_pTable->module, ShadowTableNames(*m_pDb, *m_pTable)}),
                kLogInfo);
        m_pageSource.Close();
        return;
    }
    std::vector<std::uint8_t> page;
    if (m_pDb->pageSize == 0 || !ReadPage(root, page)) {
        PostError(WideFormat(u"读取节点%I32u错误", {root}));
        m_pageSource.Close();
        return;
    }
    ResetWalk();
    m_visited[root] = true;
    // A table of more than one page has its records decoded beside the
    // walk, on the processors there are; a single page is not worth it.
    const unsigned workers =
        m_nDecodeThreads != 0 ? m_nDecodeThreads : CRowDecodePool::DefaultWorkers();
    const auto rootType = Get8(page.data(), page.size(), 0).value_or(0);
    std::unique_ptr<CRowDecodePool> pool;
    if (CRowDecodePool::Serves(m_pRowSink) && workers > 1 &&
        (rootType == kTableInterior || rootType == kIndexInterior))
        pool = std::make_unique<CRowDecodePool>(*this, *m_pDb, workers);
    m_pDecodePool = pool.get();
    ParsePage(*m_pDb, page.data(), m_pDb->pageSize, root, 0);
    if (pool != nullptr)
        pool->Finish();
    m_pDecodePool = nullptr;
    m_pageSource.Close();
}

bool CSqliteParser::OpenPages(const DbInfo& db)
{
    if (!m_pageSource.Open(db.OpenName()))
        return false;
    if (m_bUseJournal || db.withJournal)
        m_pageSource.AttachJournal(db.OpenName(), true, nullptr);
    if (m_bUseWal || db.withWal)
        m_pageSource.AttachLog(db.OpenName(), true, nullptr);
    m_pageSource.SetPageSize(db.pageSize);
    return true;
}
