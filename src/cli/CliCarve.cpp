// salvix-cli carve: placeholder until the carvers are built.
#include "CliCommands.h"

int RunCarve(const std::vector<std::string>&)
{
    return UsageError("carve is not available in this build");
}
