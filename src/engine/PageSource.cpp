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
        // Reads that go on where the last ended, or end where it began (a
        // walk that visits a node's children last to first), are served by
        // a window; any other read just reads what was asked.
        const bool forward = position == m_lastEnd;
        if (!forward && position + count != m_lastStart)
            return false;
        const std::uint64_t start =
            forward ? position : position + count - std::min<std::uint64_t>(position + count, kReadAheadBytes);
        if (!m_prefetch.Take(start, m_window)) {
            m_window.resize(kReadAheadBytes);
            const std::int64_t got = m_file.ReadAt(m_window.data(), kReadAheadBytes, start);
            m_window.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        }
        m_windowStart = start;
        // The window after this one (before it, going backwards) is read on
        // a worker thread while this one is used.
        if (forward && m_window.size() == kReadAheadBytes && start + kReadAheadBytes < m_fileSize)
            m_prefetch.Start(m_file, start + kReadAheadBytes, kReadAheadBytes);
        else if (!forward && start >= kReadAheadBytes)
            m_prefetch.Start(m_file, start - kReadAheadBytes, kReadAheadBytes);
        if (m_window.size() < position - start + count)
            return false;  // the end of the file: the plain read zero-fills
    }
    std::memcpy(buffer, m_window.data() + (position - m_windowStart), count);
    m_lastStart = position;
    m_lastEnd = position + count;
    return true;
}

void CPageSource::Close()
{
    m_prefetch.Drop();
    m_window.clear();
    m_windowStart = 0;
    m_lastStart = UINT64_MAX;
    m_lastEnd = UINT64_MAX;
    m_file.Close();
    m_log.Close();
    m_fileSize = 0;
    m_overlay = false;
    m_logFound = false;
    m_wal = CWalLog();
    m_frameOffsets.Clear();
    m_overlayPageCount = 0;
    m_journalApplied = false;
    m_journalFile.Close();
    m_journal = CRollbackJournal();
    m_journalPages.Clear();
    m_journalPageCount = 0;
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
    if (m_journalApplied)
        return m_journalPageCount;
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
    m_lastStart = position;
    m_lastEnd = position + count;
    return ReadFileDirect(buffer, count, position);
}

bool CPageSource::ReadFileDirect(void* buffer, std::uint32_t count, std::uint64_t position) const
{
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
    if (!m_overlay && !m_journalApplied)
        return ReadFileAt(buffer, count, PagePosition(pageNumber, m_pageSize));
    if (!HasPage(pageNumber))
        return false;
    if (const std::uint64_t frame = m_frameOffsets.Find(pageNumber); frame != 0)
        return m_log.ReadAt(buffer, count, frame) == static_cast<std::int64_t>(count);
    if (const std::uint64_t image = m_journalPages.Find(pageNumber); image != 0)
        return ReadJournalAt(buffer, count, image);
    // A page neither the log nor the journal holds is the main file's; a
    // page the commit's or the journal's larger page count reaches past the
    // file's end has never been written.
    if (!ReadFileAt(buffer, count, PagePosition(pageNumber, m_pageSize)))
        std::memset(buffer, 0, count);
    return true;
}

bool CPageSource::ReadPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer)
{
    buffer.resize(m_pageSize);
    return ReadPage(pageNumber, buffer.data(), m_pageSize);
}

bool CPageSource::ReadPageAside(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer) const
{
    buffer.resize(m_pageSize);
    if (m_pageSize == 0 || ((m_overlay || m_journalApplied) && !HasPage(pageNumber)))
        return false;
    const std::uint64_t position = PagePosition(pageNumber, m_pageSize);
    if (!m_overlay && !m_journalApplied)
        return position < m_fileSize && ReadFileDirect(buffer.data(), m_pageSize, position);
    if (const std::uint64_t frame = m_frameOffsets.Find(pageNumber); frame != 0)
        return ReadLogAt(buffer.data(), m_pageSize, frame);
    if (const std::uint64_t image = m_journalPages.Find(pageNumber); image != 0)
        return ReadJournalAt(buffer.data(), m_pageSize, image);
    // As in ReadPage: past the file's end the page has never been written.
    if (position >= m_fileSize || !ReadFileDirect(buffer.data(), m_pageSize, position))
        std::memset(buffer.data(), 0, m_pageSize);
    return true;
}

