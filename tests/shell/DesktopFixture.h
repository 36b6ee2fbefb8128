// The desktop program as the window tests drive it: the main frame, its
// first child window (the device tree), the new-document command wired as
// the application wires it, and the wait for the jobs' worker threads.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

#include "ChildFrame.h"
#include "MainFrame.h"

class CDesktopFixture : public QObject {
protected:
    // Creates the frame and wires its new-document command; `m_frame` is
    // null when that fails.
    void CreateFrame();
    // CreateFrame, then the device tree's window; false when either fails.
    bool StartFrame();
    // Waits until no job runs (a test failure after 20 s).
    void WaitIdle();
    // The child window at `index` of the document area, or null.
    CChildFrame* Child(int index) const;

    std::unique_ptr<CMainFrame> m_frame;
    std::int32_t m_nDocCount = 0;
};
