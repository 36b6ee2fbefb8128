// salvix-cli report: the case report of one or more databases as one HTML
// file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "driver/CaseReport.h"
#include "driver/DbEntries.h"
#include "platform/TextConvert.h"

namespace {

// Whether `out` would land in the folder of one of `files`.
bool InFolderOfAny(const std::string& out, const std::vector<std::string>& files)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(fs::absolute(out, error), error).parent_path();
    for (const std::string& file : files) {
        const fs::path examined = fs::weakly_canonical(fs::absolute(file, error), error);
        if (examined.parent_path() == folder)
            return true;
    }
    return false;
}

}  // namespace

int RunReport(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.empty() || options.out.empty())
        return UsageError("report needs --out FILE.html and at least one database file");
    if (options.json || options.csv || options.ordinal >= 0)
        return UsageError("report takes --wal, --journal, --out, --examiner and --case");
    if (InFolderOfAny(options.out, options.positional))
        return UsageError("the report may not be written into the folder of an examined file");

    CCliLogWnd log;
    std::vector<LogMessage> lines;
    log.m_kept = &lines;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    parser.m_bUseJournal = options.journal;
    CCaseReport report;
    report.m_examiner = Widen(options.examiner);
    report.m_caseId = Widen(options.caseId);
    int status = 0;
    for (const std::string& path : options.positional) {
        DbInfo* db = OpenDatabaseEntry(parser, path);
        if (db == nullptr) {
            std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
            status = 1;
            continue;
        }
        if (db->pageSize == 0) {
            std::fprintf(stderr, "salvix-cli: %s is not an SQLite database\n", path.c_str());
            status = 1;
        }
        report.AddDatabase(parser, *db);
    }
    for (LogMessage& line : lines)
        report.AddLogLine(std::move(line));
    if (!report.Write(options.out, false)) {
        std::fprintf(stderr, "salvix-cli: cannot write %s: %s\n", options.out.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return status;
}
