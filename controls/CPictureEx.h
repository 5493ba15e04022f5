#pragma once
// A static picture that shows one picture from a resource or a memory block: GIF data with
// two or more graphic blocks plays as an animation on a thread of the control's own; a GIF
// with one graphic block, and any other format the image decoder reads (Windows bitmaps for
// the credit badges), is shown still at its own size. The control resizes itself to the
// picture.
//
// Threads: every public operation is for the GUI thread. While an animation plays, the
// animation thread draws the frames into an off-screen surface under a lock and asks the GUI
// thread for repaints by queued calls; painting copies the surface under the same lock.
// StopAnimation, ClearPicture, a new load and destruction stop and join the thread before
// anything it reads is released.
//
// Untrusted data: every load failure returns false and leaves the control empty (nothing is
// painted). A block that runs past the data ends the frame walk; the frames found before it
// play. A picture larger than kMaxSurfacePixels is refused; frames beyond a total of
// kMaxFramePixels decoded pixels, or beyond kMaxFrames, are dropped.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CPictureEx : public QWidget {
    Q_OBJECT
public:
    static constexpr std::int64_t kMaxSurfacePixels = 32 * 1024 * 1024;
    static constexpr std::int64_t kMaxFramePixels = 64 * 1024 * 1024;
    static constexpr std::size_t kMaxFrames = 65536;
    // Wait of a frame whose delay is below 5 hundredths, or that has no control extension.
    static constexpr int kShortDelayMs = 100;

    // One decoded frame of an animation, with the values from its GIF blocks.
    struct FrameEntry {
        QImage picture;             // exactly the frame's pixels
        std::int32_t width = 0;     // frame rectangle, from the image descriptor
        std::int32_t height = 0;
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::uint32_t delay = 0;    // hundredths of a second; all bits set without a control extension
        std::uint32_t disposal = 0; // 0..7
    };

    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Loads resource `id` of type "GIF" through the resource layer, the file drawn for the
    // control's device pixel ratio ("@2x", res/Resources.h) where there is one. False when the
    // resource is missing or the data does not load (see LoadFromMemory).
    bool LoadFromResource(int id);
    // Clears the control, then loads the picture in `data` (copied as needed; the caller
    // keeps its bytes). True when the picture was decoded and the surface is ready, filled
    // with the palette's Window colour. False for empty data, a GIF without any graphic
    // block, data the decoder refuses, an animation whose frames all fail, or a picture too
    // large for a surface. A still picture drawn at `ratio` device pixels per logical pixel (an
    // "@2x" file) measures its pixels divided by the ratio: PictureSize and the control's size
    // are logical, and the surface holds every pixel. (An animation is taken at ratio 1.)
    bool LoadFromMemory(const QByteArray& data, int ratio = 1);
    // Shows the loaded picture: a still picture is drawn into the surface; an animation
    // starts (or resumes at its current frame) on the animation thread. Does nothing without
    // a loaded picture or while the animation already plays.
    void Display();
    // Ends the animation thread if one runs and waits for it; the frame index stays.
    void StopAnimation();
    // Stops, releases every picture and the surface, and returns to the empty state.
    void ClearPicture();

    QSize PictureSize() const { return QSize(m_pictureWidth, m_pictureHeight); }
    // The device pixel ratio of the picture shown (1, or that of an "@2x" file).
    int PictureRatio() const { return m_nRatio; }
    bool IsReady() const { return m_bReady; }
    bool IsGif() const { return m_bGif; }
    bool IsAnimating() const { return m_animThread.joinable(); }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    const std::vector<FrameEntry>& Frames() const { return m_frames; }
    // Index of the frame the animation draws next (or is showing while it waits).
    std::uint32_t FrameIndex() const { return m_frameIndex.load(); }
    // Colour of disposal method 2 and of every new round: the palette's Button colour.
    QColor FillColor() const { return m_crFill; }
    // A copy of the surface taken under the lock; null when there is none.
    QImage Surface() const;

    // Called on the animation thread, with the surface locked, right after each frame was
    // drawn: the frame's index and the surface. Set it only while no animation plays.
    using FrameObserver = std::function<void(int index, const QImage& surface)>;
    void SetFrameObserver(FrameObserver observer);

signals:
    // On the GUI thread, when the repaint that the animation thread asked for after drawing
    // frame `index` arrives.
    void frameShown(int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool LoadGif(const QByteArray& data);
    bool LoadStill(const QByteArray& data, int width, int height, int ratio = 1);
    bool PrepareSurface(int width, int height, int ratio = 1);
    void ResetState();
    void AnimationLoop();
    void Dispose(const FrameEntry& frame); // animation thread, surface locked by the caller
    void DrawFrame(const FrameEntry& frame); // surface locked by the caller
    void RequestRepaint(int index); // animation thread
    Q_INVOKABLE void OnFrameDrawn(int index); // GUI thread, queued from RequestRepaint

    std::int32_t m_pictureWidth = 0;
    std::int32_t m_pictureHeight = 0;
    int m_nRatio = 1;
    QColor m_crFill;
    std::atomic<std::uint32_t> m_frameIndex{0};
    bool m_bGif = false;
    std::atomic<bool> m_bStopRequested{false};
    bool m_bReady = false;

    mutable std::mutex m_surfaceMutex; // guards m_surface and m_saveSurface
    QImage m_surface;                  // off-screen surface, picture size
    QImage m_saveSurface;              // area under a frame with disposal method 3

    std::thread m_animThread;          // GUI thread only
    std::mutex m_stopMutex;            // with m_stopEvent: wakes the animation's wait
    std::condition_variable m_stopEvent;

    QImage m_stillPicture;
    std::vector<FrameEntry> m_frames;
    FrameObserver m_frameObserver;
};
