// Splits a subcommand's arguments into the --json flag and positionals.
#pragma once

#include <string>
#include <vector>

struct CliOptions {
    bool json = false;
    std::vector<std::string> positional;
    std::string error;  // set for an unknown option
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);
