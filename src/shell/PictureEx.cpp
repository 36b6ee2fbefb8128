#include "PictureEx.h"

#include <QFile>
#include <QMetaObject>
#include <QPainter>
#include <chrono>
#include <limits>

#include "GifParser.h"
#include "platform/ThreadStart.h"

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent)
{
    // Clicks go to the window beneath, as with a static picture.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CPictureEx::~CPictureEx()
{
    Clear();
}

bool CPictureEx::Load(const QString& type, int id)
{
    QFile file(QStringLiteral(":/%1/%2").arg(type).arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return Load(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size()));
}

bool CPictureEx::LoadSinglePicture(const std::uint8_t* data, std::size_t size)
{
    m_picture = QImage::fromData(data, static_cast<int>(size));
    if (m_picture.isNull())
        return false;
    m_pictureSize = m_picture.size();
    return true;
}

bool CPictureEx::Load(const std::uint8_t* data, std::size_t size)
{
    Clear();
    // The decoder takes sizes as int.
    if (data == nullptr || size == 0 ||
        size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return false;
    CGifParser parser;
    if (!parser.Load(data, size)) {
        // Not a GIF (or a GIF whose header is cut short): try it whole.
        if (!LoadSinglePicture(data, size))
            return false;
        return PrepareDC(m_pictureSize.width(), m_pictureSize.height());
    }
    m_bIsGif = true;
    m_pictureSize = QSize(static_cast<int>(parser.Width()), static_cast<int>(parser.Height()));

    const int blocks = parser.CountGraphicBlocks();
    if (blocks == 0)
        return false;
    if (blocks == 1) {
        if (!LoadSinglePicture(data, size))
            return false;
        m_pictureSize = QSize(static_cast<int>(parser.Width()), static_cast<int>(parser.Height()));
        return PrepareDC(m_pictureSize.width(), m_pictureSize.height());
    }

    for (const GifFrame& cut : parser.ExtractFrames()) {
        Frame frame;
        frame.picture = QImage::fromData(cut.gif.data(), static_cast<int>(cut.gif.size()), "GIF");
        if (frame.picture.isNull())
            continue;  // a frame the decoder rejects is left out
        frame.left = static_cast<int>(cut.left);
        frame.top = static_cast<int>(cut.top);
        frame.width = static_cast<int>(cut.width);
        frame.height = static_cast<int>(cut.height);
        frame.delay = cut.delay;
        frame.disposal = cut.disposal;
        m_frames.push_back(std::move(frame));
    }
    if (m_frames.empty())
        return false;
    return PrepareDC(m_pictureSize.width(), m_pictureSize.height());
}

bool CPictureEx::PrepareDC(int width, int height)
{
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return false;
    resize(width, height);
    QImage surface(width, height, QImage::Format_ARGB32_Premultiplied);
    if (surface.isNull())
        return false;
    // Disposal 2 restores to the button face, not the GIF's own background,
    // so the picture blends with the dialog it sits on.
    m_clrBackground = palette().color(QPalette::Button);
    surface.fill(palette().color(QPalette::Window));
    std::lock_guard lock(m_surfaceMutex);
    m_surface = std::move(surface);
    m_bIsInitialized = true;
    return true;
}

bool CPictureEx::Draw()
{
    if (!m_bIsInitialized)
        return false;
    if (m_bIsGif && m_frames.size() > 1) {
        if (m_thread.joinable())
            return false;  // already playing
        {
            std::lock_guard lock(m_exitMutex);
            m_bThreadDone = false;
        }
        m_thread = StartThread([this] { ThreadAnimation(); });
        return false;
    }
    {
        std::lock_guard lock(m_surfaceMutex);
        QPainter painter(&m_surface);
        painter.drawImage(QRect(QPoint(0, 0), m_pictureSize), m_picture);
    }
    update();
    return true;
}

void CPictureEx::Stop()
{
    m_bIsPlaying = false;
    m_bExitFlag = true;
    {
        std::unique_lock lock(m_exitMutex);
        m_bExitSignalled = true;
        m_exitEvent.notify_all();
        if (m_thread.joinable()) {
            const bool ended = m_exitEvent.wait_for(lock, std::chrono::milliseconds(kStopTimeoutMs),
                                                    [this] { return m_bThreadDone; });
            lock.unlock();
            // A thread that does not end in time is no longer waited for.
            if (ended)
                m_thread.join();
            else
                m_thread.detach();
            lock.lock();
        }
        m_bExitSignalled = false;
    }
    m_bExitFlag = false;
}

void CPictureEx::Clear()
{
    Stop();
    m_picture = QImage();
    m_frames.clear();
    {
        std::lock_guard lock(m_surfaceMutex);
        m_surface = QImage();
        m_savedArea = QImage();
        m_bIsInitialized = false;
    }
    m_bIsGif = false;
    m_pictureSize = QSize();
    m_nCurrFrame = 0;
    m_clrBackground = Qt::white;
}

QImage CPictureEx::Surface() const
{
    std::lock_guard lock(m_surfaceMutex);
    return m_surface.copy();
}

void CPictureEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    std::lock_guard lock(m_surfaceMutex);
    if (m_surface.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    else
        painter.drawImage(0, 0, m_surface);
}

void CPictureEx::RequestRepaint()
{
    // Widgets belong to the user-interface thread: ask it to repaint.
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

bool CPictureEx::WaitForExit(std::uint32_t ms)
{
    std::unique_lock lock(m_exitMutex);
    return m_exitEvent.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return m_bExitSignalled; });
}

void CPictureEx::FillBackground(const QRect& area)
{
    QPainter painter(&m_surface);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(area, m_clrBackground);
}

void CPictureEx::DrawFrame(const Frame& frame)
{
    std::lock_guard lock(m_surfaceMutex);
    const QRect area(frame.left, frame.top, frame.width, frame.height);
    if (frame.disposal == 3)
        m_savedArea = m_surface.copy(area);
    QPainter painter(&m_surface);
    // The decoder gives either the frame alone or the frame placed on the
    // whole logical screen; take the frame's rectangle in both cases.
    if (frame.picture.size() == area.size())
        painter.drawImage(area.topLeft(), frame.picture);
    else
        painter.drawImage(area, frame.picture, area);
}

void CPictureEx::DisposeFrame(const Frame& frame)
{
    std::lock_guard lock(m_surfaceMutex);
    const QRect area(frame.left, frame.top, frame.width, frame.height);
    if (frame.disposal == 2) {
        FillBackground(area);
    } else if (frame.disposal == 3 && !m_savedArea.isNull()) {
        QPainter painter(&m_surface);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(area.topLeft(), m_savedArea);
        painter.end();
        m_savedArea = QImage();
    }
}

void CPictureEx::ThreadAnimation()
{
    m_bIsPlaying = true;
    const std::size_t count = m_frames.size();
    DisposeFrame(m_frames[static_cast<std::size_t>(m_nCurrFrame.load()) % count]);
    while (!m_bExitFlag) {
        const Frame& frame = m_frames[static_cast<std::size_t>(m_nCurrFrame.load()) % count];
        if (!frame.picture.isNull()) {
            DrawFrame(frame);
            RequestRepaint();
        }
        if (m_bExitFlag)
            break;
        if (WaitForExit(CGifParser::FrameWaitMs(frame.delay)) || m_bExitFlag)
            break;
        DisposeFrame(frame);
        int next = m_nCurrFrame.load() + 1;
        if (static_cast<std::size_t>(next) >= count) {
            next = 0;
            std::lock_guard lock(m_surfaceMutex);
            FillBackground(QRect(QPoint(0, 0), m_pictureSize));
        }
        m_nCurrFrame = next;
    }
    m_bIsPlaying = false;
    std::lock_guard lock(m_exitMutex);
    m_bThreadDone = true;
    m_exitEvent.notify_all();
}
