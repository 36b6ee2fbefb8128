// A log window for one thread that holds its lines back: work run beside
// another job's (the recovery pass beside the table read) sends its lines
// here, and they reach the real log afterwards, in their order, after the
// other job's lines, as they would have had the two run one after the
// other. Any other message goes on to the real window at once.
//
// Make it on the thread that sends to it: a message to a window made on
// the sender's own thread is handled in the call.
#pragma once

#include <vector>

#include "engine/LogPost.h"
#include "platform/WindowMessage.h"

class CHeldLines : public CMessageTarget {
public:
    explicit CHeldLines(HWND logWnd) : m_logWnd(logWnd) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Sends the held lines to `logWnd` and forgets them.
    void SendTo(HWND logWnd);

private:
    HWND m_logWnd;
    std::vector<LogMessage> m_lines;
};
