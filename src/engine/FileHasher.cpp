#include "FileHasher.h"

#include <cerrno>
#include <cstring>
#include <openssl/evp.h>

#include "engine/Globals.h"
#include "engine/SourceFile.h"
#include "platform/TextConvert.h"

namespace {

const EVP_MD* DigestType(int i)
{
    switch (i) {
    case 0: return EVP_md5();
    case 1: return EVP_sha1();
    default: return EVP_sha256();
    }
}

std::int64_t Nanoseconds(const struct timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::string HexText(const unsigned char* bytes, unsigned int length)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    return text;
}

}  // namespace

CFileHasher::CFileHasher()
{
    for (auto*& digest : m_digests)
        digest = EVP_MD_CTX_new();
}

CFileHasher::~CFileHasher()
{
    for (auto* digest : m_digests)
        EVP_MD_CTX_free(digest);
}

bool CFileHasher::Begin()
{
    for (int i = 0; i < 3; ++i) {
        if (m_digests[i] == nullptr || EVP_DigestInit_ex(m_digests[i], DigestType(i), nullptr) != 1) {
            m_error = "the digests are not available";
            return false;
        }
    }
    return true;
}

void CFileHasher::Finish(EvidenceHash& out)
{
    std::string* texts[3] = {&out.md5, &out.sha1, &out.sha256};
    for (int i = 0; i < 3; ++i) {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_digests[i], value, &length) != 1)
            return;
        *texts[i] = HexText(value, length);
    }
    out.complete = true;
}

bool CFileHasher::Hash(const std::string& nativePath, EvidenceHash& out)
{
    out = EvidenceHash{};
    out.path = Widen(nativePath);
    out.nativePath = nativePath;
    m_error.clear();
    CSourceFile file;
    struct stat info {};
    if (!file.Open(nativePath) || !file.Status(info)) {
        m_error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    out.modifiedNs = Nanoseconds(info.st_mtim);
    out.accessedNs = Nanoseconds(info.st_atim);
    out.changedNs = Nanoseconds(info.st_ctim);
    const std::int64_t size = file.Size();
    const std::uint64_t total = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    if (!Begin())
        return false;
    file.AdviseSequential();
    m_block.resize(kBlockBytes);
    for (;;) {
        if (g_bStop.load() != 0) {
            m_error = "stopped";
            return false;
        }
        const std::int64_t got = file.ReadAt(m_block.data(), m_block.size(), out.size);
        if (got < 0) {
            m_error = "read error at " + std::to_string(out.size) + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0)
            break;
        for (auto* digest : m_digests)
            EVP_DigestUpdate(digest, m_block.data(), static_cast<std::size_t>(got));
        out.size += static_cast<std::uint64_t>(got);
        if (m_onProgress)
            m_onProgress(out.size, total);
    }
    Finish(out);
    if (!out.complete)
        m_error = "the digests could not be finished";
    return out.complete;
}
