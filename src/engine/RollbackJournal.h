// A rollback journal: the "-journal" file beside a database, read only.
//
// The journal holds the original images of the pages a transaction
// changes, in segments. Each segment opens with a header that fills one
// sector (big-endian):
//   offset size  meaning
//        0    8  magic d9 d5 05 f9 20 a1 63 d7
//        8    4  record count of this segment; 0xffffffff: every record
//                to the end of the file (a journal written without sync)
//       12    4  nonce: the initial value of every record's checksum
//       16    4  page count of the database before the transaction
//       20    4  sector size (header size; later headers start on a
//                multiple of it)
//       24    4  page size (0 in old journals: the database's)
// Page record: 4-byte page number, the page image, 4-byte checksum: the
// nonce plus every 200th byte of the image, from byte page size − 200 down
// to (not including) byte 0.
//
// A rollback writes each record's image back, segment after segment, and
// cuts the database to the first header's page count; it stops at a header
// without the magic, a record for page 0 or for the page of the pending
// byte, a checksum that fails, or the end of the file. A record for a page
// past that count is skipped. A journal whose header is zeroed (PERSIST
// mode after a commit, or a header never synced) rolls back nothing, but
// its records still hold old page images.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/PageOffsets.h"
#include "engine/SourceFile.h"
#include "platform/WindowMessage.h"

class CRollbackJournal {
public:
    struct Record {
        std::uint32_t pageNumber = 0;
        std::uint64_t imageOffset = 0;  // where its page image starts in the journal
        bool rolledBack = false;        // written back by a rollback
        // The checksums' initial value: the records of one segment (one
        // transaction's, in a journal of several) share it.
        std::uint32_t nonce = 0;
    };

    // Reads the journal in `file` (already open). `databasePageSize` is the
    // page size of the database beside it (0 when unknown): a zeroed header
    // keeps none. Every fault is a log line to `logWnd`. False when the file
    // holds neither a journal header nor a page record.
    bool Read(const CSourceFile& file, std::uint32_t databasePageSize, HWND logWnd);

    // True when the first header is sound: a rollback would play the
    // journal back (the journal is hot).
    bool IsHot() const { return m_hot; }
    std::uint32_t PageSize() const { return m_pageSize; }
    // Page count of the database before the transaction (hot journal).
    std::uint32_t InitialPages() const { return m_initialPages; }
    // Every page record read, in journal order.
    const std::vector<Record>& Records() const { return m_records; }
    // The image a rollback writes to each page: its last rolled-back record.
    CPageOffsets RollbackPages() const;

private:
    // One segment: its header at `header`, moved on to where the next one
    // would start; false when the journal ends there. A rollback stops at
    // the first record that fails; a segment left from an earlier
    // transaction (`stale`) is only read up to it.
    bool ReadSegment(const CSourceFile& file, std::uint64_t& header, bool stale, HWND logWnd);
    // True when a segment header starts at `offset`. Its first byte may have
    // been zeroed by a later transaction, so that no rollback reads it.
    bool HeaderAt(const CSourceFile& file, std::uint64_t offset) const;
    // The records of a zeroed header's journal, from the first sector that
    // holds one, then those of every older segment still in the file.
    void ReadZeroedJournal(const CSourceFile& file, HWND logWnd);
    // Reads the record at `offset` into m_image; false past the file's end.
    bool ReadRecord(const CSourceFile& file, std::uint64_t offset, std::uint32_t& pageNumber,
                    std::uint32_t& checksum);
    std::uint32_t Checksum(std::uint32_t nonce) const;
    std::uint32_t PendingBytePage() const { return 0x40000000u / m_pageSize + 1; }

    std::uint64_t m_size = 0;
    bool m_hot = false;
    bool m_ended = false;  // the rollback stopped: later segments are not read
    std::uint32_t m_pageSize = 0;
    std::uint32_t m_sectorSize = 0;
    std::uint32_t m_initialPages = 0;
    std::vector<std::uint8_t> m_image;
    std::vector<Record> m_records;
};
