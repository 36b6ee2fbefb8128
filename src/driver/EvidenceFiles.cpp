#include "EvidenceFiles.h"

#include <sys/stat.h>

#include "engine/FileHasher.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

std::uint64_t EvidenceFileBytes(const std::string& nativePath)
{
    struct stat info {};
    return ::stat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode)
               ? static_cast<std::uint64_t>(info.st_size)
               : 0;
}

std::vector<std::string> EvidenceFileNames(const DbInfo& db)
{
    const std::string file = db.OpenName();
    std::vector<std::string> names{file};
    // The page source reads a journal or a log only when it is not empty.
    if (db.withJournal && EvidenceFileBytes(file + "-journal") > 0)
        names.push_back(file + "-journal");
    if (db.withWal && EvidenceFileBytes(file + "-wal") > 0)
        names.push_back(file + "-wal");
    return names;
}

EvidenceHash HashEvidenceFile(const std::string& nativePath, HWND hLogWnd,
                              const HashProgress& onProgress)
{
    CFileHasher hasher;
    hasher.m_onProgress = onProgress;
    EvidenceHash hash;
    if (!hasher.Hash(nativePath, hash)) {
        PostLog(hLogWnd, u"error",
                WideFormat(u"%s: no hash taken (%s)", {hash.path, Widen(hasher.m_error)}),
                kLogError);
        return hash;
    }
    PostLog(hLogWnd, u"Hash",
            WideFormat(u"%s: %I64u bytes, MD5 %s, SHA-1 %s, SHA-256 %s",
                       {hash.path, hash.size, Widen(hash.md5), Widen(hash.sha1), Widen(hash.sha256)}),
            kLogInfo);
    return hash;
}

void HashEvidenceFiles(DbInfo& db, HWND hLogWnd, const HashProgress& onProgress)
{
    db.hashes.clear();
    // Progress runs over all the files together.
    const std::uint64_t total = EvidenceBytes(db);
    std::uint64_t before = 0;
    for (const std::string& name : EvidenceFileNames(db)) {
        HashProgress step;
        if (onProgress)
            step = [&](std::uint64_t done, std::uint64_t) { onProgress(before + done, total); };
        db.hashes.push_back(HashEvidenceFile(name, hLogWnd, step));
        before += db.hashes.back().size;
    }
}

std::uint64_t EvidenceBytes(const DbInfo& db)
{
    std::uint64_t total = 0;
    for (const std::string& name : EvidenceFileNames(db))
        total += EvidenceFileBytes(name);
    return total;
}
