// The case report: one self-contained HTML file (no external files, no
// scripts) that records what was examined and what was found: the program's
// version, the time (UTC), the examiner and the case number, every database
// with its files' paths, sizes, times and MD5/SHA-1/SHA-256, its tables with
// their row and recovered-row counts, the records the examiner checked, the
// hits of the last scan, and the log. Every text is escaped; the page prints
// to A4 with every column wrapped inside the page width.
//
// The command line and the desktop program fill it the same way; the
// desktop adds the checked records of its table windows and its scan hits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/LogPost.h"

class CSqliteParser;

// A titled table of texts: the checked records of one table window, or the
// hits of a scan.
struct ReportGrid {
    std::u16string title;
    std::vector<std::u16string> headings;
    std::vector<std::vector<std::u16string>> rows;
};

class CCaseReport {
public:
    struct TableCount {
        std::u16string name;
        std::uint32_t rootPage = 0;
        bool stored = true;         // false for a virtual table: no rows of its own
        std::uint64_t rows = 0;
        std::uint64_t recovered = 0;
    };
    struct Database {
        std::u16string path;
        std::uint32_t pageSize = 0;
        bool withWal = false;
        std::vector<EvidenceHash> hashes;
        std::vector<TableCount> tables;
        std::uint64_t recoveredElsewhere = 0;  // records no table fits
    };
    struct Scan {
        EvidenceHash source;
        ReportGrid hits;
    };

    // Counts the rows of every table of `db` (a table read each) and the
    // records the recovery finds for each, with `parser`, which opened it;
    // hashes its files first when that has not been done. Runs on a worker.
    void AddDatabase(CSqliteParser& parser, DbInfo& db);
    void AddDatabase(Database database) { m_databases.push_back(std::move(database)); }
    void AddCheckedRecords(ReportGrid grid) { m_checked.push_back(std::move(grid)); }
    void AddScan(Scan scan) { m_scans.push_back(std::move(scan)); }
    void AddLogLine(LogMessage line) { m_log.push_back(std::move(line)); }

    // The whole page, dated `nowUtc` (seconds since 1970).
    std::string Html(std::int64_t nowUtc) const;
    // Writes Html() for the present time to the file of these name bytes;
    // an existing file is replaced only when `replace` is set. False with
    // errno set when the file cannot be created or written.
    bool Write(const std::string& nativePath, bool replace) const;

    std::u16string m_examiner;
    std::u16string m_caseId;

private:
    std::vector<Database> m_databases;
    std::vector<ReportGrid> m_checked;
    std::vector<Scan> m_scans;
    std::vector<LogMessage> m_log;
};

// "YYYY-MM-DD hh:mm:ss" in UTC, with nine decimals of the second when
// `nanoseconds` is given (file times).
std::string FormatUtcTime(std::int64_t seconds, long nanoseconds = -1);
