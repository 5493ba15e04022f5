#include "controls/CPictureEx.h"

#include "controls/GifWalk.h"
#include "res/Resources.h"

#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

// Decodes a cut-out frame so that the result is exactly the frame's pixels.
QImage DecodeFrame(const yfx::GifFrame& frame)
{
    const std::vector<std::uint8_t> bytes = frame.OwnScreenBytes();
    QImage picture = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "GIF");
    if (picture.isNull())
        return picture;
    // A decoder that kept a larger logical screen: the frame is its top-left part.
    if (picture.width() > frame.width || picture.height() > frame.height)
        picture = picture.copy(0, 0, frame.width, frame.height);
    return picture;
}

std::chrono::milliseconds FrameWait(std::uint32_t delay)
{
    // A frame without a control extension carries all bits set: it waits like a short delay.
    if (delay < 5 || delay == yfx::GifFrame::kNoDelay)
        return std::chrono::milliseconds(CPictureEx::kShortDelayMs);
    return std::chrono::milliseconds(std::int64_t{delay} * 10);
}

QRect FrameRect(const CPictureEx::FrameEntry& frame)
{
    return QRect(frame.left, frame.top, frame.width, frame.height);
}

} // namespace

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CPictureEx::~CPictureEx()
{
    ClearPicture();
}

bool CPictureEx::LoadFromResource(int id)
{
    const yfx::res::ResourceFile file = yfx::res::ResourceDataFor("GIF", id, devicePixelRatioF());
    if (file.data.isEmpty()) {
        ClearPicture();
        return false;
    }
    return LoadFromMemory(file.data, file.ratio);
}

bool CPictureEx::LoadFromMemory(const QByteArray& data, int ratio)
{
    ClearPicture();
    if (data.isEmpty())
        return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    const bool ok = yfx::GifWalk::HasGifSignature(bytes, static_cast<std::size_t>(data.size()))
                        ? LoadGif(data)
                        : LoadStill(data, -1, -1, std::max(1, ratio));
    if (!ok)
        ResetState();
    return ok;
}

bool CPictureEx::LoadGif(const QByteArray& data)
{
    yfx::GifWalk walk(reinterpret_cast<const std::uint8_t*>(data.constData()),
                      static_cast<std::size_t>(data.size()));
    m_bGif = true;
    const int width = walk.ScreenWidth();
    const int height = walk.ScreenHeight();
    const std::size_t count = walk.CountGraphicBlocks();
    if (count == 0)
        return false;
    if (count == 1)
        return LoadStill(data, width, height);

    walk.Rewind();
    std::int64_t decodedPixels = 0;
    while (const auto frame = walk.CutFrame()) {
        if (m_frames.size() >= kMaxFrames)
            break;
        const std::int64_t pixels = std::int64_t{frame->width} * frame->height;
        if (pixels <= 0 || decodedPixels + pixels > kMaxFramePixels)
            continue; // nothing to draw, or over the budget: dropped like a frame that fails
        QImage picture = DecodeFrame(*frame);
        if (picture.isNull())
            continue;
        decodedPixels += pixels;
        m_frames.push_back(FrameEntry{std::move(picture), frame->width, frame->height, frame->left, frame->top,
                                      frame->delay, frame->disposal});
    }
    if (m_frames.empty())
        return false;
    m_pictureWidth = width;
    m_pictureHeight = height;
    return PrepareSurface(width, height);
}

bool CPictureEx::LoadStill(const QByteArray& data, int width, int height, int ratio)
{
    m_stillPicture = QImage::fromData(data);
    if (m_stillPicture.isNull())
        return false;
    if (width < 0 || height < 0) {
        // Any other format: the decoded picture's own pixel size, in logical pixels.
        width = m_stillPicture.width() / ratio;
        height = m_stillPicture.height() / ratio;
        m_stillPicture.setDevicePixelRatio(ratio);
    } else {
        ratio = 1;
    }
    m_pictureWidth = width;
    m_pictureHeight = height;
    return PrepareSurface(width, height, ratio);
}

bool CPictureEx::PrepareSurface(int width, int height, int ratio)
{
    if (width <= 0 || height <= 0 || std::int64_t{width} * height * ratio * ratio > kMaxSurfacePixels)
        return false;
    QImage surface(width * ratio, height * ratio, QImage::Format_RGB32);
    if (surface.isNull())
        return false;
    surface.setDevicePixelRatio(ratio);
    m_nRatio = ratio;
    resize(width, height);
    m_crFill = palette().color(QPalette::Button);
    // The system's menu colour has no palette role of its own: Window stands in for it.
    surface.fill(palette().color(QPalette::Window));
    {
        std::lock_guard lock(m_surfaceMutex);
        m_surface = std::move(surface);
    }
    m_bReady = true;
    update();
    return true;
}

