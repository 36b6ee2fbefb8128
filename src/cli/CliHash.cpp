// salvix-cli hash: the MD5, SHA-1 and SHA-256 of evidence files.
#include <cstdio>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "driver/EvidenceFiles.h"
#include "platform/TextConvert.h"

nlohmann::ordered_json EvidenceHashToJson(const EvidenceHash& hash)
{
    using Json = nlohmann::ordered_json;
    const auto digest = [&](const std::string& text) { return hash.complete ? Json(text) : Json(); };
    Json out = Json::object();
    out["file"] = WideToUtf8(hash.path);
    out["size"] = hash.size;
    out["md5"] = digest(hash.md5);
    out["sha1"] = digest(hash.sha1);
    out["sha256"] = digest(hash.sha256);
    return out;
}

int RunHash(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.empty())
        return UsageError("hash needs at least one file");
    if (options.csv || options.wal || options.journal || options.ordinal >= 0)
        return UsageError("hash takes only --json");

    CCliLogWnd log;
    int status = 0;
    for (const std::string& path : options.positional) {
        const EvidenceHash hash = HashEvidenceFile(path, &log);
        if (!hash.complete) {
            status = 1;
            continue;
        }
        if (options.json)
            std::printf("%s\n", EvidenceHashToJson(hash).dump().c_str());
        else
            std::printf("%s\t%llu\t%s\t%s\t%s\n", WideToUtf8(hash.path).c_str(),
                        static_cast<unsigned long long>(hash.size), hash.md5.c_str(),
                        hash.sha1.c_str(), hash.sha256.c_str());
    }
    return status;
}
