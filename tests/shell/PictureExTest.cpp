// The animated picture control: loading, frame timing, disposal methods,
// stopping, and pictures that are drawn once.
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include "GifFixtures.h"
#include "PictureEx.h"
#include "ResourceIds.h"
#include "ShellResources.h"

namespace {

constexpr std::uint8_t kRed = 1;
constexpr std::uint8_t kGreen = 2;
constexpr std::uint8_t kBlue = 3;

bool Load(CPictureEx& picture, const Bytes& data)
{
    return picture.Load(data.data(), data.size());
}

QRgb PixelAt(const CPictureEx& picture, int x, int y)
{
    return picture.Surface().pixelColor(x, y).rgb();
}

// `count` full-size frames of alternating colours, all with `delay`.
Bytes FramesWithDelay(int count, std::uint16_t delay, bool withControl = true)
{
    std::vector<FixtureFrame> frames;
    for (int i = 0; i < count; ++i) {
        FixtureFrame frame;
        frame.width = 2;
        frame.height = 2;
        frame.colorIndex = static_cast<std::uint8_t>(1 + i % 3);
        frame.delay = delay;
        frame.withControl = withControl;
        frames.push_back(frame);
    }
    return BuildGif(2, 2, frames);
}

// Milliseconds from Draw until the animation shows frame `target`.
qint64 MsToReachFrame(CPictureEx& picture, int target)
{
    QElapsedTimer clock;
    clock.start();
    picture.Draw();
    while (picture.CurrentFrame() < target && clock.elapsed() < 10000)
        QTest::qWait(2);
    return clock.elapsed();
}

// Frame 0 covers a 4 x 4 picture in blue; frame 1 puts a red 2 x 2 square
// at (1, 1) with `disposal`; frame 2 marks (0, 0) green and stays 5 s.
Bytes DisposalGif(std::uint8_t disposal)
{
    FixtureFrame base;
    base.width = 4;
    base.height = 4;
    base.colorIndex = kBlue;
    base.delay = 5;
    FixtureFrame square;
    square.left = 1;
    square.top = 1;
    square.width = 2;
    square.height = 2;
    square.colorIndex = kRed;
    square.delay = 5;
    square.disposal = disposal;
    FixtureFrame mark;
    mark.width = 1;
    mark.height = 1;
    mark.colorIndex = kGreen;
    mark.delay = 500;
    return BuildGif(4, 4, {base, square, mark});
}

}  // namespace

class PictureExTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitShellResources(); }
    void spinnerResourceLoadsAllFrames();
    void spinnerPlaysAndStopsQuickly();
    void shortDelaysWaitHundredMs();
    void delaysOfFiveOrMoreAreUsedAsGiven();
    void frameWithoutControlExtensionStillAdvances();
    void disposalTwoRestoresBackground();
    void disposalThreeRestoresPreviousPicture();
    void oneFrameGifIsDrawnOnceWithoutThread();
    void nonGifPictureIsDrawnOnce();
    void gif89bIsNotParsedAsGif();
    void damagedDataFailsOrKeepsTheGoodFrames();
    void clearForgetsEverything();
};

void PictureExTest::spinnerResourceLoadsAllFrames()
{
    CPictureEx picture;
    QVERIFY(picture.Load(QStringLiteral(SALVIX_RES_SPINNER_TYPE), IDR_SPINNER_GIF));
    QVERIFY(picture.IsGif());
    QCOMPARE(picture.Frames().size(), std::size_t{101});
    QCOMPARE(picture.PictureSize(), QSize(30, 30));
    QCOMPARE(picture.size(), QSize(30, 30));
    for (const CPictureEx::Frame& frame : picture.Frames()) {
        QCOMPARE(frame.picture.isNull(), false);
        QCOMPARE(frame.delay, 3u);
        QCOMPARE(frame.disposal, 1u);
    }
    QVERIFY(!picture.Load(QStringLiteral("GIF"), 9999));  // no such resource
}

void PictureExTest::spinnerPlaysAndStopsQuickly()
{
    CPictureEx picture;
    QVERIFY(picture.Load(QStringLiteral(SALVIX_RES_SPINNER_TYPE), IDR_SPINNER_GIF));
    const QImage before = picture.Surface();
    QCOMPARE(picture.Draw(), false);  // an animation: the thread draws
    QVERIFY(picture.IsThreadRunning());
    QTRY_VERIFY_WITH_TIMEOUT(picture.CurrentFrame() >= 3, 5000);
    QVERIFY(picture.IsPlaying());
    QVERIFY(picture.Surface() != before);
    QCOMPARE(picture.Draw(), false);  // a second Draw starts no second thread

    QElapsedTimer clock;
    clock.start();
    picture.Stop();
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!picture.IsPlaying());
    QVERIFY(!picture.IsThreadRunning());
    // Playing again after a stop resumes.
    const int stoppedAt = picture.CurrentFrame();
    picture.Draw();
    QTRY_VERIFY_WITH_TIMEOUT(picture.CurrentFrame() != stoppedAt, 5000);
}

void PictureExTest::shortDelaysWaitHundredMs()
{
    CPictureEx picture;
    QVERIFY(Load(picture, FramesWithDelay(10, 3)));
    // Four waits of 100 ms (a delay of 3 would be 30 ms).
    QVERIFY(MsToReachFrame(picture, 4) >= 380);
}

void PictureExTest::delaysOfFiveOrMoreAreUsedAsGiven()
{
    CPictureEx fast;
    QVERIFY(Load(fast, FramesWithDelay(10, 5)));
    const qint64 fastMs = MsToReachFrame(fast, 4);
    fast.Stop();
    CPictureEx slow;
    QVERIFY(Load(slow, FramesWithDelay(10, 12)));
    const qint64 slowMs = MsToReachFrame(slow, 4);
    QVERIFY2(fastMs >= 190, qPrintable(QString::number(fastMs)));
    QVERIFY2(slowMs >= 470, qPrintable(QString::number(slowMs)));
    QVERIFY2(fastMs < slowMs, qPrintable(QStringLiteral("%1 %2").arg(fastMs).arg(slowMs)));
}

