#include "SourceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextConvert.h"

CSourceFile::~CSourceFile() { Close(); }

bool CSourceFile::Open(const std::u16string& path)
{
    return Open(WideToUtf8(path));
}

bool CSourceFile::Open(const std::string& native)
{
    Close();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    m_fd = ::open(native.c_str(), flags | O_NOATIME);
    // O_NOATIME is refused for files the caller does not own.
    if (m_fd < 0 && errno == EPERM)
        m_fd = ::open(native.c_str(), flags);
    if (m_fd < 0)
        return false;
    // Only regular files and block devices can be read by position.
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))) {
        Close();
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

void CSourceFile::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::int64_t CSourceFile::Size() const
{
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return -1;
    if (S_ISBLK(info.st_mode)) {
        const off_t end = ::lseek(m_fd, 0, SEEK_END);
        return end < 0 ? -1 : static_cast<std::int64_t>(end);
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool CSourceFile::Status(struct stat& info) const
{
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0;
}

void CSourceFile::AdviseSequential() const
{
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t CSourceFile::ReadAt(void* buffer, std::uint64_t count, std::uint64_t position) const
{
    if (m_fd < 0)
        return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(m_fd, out + done, count - done,
                                    static_cast<off_t>(position + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::uint64_t>(got);
    }
    return static_cast<std::int64_t>(done);
}
