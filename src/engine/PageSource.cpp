#include "PageSource.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

bool CPageSource::Open(const std::string& path)
{
    Close();
    if (!m_file.Open(path))
        return false;
    const std::int64_t size = m_file.Size();
    m_fileSize = size < 0 ? 0 : static_cast<std::uint64_t>(size);
    return true;
}

bool CPageSource::ReadAhead(void* buffer, std::uint32_t count, std::uint64_t position)
{
    if (count > kReadAheadBytes / 4)
        return false;
    const bool inWindow = position >= m_windowStart && count <= m_window.size() &&
                          position - m_windowStart <= m_window.size() - count;
    if (!inWindow) {
        if (position != m_lastEnd)
            return false;  // not a sequential read: read just what was asked
        m_window.resize(kReadAheadBytes);
        const std::int64_t got = m_file.ReadAt(m_window.data(), kReadAheadBytes, position);
        m_window.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        m_windowStart = position;
        if (m_window.size() < count)
            return false;  // the end of the file: the plain read zero-fills
    }
    std::memcpy(buffer, m_window.data() + (position - m_windowStart), count);
    m_lastEnd = position + count;
    return true;
}

void CPageSource::Close()
{
    m_window.clear();
    m_windowStart = 0;
    m_lastEnd = UINT64_MAX;
    m_file.Close();
    m_log.Close();
    m_fileSize = 0;
    m_overlay = false;
    m_wal = CWalLog();
    m_frameOffsets.Clear();
    m_overlayPageCount = 0;
}

void CPageSource::SetOverlay(CPageOffsets frames, std::uint32_t pageCount)
{
    m_frameOffsets = std::move(frames);
    m_overlayPageCount = pageCount;
    m_overlay = true;
}

std::uint64_t CPageSource::PageCount() const
{
    if (m_overlay)
        return m_overlayPageCount;
    if (m_pageSize == 0)
        return 0;
    return m_fileSize / m_pageSize + (m_fileSize % m_pageSize != 0);
}

bool CPageSource::HasPage(std::uint32_t pageNumber) const
{
    return pageNumber != 0 && pageNumber <= PageCount();
}

bool CPageSource::ReadFileAt(void* buffer, std::uint32_t count, std::uint64_t position)
{
    if (position >= m_fileSize)
        return false;
    if (ReadAhead(buffer, count, position))
        return true;
    m_lastEnd = position + count;
    const std::int64_t got = m_file.ReadAt(buffer, count, position);
    if (got < 0)
        return false;
    if (static_cast<std::uint64_t>(got) < count)
        std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, count - got);
    return true;
}

bool CPageSource::ReadPage(std::uint32_t pageNumber, void* buffer, std::uint32_t count)
{
    if (m_pageSize == 0 || count > m_pageSize)
        return false;
    if (!m_overlay)
        return ReadFileAt(buffer, count, PagePosition(pageNumber, m_pageSize));
    if (!HasPage(pageNumber))
        return false;
    if (const std::uint64_t frame = m_frameOffsets.Find(pageNumber); frame != 0)
        return m_log.ReadAt(buffer, count, frame) == static_cast<std::int64_t>(count);
    // A page the log does not hold is the main file's; a page the commit's
    // larger page count reaches past the file's end has never been written.
    if (!ReadFileAt(buffer, count, PagePosition(pageNumber, m_pageSize)))
        std::memset(buffer, 0, count);
    return true;
}

bool CPageSource::ReadPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer)
{
    buffer.resize(m_pageSize);
    return ReadPage(pageNumber, buffer.data(), m_pageSize);
}

bool CPageSource::ReadHeader(void* buffer, std::uint32_t count)
{
    if (m_overlay && m_pageSize != 0 && count <= m_pageSize && m_frameOffsets.Find(1) != 0)
        return ReadPage(1, buffer, count);
    return ReadFileAt(buffer, count, 0);
}

bool CPageSource::ReadLogAt(void* buffer, std::uint32_t count, std::uint64_t position) const
{
    return m_log.ReadAt(buffer, count, position) == static_cast<std::int64_t>(count);
}

void CPageSource::AttachLog(const std::string& dbPath, bool apply, HWND logWnd)
{
    const std::string logName = dbPath + "-wal";
    const std::u16string logPath = Widen(logName);  // as shown in the log
    if (!m_log.Open(logName) || m_log.Size() <= 0) {
        m_log.Close();
        return;
    }
    if (!apply) {
        m_wal.Read(m_log, nullptr);
        PostLog(logWnd, u"warning",
                WideFormat(u"%s holds %u committed frames that are not shown (the write-ahead "
                           u"log is not applied)",
                           {logPath, m_wal.CommittedFrames()}),
                kLogWarning);
        m_log.Close();
        return;
    }
    if (!m_wal.Read(m_log, logWnd) || m_wal.CommittedFrames() == 0)
        return;
    // A main file whose header names another page size does not belong to
    // this log.
    std::uint8_t header[18];
    if (ReadFileAt(header, sizeof header, 0) && m_fileSize >= 100 &&
        std::memcmp(header, "SQLite format 3", 16) == 0) {
        std::uint32_t filePageSize = *Get16(header, sizeof header, 16);
        if (filePageSize == 1)
            filePageSize = 65536;
        if (filePageSize != m_wal.PageSize()) {
            PostLog(logWnd, u"error",
                    WideFormat(u"%s: page size %u differs from the database's %u; the log is "
                               u"not applied",
                               {logPath, m_wal.PageSize(), filePageSize}),
                    kLogError);
            return;
        }
    }
    // A database in WAL mode may never have been checkpointed: its main
    // file is then empty and the log holds every page. The library itself
    // would discard such a log on open; here it is the whole evidence.
    if (m_fileSize == 0)
        PostLog(logWnd, u"WAL",
                WideFormat(u"the main file is empty: every page shown comes from %s", {logPath}),
                kLogWarning);
    m_pageSize = m_wal.PageSize();
    // Pages past both the file and the log were never written and read as
    // zeros; the database is taken to end before them. Nor can it hold more
    // pages than the file and the log's committed frames together: a
    // damaged page count in a commit frame, or a frame for page four
    // billion, must not make every walk size its records by it.
    CPageOffsets frames = m_wal.CommittedPageOffsets();
    const std::uint64_t filePages = (m_fileSize + m_pageSize - 1) / m_pageSize;
    const std::uint64_t written = std::min<std::uint64_t>(std::max<std::uint64_t>(frames.HighestPage(), filePages),
                                                          filePages + m_wal.CommittedFrames());
    const std::uint32_t pageCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_wal.DatabasePages(), written));
    if (pageCount < m_wal.DatabasePages())
        PostLog(logWnd, u"warning",
                WideFormat(u"%s: the last commit claims %u pages, the file and the log hold %u",
                           {logPath, m_wal.DatabasePages(), pageCount}),
                kLogWarning);
    SetOverlay(std::move(frames), pageCount);
}