void PictureExTest::frameWithoutControlExtensionStillAdvances()
{
    CPictureEx picture;
    QVERIFY(Load(picture, FramesWithDelay(5, 0, false)));
    QCOMPARE(picture.Frames()[0].delay, 0xFFFFFFFFu);
    const qint64 ms = MsToReachFrame(picture, 2);
    QVERIFY(picture.CurrentFrame() >= 2);
    QVERIFY(ms >= 190 && ms < 5000);
}

void PictureExTest::disposalTwoRestoresBackground()
{
    CPictureEx picture;
    QVERIFY(Load(picture, DisposalGif(2)));
    QCOMPARE(picture.Frames().size(), std::size_t{3});
    picture.Draw();
    QTRY_COMPARE_WITH_TIMEOUT(picture.CurrentFrame(), 2, 5000);
    QTRY_COMPARE(PixelAt(picture, 0, 0), qRgb(0, 255, 0));
    const QRgb background = picture.BackgroundColor().rgb();
    QCOMPARE(PixelAt(picture, 1, 1), background);
    QCOMPARE(PixelAt(picture, 2, 2), background);
    QCOMPARE(PixelAt(picture, 3, 3), qRgb(0, 0, 255));  // outside the square
    QVERIFY(background != qRgb(0, 0, 255));
}

void PictureExTest::disposalThreeRestoresPreviousPicture()
{
    CPictureEx picture;
    QVERIFY(Load(picture, DisposalGif(3)));
    picture.Draw();
    QTRY_COMPARE_WITH_TIMEOUT(picture.CurrentFrame(), 2, 5000);
    QTRY_COMPARE(PixelAt(picture, 0, 0), qRgb(0, 255, 0));
    QCOMPARE(PixelAt(picture, 1, 1), qRgb(0, 0, 255));
    QCOMPARE(PixelAt(picture, 2, 2), qRgb(0, 0, 255));
    // Disposal 1 leaves the square in place.
    CPictureEx kept;
    QVERIFY(Load(kept, DisposalGif(1)));
    kept.Draw();
    QTRY_COMPARE_WITH_TIMEOUT(kept.CurrentFrame(), 2, 5000);
    QTRY_COMPARE(PixelAt(kept, 0, 0), qRgb(0, 255, 0));
    QCOMPARE(PixelAt(kept, 1, 1), qRgb(255, 0, 0));
}

void PictureExTest::oneFrameGifIsDrawnOnceWithoutThread()
{
    FixtureFrame only;
    only.width = 3;
    only.height = 3;
    only.colorIndex = kRed;
    CPictureEx picture;
    QVERIFY(Load(picture, BuildGif(3, 3, {only})));
    QVERIFY(picture.IsGif());
    QVERIFY(picture.Frames().empty());
    QCOMPARE(picture.Draw(), true);
    QVERIFY(!picture.IsThreadRunning());
    QCOMPARE(PixelAt(picture, 1, 1), qRgb(255, 0, 0));
}

void PictureExTest::nonGifPictureIsDrawnOnce()
{
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "PNG"));
    CPictureEx picture;
    QVERIFY(picture.Load(reinterpret_cast<const std::uint8_t*>(png.constData()),
                         static_cast<std::size_t>(png.size())));
    QVERIFY(!picture.IsGif());
    QCOMPARE(picture.PictureSize(), QSize(5, 4));
    QCOMPARE(picture.Draw(), true);
    QVERIFY(!picture.IsThreadRunning());
    QCOMPARE(PixelAt(picture, 4, 3), qRgb(10, 200, 30));
}

void PictureExTest::gif89bIsNotParsedAsGif()
{
    Bytes data = FramesWithDelay(3, 5);
    data[5] = 'b';
    CPictureEx picture;
    // Handed whole to the decoder, which does not know "GIF89b" either.
    QVERIFY(!Load(picture, data));
    QVERIFY(!picture.IsGif());
    QCOMPARE(picture.Draw(), false);
}

void PictureExTest::damagedDataFailsOrKeepsTheGoodFrames()
{
    const Bytes gif = FramesWithDelay(4, 5);
    CPictureEx picture;
    // Cut inside the third frame: the first two still play.
    const Bytes cut(gif.begin(), gif.end() - 20);
    QVERIFY(Load(picture, cut));
    QVERIFY(picture.Frames().size() >= 2 && picture.Frames().size() < 4);
    // Header only, no image at all.
    QVERIFY(!Load(picture, Bytes(gif.begin(), gif.begin() + 25)));
    // Not a picture of any kind.
    const Bytes noise = {0x00, 0x13, 0x37, 0xFF, 0x21, 0x2C, 0x3B, 0x42};
    QVERIFY(!Load(picture, noise));
    QVERIFY(!picture.Load(static_cast<const std::uint8_t*>(nullptr), 0));
}

void PictureExTest::clearForgetsEverything()
{
    CPictureEx picture;
    QVERIFY(Load(picture, FramesWithDelay(4, 500)));
    picture.Draw();
    QTRY_VERIFY(picture.IsPlaying());
    QElapsedTimer clock;
    clock.start();
    picture.Clear();  // cuts the 5-second wait short
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!picture.IsThreadRunning());
    QVERIFY(picture.Frames().empty());
    QVERIFY(picture.Surface().isNull());
    QCOMPARE(picture.Draw(), false);
}

QTEST_MAIN(PictureExTest)
#include "PictureExTest.moc"
