// Takes the MD5, SHA-1 and SHA-256 of a file in one read-only pass, with
// OpenSSL's digests. The file is opened as every examined file is
// (CSourceFile: read-only, access time left alone where permitted) and read
// by position in large blocks, each block fed to the three digests in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/CacheLineAllocator.h"
#include "engine/EvidenceHash.h"

struct evp_md_ctx_st;  // OpenSSL's EVP_MD_CTX

class CFileHasher {
public:
    CFileHasher();
    ~CFileHasher();
    CFileHasher(const CFileHasher&) = delete;
    CFileHasher& operator=(const CFileHasher&) = delete;

    // Hashes the file whose name is exactly these bytes into `out` (its
    // path, size, times and digests). False when the file cannot be opened
    // or read to its end, or the job was stopped (g_bStop); m_error then
    // says why and out.complete stays false.
    bool Hash(const std::string& nativePath, EvidenceHash& out);

    // Called after each block with the bytes hashed and the file's size.
    std::function<void(std::uint64_t done, std::uint64_t total)> m_onProgress;
    std::string m_error;

    // Bytes read and hashed per call: large enough that the system call
    // costs nothing beside the digests, small enough to stay in cache.
    static constexpr std::size_t kBlockBytes = 1024 * 1024;

private:
    bool Begin();
    void Finish(EvidenceHash& out);

    evp_md_ctx_st* m_digests[3] = {};  // MD5, SHA-1, SHA-256
    ReadBuffer m_block;
};
