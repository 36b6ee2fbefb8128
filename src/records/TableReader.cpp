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
    if (!m_pageSource.Open(m_pDb->path)) {
        PostOpenError(m_hLogWnd, u"error", m_pDb->path, kLogError);
        return;
    }
    if (m_bUseWal)
        m_pageSource.AttachLog(m_pDb->path, true, nullptr);  // reported at open
    m_pageSource.SetPageSize(m_pDb->pageSize);
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
