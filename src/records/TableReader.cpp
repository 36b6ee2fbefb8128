// Reading one table: its b-tree is walked from the root page and every
// record becomes a row of display texts in m_rows.
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"

void CSqliteParser::ReadTable()
{
    m_bSchemaMode = 0;
    m_rows.clear();
    if (m_pDb == nullptr || m_pTable == nullptr)
        return;
    if (!OpenPages(*m_pDb)) {
        PostOpenError(m_hLogWnd, u"error", m_pDb->path, kLogError);
        return;
    }
    const std::uint32_t root = m_pTable->rootPage;
    std::vector<std::uint8_t> page;
    if (m_pDb->pageSize == 0 || !ReadPage(root, page)) {
        PostError(WideFormat(u"读取节点%I32u错误", {root}));
        m_pageSource.Close();
        return;
    }
    ResetWalk();
    m_visited[root] = true;
    ParsePage(*m_pDb, page.data(), m_pDb->pageSize, root, 0);
    m_pageSource.Close();
}

bool CSqliteParser::OpenPages(const DbInfo& db)
{
    if (!m_pageSource.Open(db.path))
        return false;
    if (m_bUseWal)
        m_pageSource.AttachLog(db.path, true, nullptr);
    m_pageSource.SetPageSize(db.pageSize);
    return true;
}
