#include "RollbackJournal.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteReader.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/WideFormat.h"

namespace {

constexpr std::uint8_t kMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
// The fields of a header that a commit in PERSIST mode zeroes.
constexpr std::uint32_t kHeaderFields = 28;
constexpr std::uint32_t kMaxSectorSize = 65536;

bool IsPowerOfTwoIn(std::uint32_t value, std::uint32_t low, std::uint32_t high)
{
    return value >= low && value <= high && (value & (value - 1)) == 0;
}

void PostJournal(HWND logWnd, std::uint8_t type, const std::u16string& text)
{
    PostLog(logWnd, type == kLogInfo ? u"journal" : (type == kLogWarning ? u"warning" : u"error"),
            text, type);
}

}  // namespace

bool CRollbackJournal::ReadRecord(const CSourceFile& file, std::uint64_t offset,
                                  std::uint32_t& pageNumber, std::uint32_t& checksum)
{
    const std::uint32_t recordSize = m_pageSize + 8;
    if (!FitsIn(m_size, offset, recordSize))
        return false;
    m_image.resize(recordSize);
    if (file.ReadAt(m_image.data(), recordSize, offset) != static_cast<std::int64_t>(recordSize))
        return false;
    pageNumber = *Get32(m_image.data(), recordSize, 0);
    checksum = *Get32(m_image.data(), recordSize, 4 + m_pageSize);
    return true;
}

std::uint32_t CRollbackJournal::Checksum(std::uint32_t nonce) const
{
    // Byte 0 of the image is not summed; the sum wraps at 32 bits.
    std::uint32_t sum = nonce;
    for (std::int64_t i = std::int64_t(m_pageSize) - 200; i > 0; i -= 200)
        sum += m_image[4 + static_cast<std::size_t>(i)];
    return sum;
}

bool CRollbackJournal::HeaderAt(const CSourceFile& file, std::uint64_t offset) const
{
    std::uint8_t magic[sizeof kMagic];
    return FitsIn(m_size, offset, m_sectorSize) &&
           file.ReadAt(magic, sizeof magic, offset) == static_cast<std::int64_t>(sizeof magic) &&
           std::memcmp(magic + 1, kMagic + 1, sizeof kMagic - 1) == 0 && (magic[0] == kMagic[0] || magic[0] == 0);
}

bool CRollbackJournal::ReadSegment(const CSourceFile& file, std::uint64_t& header, bool stale, HWND logWnd)
{
    std::uint8_t fields[kHeaderFields];
    if (!FitsIn(m_size, header, m_sectorSize) ||
        file.ReadAt(fields, sizeof fields, header) != static_cast<std::int64_t>(sizeof fields) ||
        std::memcmp(fields + 1, kMagic + 1, sizeof kMagic - 1) != 0 || fields[0] != (stale ? fields[0] : kMagic[0]))
        return false;
    const std::uint32_t nonce = *Get32(fields, sizeof fields, 12);
    const std::uint64_t recordSize = m_pageSize + 8;
    std::uint64_t offset = header + m_sectorSize;
    // A journal written without sync says "to the end of the file".
    std::uint64_t count = *Get32(fields, sizeof fields, 8);
    if (count == 0xffffffff)
        count = (m_size - offset) / recordSize;
    for (std::uint64_t k = 0; k < count; ++k, offset += recordSize) {
        std::uint32_t pageNumber = 0;
        std::uint32_t checksum = 0;
        if (!ReadRecord(file, offset, pageNumber, checksum)) {
            m_ended = true;  // cut short: the rollback ends with the file
            return false;
        }
        const bool rolledBack = !stale && pageNumber <= m_initialPages;
        if (pageNumber == 0 || pageNumber == PendingBytePage() ||
            ((rolledBack || stale) && Checksum(nonce) != checksum)) {
            if (!stale)
                PostJournal(logWnd, pageNumber == 0 || pageNumber == PendingBytePage() ? kLogInfo : kLogWarning,
                            WideFormat(u"rollback journal: the record for page %u at offset %I64u %s; "
                                       u"the rollback ends before it",
                                       {pageNumber, offset,
                                        rolledBack ? u"fails its checksum" : u"cannot be a page record"}));
            m_ended = !stale;
            break;
        }
        m_records.push_back({pageNumber, offset + 4, rolledBack, nonce});
    }
    // The next header starts on the next sector boundary.
    header = (offset + m_sectorSize - 1) / m_sectorSize * m_sectorSize;
    return !m_ended;
}

