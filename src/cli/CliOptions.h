// Splits a subcommand's arguments into options (--json, --wal, --ordinal N)
// and positionals. "--" ends the options, so a positional may itself
// begin with "-".
#pragma once

#include <string>
#include <vector>

struct CliOptions {
    bool json = false;
    bool wal = false;  // --wal: apply the database's write-ahead log
    long long ordinal = -1;  // --ordinal N, -1 when not given
    std::vector<std::string> positional;
    std::string error;  // set for an unknown or malformed option
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);
