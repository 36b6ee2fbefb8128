#include "RowExport.h"

#include <utility>

#include "platform/TextConvert.h"

namespace {

// A decimal number as values are shown: an optional sign, digits with an
// optional point, an optional exponent; or an infinite real.
bool IsNumberText(std::string_view text)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (text.substr(i) == "inf")
        return true;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

// What a spreadsheet program would take as the start of a formula.
bool IsFormulaText(std::string_view text)
{
    return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos &&
           !IsNumberText(text);
}

}  // namespace

CRowExport::CRowExport(Format format, std::FILE* out, std::vector<std::u16string> headings)
    : m_format(format), m_out(out), m_headings(std::move(headings))
{
    for (const std::u16string& heading : m_headings) {
        m_headingTexts.emplace_back();
        AppendJsonString(m_headingTexts.back(), WideToUtf8(heading));
    }
}

bool CRowExport::Begin()
{
    if (m_format == Format::kJsonLines)
        return true;
    m_line = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < m_headings.size(); ++i) {
        if (i != 0)
            m_line += ',';
        AppendCsvField(m_line, WideToUtf8(m_headings[i]), !m_rawCsv);
    }
    m_line += "\r\n";
    return Put(m_line);
}

void CRowExport::AppendValue(std::size_t i, std::string_view value)
{
    if (m_format == Format::kCsv) {
        if (i != 0)
            m_line += ',';
        AppendCsvField(m_line, value, !m_rawCsv);
        return;
    }
    m_line += i == 0 ? '{' : ',';
    m_line += m_headingTexts[i];
    m_line += ':';
    AppendJsonString(m_line, value);
}

bool CRowExport::EndRow()
{
    if (m_format == Format::kCsv)
        m_line += "\r\n";
    else
        m_line += m_headings.empty() ? "{}\n" : "}\n";
    return Put(m_line);
}

bool CRowExport::WriteRow(const std::vector<std::u16string>& values)
{
    m_line.clear();
    for (std::size_t i = 0; i < m_headings.size(); ++i) {
        m_value.clear();
        if (i < values.size())
            AppendWideAsUtf8(m_value, values[i]);
        AppendValue(i, m_value);
    }
    return EndRow();
}

bool CRowExport::WriteRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends)
{
    m_line.clear();
    std::uint32_t begin = 0;
    for (std::size_t i = 0; i < m_headings.size(); ++i) {
        if (i < ends.size() && ends[i] >= begin && ends[i] <= joined.size()) {
            AppendValue(i, joined.substr(begin, ends[i] - begin));
            begin = ends[i];
        } else {
            AppendValue(i, {});
        }
    }
    return EndRow();
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

void CRowExport::AppendCsvField(std::string& out, std::string_view utf8, bool guardFormula)
{
    const std::string_view guard = guardFormula && IsFormulaText(utf8) ? "'" : "";
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += guard;
        out += utf8;
        return;
    }
    out += '"';
    out += guard;
    for (const char c : utf8) {
        out += c;
        if (c == '"')
            out += '"';  // a quote inside a quoted field is doubled
    }
    out += '"';
}

void CRowExport::AppendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t copied = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.data() + copied, i - copied);
        out += '\\';
        switch (c) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '\b': out += 'b'; break;
        case '\t': out += 't'; break;
        case '\n': out += 'n'; break;
        case '\f': out += 'f'; break;
        case '\r': out += 'r'; break;
        default:
            out += "u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        copied = i + 1;
    }
    out.append(utf8.data() + copied, utf8.size() - copied);
    out += '"';
}
