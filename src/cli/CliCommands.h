// The subcommands of salvix-cli. Each returns the process exit status:
// 0 the job ran, 1 a file could not be opened or used, 2 a usage error.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/EvidenceHash.h"
#include "engine/SqliteParser.h"

int RunTables(const std::vector<std::string>& args);
int RunRows(const std::vector<std::string>& args);
int RunCarve(const std::vector<std::string>& args);
int RunRecover(const std::vector<std::string>& args);
int RunHash(const std::vector<std::string>& args);
int RunReport(const std::vector<std::string>& args);

// {"file","size","md5","sha1","sha256"} of one evidence file, the digests
// null when the file could not be read to its end.
nlohmann::ordered_json EvidenceHashToJson(const EvidenceHash& hash);
int RunPage(const std::vector<std::string>& args);

// Opens the database at `path` (a file name as the system spells it) with
// `parser`; on failure says why on standard error and returns null.
DbInfo* OpenCliDatabase(CSqliteParser& parser, const std::string& path);

// Prints the usage text to standard error and returns 2.
int UsageError(const std::string& problem);
