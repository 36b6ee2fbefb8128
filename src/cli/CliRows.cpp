// salvix-cli rows: read one table and print its rows.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/Globals.h"
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

// Writes a value as UTF-8 with backslash, tab, line feed and carriage
// return escaped, in one pass: plain ASCII is copied in runs, other text is
// converted in runs, and only control characters and the backslash are
// looked at one by one.
void AppendEscaped(std::string& out, std::u16string_view value)
{
    const std::size_t size = value.size();
    std::size_t i = 0;
    while (i < size) {
        std::size_t run = i;
        while (run < size && value[run] < 0x80 && value[run] >= 0x20 && value[run] != u'\\')
            ++run;
        if (run != i) {
            const std::size_t at = out.size();
            out.resize(at + (run - i));
            char* dest = out.data() + at;
            for (std::size_t k = i; k < run; ++k)
                *dest++ = static_cast<char>(value[k]);
            i = run;
            if (i == size)
                break;
        }
        const char16_t c = value[i];
        if (c >= 0x80) {
            // Beyond ASCII: up to the next ASCII unit, so surrogate pairs stay whole.
            while (run < size && value[run] >= 0x80)
                ++run;
            AppendWideAsUtf8(out, value.substr(i, run - i));
            i = run;
            continue;
        }
        switch (c) {
        case u'\\': out += "\\\\"; break;
        case u'\t': out += "\\t"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        default: out.push_back(static_cast<char>(c));  // other control characters
        }
        ++i;
    }
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

// Prints each row as the table read decodes it, so a table of any size
// is printed in constant memory.
class CRowPrinter : public CRowSink {
public:
    explicit CRowPrinter(bool json) : m_json(json) {}

    void OnRow(std::u16string_view joined, const std::vector<std::uint32_t>& ends) override
    {
        std::string& out = m_output.Text();
        std::uint32_t begin = 0;
        if (m_json) {
            nlohmann::json values = nlohmann::json::array();
            for (std::uint32_t end : ends) {
                values.push_back(WideToUtf8(joined.substr(begin, end - begin)));
                begin = end;
            }
            out += values.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } else {
            for (std::size_t i = 0; i < ends.size(); ++i) {
                if (i != 0)
                    out.push_back('\t');
                AppendEscaped(out, joined.substr(begin, ends[i] - begin));
                begin = ends[i];
            }
        }
        out.push_back('\n');
        m_output.MaybeFlush();
    }

private:
    bool m_json;
    COutputBuffer m_output;
};

}  // namespace

int RunRows(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.size() != 2)
        return UsageError("rows needs a database file and a table name");
    const std::string& path = options.positional[0];

    CCliLogWnd log;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    const std::size_t before = g_dbList.size();
    parser.OpenDatabase(Widen(path));
    if (g_dbList.size() == before) {
        std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
        return 1;
    }
    DbInfo& db = g_dbList.back();
    if (db.pageSize == 0) {
        std::fprintf(stderr, "salvix-cli: %s is not an SQLite database\n", path.c_str());
        return 1;
    }
    TableInfo* table = FindTable(db, Widen(options.positional[1]));
    if (table == nullptr) {
        std::fprintf(stderr, "salvix-cli: %s has no table named %s\n", path.c_str(),
                     options.positional[1].c_str());
        return 1;
    }
    parser.m_pDb = &db;
    parser.m_pTable = table;
    CRowPrinter printer(options.json);
    parser.m_pRowSink = &printer;
    parser.ReadTable();
    return 0;
}
