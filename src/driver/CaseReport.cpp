#include "CaseReport.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "driver/EvidenceFiles.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"

#ifndef SALVIX_VERSION
#define SALVIX_VERSION "unknown"
#endif

namespace {

// Counts the rows a table read hands over, without keeping them.
class CRowCounter : public CRowSink {
public:
    bool TakesUtf8() const override { return true; }
    void OnRowUtf8(std::string_view, const std::vector<std::uint32_t>&) override { ++m_rows; }
    std::uint64_t m_rows = 0;
};

// Counts the recovered records per table name.
class CRecoveredCounter : public CRecoverSink {
public:
    void OnRecord(const RecoveredRecord& record) override
    {
        if (record.table)
            ++m_perTable[*record.table];
        else
            ++m_unassigned;
    }
    std::map<std::u16string, std::uint64_t> m_perTable;
    std::uint64_t m_unassigned = 0;
};

// Text for HTML: the five markup characters as entities, control
// characters (which HTML does not allow) as \xNN, line breaks kept.
void AppendEscaped(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\t': case '\n': out += c; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                out += "\\x";
                out += kHex[static_cast<unsigned char>(c) >> 4];
                out += kHex[c & 15];
            } else {
                out += c;
            }
        }
    }
}

std::string Escaped(std::u16string_view text)
{
    std::string out;
    AppendEscaped(out, WideToUtf8(text));
    return out;
}

std::string Escaped(std::string_view utf8)
{
    std::string out;
    AppendEscaped(out, utf8);
    return out;
}

std::string FileTime(std::int64_t ns)
{
    const std::int64_t seconds = ns >= 0 ? ns / 1000000000 : (ns - 999999999) / 1000000000;
    return FormatUtcTime(seconds, static_cast<long>(ns - seconds * 1000000000));
}

// The file's full path as shown (a command line may name it relative to
// the folder it runs in).
std::u16string AbsolutePath(const EvidenceHash& hash)
{
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(hash.nativePath, error);
    return error || hash.nativePath.empty() ? hash.path : Widen(full.string());
}

