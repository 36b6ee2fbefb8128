#include "CarvedFileWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "engine/LogPost.h"
#include "engine/SourceFile.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

namespace {

constexpr std::uint64_t kCopyBlock = 1 << 20;

// The folder that holds `path` (after resolving links), or empty.
std::string ContainingFolder(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return {};
    std::string full(resolved.get());
    const std::size_t slash = full.rfind('/');
    return slash == 0 ? "/" : full.substr(0, slash);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::u16string ErrnoText()
{
    return Widen(std::strerror(errno));
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

CCarvedFileWriter::CCarvedFileWriter(std::u16string sourcePath, std::u16string targetDir)
    : m_sourcePath(std::move(sourcePath)), m_targetDir(std::move(targetDir))
{
}

std::u16string CCarvedFileWriter::FileNameFor(std::int64_t offset)
{
    std::u16string name;
    AppendNumber(name, offset);
    return name + u".db";
}

std::u16string CCarvedFileWriter::CheckTarget() const
{
    const std::string target = WideToUtf8(m_targetDir);
    struct stat targetInfo {};
    if (target.empty() || ::stat(target.c_str(), &targetInfo) != 0 || !S_ISDIR(targetInfo.st_mode))
        return WideFormat(u"目标路径%s不是可用的文件夹", {m_targetDir});
    // Carved files never go beside the source they were carved from.
    const std::string sourceFolder = ContainingFolder(WideToUtf8(m_sourcePath));
    struct stat sourceInfo {};
    if (sourceFolder.empty() || ::stat(sourceFolder.c_str(), &sourceInfo) != 0)
        return WideFormat(u"打开/创建设备%s失败", {m_sourcePath});
    if (SameFile(targetInfo, sourceInfo))
        return WideFormat(u"目标路径%s是源文件所在的文件夹,请另选一个文件夹", {m_targetDir});
    return {};
}

std::u16string CCarvedFileWriter::Write(std::int64_t offset, std::int64_t size, HWND hLogWnd) const
{
    const std::u16string problem = CheckTarget();
    if (!problem.empty()) {
        PostLog(hLogWnd, u"error", problem, kLogError);
        return {};
    }
    CSourceFile source;
    if (offset < 0 || size < 0 || !source.Open(m_sourcePath)) {
        PostOpenError(hLogWnd, u"error", m_sourcePath, kLogError);
        return {};
    }
    std::u16string outPath = m_targetDir;
    if (outPath.back() != u'/')
        outPath += u'/';
    outPath += FileNameFor(offset);
    const std::string native = WideToUtf8(outPath);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        PostLog(hLogWnd, u"error", WideFormat(u"打开/创建设备%s失败: %s", {outPath, ErrnoText()}),
                kLogError);
        return {};
    }
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kCopyBlock]);
    std::uint64_t done = 0;
    const std::uint64_t total = static_cast<std::uint64_t>(size);
    bool ok = true;
    while (ok && done < total) {
        const std::uint64_t want = std::min(kCopyBlock, total - done);
        const std::int64_t got = source.ReadAt(buffer.get(), want, static_cast<std::uint64_t>(offset) + done);
        if (got != static_cast<std::int64_t>(want)) {
            PostReadError(hLogWnd, u"error", m_sourcePath, kLogError,
                          offset + static_cast<std::int64_t>(done));
            ok = false;
        } else if (!WriteAll(fd, buffer.get(), static_cast<std::size_t>(want))) {
            PostLog(hLogWnd, u"error", WideFormat(u"写入%s失败: %s", {outPath, ErrnoText()}), kLogError);
            ok = false;
        }
        done += want;
    }
    if (::close(fd) != 0 && ok) {
        PostLog(hLogWnd, u"error", WideFormat(u"写入%s失败: %s", {outPath, ErrnoText()}), kLogError);
        ok = false;
    }
    if (!ok) {
        // Only a complete copy may stay: the file is ours, made above.
        ::unlink(native.c_str());
        return {};
    }
    return outPath;
}
