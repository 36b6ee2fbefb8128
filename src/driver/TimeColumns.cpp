#include "TimeColumns.h"

void CTimeColumns::Set(std::size_t column, std::optional<TimeEncoding> encoding)
{
    if (column >= m_encodings.size())
        m_encodings.resize(column + 1);
    m_encodings[column] = encoding;
    m_any = false;
    for (const std::optional<TimeEncoding>& chosen : m_encodings)
        m_any = m_any || chosen.has_value();
}

std::optional<std::string> CTimeColumns::Shown(std::size_t column, std::string_view text) const
{
    const std::optional<TimeEncoding> encoding = Get(column);
    return encoding ? DecodeTimeText(text, *encoding) : std::nullopt;
}

std::u16string CTimeColumns::Readings(std::string_view text)
{
    std::u16string lines;
    for (const auto& [encoding, time] : TimeReadings(text)) {
        if (!lines.empty())
            lines += u'\n';
        lines += Caption(encoding);
        lines += u": ";
        lines.append(time.begin(), time.end());  // ISO time: ASCII
    }
    return lines;
}

std::u16string_view CTimeColumns::Caption(TimeEncoding encoding)
{
    switch (encoding) {
    case TimeEncoding::kUnix: return u"Unix 秒";
    case TimeEncoding::kUnixMs: return u"Unix 毫秒";
    case TimeEncoding::kUnixUs: return u"Unix 微秒";
    case TimeEncoding::kMac: return u"Mac 绝对时间(秒, 2001年起)";
    case TimeEncoding::kWebKit: return u"Chrome/WebKit(微秒, 1601年起)";
    case TimeEncoding::kFileTime: break;
    }
    return u"Windows FILETIME(100纳秒, 1601年起)";
}
