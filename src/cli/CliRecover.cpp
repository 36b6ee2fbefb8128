// salvix-cli recover: records the file holds outside its live tables.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"

namespace {

// Plain text: UTF-8 with backslash, tab, line feed and carriage return
// escaped as in `rows`; a value that could not be recovered is \N.
// `utf8` is scratch, kept so that a record allocates nothing.
void AppendField(std::string& out, const std::optional<std::u16string>& value, std::string& utf8)
{
    if (!value) {
        out += "\\N";
        return;
    }
    utf8.clear();
    AppendWideAsUtf8(utf8, *value);
    std::size_t from = 0;
    for (std::size_t at = utf8.find_first_of("\\\t\n\r"); at != std::string::npos;
         at = utf8.find_first_of("\\\t\n\r", from)) {
        out.append(utf8, from, at - from);
        switch (utf8[at]) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        default: out += "\\r"; break;
        }
        from = at + 1;
    }
    out.append(utf8, from, std::string::npos);
}

template <typename T>
std::optional<std::u16string> NumberText(const std::optional<T>& number)
{
    if (!number)
        return std::nullopt;
    return Widen(std::to_string(*number));
}

class CRecordPrinter : public CRecoverSink {
public:
    explicit CRecordPrinter(bool json) : m_json(json) {}

    void OnRecord(const RecoveredRecord& record) override
    {
        std::string& line = m_line;
        line.clear();
        if (m_json) {
            // Keys in the documented order.
            using Json = nlohmann::ordered_json;
            Json values = Json::array();
            for (const auto& value : record.values)
                values.push_back(value ? Json(WideToUtf8(*value)) : Json());
            Json out = Json::object();
            out["table"] = record.table ? Json(WideToUtf8(*record.table)) : Json();
            out["source"] = record.source;
            out["page"] = record.page;
            out["offset"] = record.offset;
            out["frame"] = record.frame ? Json(*record.frame) : Json();
            out["rowid"] = record.rowid ? Json(*record.rowid) : Json();
            out["values"] = std::move(values);
            if (record.partial)
                out["partial"] = true;
            line = out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } else {
            AppendField(line, record.table, m_utf8);
            line += '\t';
            line += record.source;
            line += '\t' + std::to_string(record.page) + '\t' + std::to_string(record.offset) + '\t';
            AppendField(line, NumberText(record.frame), m_utf8);
            line += '\t';
            AppendField(line, NumberText(record.rowid), m_utf8);
            for (const auto& value : record.values) {
                line += '\t';
                AppendField(line, value, m_utf8);
            }
            // After the values, so that the columns before it stay where they were.
            if (record.partial)
                line += "\tpartial";
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

private:
    bool m_json;
    std::string m_line, m_utf8;  // scratch, used again for every record
};

}  // namespace

int RunRecover(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.empty() || options.positional.size() > 2)
        return UsageError("recover needs a database file and optionally a table name");
    const std::string& path = options.positional[0];

    CCliLogWnd log;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    parser.m_bUseJournal = options.journal;
    DbInfo* db = OpenCliDatabase(parser, path);
    if (db == nullptr)
        return 1;
    CRecordRecoverer recoverer(parser, *db);
    CRecordPrinter printer(options.json);
    const std::string table = options.positional.size() == 2 ? options.positional[1] : "";
    if (!recoverer.Run(Widen(table), printer)) {
        std::fprintf(stderr, "salvix-cli: %s has no live or dropped table named %s\n",
                     path.c_str(), table.c_str());
        return 1;
    }
    return 0;
}
