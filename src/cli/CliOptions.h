// Splits a subcommand's arguments into the --json and --wal flags and
// positionals.
#pragma once

#include <string>
#include <vector>

struct CliOptions {
    bool json = false;
    bool wal = false;  // --wal: apply the database's write-ahead log
    std::vector<std::string> positional;
    std::string error;  // set for an unknown option
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);
