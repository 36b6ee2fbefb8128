// The one way the engine reaches the bytes of a database page. Every page
// read maps a page number to its bytes here: from the main file at
// (n − 1) × page size, or, when a write-ahead log has been laid over the
// file, from the log frame that holds the page's committed version, or,
// when a hot rollback journal has been rolled back over it, from the
// journal record that holds the page's original image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RollbackJournal.h"
#include "engine/SourceFile.h"
#include "engine/WalLog.h"
#include "engine/WindowPrefetch.h"
#include "platform/WindowMessage.h"

class CPageSource {
public:
    // Opens the database file read-only. Any overlay of an earlier file is
    // dropped.
    // `path` is the file name's bytes, used exactly as given.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }
    // Size of the main file in bytes (0 when it cannot be taken).
    std::uint64_t FileSize() const { return m_fileSize; }

    // The page size every page read uses; set once the header is validated.
    void SetPageSize(std::uint32_t pageSize) { m_pageSize = pageSize; }
    std::uint32_t PageSize() const { return m_pageSize; }

    // Reads the write-ahead log beside the database at `dbPath` (its path
    // with "-wal" added), if there is a non-empty one. With `apply`, its
    // committed pages are laid over the file and the page size becomes the
    // log's; the log's own lines go to `logWnd`. Without, the log is only
    // counted and one warning line says how many committed frames are not
    // shown. The "-shm" file is never opened.
    void AttachLog(const std::string& dbPath, bool apply, HWND logWnd);
    // Reads the rollback journal beside the database at `dbPath` (its path
    // with "-journal" added), if there is a non-empty one. With `apply`, a
    // hot journal's original pages are laid over the file and the database
    // holds the pages it held before the interrupted transaction, as SQLite
    // shows it after rolling the journal back (the journal itself is never
    // written). Without, a hot journal only gets one warning line. Call
    // before AttachLog: a log, if applied, lies over the rolled-back file.
    void AttachJournal(const std::string& dbPath, bool apply, HWND logWnd);
    // True when a hot journal has been rolled back over the file.
    bool HasJournalOverlay() const { return m_journalApplied; }
    // The journal read by the last AttachJournal (no records when there was
    // none), and a read of its file.
    const CRollbackJournal& Journal() const { return m_journal; }
    bool ReadJournalAt(void* buffer, std::uint32_t count, std::uint64_t position) const;

    // Lays committed pages of the open log over the file: a page `frames`
    // holds is read from its offset in the log file, and the database holds
    // `pageCount` pages.
    void SetOverlay(CPageOffsets frames, std::uint32_t pageCount);
    bool HasOverlay() const { return m_overlay; }
    // True when the overlay reads page `pageNumber` from the log.
    bool InLog(std::uint32_t pageNumber) const
    {
        return m_overlay && m_frameOffsets.Find(pageNumber) != 0;
    }
    // The log read by the last AttachLog (no frames when there was none).
    const CWalLog& Log() const { return m_wal; }
    // True when the last AttachLog found a non-empty log file.
    bool LogFound() const { return m_logFound; }
    // Reads `count` bytes at `position` of the attached log file.
    bool ReadLogAt(void* buffer, std::uint32_t count, std::uint64_t position) const;

    // Number of pages the database holds: the overlay's count, or the pages
    // the main file begins (a last partial page counts).
    std::uint64_t PageCount() const;
    // True when page `pageNumber` (1-based) lies inside the database.
    bool HasPage(std::uint32_t pageNumber) const;

    // Reads the first `count` bytes (at most the page size) of page
    // `pageNumber`. Fails for page 0 and pages outside the database; a page
    // the file ends inside, or a page past the main file that only the
    // overlay's page count reaches, reads as zeros where the bytes are
    // missing.
    bool ReadPage(std::uint32_t pageNumber, void* buffer, std::uint32_t count);
    bool ReadPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer);
    // Reads page `pageNumber` as ReadPage does, but never through the
    // read-ahead window: it changes nothing, so other threads may call it
    // beside each other and beside the reads of the thread that owns the
    // source.
    bool ReadPageAside(std::uint32_t pageNumber, std::vector<std::uint8_t>& buffer) const;
    // Reads `count` bytes at `position` of the main file, past any overlay
    // or journal.
    // Fails at or past the end of the file; a short read is zero-filled.
    bool ReadFileAt(void* buffer, std::uint32_t count, std::uint64_t position);
    // Reads the start of the database header: page 1 as the overlay shows
    // it, or the main file's first bytes.
    bool ReadHeader(void* buffer, std::uint32_t count);

private:
    static std::uint64_t PagePosition(std::uint32_t pageNumber, std::uint32_t pageSize)
    {
        // Page numbers are 1-based; page 0 wraps to a position past any file.
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(pageNumber - 1)) * pageSize;
    }

    // The page size the main file's own header names, 0 when it has none.
    std::uint32_t FileHeaderPageSize();

    // Reads that continue where the previous one ended are served from a
    // window of the next kReadAheadBytes, read in one call: a table's
    // leaves mostly lie in order, and one large read costs far less than
    // many page-sized ones; the window after it is read on a worker thread
    // meanwhile. Reads that end where the previous one began are served
    // from a window of the kReadAheadBytes before, and the window before
    // that is read meanwhile. False when the read is not served that way.
    static constexpr std::uint32_t kReadAheadBytes = 256 * 1024;
    bool ReadAhead(void* buffer, std::uint32_t count, std::uint64_t position);
    // One read of the main file at `position`, zero-filled past its end.
    bool ReadFileDirect(void* buffer, std::uint32_t count, std::uint64_t position) const;

    CSourceFile m_file;
    std::uint64_t m_fileSize = 0;
    ReadBuffer m_window;
    std::uint64_t m_windowStart = 0;
    CWindowPrefetch m_prefetch;  // after m_file: stopped before it closes
    std::uint64_t m_lastStart = UINT64_MAX;
    std::uint64_t m_lastEnd = UINT64_MAX;
    std::uint32_t m_pageSize = 0;

    bool m_overlay = false;
    bool m_logFound = false;
    CSourceFile m_log;
    CWalLog m_wal;
    CPageOffsets m_frameOffsets;  // the pages the log holds
    std::uint32_t m_overlayPageCount = 0;

    bool m_journalApplied = false;
    CSourceFile m_journalFile;
    CRollbackJournal m_journal;
    CPageOffsets m_journalPages;  // the original images a rollback writes
    std::uint32_t m_journalPageCount = 0;
};
