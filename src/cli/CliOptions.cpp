#include "CliOptions.h"

#include <charconv>

namespace {

// The field an option that takes a text value fills, or null.
std::string* TextOption(CliOptions& options, const std::string& arg)
{
    if (arg == "--out")
        return &options.out;
    if (arg == "--examiner")
        return &options.examiner;
    if (arg == "--case")
        return &options.caseId;
    return nullptr;
}

}  // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args)
{
    CliOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--csv") {
            options.csv = true;
        } else if (!optionsEnded && arg == "--csv-raw") {
            options.csv = options.csvRaw = true;
        } else if (!optionsEnded && arg == "--wal") {
            options.wal = true;
        } else if (!optionsEnded && arg == "--journal") {
            options.journal = true;
        } else if (!optionsEnded && arg == "--ordinal") {
            const std::string value = i + 1 < args.size() ? args[++i] : std::string();
            long long n = -1;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 0)
                options.error = "--ordinal needs a table ordinal (0, 1, ...)";
            else
                options.ordinal = n;
        } else if (!optionsEnded && arg == "--time") {
            const std::string value = i + 1 < args.size() ? args[++i] : std::string();
            const std::size_t equals = value.rfind('=');
            const auto encoding = equals == std::string::npos
                                      ? std::nullopt
                                      : ParseTimeEncoding(std::string_view(value).substr(equals + 1));
            if (!encoding || equals == 0)
                options.error = "--time needs COLUMN=unix|unix-ms|unix-us|mac|webkit|filetime";
            else
                options.times.emplace_back(value.substr(0, equals), *encoding);
        } else if (std::string* text = optionsEnded ? nullptr : TextOption(options, arg)) {
            if (i + 1 < args.size())
                *text = args[++i];
            else
                options.error = arg + " needs a value";
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            options.error = "unknown option '" + arg + "'";
        } else {
            options.positional.push_back(arg);
        }
    }
    return options;
}
