#include "CliOptions.h"

CliOptions ParseCliOptions(const std::vector<std::string>& args)
{
    CliOptions options;
    bool optionsEnded = false;
    for (const auto& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--wal") {
            options.wal = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            options.error = "unknown option '" + arg + "'";
        } else {
            options.positional.push_back(arg);
        }
    }
    return options;
}
