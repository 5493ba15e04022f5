#include "controls/CMyImageStatic.h"

#include "controls/PictureLoad.h"

#include <QPainter>

CMyImageStatic::CMyImageStatic(QWidget* parent) : QWidget(parent)
{
    // The paint covers every pixel: nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CMyImageStatic::~CMyImageStatic() = default;

void CMyImageStatic::DestroyImage()
{
    m_image = QImage();
}

void CMyImageStatic::SetImagePath(const QString& path)
{
    DestroyImage();
    m_strImagePath = path;
    repaint();
}

bool CMyImageStatic::SetDecodedImage(const QString& path, const QImage& image)
{
    if (image.isNull() || path.isEmpty() || path != m_strImagePath)
        return false;
    m_image = image;
    update();
    return true;
}

void CMyImageStatic::SetHover(bool hover)
{
    m_bHover = hover;
    repaint();
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

    if (m_image.isNull() && !m_strImagePath.isEmpty()) {
        // Only the part the control can show, within the bounds; stays null when the file is
        // missing, incomplete, too large or not a picture.
        const QSize inner(w - 2 * yfx::kPictureFrameInset, h - 2 * yfx::kPictureFrameInset);
        m_image = yfx::DecodePicture(m_strImagePath, inner);
    }
    QPainter p(&buffer);
    yfx::DrawPictureStatic(p, QSize(w, h), m_image, m_bHover);
    p.end();

    QPainter screen(this);
    screen.drawImage(0, 0, buffer);
}