void CRollbackJournal::ReadZeroedJournal(const CSourceFile& file, HWND logWnd)
{
    // The sector size went with the header, but the rest of the header's
    // sector is zeros and the first record's page number is not: the first
    // non-zero byte lies in that page number, at a power of two from 512 on.
    std::vector<std::uint8_t> head(std::min<std::uint64_t>(m_size, kMaxSectorSize + 4));
    const std::int64_t got = file.ReadAt(head.data(), head.size(), 0);
    const auto first = std::find_if(head.begin(), head.begin() + std::max<std::int64_t>(got, 0),
                                    [](std::uint8_t b) { return b != 0; });
    const std::uint32_t start = static_cast<std::uint32_t>(first - head.begin()) & ~3u;
    if (!IsPowerOfTwoIn(start, 512, kMaxSectorSize)) {
        PostJournal(logWnd, kLogInfo, u"rollback journal: zeroed header and no page record after it");
        return;
    }
    m_sectorSize = start;
    // Every transaction wrote its first segment's records from here on, one
    // after the other: the committed one's, then what is left of longer
    // earlier ones. Their nonces are lost, but the records of one segment
    // were all summed from the same one, and a place that holds no record
    // (a later segment's bytes, seen off their own grid) agrees with
    // neither neighbour.
    struct Slot {
        std::uint32_t pageNumber = 0;
        std::uint32_t nonce = 0;
        bool sound = false;
    };
    std::vector<Slot> slots;
    const std::uint64_t recordSize = m_pageSize + 8;
    for (std::uint64_t offset = start; FitsIn(m_size, offset, recordSize) && !g_bStop.load(); offset += recordSize) {
        Slot slot;
        std::uint32_t checksum = 0;
        if (!HeaderAt(file, offset) && ReadRecord(file, offset, slot.pageNumber, checksum)) {
            slot.nonce = checksum - Checksum(0);
            slot.sound = slot.pageNumber != 0 && slot.pageNumber != PendingBytePage();
        }
        slots.push_back(slot);
    }
    const auto agree = [&](std::size_t a, std::size_t b) {
        return b < slots.size() && slots[b].sound && slots[b].nonce == slots[a].nonce;
    };
    for (std::size_t k = 0; k < slots.size(); ++k)
        if (slots[k].sound && (k == 0 || agree(k, k - 1) || agree(k, k + 1)))
            m_records.push_back({slots[k].pageNumber, start + k * recordSize + 4, false, slots[k].nonce});
    // Then the later segments of earlier transactions: each header still
    // says how many records follow it and their nonce.
    for (std::uint64_t offset = start; offset < m_size && !g_bStop.load();) {
        if (!HeaderAt(file, offset) || !ReadSegment(file, offset, true, logWnd))
            offset += start;
    }
    PostJournal(logWnd, kLogInfo,
                WideFormat(u"rollback journal: zeroed header (a committed transaction); %u old "
                           u"page images from offset %u",
                           {static_cast<unsigned>(m_records.size()), start}));
}

bool CRollbackJournal::Read(const CSourceFile& file, std::uint32_t databasePageSize, HWND logWnd)
{
    *this = CRollbackJournal();
    const std::int64_t size = file.Size();
    std::uint8_t fields[kHeaderFields];
    if (size < kHeaderFields || file.ReadAt(fields, sizeof fields, 0) != kHeaderFields) {
        PostJournal(logWnd, kLogWarning, u"rollback journal: shorter than its header, ignored");
        return false;
    }
    m_size = static_cast<std::uint64_t>(size);
    if (std::all_of(fields, fields + kHeaderFields, [](std::uint8_t b) { return b == 0; })) {
        if (databasePageSize == 0)
            return false;
        m_pageSize = databasePageSize;
        ReadZeroedJournal(file, logWnd);
        return !m_records.empty();
    }
    if (std::memcmp(fields, kMagic, sizeof kMagic) != 0) {
        PostJournal(logWnd, kLogWarning, u"rollback journal: no journal header (bad magic number), ignored");
        return false;
    }
    m_initialPages = *Get32(fields, sizeof fields, 16);
    m_sectorSize = *Get32(fields, sizeof fields, 20);
    m_pageSize = *Get32(fields, sizeof fields, 24);
    if (m_pageSize == 0)
        m_pageSize = databasePageSize;
    if (!IsPowerOfTwoIn(m_pageSize, 512, 65536) || !IsPowerOfTwoIn(m_sectorSize, 32, kMaxSectorSize)) {
        PostJournal(logWnd, kLogWarning,
                    WideFormat(u"rollback journal: page size %u or sector size %u is not valid; "
                               u"nothing is rolled back",
                               {m_pageSize, m_sectorSize}));
        return false;
    }
    m_hot = true;
    // Every segment moves on by at least one sector, so this ends with the
    // file whatever counts the headers claim.
    for (std::uint64_t header = 0; !m_ended && ReadSegment(file, header, false, logWnd);) {
    }
    const auto rolledBack = std::count_if(m_records.begin(), m_records.end(),
                                          [](const Record& r) { return r.rolledBack; });
    PostJournal(logWnd, kLogInfo,
                WideFormat(u"rollback journal: %u page records, %u rolled back; the database "
                           u"before the transaction held %u pages",
                           {static_cast<unsigned>(m_records.size()), static_cast<unsigned>(rolledBack),
                            m_initialPages}));
    return true;
}

CPageOffsets CRollbackJournal::RollbackPages() const
{
    CPageOffsets pages;
    for (const Record& record : m_records)
        if (record.rolledBack)
            pages.Add(record.pageNumber, record.imageOffset);
    pages.Finish();
    return pages;
}
