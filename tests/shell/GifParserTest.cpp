// The GIF block walk: frames of the committed spinner and of built files,
// and damaged input of every kind ending the walk cleanly.
#include <QTest>
#include <cstring>
#include <iterator>
#include <memory>

#include "GifFixtures.h"
#include "GifParser.h"

namespace {

const std::string kSpinnerPath = SALVIX_SOURCE_DIR "/resources/spinner.gif";

// A 1 x 1 GIF without a global table whose image has a 2-entry local table.
Bytes LocalTableGif()
{
    return {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x00, 0, 0,
            // image descriptor: at 0,0, 1 x 1, local table of 2 entries
            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80,
            0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF,
            // LZW code size 2; one sub-block: clear, index 0, end
            0x02, 0x02, 0x44, 0x01, 0x00,
            0x3B};
}

}  // namespace

class GifParserTest : public QObject {
    Q_OBJECT
private slots:
    void spinnerHasHundredAndOneFrames();
    void spinnerFramesAreStandaloneGifs();
    void oneFrameGif();
    void frameWithoutControlExtension();
    void extensionsBetweenControlAndImageStayInTheFrame();
    void localColourTableIsPartOfTheImageBlock();
    void signatureMustBeExact();
    void headerAndColourTableMustFit();
    void backgroundIndexOutsideTheTableKeepsWhite();
    void unknownBlockEndsTheWalk();
    void everyTruncationEndsCleanly();
    void garbageNeverReadsOutside();
    void frameWaits();
};

void GifParserTest::spinnerHasHundredAndOneFrames()
{
    const Bytes file = ReadFileBytes(kSpinnerPath);
    QVERIFY(!file.empty());
    CGifParser parser;
    QVERIFY(parser.Load(file.data(), file.size()));
    QCOMPARE(parser.Width(), 30u);
    QCOMPARE(parser.Height(), 30u);
    QCOMPARE(parser.GlobalColorTableSize(), std::size_t{768});
    QCOMPARE(parser.BackgroundColor(), 0xE1E1E1u);
    QCOMPARE(parser.CountGraphicBlocks(), 101);
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    QCOMPARE(frames.size(), std::size_t{101});
    for (const GifFrame& frame : frames) {
        QCOMPARE(frame.delay, 3u);
        QCOMPARE(frame.disposal, 1u);
        QCOMPARE(frame.left, 0u);
        QCOMPARE(frame.top, 0u);
        QCOMPARE(frame.width, 30u);
        QCOMPARE(frame.height, 30u);
    }
}

void GifParserTest::spinnerFramesAreStandaloneGifs()
{
    const Bytes file = ReadFileBytes(kSpinnerPath);
    CGifParser parser;
    QVERIFY(parser.Load(file.data(), file.size()));
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    QVERIFY(!frames.empty());
    const std::size_t header = 13 + 768;
    std::size_t blockBytes = 0;
    for (const GifFrame& frame : frames) {
        QVERIFY(frame.gif.size() > header + 1);
        QVERIFY(std::memcmp(frame.gif.data(), file.data(), header) == 0);
        // Starts with the frame's graphic control extension; the looping
        // application extension before the first frame is left out.
        QCOMPARE(frame.gif[header], std::uint8_t{0x21});
        QCOMPARE(frame.gif[header + 1], std::uint8_t{0xF9});
        QCOMPARE(frame.gif.back(), std::uint8_t{0x3B});
        blockBytes += frame.gif.size() - header - 1;
    }
    // Header, loop extension (19 bytes), every frame's blocks, trailer.
    QCOMPARE(header + 19 + blockBytes + 1, file.size());
}

void GifParserTest::oneFrameGif()
{
    FixtureFrame only;
    only.left = 1;
    only.top = 2;
    only.width = 3;
    only.height = 2;
    only.delay = 12;
    only.disposal = 2;
    const Bytes gif = BuildGif(8, 6, {only});
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.CountGraphicBlocks(), 1);
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    QCOMPARE(frames.size(), std::size_t{1});
    QCOMPARE(frames[0].left, 1u);
    QCOMPARE(frames[0].top, 2u);
    QCOMPARE(frames[0].width, 3u);
    QCOMPARE(frames[0].height, 2u);
    QCOMPARE(frames[0].delay, 12u);
    QCOMPARE(frames[0].disposal, 2u);
    // A single frame cut out is the whole file.
    QCOMPARE(frames[0].gif, gif);
}

