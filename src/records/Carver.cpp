// Signatures tested at the start of every 512-byte sector.
//
// JPEG (all three must hold; bytes 4-5, the APPn segment length, vary):
//   offset  size  value
//   0       3     FF D8 FF            start of image, then a marker's FF
//   3       1     E0 E1 E2 E8 EB EE FE DB C4   the first segment's marker
//   6       4     "JFIF" or "Exif"    the APP0/APP1 identifier
//   10      1     00                  its terminating zero
//
// ISO base media file type box (box size at 0-3 and minor version at 12-15
// vary):
//   offset  size  value
//   4       4     "ftyp"              box type
//   8       4     major brand         "mp42", "isom" or "qt  "
//   16      4     first compatible brand
//   major "mp42" + compatible "mp42"          -> "mp4"
//   major "isom" + compatible "isom"          -> "mp4"
//   major "qt  " + compatible "mp42" or "qt  " -> "mov"
//
// Every field is compared as one native 32-bit word loaded with memcpy
// against a constant laid out in the same byte order, so a sector that
// carries no signature costs one load and one or two comparisons.
#include "Carver.h"

#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SourceFile.h"
#include "platform/WideFormat.h"

namespace {

// The 32-bit word whose bytes, in memory order, are b0 b1 b2 b3.
constexpr std::uint32_t WordOfBytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                    std::uint8_t b3)
{
    if constexpr (std::endian::native == std::endian::little)
        return std::uint32_t{b0} | std::uint32_t{b1} << 8 | std::uint32_t{b2} << 16 |
               std::uint32_t{b3} << 24;
    else
        return std::uint32_t{b0} << 24 | std::uint32_t{b1} << 16 | std::uint32_t{b2} << 8 |
               std::uint32_t{b3};
}

constexpr std::uint32_t FourCC(const char (&text)[5])
{
    return WordOfBytes(static_cast<std::uint8_t>(text[0]), static_cast<std::uint8_t>(text[1]),
                       static_cast<std::uint8_t>(text[2]), static_cast<std::uint8_t>(text[3]));
}

// The caller guarantees four readable bytes: only whole sectors are tested.
inline std::uint32_t LoadWord(const std::uint8_t* bytes)
{
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

constexpr std::uint32_t kStartOfImageMask = WordOfBytes(0xFF, 0xFF, 0xFF, 0x00);
constexpr std::uint32_t kStartOfImage = WordOfBytes(0xFF, 0xD8, 0xFF, 0x00);
constexpr std::uint32_t kJfif = FourCC("JFIF");
constexpr std::uint32_t kExif = FourCC("Exif");

constexpr std::uint32_t kFtyp = FourCC("ftyp");
constexpr std::uint32_t kBrandMp42 = FourCC("mp42");
constexpr std::uint32_t kBrandIsom = FourCC("isom");
constexpr std::uint32_t kBrandQt = FourCC("qt  ");

bool IsFirstSegmentMarker(std::uint8_t marker)
{
    switch (marker) {
    case 0xE0: case 0xE1: case 0xE2: case 0xE8: case 0xEB:
    case 0xEE: case 0xFE: case 0xDB: case 0xC4:
        return true;
    default:
        return false;
    }
}

// The type text of a JPEG starting at `sector`, or null.
const char16_t* MatchJpeg(const std::uint8_t* sector)
{
    if ((LoadWord(sector) & kStartOfImageMask) != kStartOfImage)
        return nullptr;
    if (!IsFirstSegmentMarker(sector[3]))
        return nullptr;
    const std::uint32_t identifier = LoadWord(sector + 6);
    if (identifier != kJfif && identifier != kExif)
        return nullptr;
    return sector[10] == 0 ? u"jpg" : nullptr;
}

// The type text of a movie whose file type box starts at `sector`, or null.
const char16_t* MatchMovie(const std::uint8_t* sector)
{
    if (LoadWord(sector + 4) != kFtyp)
        return nullptr;
    const std::uint32_t major = LoadWord(sector + 8);
    const std::uint32_t compatible = LoadWord(sector + 16);
    if (major == kBrandMp42)
        return compatible == kBrandMp42 ? u"mp4" : nullptr;
    if (major == kBrandIsom)
        return compatible == kBrandIsom ? u"mp4" : nullptr;
    if (major == kBrandQt)
        return compatible == kBrandQt || compatible == kBrandMp42 ? u"mov" : nullptr;
    return nullptr;
}

std::uint32_t SaturateTo32(std::uint64_t value)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value < kMax ? value : kMax);
}

