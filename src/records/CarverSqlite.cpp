// Database header fields tested at a sector start (big-endian):
//   offset  size  value
//   0       16    "SQLite format 3\0"
//   16      2     page size: a power of two from 512 to 32768, or 1 for 65536
//   18      1     file format write version: 1 (legacy) or 2 (WAL)
//   19      1     file format read version: 1 or 2
//   20      1     reserved bytes at the end of every page
//   21      3     payload fractions: 64, 32, 32 (fixed by the format)
//   24      4     file change counter
//   28      4     database size in pages
//   32      4     first freelist trunk page
//   36      4     number of freelist pages
//   92      4     version-valid-for number
//
// The size at 28 is trusted only when it is not 0 and the version-valid-for
// number equals the change counter: writers older than SQLite 3.7.0 left it
// stale, and the format says to ignore it then. Such a database is measured
// by its structure instead (CSqliteExtent). Either way the reported size is
// cut to the bytes that lie in the source, with a warning when it is cut.
#include "CarverSqlite.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteReader.h"
#include "records/CarverSectorScan.h"
#include "records/SqliteExtent.h"

namespace {

constexpr char kHeaderString[] = "SQLite format 3";  // with its zero: 16 bytes
constexpr std::uint32_t kHeaderSize = 100;

std::uint64_t Load64(const std::uint8_t* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The length of the database whose header is at `position`, in bytes that
// lie in the file; warns when the file ends before the database does.
std::int64_t MeasureDatabase(const std::uint8_t* header, std::uint32_t pageSize,
                             const CSectorScanContext& scan, std::uint64_t position)
{
    const std::uint64_t present = scan.length - position;
    const std::uint32_t changeCounter = *Get32(header, kHeaderSize, 24);
    const std::uint32_t pageCount = *Get32(header, kHeaderSize, 28);
    const std::uint32_t validFor = *Get32(header, kHeaderSize, 92);

    std::uint64_t length = 0;
    if (pageCount != 0 && validFor == changeCounter) {
        length = std::uint64_t{pageCount} * pageSize;
    } else {
        CSqliteExtent extent(scan.file, scan.length, position, pageSize, pageSize - header[20]);
        extent.Walk(*Get32(header, kHeaderSize, 32), *Get32(header, kHeaderSize, 36));
        // Page 1 is part of the database even when it proves nothing more.
        length = std::uint64_t{std::max<std::uint32_t>(extent.LastPage(), 1)} * pageSize;
        if (extent.WalkCut())
            PostLog(scan.parser.m_hLogWnd, u"warning",
                    WideFormat(u"sqlite database at %I64d in %s: its structure was followed through %I64d pages only; its length may be larger",
                               {static_cast<std::int64_t>(position), scan.path,
                                static_cast<std::int64_t>(CSqliteExtent::kMaxWalkedPages)}),
                    kLogWarning);
        if (extent.PointsPastEnd()) {
            PostLog(scan.parser.m_hLogWnd, u"warning",
                    WideFormat(u"sqlite database at %I64d in %s is cut off by the end of the file: its pages go on past the %I64d bytes present",
                               {static_cast<std::int64_t>(position), scan.path,
                                static_cast<std::int64_t>(present)}),
                    kLogWarning);
            return static_cast<std::int64_t>(present);
        }
    }
    if (length <= present)
        return static_cast<std::int64_t>(length);
    PostLog(scan.parser.m_hLogWnd, u"warning",
            WideFormat(u"sqlite database at %I64d in %s is cut off by the end of the file: %I64d of %I64d bytes present",
                       {static_cast<std::int64_t>(position), scan.path,
                        static_cast<std::int64_t>(present), static_cast<std::int64_t>(length)}),
            kLogWarning);
    return static_cast<std::int64_t>(present);
}

struct SqliteMatcher {
    bool operator()(const std::uint8_t* sector, const CSectorScanContext& scan,
                    std::uint64_t position, ScanResult& result) const
    {
        // One 8-byte comparison rejects every other sector.
        if (Load64(sector) != Load64(reinterpret_cast<const std::uint8_t*>(kHeaderString)))
            return false;
        const std::uint32_t pageSize = MatchSqliteHeader(sector);
        if (pageSize == 0)
            return false;
        result.type = u"sqlite";
        result.pageSize = pageSize;
        result.size = MeasureDatabase(sector, pageSize, scan, position);
        return true;
    }
};

}  // namespace

std::uint32_t MatchSqliteHeader(const std::uint8_t* sector)
{
    if (std::memcmp(sector, kHeaderString, sizeof kHeaderString) != 0)
        return 0;
    const std::uint32_t raw = *Get16(sector, kHeaderSize, 16);
    const std::uint32_t pageSize = raw == 1 ? 65536 : raw;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return 0;
    const auto isVersion = [](std::uint8_t v) { return v == 1 || v == 2; };
    if (!isVersion(sector[18]) || !isVersion(sector[19]))
        return 0;
    if (sector[21] != 64 || sector[22] != 32 || sector[23] != 32)
        return 0;
    return pageSize;
}

void CarveSqlite(CSqliteParser& parser, const std::u16string& path)
{
    CSectorScan<SqliteMatcher>(parser, path).Run();
}