void GifParserTest::frameWithoutControlExtension()
{
    FixtureFrame plain;
    plain.withControl = false;
    const Bytes gif = BuildGif(2, 2, {plain, plain}, true);
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    QCOMPARE(frames.size(), std::size_t{2});
    QCOMPARE(frames[0].delay, CGifParser::kNoDelay);
    QCOMPARE(frames[0].disposal, 0u);
    QCOMPARE(frames[0].gif[25], std::uint8_t{0x2C});  // 13 + 12 table bytes
}

void GifParserTest::extensionsBetweenControlAndImageStayInTheFrame()
{
    Bytes gif = BuildGif(1, 1, {FixtureFrame{}});
    // Insert a comment extension ("hi") between the control extension
    // (8 bytes at 25) and the image descriptor.
    const Bytes comment = {0x21, 0xFE, 0x02, 'h', 'i', 0x00};
    gif.insert(gif.begin() + 33, comment.begin(), comment.end());
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    QCOMPARE(frames.size(), std::size_t{1});
    QCOMPARE(frames[0].gif, gif);
    QCOMPARE(parser.KindAt(33), CGifParser::BlockKind::CommentExtension);
    QCOMPARE(parser.BlockLength(33), std::size_t{6});
}

void GifParserTest::localColourTableIsPartOfTheImageBlock()
{
    const Bytes gif = LocalTableGif();
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.GlobalColorTableSize(), std::size_t{0});
    QCOMPARE(parser.BackgroundColor(), CGifParser::kDefaultBackground);
    QCOMPARE(parser.KindAt(13), CGifParser::BlockKind::ImageDescriptor);
    QCOMPARE(parser.BlockLength(13), std::size_t{11 + 6 + 4});
    QCOMPARE(parser.CountGraphicBlocks(), 1);
}

void GifParserTest::signatureMustBeExact()
{
    Bytes gif = BuildGif(1, 1, {FixtureFrame{}});
    QVERIFY(CGifParser::HasGifSignature(gif.data(), gif.size()));
    gif[4] = '7';
    QVERIFY(CGifParser::HasGifSignature(gif.data(), gif.size()));
    gif[5] = 'b';  // "GIF87b"
    CGifParser parser;
    QVERIFY(!CGifParser::HasGifSignature(gif.data(), gif.size()));
    QVERIFY(!parser.Load(gif.data(), gif.size()));
    gif[4] = '9';  // "GIF89b"
    QVERIFY(!parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.CountGraphicBlocks(), 0);
    QVERIFY(parser.ExtractFrames().empty());
    QVERIFY(!CGifParser::HasGifSignature(nullptr, 0));
}

void GifParserTest::headerAndColourTableMustFit()
{
    const Bytes gif = BuildGif(1, 1, {FixtureFrame{}});
    CGifParser parser;
    QVERIFY(!parser.Load(gif.data(), 12));     // logical screen cut short
    QVERIFY(!parser.Load(gif.data(), 13 + 11)); // colour table cut short
    QVERIFY(parser.Load(gif.data(), 13 + 12));  // header alone: no frames
    QCOMPARE(parser.CountGraphicBlocks(), 0);
    Bytes big = gif;
    big[10] = 0x87;  // claims 256 entries, 768 bytes, that are not there
    QVERIFY(!parser.Load(big.data(), big.size()));
}

void GifParserTest::backgroundIndexOutsideTheTableKeepsWhite()
{
    Bytes gif = BuildGif(1, 1, {FixtureFrame{}});
    gif[11] = 2;  // third entry: green
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.BackgroundColor(), 0x00FF00u);
    gif[11] = 200;  // past the 4-entry table
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.BackgroundColor(), CGifParser::kDefaultBackground);
}