bool CPageSource::ReadHeader(void* buffer, std::uint32_t count)
{
    if ((m_overlay || m_journalApplied) && m_pageSize != 0 && count <= m_pageSize &&
        (m_frameOffsets.Find(1) != 0 || m_journalPages.Find(1) != 0))
        return ReadPage(1, buffer, count);
    return ReadFileAt(buffer, count, 0);
}

bool CPageSource::ReadLogAt(void* buffer, std::uint32_t count, std::uint64_t position) const
{
    return m_log.ReadAt(buffer, count, position) == static_cast<std::int64_t>(count);
}

bool CPageSource::ReadJournalAt(void* buffer, std::uint32_t count, std::uint64_t position) const
{
    return m_journalFile.ReadAt(buffer, count, position) == static_cast<std::int64_t>(count);
}

std::uint32_t CPageSource::FileHeaderPageSize()
{
    std::uint8_t header[18];
    if (m_fileSize < 100 || !ReadFileAt(header, sizeof header, 0) ||
        std::memcmp(header, "SQLite format 3", 16) != 0)
        return 0;
    const std::uint32_t pageSize = *Get16(header, sizeof header, 16);
    return pageSize == 1 ? 65536 : pageSize;
}

void CPageSource::AttachJournal(const std::string& dbPath, bool apply, HWND logWnd)
{
    const std::string journalName = dbPath + "-journal";
    const std::u16string journalPath = Widen(journalName);  // as shown in the log
    if (!m_journalFile.Open(journalName) || m_journalFile.Size() <= 0) {
        m_journalFile.Close();
        return;
    }
    const std::uint32_t filePageSize = FileHeaderPageSize();
    if (!apply) {
        if (m_journal.Read(m_journalFile, filePageSize, nullptr))
            PostLog(logWnd, u"warning",
                    WideFormat(m_journal.IsHot()
                                   ? u"%s is a hot rollback journal of %u page records that is not "
                                     u"rolled back (the database is shown as the interrupted "
                                     u"transaction left it)"
                                   : u"%s holds %u old page images of a committed transaction that "
                                     u"are not read",
                               {journalPath, static_cast<unsigned>(m_journal.Records().size())}),
                    kLogWarning);
        m_journal = CRollbackJournal();
        m_journalFile.Close();
        return;
    }
    // A journal that is not hot stays open for its old page images.
    if (!m_journal.Read(m_journalFile, filePageSize, logWnd) || !m_journal.IsHot())
        return;
    if (filePageSize != 0 && filePageSize != m_journal.PageSize()) {
        PostLog(logWnd, u"error",
                WideFormat(u"%s: page size %u differs from the database's %u; nothing is rolled back",
                           {journalPath, m_journal.PageSize(), filePageSize}),
                kLogError);
        return;
    }
    m_pageSize = m_journal.PageSize();
    m_journalPages = m_journal.RollbackPages();
    // The rollback cuts the file to the page count before the transaction;
    // pages past the file that the journal does not hold read as zeros, and
    // no more of them are taken than the journal holds records, so that a
    // damaged count cannot size every walk by four billion pages.
    const std::uint64_t filePages = (m_fileSize + m_pageSize - 1) / m_pageSize;
    const std::uint64_t held = filePages + m_journal.Records().size();
    m_journalPageCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_journal.InitialPages(), held));
    if (m_journalPageCount < m_journal.InitialPages())
        PostLog(logWnd, u"warning",
                WideFormat(u"%s: the database before the transaction claims %u pages, the file "
                           u"and the journal hold %u",
                           {journalPath, m_journal.InitialPages(), m_journalPageCount}),
                kLogWarning);
    PostLog(logWnd, u"journal",
            WideFormat(u"%s rolled back over the file: %u pages from the journal, the database "
                       u"holds %u pages",
                       {journalPath, static_cast<unsigned>(m_journalPages.Size()), m_journalPageCount}),
            kLogInfo);
    m_journalApplied = true;
}

void CPageSource::AttachLog(const std::string& dbPath, bool apply, HWND logWnd)
{
    const std::string logName = dbPath + "-wal";
    const std::u16string logPath = Widen(logName);  // as shown in the log
    if (!m_log.Open(logName) || m_log.Size() <= 0) {
        m_log.Close();
        return;
    }
    m_logFound = true;
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
    if (const std::uint32_t filePageSize = FileHeaderPageSize();
        filePageSize != 0 && filePageSize != m_wal.PageSize()) {
        PostLog(logWnd, u"error",
                WideFormat(u"%s: page size %u differs from the database's %u; the log is "
                           u"not applied",
                           {logPath, m_wal.PageSize(), filePageSize}),
                kLogError);
        return;
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
