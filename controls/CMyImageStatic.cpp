#include "controls/CMyImageStatic.h"

#include "controls/PictureLoad.h"
#include "controls/PicturePool.h"

#include <QMetaObject>
#include <QPainter>

#include <mutex>

namespace {

// Orders what the GUI thread hands a decoding and what the decoding hands back. Qt's queues
// order the threads with futexes that ThreadSanitizer cannot see: taking this lock on both
// sides, before anything handed over is read, gives it the same order.
std::mutex& Handoff()
{
    static std::mutex handoff;
    return handoff;
}

} // namespace

// What a decoding in the pool hands back; all of it under Handoff().
struct CMyImageStatic::Mailbox {
    CMyImageStatic* control = nullptr; // null once the control is gone
    quint64 wanted = 0;                // the decoding the control waits for
    bool done = false;
    yfx::PictureDecode result;
};

CMyImageStatic::CMyImageStatic(QWidget* parent) : QWidget(parent), m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->control = this;
    // The paint covers every pixel: nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CMyImageStatic::~CMyImageStatic()
{
    std::lock_guard lock(Handoff());
    m_mailbox->control = nullptr;
    m_mailbox->wanted = 0;
}

void CMyImageStatic::DestroyImage()
{
    m_image = QImage();
    if (m_nPending) {
        std::lock_guard lock(Handoff());
        m_mailbox->wanted = 0; // a decoding not yet begun is skipped, a finished one dropped
        m_mailbox->done = false;
        m_mailbox->result = {};
        m_nPending = 0;
    }
}

void CMyImageStatic::SetImagePath(const QString& path, bool ready, qreal density)
{
    DestroyImage();
    m_strImagePath = path;
    m_fDensity = density;
    m_bFileReady = ready;
    repaint();
}

void CMyImageStatic::SetFileReady(bool ready)
{
    if (!ready)
        DestroyImage();
    m_bFileReady = ready;
}

bool CMyImageStatic::SetDecodedImage(const QString& path, const QImage& image)
{
    if (image.isNull() || path.isEmpty() || path != m_strImagePath || !m_bFileReady)
        return false;
    DestroyImage(); // a decoding under way is not needed any more
    m_image = image;
    update();
    return true;
}

void CMyImageStatic::SetHover(bool hover)
{
    m_bHover = hover;
    repaint();
}

CMyImageStatic::DecodeState CMyImageStatic::RequestDecode(int priority)
{
    if (!m_image.isNull())
        return DecodeState::Shown;
    if (!m_bFileReady || m_strImagePath.isEmpty())
        return DecodeState::NotReady;
    if (m_nPending)
        return DecodeState::Waiting;
    QThreadPool* pool = yfx::PicturePool();
    if (!pool)
        return DecodeState::NotReady;
    const QSize inner(width() - 2 * yfx::kPictureFrameInset, height() - 2 * yfx::kPictureFrameInset);
    const yfx::PictureScale scale{m_fDensity, devicePixelRatioF()};
    const quint64 serial = ++m_nSerial;
    m_nPending = serial;
    std::lock_guard lock(Handoff());
    m_mailbox->wanted = serial;
    m_mailbox->done = false;
    pool->start(
        [mailbox = m_mailbox, path = m_strImagePath, inner, scale, serial] {
            {
                std::lock_guard order(Handoff());
                if (!mailbox->control || mailbox->wanted != serial)
                    return; // dropped, or the control is gone: nothing to decode
            }
            yfx::PictureDecode result = yfx::DecodePictureFile(path, inner, {}, scale);
            std::lock_guard back(Handoff());
            if (!mailbox->control || mailbox->wanted != serial)
                return;
            mailbox->result = std::move(result);
            mailbox->done = true;
            // the control is alive while the lock is held: its destructor takes it too
            QMetaObject::invokeMethod(mailbox->control, &CMyImageStatic::TakeDecoded, Qt::QueuedConnection);
        },
        priority);
    return DecodeState::Started;
}

void CMyImageStatic::TakeDecoded()
{
    yfx::PictureDecode result;
    {
        std::lock_guard lock(Handoff());
        if (!m_mailbox->done || m_mailbox->wanted != m_nPending || m_nPending == 0)
            return; // dropped since
        result = std::move(m_mailbox->result);
        m_mailbox->result = {};
        m_mailbox->done = false;
        m_mailbox->wanted = 0;
    }
    m_nPending = 0;
    m_image = std::move(result.image);
    if (!m_image.isNull())
        update();
    emit decoded(!m_image.isNull());
}

void CMyImageStatic::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    const qreal dpr = devicePixelRatioF();
    QImage buffer(QSize(w, h) * dpr, QImage::Format_ARGB32_Premultiplied);
    if (buffer.isNull())
        return;
    buffer.setDevicePixelRatio(dpr);

    // No picture yet: the pool is asked for it, and the empty frame shows until it comes.
    if (m_image.isNull())
        RequestDecode(1);
    QPainter p(&buffer);
    yfx::DrawPictureStatic(p, QSize(w, h), m_image, m_bHover);
    p.end();

    QPainter screen(this);
    screen.drawImage(0, 0, buffer);
}