void CPictureEx::Display()
{
    if (!m_bReady || IsAnimating())
        return;
    if (m_bGif && m_frames.size() > 1) {
        try {
            m_animThread = std::thread([this] { AnimationLoop(); });
        } catch (const std::system_error&) {
            // No thread to be had: the picture stays as it is, silently.
        }
        return;
    }
    std::unique_lock lock(m_surfaceMutex);
    if (!m_stillPicture.isNull()) {
        QPainter p(&m_surface);
        p.drawImage(QRect(0, 0, m_pictureWidth, m_pictureHeight), m_stillPicture);
    } else if (m_frames.size() == 1) {
        // Only one frame of an animation decoded: show it still.
        DrawFrame(m_frames.front());
    } else {
        return;
    }
    lock.unlock();
    update();
}

void CPictureEx::StopAnimation()
{
    {
        std::lock_guard lock(m_stopMutex);
        m_bStopRequested = true;
    }
    m_stopEvent.notify_all();
    // No time bound: the thread ends within one step once stopped (its only wait is cut
    // short), and nothing it reads may be released before it has ended.
    if (m_animThread.joinable())
        m_animThread.join();
    std::lock_guard lock(m_stopMutex);
    m_bStopRequested = false;
}

void CPictureEx::ClearPicture()
{
    StopAnimation();
    ResetState();
    update();
}

void CPictureEx::ResetState()
{
    // Only with the animation thread ended. Also after a failed load: nothing of it stays.
    m_stillPicture = QImage();
    m_frames.clear();
    {
        std::lock_guard lock(m_surfaceMutex);
        m_surface = QImage();
        m_saveSurface = QImage();
    }
    m_bReady = false;
    m_bGif = false;
    m_frameIndex = 0;
    m_pictureWidth = 0;
    m_pictureHeight = 0;
    m_nRatio = 1;
}

QImage CPictureEx::Surface() const
{
    std::lock_guard lock(m_surfaceMutex);
    return m_surface.copy();
}

void CPictureEx::SetFrameObserver(FrameObserver observer)
{
    if (!IsAnimating())
        m_frameObserver = std::move(observer);
}

void CPictureEx::paintEvent(QPaintEvent*)
{
    std::lock_guard lock(m_surfaceMutex);
    if (m_surface.isNull())
        return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_surface); // (its logical size: the picture's)
}

void CPictureEx::DrawFrame(const FrameEntry& frame)
{
    QPainter p(&m_surface);
    p.drawImage(FrameRect(frame), frame.picture);
}

void CPictureEx::Dispose(const FrameEntry& frame)
{
    if (frame.disposal == 2) {
        QPainter p(&m_surface);
        p.fillRect(FrameRect(frame), m_crFill);
    } else if (frame.disposal == 3 && !m_saveSurface.isNull()) {
        QPainter p(&m_surface);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(frame.left, frame.top), m_saveSurface);
        p.end();
        m_saveSurface = QImage();
    }
}

void CPictureEx::RequestRepaint(int index)
{
    // Posted to the GUI thread; the arguments are copied into the queued call. A queued call
    // to a control that has been destroyed is dropped by Qt, and the destructor joins this
    // thread before the control goes away in any case.
    QMetaObject::invokeMethod(this, "OnFrameDrawn", Qt::QueuedConnection, Q_ARG(int, index));
}

void CPictureEx::OnFrameDrawn(int index)
{
    update();
    emit frameShown(index);
}

void CPictureEx::AnimationLoop()
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_frames.size());
    std::uint32_t index = m_frameIndex.load();
    if (index >= count)
        index = 0;
    {
        // A run stopped during a frame's wait resumes after that frame's disposal.
        std::lock_guard lock(m_surfaceMutex);
        Dispose(m_frames[index]);
    }
    while (!m_bStopRequested) {
        const FrameEntry& frame = m_frames[index];
        if (!frame.picture.isNull()) {
            {
                std::lock_guard lock(m_surfaceMutex);
                if (frame.disposal == 3)
                    m_saveSurface = m_surface.copy(FrameRect(frame));
                DrawFrame(frame);
                if (m_frameObserver)
                    m_frameObserver(static_cast<int>(index), m_surface);
            }
            RequestRepaint(static_cast<int>(index));
            if (m_bStopRequested)
                return;
            {
                std::unique_lock lock(m_stopMutex);
                m_stopEvent.wait_for(lock, FrameWait(frame.delay), [this] { return m_bStopRequested.load(); });
            }
            if (m_bStopRequested)
                return;
            std::lock_guard lock(m_surfaceMutex);
            Dispose(frame);
        }
        ++index;
        if (index >= count) {
            index = 0;
            std::lock_guard lock(m_surfaceMutex);
            m_surface.fill(m_crFill);
        }
        m_frameIndex = index;
    }
}