const char kStyle[] = R"(
@page { size: A4; margin: 14mm 12mm; }
body { font-family: "Noto Sans CJK SC", "Noto Sans", "Microsoft YaHei", sans-serif; font-size: 10pt; color: #000; }
h1 { font-size: 16pt; } h2 { font-size: 13pt; margin-top: 18pt; } h3 { font-size: 11pt; }
table { width: 100%; table-layout: fixed; border-collapse: collapse; margin: 4pt 0 10pt; }
th, td { border: 0.5pt solid #888; padding: 2pt 4pt; text-align: left; vertical-align: top;
         overflow-wrap: anywhere; word-break: break-all; white-space: pre-wrap; }
th { background: #eee; }
thead { display: table-header-group; }
tr { page-break-inside: avoid; }
.digest { font-family: "DejaVu Sans Mono", monospace; font-size: 8.5pt; }
.facts th { width: 22%; }
.warning td { background: #fff5d6; } .error td { background: #fde2e2; }
)";

class CHtmlWriter {
public:
    std::string& out;

    void Heading(const char* tag, std::string_view text)
    {
        out += '<';
        out += tag;
        out += '>';
        out += text;
        out += "</";
        out += tag;
        out += ">\n";
    }
    void TableStart(const std::vector<std::string>& headings, const char* cls = nullptr)
    {
        out += cls ? std::string("<table class=\"") + cls + "\">" : std::string("<table>");
        out += "<thead><tr>";
        for (const std::string& heading : headings)
            out += "<th>" + heading + "</th>";
        out += "</tr></thead><tbody>\n";
    }
    void Row(const std::vector<std::string>& cells, const char* cls = nullptr)
    {
        out += cls ? std::string("<tr class=\"") + cls + "\">" : std::string("<tr>");
        for (const std::string& cell : cells)
            out += "<td>" + cell + "</td>";
        out += "</tr>\n";
    }
    void TableEnd() { out += "</tbody></table>\n"; }
    void Fact(const char* name, const std::string& value)
    {
        out += "<tr><th>";
        out += name;
        out += "</th><td>" + value + "</td></tr>\n";
    }
    void Grid(const ReportGrid& grid)
    {
        Heading("h3", Escaped(grid.title));
        std::vector<std::string> headings;
        for (const auto& heading : grid.headings)
            headings.push_back(Escaped(heading));
        TableStart(headings);
        for (const auto& row : grid.rows) {
            std::vector<std::string> cells;
            for (const auto& value : row)
                cells.push_back(Escaped(value));
            cells.resize(headings.size());
            Row(cells);
        }
        TableEnd();
    }
    void Hashes(const std::vector<EvidenceHash>& hashes)
    {
        for (const EvidenceHash& hash : hashes) {
            out += "<table class=\"facts\">\n";
            Fact("文件", Escaped(AbsolutePath(hash)));
            Fact("大小(字节)", std::to_string(hash.size));
            Fact("修改时间 (UTC)", FileTime(hash.modifiedNs));
            Fact("访问时间 (UTC)", FileTime(hash.accessedNs));
            Fact("状态改变时间 (UTC)", FileTime(hash.changedNs));
            const auto digest = [&](const std::string& value) {
                return hash.complete ? "<span class=\"digest\">" + value + "</span>"
                                     : std::string("未能读完文件, 没有哈希值");
            };
            Fact("MD5", digest(hash.md5));
            Fact("SHA-1", digest(hash.sha1));
            Fact("SHA-256", digest(hash.sha256));
            TableEnd();
        }
    }
};

}  // namespace

std::string FormatUtcTime(std::int64_t seconds, long nanoseconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[64] = "?";
    if (::gmtime_r(&time, &parts) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    std::string out = text;
    if (nanoseconds >= 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%09ld", nanoseconds % 1000000000);
        out += fraction;
    }
    return out;
}

void CCaseReport::AddDatabase(CSqliteParser& parser, DbInfo& db)
{
    if (db.hashes.empty())
        HashEvidenceFiles(db, parser.m_hLogWnd);
    Database entry{db.path, db.pageSize, db.withWal, db.hashes, {}, 0};
    CRecoveredCounter recovered;
    if (db.pageSize != 0) {
        CRecordRecoverer recoverer(parser, db);
        recoverer.Run(u"", recovered);
    }
    for (TableInfo& table : db.tables) {
        TableCount count{table.name, table.rootPage, table.module.empty(), 0, recovered.m_perTable[table.name]};
        recovered.m_perTable.erase(table.name);
        if (count.stored) {
            CRowCounter rows;
            parser.m_pDb = &db;
            parser.m_pTable = &table;
            parser.m_pRowSink = &rows;
            parser.ReadTable();
            parser.m_pRowSink = nullptr;
            count.rows = rows.m_rows;
        }
        entry.tables.push_back(std::move(count));
    }
    // Dropped tables: their records show under their own names.
    for (const auto& [name, records] : recovered.m_perTable)
        if (records != 0)
            entry.tables.push_back({name, 0, false, 0, records});
    entry.recoveredElsewhere = recovered.m_unassigned;
    m_databases.push_back(std::move(entry));
}

std::string CCaseReport::Html(std::int64_t nowUtc) const
{
    std::string out;
    CHtmlWriter html{out};
    out += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>SalvixForSqlite 检验报告</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n";
    html.Heading("h1", "SalvixForSqlite 检验报告");
    out += "<table class=\"facts\">\n";
    html.Fact("程序版本", Escaped(std::string_view("SalvixForSqlite " SALVIX_VERSION)));
    html.Fact("报告时间 (UTC)", FormatUtcTime(nowUtc));
    html.Fact("检验人", Escaped(m_examiner));
    html.Fact("案件编号", Escaped(m_caseId));
    html.TableEnd();

    html.Heading("h2", "检材");
    for (const Database& db : m_databases) {
        html.Heading("h3", Escaped(db.path));
        html.Hashes(db.hashes);
        if (db.pageSize == 0) {
            out += "<p>不是sqlite数据库文件</p>\n";
            continue;
        }
        out += "<p>页大小 " + std::to_string(db.pageSize) +
               (db.withWal ? ", 预写日志(-wal)已叠加</p>\n" : "</p>\n");
        html.TableStart({"表", "根页", "记录数", "恢复的记录数"});
        for (const TableCount& table : db.tables)
            html.Row({Escaped(table.name), table.rootPage ? std::to_string(table.rootPage) : "-",
                      table.stored ? std::to_string(table.rows) : "-", std::to_string(table.recovered)});
        if (db.recoveredElsewhere != 0)
            html.Row({"(无法归属的记录)", "-", "-", std::to_string(db.recoveredElsewhere)});
        html.TableEnd();
    }

    html.Heading("h2", "勾选的记录");
    if (m_checked.empty())
        out += "<p>无</p>\n";
    for (const ReportGrid& grid : m_checked)
        html.Grid(grid);

    html.Heading("h2", "扫描结果");
    if (m_scans.empty())
        out += "<p>无</p>\n";
    for (const Scan& scan : m_scans) {
        html.Hashes({scan.source});
        html.Grid(scan.hits);
    }

    html.Heading("h2", "日志");
    html.TableStart({"类型", "标题", "内容"});
    for (const LogMessage& line : m_log) {
        const char* kinds[] = {"信息", "信息", "警告", "错误"};
        const char* classes[] = {nullptr, nullptr, "warning", "error"};
        const int type = line.type < 4 ? line.type : 0;
        html.Row({kinds[type], Escaped(line.caption), Escaped(line.text)}, classes[type]);
    }
    html.TableEnd();
    out += "</body>\n</html>\n";
    return out;
}

bool CCaseReport::Write(const std::string& nativePath, bool replace) const
{
    const std::string text = Html(static_cast<std::int64_t>(std::time(nullptr)));
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    const int fd = ::open(nativePath.c_str(), flags, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return ::close(fd) == 0;
}
