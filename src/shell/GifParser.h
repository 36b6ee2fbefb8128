// The block structure of a GIF file: finds its frames and cuts each one out
// as a standalone one-image GIF for a picture decoder. Standard C++ only; any
// input bytes are safe (every read is bounds-checked, every failure is a
// plain "no more frames").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One image of an animated GIF.
struct GifFrame {
    // Signature, logical screen descriptor and global colour table of the
    // file, then the frame's blocks, then the trailer 0x3B.
    std::vector<std::uint8_t> gif;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Hundredths of a second; all ones (CGifParser::kNoDelay) when the
    // frame has no graphic control extension.
    std::uint32_t delay = 0xFFFFFFFF;
    // Disposal method (0 none, 1 leave, 2 restore background, 3 restore
    // previous); 0 without a graphic control extension.
    std::uint32_t disposal = 0;
};

class CGifParser {
public:
    static constexpr std::uint32_t kNoDelay = 0xFFFFFFFF;
    static constexpr std::uint32_t kDefaultBackground = 0xFFFFFF;  // COLORREF white

    enum class BlockKind {
        ApplicationExtension,
        CommentExtension,
        GraphicControlExtension,
        PlainTextExtension,
        ImageDescriptor,
        Trailer,
        Unknown,
    };

    // True when the data begins with "GIF87a" or "GIF89a".
    static bool HasGifSignature(const std::uint8_t* data, std::size_t size);
    // Milliseconds to show a frame: delay x 10, but 100 ms for delays below
    // 5 hundredths and for frames without a delay.
    static std::uint32_t FrameWaitMs(std::uint32_t delay);

    // Copies the data and reads the header. False when it is not a GIF or
    // the header or global colour table is cut short.
    bool Load(const std::uint8_t* data, std::size_t size);

    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    std::size_t GlobalColorTableSize() const { return m_globalColorTableSize; }
    // Background colour as a COLORREF (0x00BBGGRR), taken from the global
    // colour table; white when there is none.
    std::uint32_t BackgroundColor() const { return m_background; }

    // Number of graphic blocks (images and plain text extensions) that can
    // be skipped one after another from the first block on.
    int CountGraphicBlocks() const;
    // Every frame that can be cut out, in file order, up to the first block
    // that cannot be parsed.
    std::vector<GifFrame> ExtractFrames() const;

    // Exposed for tests: the kind and length of the block at `offset`;
    // length 0 means the block is unknown or runs past the data.
    BlockKind KindAt(std::size_t offset) const;
    std::size_t BlockLength(std::size_t offset) const;

private:
    std::size_t HeaderSize() const { return 13 + m_globalColorTableSize; }
    std::size_t SubBlocksLength(std::size_t offset) const;
    bool SkipGraphicBlock(std::size_t& offset) const;
    bool ExtractFrame(std::size_t& offset, GifFrame* frame) const;
    std::uint16_t Get16(std::size_t offset) const;

    std::vector<std::uint8_t> m_data;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::size_t m_globalColorTableSize = 0;
    std::uint32_t m_background = kDefaultBackground;
};
