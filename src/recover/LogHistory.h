// The states of the database a write-ahead log holds besides the one
// shown: each valid frame of a page, and the transaction each frame
// belongs to, so that a page can be read as any state held it.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/PageSource.h"

class CLogHistory {
public:
    CLogHistory(CPageSource& source, std::uint32_t pageSize) : m_source(source), m_pageSize(pageSize) {}

    // Indexes the frames of the source's log.
    void Index();
    // The state a frame's page belongs to: its transaction's commit frame,
    // or the log's last valid frame when no commit follows; nothing for a
    // frame that is not valid.
    std::optional<std::uint32_t> StateOf(const CWalLog::Frame& frame) const;
    // Page `number` as a state other than the one shown held it: the log's
    // as of frame `frame` (its newest valid frame of the page at or before
    // it, else the main file's), or with `frame` 0 the main file's own.
    bool ReadPageAsOf(std::uint32_t number, std::uint32_t frame, std::vector<std::uint8_t>& page);

private:
    CPageSource& m_source;
    std::uint32_t m_pageSize;
    // By page number, the valid log frames that hold it: (frame, offset of
    // its page in the log), in frame order.
    std::unordered_map<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint64_t>>> m_pageFrames;
    // By frame index, the last frame of its transaction.
    std::vector<std::uint32_t> m_transactionEnd;
};
