// A log window for tests: keeps every line the engine posts. The engine runs
// on the thread that created it, so each line arrives by a direct call.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/LogPost.h"

class CLogCollector : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    const std::vector<LogMessage>& Lines() const { return m_lines; }
    void Clear() { m_lines.clear(); }
    // Lines of type 3 (error).
    std::vector<LogMessage> Errors() const;
    // True when some line has exactly this text.
    bool Has(const std::u16string& text) const;
    // Index of the first line with this text at or after `from`, or -1.
    int Find(const std::u16string& text, std::size_t from = 0) const;
    // Every line as "type caption text", one per line, in UTF-8 (for failure
    // messages).
    std::string Dump() const;

    // Called after each line is stored (tests that react to progress).
    std::function<void(const LogMessage&)> onLine;

private:
    std::vector<LogMessage> m_lines;
};
