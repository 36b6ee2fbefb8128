// The command line's log window: every log line goes to standard error as
// type<TAB>caption<TAB>text in UTF-8.
#pragma once

#include "platform/WindowMessage.h"

class CCliLogWnd : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int ErrorCount() const { return m_errors; }

private:
    int m_errors = 0;
};