void GifParserTest::unknownBlockEndsTheWalk()
{
    Bytes gif = BuildGif(1, 1, {FixtureFrame{}, FixtureFrame{}, FixtureFrame{}});
    CGifParser parser;
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.CountGraphicBlocks(), 3);
    const std::size_t second = 25 + parser.BlockLength(25) + parser.BlockLength(33);
    QCOMPARE(parser.KindAt(second), CGifParser::BlockKind::GraphicControlExtension);
    gif[second + 1] = 0x99;  // extension label nobody knows
    QVERIFY(parser.Load(gif.data(), gif.size()));
    QCOMPARE(parser.KindAt(second), CGifParser::BlockKind::Unknown);
    QCOMPARE(parser.BlockLength(second), std::size_t{0});
    QCOMPARE(parser.CountGraphicBlocks(), 1);
    QCOMPARE(parser.ExtractFrames().size(), std::size_t{1});
}

void GifParserTest::everyTruncationEndsCleanly()
{
    const Bytes gif = BuildGif(4, 4, {FixtureFrame{}, FixtureFrame{}, FixtureFrame{}}, true);
    CGifParser full;
    QVERIFY(full.Load(gif.data(), gif.size()));
    QCOMPARE(full.CountGraphicBlocks(), 3);
    int previous = 0;
    for (std::size_t length = 0; length <= gif.size(); ++length) {
        CGifParser parser;
        if (!parser.Load(gif.data(), length)) {
            QVERIFY(length < 25);
            continue;
        }
        const int count = parser.CountGraphicBlocks();
        // Frames appear one by one as the data grows; the trailer is not needed.
        QVERIFY(count >= previous);
        QVERIFY(count <= 3);
        QCOMPARE(static_cast<int>(parser.ExtractFrames().size()), count);
        previous = count;
    }
    QCOMPARE(previous, 3);
    CGifParser cut;
    QVERIFY(cut.Load(gif.data(), gif.size() - 1));  // without the trailer
    QCOMPARE(cut.CountGraphicBlocks(), 3);
    QVERIFY(cut.Load(gif.data(), gif.size() - 2));  // last terminator missing
    QCOMPARE(cut.CountGraphicBlocks(), 2);
}

void GifParserTest::garbageNeverReadsOutside()
{
    // Deterministic noise, alone and behind a valid header; with AddressSanitizer
    // any read outside the buffers fails the run.
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    const Bytes header = BuildGif(3, 3, {});
    const std::uint8_t blockStarts[] = {0x21, 0x2C, 0x3B, 0xF9, 0xFF, 0xFE, 0x01};
    for (int round = 0; round < 2000; ++round) {
        Bytes data = round % 2 == 0 ? Bytes(header.begin(), header.end() - 1) : Bytes{};
        const int length = next() % 96;
        for (int i = 0; i < length; ++i) {
            // Bias towards block bytes so the walk gets somewhere.
            const std::uint8_t byte = next();
            data.push_back(byte % 3 == 0 ? blockStarts[byte % std::size(blockStarts)] : byte);
        }
        // An exact-size heap copy, so the end of the data is the end of memory.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[data.size()]);
        if (!data.empty())
            std::memcpy(exact.get(), data.data(), data.size());
        CGifParser parser;
        if (parser.Load(exact.get(), data.size())) {
            const int count = parser.CountGraphicBlocks();
            QCOMPARE(static_cast<int>(parser.ExtractFrames().size()), count);
            for (std::size_t offset = 0; offset < data.size() + 2; ++offset)
                QVERIFY(parser.BlockLength(offset) <= data.size() - std::min(offset, data.size()));
        }
    }
}

void GifParserTest::frameWaits()
{
    QCOMPARE(CGifParser::FrameWaitMs(0), 100u);
    QCOMPARE(CGifParser::FrameWaitMs(3), 100u);
    QCOMPARE(CGifParser::FrameWaitMs(4), 100u);
    QCOMPARE(CGifParser::FrameWaitMs(5), 50u);
    QCOMPARE(CGifParser::FrameWaitMs(12), 120u);
    QCOMPARE(CGifParser::FrameWaitMs(65535), 655350u);
    QCOMPARE(CGifParser::FrameWaitMs(CGifParser::kNoDelay), 100u);
}

QTEST_APPLESS_MAIN(GifParserTest)
#include "GifParserTest.moc"
