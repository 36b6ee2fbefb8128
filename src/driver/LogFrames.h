// The frames of a database's write-ahead log as the "WAL帧" window lists
// them: each frame's header facts, its state, and the table whose b-tree
// holds its page in the database as it is shown (with or without the log,
// as the database was opened).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/WalLog.h"
#include "platform/WindowMessage.h"

class CLogFrames {
public:
    // Reads the log beside `db` and the owner of each frame's page. False
    // when there is no log with a usable header (the reason is logged).
    bool Read(const DbInfo& db, HWND logWnd);
    void Clear();

    const std::vector<CWalLog::Frame>& Frames() const { return m_frames; }
    // The table owning the page of frame i (0-based), empty when no
    // table's b-tree holds it.
    std::u16string_view Owner(std::size_t i) const;
    // The database the frames belong to, as its item shows it.
    const std::u16string& DbPath() const { return m_dbPath; }
    // The file facts of that database (no tables), to read its pages.
    const DbInfo& Database() const { return m_db; }
    std::uint32_t Salt1() const { return m_salt1; }
    std::uint32_t Salt2() const { return m_salt2; }

    static std::u16string_view StateText(CWalLog::FrameState state);

private:
    void FindOwners(const DbInfo& db);

    std::u16string m_dbPath;
    DbInfo m_db;
    std::uint32_t m_salt1 = 0;
    std::uint32_t m_salt2 = 0;
    std::vector<CWalLog::Frame> m_frames;
    std::vector<std::u16string> m_tables;  // owner names
    std::vector<int> m_owner;              // by frame: index in m_tables, -1 none
};
