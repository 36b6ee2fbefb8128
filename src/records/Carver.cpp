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

#include "records/CarverSectorScan.h"

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

// Adapts a signature test that only names the type to the scan loop.
template <const char16_t* (*Match)(const std::uint8_t*)>
struct TypeMatcher {
    bool operator()(const std::uint8_t* sector, const CSectorScanContext&, std::uint64_t,
                    ScanResult& result) const
    {
        const char16_t* type = Match(sector);
        if (type == nullptr)
            return false;
        result.type = type;
        return true;
    }
};

}  // namespace

void CarveJpeg(CSqliteParser& parser, const std::u16string& path)
{
    CSectorScan<TypeMatcher<MatchJpeg>>(parser, path).Run();
}

void CarveMovie(const std::u16string& path, CSqliteParser& parser)
{
    CSectorScan<TypeMatcher<MatchMovie>>(parser, path).Run();
}
