// The evidence files of an opened database and their digests: which files
// the examination read, and the one way their hashes are taken and logged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DbInfo.h"
#include "platform/WindowMessage.h"

// Called after each block of a file with the bytes hashed and its size.
using HashProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// The names of the files read for `db`: the file itself, then its rollback
// journal and its write-ahead log when the database was opened with them
// laid over it and they are there.
std::vector<std::string> EvidenceFileNames(const DbInfo& db);

// Hashes the file named by these bytes and posts one log line with its
// size and digests ("Hash"), or an error line when it could not be read to
// its end (the result is then not complete).
EvidenceHash HashEvidenceFile(const std::string& nativePath, HWND hLogWnd,
                              const HashProgress& onProgress = {});

// Hashes every evidence file of `db` into db.hashes, one log line each.
void HashEvidenceFiles(DbInfo& db, HWND hLogWnd, const HashProgress& onProgress = {});

// Files larger than this together show how far their hashing has got.
constexpr std::uint64_t kHashProgressBytes = 64ull << 20;

// The size of a regular file (0 for anything else), for a progress bar.
std::uint64_t EvidenceFileBytes(const std::string& nativePath);
// The combined size of the evidence files of `db`, for a progress bar.
std::uint64_t EvidenceBytes(const DbInfo& db);
