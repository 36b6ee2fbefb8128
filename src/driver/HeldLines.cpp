#include "HeldLines.h"

LRESULT CHeldLines::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_LOG_MESSAGE)
        return SendMessageW(m_logWnd, message, wParam, lParam);
    m_lines.push_back(*reinterpret_cast<const LogMessage*>(wParam));
    return 0;
}

void CHeldLines::SendTo(HWND logWnd)
{
    for (LogMessage& line : m_lines)
        SendMessageW(logWnd, WM_LOG_MESSAGE, reinterpret_cast<WPARAM>(&line), 0);
    m_lines.clear();
}
