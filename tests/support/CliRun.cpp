#include "CliRun.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CliResult RunProgram(const CTempDir& dir, const std::string& program,
                     const std::vector<std::string>& args)
{
    std::string command = Quote(program);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    const std::string errFile = dir.File("stderr.txt");
    command += " 2>" + Quote(errFile);
    CliResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    return result;
}

CliResult RunCli(const CTempDir& dir, const std::vector<std::string>& args)
{
    return RunProgram(dir, SALVIX_CLI_PATH, args);
}
