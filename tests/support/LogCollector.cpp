#include "support/LogCollector.h"

#include "platform/TextConvert.h"

LRESULT CLogCollector::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_LOG_MESSAGE)
        return 0;
    m_lines.push_back(*reinterpret_cast<const LogMessage*>(wParam));
    if (onLine)
        onLine(m_lines.back());
    return 0;
}

std::vector<LogMessage> CLogCollector::Errors() const
{
    std::vector<LogMessage> errors;
    for (const LogMessage& line : m_lines)
        if (line.type == kLogError)
            errors.push_back(line);
    return errors;
}

bool CLogCollector::Has(const std::u16string& text) const { return Find(text) >= 0; }

int CLogCollector::Find(const std::u16string& text, std::size_t from) const
{
    for (std::size_t i = from; i < m_lines.size(); ++i)
        if (m_lines[i].text == text)
            return static_cast<int>(i);
    return -1;
}

std::string CLogCollector::Dump() const
{
    std::string out;
    for (const LogMessage& line : m_lines) {
        out += std::to_string(line.type) + " " + WideToUtf8(line.caption) + " " +
               WideToUtf8(line.text) + "\n";
    }
    return out;
}