// One scan of one file. Match is the sector test, inlined into the
// sector loop.
template <const char16_t* (*Match)(const std::uint8_t*)>
class SectorScan {
public:
    SectorScan(CSqliteParser& parser, const std::u16string& path) : m_parser(parser), m_path(path)
    {
    }

    void Run()
    {
        if (!m_file.Open(m_path)) {
            PostOpenError(m_parser.m_hLogWnd, u"error", m_path, kLogError);
            return;
        }
        const std::int64_t length = m_file.Size();
        if (length < 0) {
            PostOpenError(m_parser.m_hLogWnd, u"error", m_path, kLogError);
            return;
        }
        const std::uint64_t chunks = static_cast<std::uint64_t>(length) >> 20;
        const std::uint32_t tail = static_cast<std::uint32_t>(length & (kCarveChunkSize - 1));

        std::uint32_t range = SaturateTo32(chunks);
        SendMessageW(m_parser.m_hProgressWnd, WM_SCAN_RANGE, reinterpret_cast<WPARAM>(&range), 0);
        // Not zero-filled: only bytes the read delivered are ever tested.
        m_buffer.reset(new std::uint8_t[kCarveChunkSize]);

        for (std::uint64_t i = 0; i < chunks; ++i) {
            std::uint32_t index = SaturateTo32(i);
            SendMessageW(m_parser.m_hProgressWnd, WM_SCAN_POS, reinterpret_cast<WPARAM>(&index), 0);
            if (!ReadAndTest(i * kCarveChunkSize, kCarveChunkSize))
                return;
            if (g_bStop.load(std::memory_order_relaxed) != 0)
                return;
        }
        if (tail != 0 && g_bStop.load(std::memory_order_relaxed) == 0)
            ReadAndTest(chunks * kCarveChunkSize, tail);
    }

private:
    // Reads `count` bytes at `position` and tests their whole sectors.
    // Returns false when the read failed or fell short: the file changed or
    // the device failed under the scan, and nothing after that point can be
    // trusted, so the scan ends there. The sectors a short read did deliver
    // are still tested, since they are what the file held.
    bool ReadAndTest(std::uint64_t position, std::uint32_t count)
    {
        const std::int64_t got = m_file.ReadAt(m_buffer.get(), count, position);
        if (got < 0) {
            PostReadError(m_parser.m_hLogWnd, u"error", m_path, kLogError,
                          static_cast<std::int64_t>(position));
            return false;
        }
        TestSectors(position, static_cast<std::uint32_t>(got) / kCarveSectorSize);
        if (static_cast<std::uint64_t>(got) < count) {
            PostLog(m_parser.m_hLogWnd, u"error",
                    WideFormat(u"读取设备%s,位置%I64d失败:应读%u字节,只读到%I64d字节,文件在扫描中变短",
                               {m_path, static_cast<std::int64_t>(position), count, got}),
                    kLogError);
            return false;
        }
        return true;
    }

    void TestSectors(std::uint64_t position, std::uint32_t sectors)
    {
        const std::uint8_t* data = m_buffer.get();
        for (std::uint32_t k = 0; k < sectors; ++k) {
            const char16_t* type = Match(data + std::size_t{k} * kCarveSectorSize);
            if (type == nullptr)
                continue;
            m_result.type = type;
            m_result.offset = static_cast<std::int64_t>(position + std::uint64_t{k} * kCarveSectorSize);
            SendMessageW(m_parser.m_hResultWnd, WM_SCAN_RESULT, reinterpret_cast<WPARAM>(&m_result), 0);
        }
    }

    CSqliteParser& m_parser;
    const std::u16string& m_path;
    CSourceFile m_file;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    // One record for the whole scan, overwritten for each hit; the receiver
    // copies what it keeps.
    ScanResult m_result;
};

}  // namespace

void CarveJpeg(CSqliteParser& parser, const std::u16string& path)
{
    SectorScan<MatchJpeg>(parser, path).Run();
}

void CarveMovie(const std::u16string& path, CSqliteParser& parser)
{
    SectorScan<MatchMovie>(parser, path).Run();
}
