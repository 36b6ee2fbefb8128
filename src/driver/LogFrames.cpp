#include "LogFrames.h"

#include <unordered_map>
#include <unordered_set>

#include "PageReader.h"
#include "engine/ByteReader.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SourceFile.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"

std::u16string_view CLogFrames::StateText(CWalLog::FrameState state)
{
    switch (state) {
    case CWalLog::FrameState::kApplied: return u"已应用";
    case CWalLog::FrameState::kSuperseded: return u"已被替代";
    case CWalLog::FrameState::kUncommitted: return u"最后提交之后";
    case CWalLog::FrameState::kStale: return u"盐值过期";
    case CWalLog::FrameState::kInvalid: return u"无效";
    }
    return u"";
}

void CLogFrames::Clear()
{
    m_dbPath.clear();
    m_db = DbInfo();
    m_frames.clear();
    m_tables.clear();
    m_owner.clear();
    m_salt1 = m_salt2 = 0;
}

bool CLogFrames::Read(const DbInfo& db, HWND logWnd)
{
    Clear();
    m_dbPath = db.path;
    m_db = DbFileFacts(db);
    CSourceFile file;
    CWalLog log;
    if (!file.Open(db.OpenName() + "-wal") || file.Size() <= 0) {
        PostLog(logWnd, u"warning", WideFormat(u"%s-wal: no write-ahead log beside the database", {db.path}),
                kLogWarning);
        return false;
    }
    if (!log.Read(file, logWnd))
        return false;
    m_salt1 = log.Salt1();
    m_salt2 = log.Salt2();
    m_frames = log.Frames();
    FindOwners(db);
    return true;
}

std::u16string_view CLogFrames::Owner(std::size_t i) const
{
    return i < m_owner.size() && m_owner[i] >= 0 ? std::u16string_view(m_tables[m_owner[i]])
                                                 : std::u16string_view();
}

void CLogFrames::FindOwners(const DbInfo& db)
{
    // Only the pages the log holds are looked for; each table's b-tree is
    // walked, every page entered once, no deeper than any valid tree.
    std::unordered_map<std::uint32_t, int> owners;
    for (const CWalLog::Frame& frame : m_frames)
        owners.emplace(frame.pageNumber, -1);
    m_tables.push_back(u"sqlite_master");
    const auto owned = [&](std::uint32_t page, int table) {
        const auto it = owners.find(page);
        if (it != owners.end() && it->second < 0)
            it->second = table;
    };
    CSqliteParser parser;
    if (db.pageSize != 0 && parser.OpenPages(db)) {
        CPageSource& source = parser.m_pageSource;
        const std::uint32_t usable = db.UsableSize();
        std::unordered_set<std::uint32_t> seen;
        std::vector<std::uint8_t> page;
        const auto walk = [&](std::uint32_t root, int table) {
            std::vector<std::pair<std::uint32_t, int>> stack{{root, 0}};
            while (!stack.empty() && g_bStop.load() == 0) {
                const auto [number, depth] = stack.back();
                stack.pop_back();
                if (number == 0 || depth > kMaxTreeDepth || !seen.insert(number).second ||
                    !source.ReadPage(number, page))
                    continue;
                owned(number, table);
                const std::uint32_t h = number == 1 ? 100 : 0;
                if (page[h] != kTableInterior)
                    continue;
                const std::uint32_t cells = std::min<std::uint32_t>(
                    Get16(page.data(), usable, h + 3).value_or(0), (usable - 8) / 6);
                stack.push_back({Get32(page.data(), usable, h + 8).value_or(0), depth + 1});
                for (std::uint32_t k = 0; k < cells; ++k) {
                    const auto cell = Get16(page.data(), usable, h + 12 + 2 * k);
                    if (!cell)
                        break;
                    stack.push_back({Get32(page.data(), usable, *cell).value_or(0), depth + 1});
                }
            }
        };
        walk(1, 0);
        for (const TableInfo& table : db.tables) {
            if (table.rootPage == 0)
                continue;
            m_tables.push_back(table.name);
            walk(table.rootPage, static_cast<int>(m_tables.size()) - 1);
        }
        source.Close();
    }
    m_owner.reserve(m_frames.size());
    for (const CWalLog::Frame& frame : m_frames)
        m_owner.push_back(owners[frame.pageNumber]);
}
