#include "GifParser.h"

#include <cstring>

#include "engine/ByteReader.h"

// GIF layout, offsets from the start of the file or block:
//
// Header (13 bytes, then the global colour table)
//   0  6  signature "GIF87a" or "GIF89a"
//   6  2  logical screen width, little-endian
//   8  2  logical screen height
//  10  1  packed: bit 7 global table present, bits 0-2 table size n
//         (3 x 2^(n+1) bytes)
//  11  1  background colour index
//  12  1  pixel aspect ratio
//
// Blocks
//   21 FF  application extension: 14 bytes, then sub-blocks
//   21 FE  comment extension: 2 bytes, then sub-blocks
//   21 F9  graphic control extension: 8 bytes
//            +3 packed (disposal in bits 2-4), +4 delay (2, hundredths)
//   21 01  plain text extension: 15 bytes, then sub-blocks
//   2C     image descriptor: 11 bytes (with the LZW code size), local
//          colour table, then sub-blocks
//            +1 left, +3 top, +5 width, +7 height (2 each), +9 packed
//   3B     trailer: 1 byte
//
// Sub-blocks: a length byte and that many bytes, repeated; a zero length
// byte ends the run.
namespace {

constexpr std::size_t kLogicalScreenSize = 13;
constexpr std::size_t kApplicationHeader = 14;
constexpr std::size_t kCommentHeader = 2;
constexpr std::size_t kGraphicControlLength = 8;
constexpr std::size_t kPlainTextHeader = 15;
constexpr std::size_t kImageHeader = 11;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

std::size_t ColorTableSize(std::uint8_t packed)
{
    return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
}

}  // namespace

bool CGifParser::HasGifSignature(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < 6)
        return false;
    return std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0;
}

std::uint32_t CGifParser::FrameWaitMs(std::uint32_t delay)
{
    // Very short delays would make the animation spin; frames without a
    // graphic control extension would otherwise never advance.
    if (delay < 5 || delay == kNoDelay)
        return 100;
    if (delay > kNoDelay / 10)
        return kNoDelay / 10 * 10;
    return delay * 10;
}

bool CGifParser::Load(const std::uint8_t* data, std::size_t size)
{
    *this = CGifParser();
    if (!HasGifSignature(data, size) || size < kLogicalScreenSize)
        return false;
    m_data.assign(data, data + size);
    m_width = Get16(6);
    m_height = Get16(8);
    const std::uint8_t packed = m_data[10];
    const std::size_t tableSize = ColorTableSize(packed);
    if (!FitsIn(size, kLogicalScreenSize, tableSize)) {
        *this = CGifParser();
        return false;
    }
    m_globalColorTableSize = tableSize;
    const std::size_t entry = kLogicalScreenSize + 3u * m_data[11];
    if (tableSize != 0 && FitsIn(kLogicalScreenSize + tableSize, entry, 3))
        m_background = m_data[entry] | (m_data[entry + 1] << 8) | (m_data[entry + 2] << 16);
    return true;
}

std::uint16_t CGifParser::Get16(std::size_t offset) const
{
    if (!FitsIn(m_data.size(), offset, 2))
        return 0;
    return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
}

CGifParser::BlockKind CGifParser::KindAt(std::size_t offset) const
{
    const std::size_t size = m_data.size();
    if (offset >= size)
        return BlockKind::Unknown;
    switch (m_data[offset]) {
    case kImageSeparator:
        return BlockKind::ImageDescriptor;
    case kTrailer:
        return BlockKind::Trailer;
    case kExtensionIntroducer:
        if (offset + 1 >= size)
            return BlockKind::Unknown;
        switch (m_data[offset + 1]) {
        case 0xFF: return BlockKind::ApplicationExtension;
        case 0xFE: return BlockKind::CommentExtension;
        case 0xF9: return BlockKind::GraphicControlExtension;
        case 0x01: return BlockKind::PlainTextExtension;
        default: return BlockKind::Unknown;
        }
    default:
        return BlockKind::Unknown;
    }
}

std::size_t CGifParser::SubBlocksLength(std::size_t offset) const
{
    const std::size_t size = m_data.size();
    std::size_t length = 0;
    // Each step consumes at least one byte, so the loop ends by the data's end.
    while (FitsIn(size, offset, length + 1)) {
        const std::uint8_t count = m_data[offset + length];
        length += count + 1u;
        if (count == 0)
            return length;
    }
    return 0;
}

