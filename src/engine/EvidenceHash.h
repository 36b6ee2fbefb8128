// What an examiner quotes for one evidence file: its size, its times and its
// MD5, SHA-1 and SHA-256 digests, taken in one read-only pass.
#pragma once

#include <cstdint>
#include <string>

struct EvidenceHash {
    std::u16string path;     // as shown; invalid UTF-8 bytes show as U+FFFD
    std::string nativePath;  // the name's bytes, as the file was opened
    std::uint64_t size = 0;  // bytes hashed
    // The file's times as the system recorded them before the read, in
    // nanoseconds since 1970-01-01 UTC.
    std::int64_t modifiedNs = 0;
    std::int64_t accessedNs = 0;
    std::int64_t changedNs = 0;  // status change (inode)
    // Lower-case hexadecimal; empty when the file could not be read.
    std::string md5, sha1, sha256;
    // False when the read stopped before the end of the file (a read
    // error or a stop command): the digests then do not describe the file.
    bool complete = false;
};
