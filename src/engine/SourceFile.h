// A file opened read-only for examination. It is never written, locked or
// given companion files, and its access time is left alone where the system
// permits it (O_NOATIME).
#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>

class CSourceFile {
public:
    CSourceFile() = default;
    ~CSourceFile();
    CSourceFile(const CSourceFile&) = delete;
    CSourceFile& operator=(const CSourceFile&) = delete;

    bool Open(const std::u16string& path);
    // Opens the file whose name is exactly these bytes.
    bool Open(const std::string& nativePath);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Size in bytes, or -1 when it cannot be taken.
    std::int64_t Size() const;
    // The system's record of the open file (size, times); false when it
    // cannot be taken.
    bool Status(struct stat& info) const;
    // Tells the system the file is about to be read from start to end, so
    // it reads further ahead.
    void AdviseSequential() const;
    // Reads up to `count` bytes at `position`; returns the count read (short
    // only at the end of the file) or -1 on a read error.
    std::int64_t ReadAt(void* buffer, std::uint64_t count, std::uint64_t position) const;

private:
    int m_fd = -1;
};
