// Runs salvix-cli (or another program) as the tests' shell would, and
// collects its standard output, standard error and exit status.
#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// `arg` quoted for the shell, whatever its bytes.
std::string Quote(const std::string& arg);

// Runs `program` with `args`; its standard error goes through a file in `dir`.
CliResult RunProgram(const CTempDir& dir, const std::string& program,
                     const std::vector<std::string>& args);

// Runs salvix-cli with `args`.
CliResult RunCli(const CTempDir& dir, const std::vector<std::string>& args);
