#include "RowExport.h"

#include <utility>

#include "platform/TextConvert.h"

CRowExport::CRowExport(Format format, std::FILE* out, std::vector<std::u16string> headings)
    : m_format(format), m_out(out), m_headings(std::move(headings))
{
}

bool CRowExport::Begin()
{
    if (m_format == Format::kJsonLines)
        return true;
    m_line = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < m_headings.size(); ++i) {
        if (i != 0)
            m_line += ',';
        AppendCsvField(m_line, m_headings[i]);
    }
    m_line += "\r\n";
    return Put(m_line);
}

bool CRowExport::WriteRow(const std::vector<std::u16string>& values)
{
    m_line.clear();
    const std::size_t count = m_headings.size();
    if (m_format == Format::kCsv) {
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0)
                m_line += ',';
            if (i < values.size())
                AppendCsvField(m_line, values[i]);
        }
        m_line += "\r\n";
    } else {
        m_line += '{';
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0)
                m_line += ',';
            AppendJsonString(m_line, m_headings[i]);
            m_line += ':';
            AppendJsonString(m_line, i < values.size() ? std::u16string_view(values[i]) : u"");
        }
        m_line += "}\n";
    }
    return Put(m_line);
}

bool CRowExport::Finish()
{
    if (m_out == nullptr || std::fflush(m_out) != 0)
        m_ok = false;
    return m_ok;
}

bool CRowExport::Put(const std::string& text)
{
    if (m_out == nullptr || std::fwrite(text.data(), 1, text.size(), m_out) != text.size())
        m_ok = false;
    return m_ok;
}

void CRowExport::AppendCsvField(std::string& out, std::u16string_view text)
{
    const bool quoted = text.find_first_of(u",\"\r\n") != std::u16string_view::npos;
    if (!quoted) {
        AppendWideAsUtf8(out, text);
        return;
    }
    out += '"';
    std::size_t start = 0;
    for (std::size_t quote; (quote = text.find(u'"', start)) != std::u16string_view::npos;
         start = quote + 1) {
        AppendWideAsUtf8(out, text.substr(start, quote + 1 - start));
        out += '"';  // a quote inside a quoted field is doubled
    }
    AppendWideAsUtf8(out, text.substr(start));
    out += '"';
}

void CRowExport::AppendJsonString(std::string& out, std::u16string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string utf8;
    AppendWideAsUtf8(utf8, text);  // unpaired surrogates become U+FFFD: always valid UTF-8
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}
