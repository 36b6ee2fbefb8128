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

bool NeedsEscape(char16_t c) { return c == u'\\' || c == u'\t' || c == u'\n' || c == u'\r'; }

// Writes a value as UTF-8 with backslash, tab, line feed and carriage
// return escaped, in one pass: plain ASCII is copied in runs, other text is
// converted in runs, and only the four special characters are looked at
// one by one.
void AppendEscaped(std::string& out, std::u16string_view value)
{
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t run = i;
        while (run < value.size() && value[run] < 0x80 && !NeedsEscape(value[run]))
            ++run;
        const std::size_t at = out.size();
        out.resize(at + (run - i));
        for (std::size_t k = i; k < run; ++k)
            out[at + (k - i)] = static_cast<char>(value[k]);
        if (run == value.size())
            break;
        i = run;
        switch (value[i]) {
        case u'\\': out += "\\\\"; ++i; continue;
        case u'\t': out += "\\t"; ++i; continue;
        case u'\n': out += "\\n"; ++i; continue;
        case u'\r': out += "\\r"; ++i; continue;
        default: break;
        }
        // Beyond ASCII: up to the next ASCII unit, so surrogate pairs stay whole.
        while (run < value.size() && value[run] >= 0x80)
            ++run;
        AppendWideAsUtf8(out, value.substr(i, run - i));
        i = run;
    }
}

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// The table of that name: an exact match first, then one that differs only
// in ASCII letter case (SQL names are case-insensitive).
TableInfo* FindTable(DbInfo& db, const std::u16string& name)
{
    for (TableInfo& table : db.tables)
        if (table.name == name)
            return &table;
    for (TableInfo& table : db.tables)
        if (SameNameIgnoringCase(table.name, name))
            return &table;
    return nullptr;
}

void PrintRows(const std::deque<RowValues>& rows, bool json)
{
    COutputBuffer output;
    for (const RowValues& row : rows) {
        std::string& out = output.Text();
        if (json) {
            nlohmann::json values = nlohmann::json::array();
            for (std::size_t i = 0; i < row.size(); ++i)
                values.push_back(WideToUtf8(row[i]));
            out += values.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } else {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i != 0)
                    out.push_back('\t');
                AppendEscaped(out, row[i]);
            }
        }
        out.push_back('\n');
        output.MaybeFlush();
    }
}

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
    parser.ReadTable();
    PrintRows(parser.m_rows, options.json);
    return 0;
}
