// The command line's log window: every log line goes to standard error as
// type<TAB>caption<TAB>text in UTF-8.
#pragma once

#include <vector>

#include "engine/LogPost.h"
#include "platform/WindowMessage.h"

class CCliLogWnd : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int ErrorCount() const { return m_errors; }
    // When set, every line is also kept here (for a report).
    std::vector<LogMessage>* m_kept = nullptr;

private:
    int m_errors = 0;
};
