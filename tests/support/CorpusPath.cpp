#include "CorpusPath.h"

#include <cstdlib>
#include <filesystem>

std::string RealCorpusDir()
{
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("SALVIX_CORPUS_DIR"); env != nullptr && fs::is_directory(env))
        return env;
    const fs::path beside = fs::path(SALVIX_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
    if (fs::is_directory(beside))
        return fs::canonical(beside).string();
    const char* workplace = "/work/shared/corpus/real";
    return fs::is_directory(workplace) ? workplace : "";
}