std::size_t CGifParser::BlockLength(std::size_t offset) const
{
    const std::size_t size = m_data.size();
    std::size_t header = 0;
    switch (KindAt(offset)) {
    case BlockKind::Trailer:
        header = 1;
        break;
    case BlockKind::GraphicControlExtension:
        header = kGraphicControlLength;
        break;
    case BlockKind::ApplicationExtension:
        header = kApplicationHeader;
        break;
    case BlockKind::CommentExtension:
        header = kCommentHeader;
        break;
    case BlockKind::PlainTextExtension:
        header = kPlainTextHeader;
        break;
    case BlockKind::ImageDescriptor:
        if (!FitsIn(size, offset, 10))
            return 0;
        header = kImageHeader + ColorTableSize(m_data[offset + 9]);
        break;
    case BlockKind::Unknown:
        return 0;
    }
    if (!FitsIn(size, offset, header))
        return 0;
    const BlockKind kind = KindAt(offset);
    if (kind == BlockKind::Trailer || kind == BlockKind::GraphicControlExtension)
        return header;
    const std::size_t data = SubBlocksLength(offset + header);
    if (data == 0)
        return 0;
    return header + data;  // both lie inside the data, so the sum cannot wrap
}

bool CGifParser::SkipGraphicBlock(std::size_t& offset) const
{
    return ExtractFrame(offset, nullptr);
}

// Walks from `offset` over any application and comment extensions to the
// next graphic block (an image or plain text, with the graphic control
// extension before it) and leaves `offset` after it. `frame` receives the
// geometry, timing and a standalone copy of the blocks from the graphic
// control extension (or the image when there is none) to the image's end;
// without `frame` the blocks are only skipped.
bool CGifParser::ExtractFrame(std::size_t& offset, GifFrame* frame) const
{
    if (m_data.empty())
        return false;
    std::size_t at = offset;
    BlockKind kind = KindAt(at);
    while (kind == BlockKind::ApplicationExtension || kind == BlockKind::CommentExtension) {
        const std::size_t length = BlockLength(at);
        if (length == 0)
            return false;
        at += length;
        kind = KindAt(at);
    }
    if (kind == BlockKind::Unknown || kind == BlockKind::Trailer)
        return false;

    const std::size_t start = at;
    GifFrame found;
    if (kind == BlockKind::GraphicControlExtension) {
        const std::size_t length = BlockLength(at);
        if (length == 0)
            return false;
        found.disposal = (m_data[at + 3] >> 2) & 7;
        found.delay = Get16(at + 4);
        at += length;
        for (kind = KindAt(at);
             kind != BlockKind::ImageDescriptor && kind != BlockKind::PlainTextExtension;
             kind = KindAt(at)) {
            if (kind == BlockKind::Unknown || kind == BlockKind::Trailer)
                return false;
            const std::size_t skipped = BlockLength(at);
            if (skipped == 0)
                return false;
            at += skipped;
        }
    }

    const std::size_t length = BlockLength(at);
    if (length == 0)
        return false;
    if (kind == BlockKind::ImageDescriptor) {
        found.left = Get16(at + 1);
        found.top = Get16(at + 3);
        found.width = Get16(at + 5);
        found.height = Get16(at + 7);
    }
    at += length;

    offset = at;
    if (frame == nullptr)
        return true;
    const auto begin = m_data.begin();
    found.gif.reserve(HeaderSize() + (at - start) + 1);
    found.gif.assign(begin, begin + static_cast<std::ptrdiff_t>(HeaderSize()));
    found.gif.insert(found.gif.end(), begin + static_cast<std::ptrdiff_t>(start),
                     begin + static_cast<std::ptrdiff_t>(at));
    found.gif.push_back(kTrailer);
    *frame = std::move(found);
    return true;
}

int CGifParser::CountGraphicBlocks() const
{
    if (m_data.empty())
        return 0;
    int count = 0;
    std::size_t offset = HeaderSize();
    // Every successful skip advances, so this ends by the data's end.
    while (SkipGraphicBlock(offset))
        ++count;
    return count;
}

std::vector<GifFrame> CGifParser::ExtractFrames() const
{
    std::vector<GifFrame> frames;
    if (m_data.empty())
        return frames;
    std::size_t offset = HeaderSize();
    GifFrame frame;
    while (ExtractFrame(offset, &frame))
        frames.push_back(std::move(frame));
    return frames;
}
