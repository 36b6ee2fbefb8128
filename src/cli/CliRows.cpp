// salvix-cli rows: read one table and print its rows.
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/RowExport.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"

namespace {

// Output is gathered in a large buffer and written in blocks.
class COutputBuffer {
public:
    ~COutputBuffer() { Flush(); }
    std::string& Text() { return m_text; }
    void MaybeFlush()
    {
        if (m_text.size() >= (1u << 20))
            Flush();
    }
    void Flush()
    {
        std::fwrite(m_text.data(), 1, m_text.size(), stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};

// End of the run from `i` of bytes that need no escape: none below 0x20,
// no backslash and, when `quote` is set, no double quote. Sixteen bytes are
// tested at a time where the processor has SSE2, else eight (a zero byte of
// x ^ c marks a byte equal to c).
std::size_t PlainRunEnd(std::string_view text, std::size_t i, bool quote)
{
#if defined(__SSE2__)
    const __m128i controlMax = _mm_set1_epi8(0x1F);
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i quoteChar = _mm_set1_epi8(quote ? '"' : '\\');
    while (text.size() - i >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i special = _mm_or_si128(
            _mm_cmpeq_epi8(_mm_max_epu8(block, controlMax), controlMax),
            _mm_or_si128(_mm_cmpeq_epi8(block, backslash), _mm_cmpeq_epi8(block, quoteChar)));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const auto zeroByte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    while (text.size() - i >= 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        std::uint64_t special = ((word - 0x20 * kOnes) & ~word & kHighs) |
                                zeroByte(word ^ (0x5C * kOnes));
        if (quote)
            special |= zeroByte(word ^ (0x22 * kOnes));
        if (special != 0)
            break;
        i += 8;
    }
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == '\\' || (quote && c == '"'))
            break;
        ++i;
    }
    return i;
}

// Appends a UTF-8 value with backslash, tab, line feed and carriage return
// escaped. Everything else, other control characters included, is copied
// in runs.
void AppendEscaped(std::string& out, std::string_view value)
{
    std::size_t copied = 0;
    for (std::size_t i = PlainRunEnd(value, 0, false); i < value.size();
         i = PlainRunEnd(value, i + 1, false)) {
        const char c = value[i];
        if (c != '\\' && c != '\t' && c != '\n' && c != '\r')
            continue;
        out.append(value.data() + copied, i - copied);
        out.push_back('\\');
        out.push_back(c == '\\' ? '\\' : c == '\t' ? 't' : c == '\n' ? 'n' : 'r');
        copied = i + 1;
    }
    out.append(value.data() + copied, value.size() - copied);
}

// Appends a UTF-8 value as a JSON string: quote, backslash and control
// characters escaped (\b \t \n \f \r, others as \u00XX), everything else
// copied as it is.
void AppendJsonString(std::string& out, std::string_view value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t copied = 0;
    for (std::size_t i = PlainRunEnd(value, 0, true); i < value.size();
         i = PlainRunEnd(value, i + 1, true)) {
        const auto c = static_cast<unsigned char>(value[i]);
        out.append(value.data() + copied, i - copied);
        out.push_back('\\');
        switch (c) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '\b': out.push_back('b'); break;
        case '\t': out.push_back('t'); break;
        case '\n': out.push_back('n'); break;
        case '\f': out.push_back('f'); break;
        case '\r': out.push_back('r'); break;
        default:
            out.append("u00");
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
        copied = i + 1;
    }
    out.append(value.data() + copied, value.size() - copied);
    out.push_back('"');
}

// The table of that name: an exact match first, then one that differs only
// in ASCII letter case (SQL names are case-insensitive).
TableInfo* FindTable(DbInfo& db, const std::u16string& name)
{
    for (TableInfo& table : db.tables)
        if (table.name == name)
            return &table;
    for (TableInfo& table : db.tables)
        if (EqualsIgnoringAsciiCase(table.name, name))
            return &table;
    return nullptr;
}

TableInfo* FindTable(DbInfo& db, long long ordinal)
{
    for (TableInfo& table : db.tables)
        if (table.ordinal == ordinal)
            return &table;
    return nullptr;
}

// Prints each row as the table read decodes it, so a table of any size
// is printed in constant memory. Rows arrive as UTF-8.
class CRowPrinter : public CRowSink {
public:
    explicit CRowPrinter(bool json) : m_json(json) {}

    bool TakesUtf8() const override { return true; }

    void OnRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends) override
    {
        std::string& out = m_output.Text();
        std::uint32_t begin = 0;
        if (m_json)
            out.push_back('[');
        for (std::size_t i = 0; i < ends.size(); ++i) {
            if (i != 0)
                out.push_back(m_json ? ',' : '\t');
            const std::string_view value = joined.substr(begin, ends[i] - begin);
            if (m_json)
                AppendJsonString(out, value);
            else
                AppendEscaped(out, value);
            begin = ends[i];
        }
        if (m_json)
            out.push_back(']');
        out.push_back('\n');
        m_output.MaybeFlush();
    }

private:
    bool m_json;
    COutputBuffer m_output;
};

// Writes each row as a CSV record under the table's column names.
class CCsvRowPrinter : public CRowSink {
public:
    explicit CCsvRowPrinter(CRowExport& csv) : m_csv(csv) {}
    bool TakesUtf8() const override { return true; }
    void OnRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends) override
    {
        m_csv.WriteRowUtf8(joined, ends);
    }

private:
    CRowExport& m_csv;
};

}  // namespace

int RunRows(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.csv && options.json)
        return UsageError("rows takes --json or --csv, not both");
    const bool byOrdinal = options.ordinal >= 0;
    if (options.positional.size() != (byOrdinal ? 1u : 2u))
        return UsageError(byOrdinal ? "rows --ordinal N needs a database file"
                                    : "rows needs a database file and a table name");
    const std::string& path = options.positional[0];

    CCliLogWnd log;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    DbInfo* opened = OpenCliDatabase(parser, path);
    if (opened == nullptr)
        return 1;
    DbInfo& db = *opened;
    TableInfo* table = byOrdinal ? FindTable(db, options.ordinal)
                                 : FindTable(db, Widen(options.positional[1]));
    if (table == nullptr) {
        if (byOrdinal)
            std::fprintf(stderr, "salvix-cli: %s has no table [%lld]\n", path.c_str(),
                         options.ordinal);
        else
            std::fprintf(stderr, "salvix-cli: %s has no table named %s\n", path.c_str(),
                         options.positional[1].c_str());
        return 1;
    }
    parser.m_pDb = &db;
    parser.m_pTable = table;
    if (options.csv) {
        std::vector<std::u16string> headings;
        for (const ColumnInfo& column : table->columns)
            headings.push_back(column.name);
        CRowExport csv(CRowExport::Format::kCsv, stdout, std::move(headings));
        CCsvRowPrinter printer(csv);
        csv.Begin();
        parser.m_pRowSink = &printer;
        parser.ReadTable();
        return csv.Finish() ? 0 : 1;
    }
    CRowPrinter printer(options.json);
    parser.m_pRowSink = &printer;
    parser.ReadTable();
    return 0;
}
