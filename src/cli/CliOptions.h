// Splits a subcommand's arguments into options (--json, --csv, --csv-raw, --wal, --journal,
// --ordinal N, --out FILE, --examiner NAME, --case ID, --time COLUMN=ENCODING)
// and positionals. "--" ends the options, so a positional may itself
// begin with "-".
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "records/TimeDecoder.h"

struct CliOptions {
    bool json = false;
    bool csv = false;  // --csv: rows as CSV (RFC 4180, UTF-8 with a byte-order mark)
    bool csvRaw = false;  // --csv-raw: the same with formula-like texts untouched
    bool wal = false;  // --wal: apply the database's write-ahead log
    bool journal = false;  // --journal: roll the database's hot journal back
    long long ordinal = -1;  // --ordinal N, -1 when not given
    // report: --out FILE, --examiner NAME, --case ID
    std::string out, examiner, caseId;
    // --time COLUMN=ENCODING (repeatable): the column's values shown as times
    std::vector<std::pair<std::string, TimeEncoding>> times;
    std::vector<std::string> positional;
    std::string error;  // set for an unknown or malformed option
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);
