#include "recover/LogHistory.h"

#include <algorithm>
#include <iterator>

void CLogHistory::Index()
{
    // A transaction writes its pages in page order, not as the b-tree
    // needs them: a cell's overflow pages may follow its leaf's frame. So a
    // frame's page is read as of the end of its transaction: its commit
    // frame, or the log's last valid frame when no commit follows.
    const auto& frames = m_source.Log().Frames();
    for (const CWalLog::Frame& frame : frames)
        if (frame.Valid())
            m_pageFrames[frame.pageNumber].push_back({frame.index, frame.pageOffset});
    m_transactionEnd.assign(frames.size() + 1, 0);
    std::uint32_t end = 0;
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
        if (!frame->Valid())
            continue;
        if (end == 0 || frame->commitSize != 0)
            end = frame->index;
        if (frame->index < m_transactionEnd.size())
            m_transactionEnd[frame->index] = end;
    }
}

std::optional<std::uint32_t> CLogHistory::StateOf(const CWalLog::Frame& frame) const
{
    if (!frame.Valid() || frame.index >= m_transactionEnd.size())
        return std::nullopt;
    return m_transactionEnd[frame.index];
}

bool CLogHistory::ReadPageAsOf(std::uint32_t number, std::uint32_t frame, std::vector<std::uint8_t>& page)
{
    page.resize(m_pageSize);
    const auto frames = m_pageFrames.find(number);
    if (frame != 0 && frames != m_pageFrames.end()) {
        // The newest version of the page at or before the frame.
        const auto after = std::upper_bound(frames->second.begin(), frames->second.end(),
                                            std::pair<std::uint32_t, std::uint64_t>(frame, UINT64_MAX));
        if (after != frames->second.begin())
            return m_source.ReadLogAt(page.data(), m_pageSize, std::prev(after)->second);
    }
    return number != 0 && m_source.ReadFileAt(page.data(), m_pageSize, std::uint64_t(number - 1) * m_pageSize);
}
