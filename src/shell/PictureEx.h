// A picture control that plays animated GIFs: CGifParser cuts the file into
// one-image GIFs, Qt decodes each once, and a thread of the control's own
// steps through them with the file's delays and disposal methods. Other
// pictures, and GIFs with a single image, are drawn once.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CPictureEx : public QWidget {
    Q_OBJECT
public:
    // How long Stop waits for the animation thread.
    static constexpr int kStopTimeoutMs = 5000;

    struct Frame {
        QImage picture;
        int width = 0;
        int height = 0;
        int left = 0;
        int top = 0;
        std::uint32_t delay = 0xFFFFFFFF;  // hundredths of a second
        std::uint32_t disposal = 0;
    };

    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Loads the embedded picture :/<type>/<id>.
    bool Load(const QString& type, int id);
    // Loads a picture from memory; true when it is ready to draw.
    bool Load(const std::uint8_t* data, std::size_t size);
    // Draws a single picture (true) or starts the animation thread (false).
    bool Draw();
    // Ends the animation thread, waiting at most kStopTimeoutMs.
    void Stop();
    // Stops and forgets the picture.
    void Clear();

    bool IsGif() const { return m_bIsGif; }
    bool IsPlaying() const { return m_bIsPlaying.load(); }
    bool IsThreadRunning() const { return m_thread.joinable(); }
    QSize PictureSize() const { return m_pictureSize; }
    const std::vector<Frame>& Frames() const { return m_frames; }
    int CurrentFrame() const { return m_nCurrFrame.load(); }
    QColor BackgroundColor() const { return m_clrBackground; }
    // A copy of the off-screen surface the window is painted from.
    QImage Surface() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool LoadSinglePicture(const std::uint8_t* data, std::size_t size);
    bool PrepareDC(int width, int height);
    void ThreadAnimation();
    void DrawFrame(const Frame& frame);
    void DisposeFrame(const Frame& frame);
    void FillBackground(const QRect& area);
    // Waits up to `ms` for the exit event; true when exit was requested.
    bool WaitForExit(std::uint32_t ms);
    void RequestRepaint();

    bool m_bIsGif = false;
    QSize m_pictureSize;
    QColor m_clrBackground = Qt::white;
    QImage m_picture;  // a single picture
    std::vector<Frame> m_frames;
    std::atomic<int> m_nCurrFrame{0};

    // The surface is drawn by the animation thread and read by paintEvent.
    mutable std::mutex m_surfaceMutex;
    QImage m_surface;
    QImage m_savedArea;  // under a disposal-3 frame while it is shown
    bool m_bIsInitialized = false;

    std::thread m_thread;
    std::mutex m_exitMutex;
    std::condition_variable m_exitEvent;  // exit requested or thread finished
    bool m_bExitSignalled = false;
    bool m_bThreadDone = false;
    std::atomic<bool> m_bExitFlag{false};
    std::atomic<bool> m_bIsPlaying{false};
};
