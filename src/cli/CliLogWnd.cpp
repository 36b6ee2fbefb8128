#include "CliLogWnd.h"

#include <cstdio>
#include <string>

#include "engine/LogPost.h"
#include "platform/TextConvert.h"

LRESULT CCliLogWnd::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_LOG_MESSAGE)
        return 0;
    const auto& log = *reinterpret_cast<const LogMessage*>(wParam);
    if (log.type == kLogError)
        ++m_errors;
    if (m_kept != nullptr)
        m_kept->push_back(log);
    std::string line = std::to_string(log.type);
    line += '\t';
    AppendWideAsUtf8(line, log.caption);
    line += '\t';
    AppendWideAsUtf8(line, log.text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    return 0;
}
