#include "controls/CMyImageStatic.h"

#include <QImageReader>
#include <QPainter>

namespace {

const QColor kGround(255, 255, 255);
const QColor kFrame(228, 228, 228);
const QColor kFrameHover(192, 192, 192);
constexpr int kInset = 2;

} // namespace

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
    buffer.fill(kGround);

    QPainter p(&buffer);
    p.setPen(m_bHover ? kFrameHover : kFrame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1); // one pixel along the edge of the client area

    const QRect inner = rect().adjusted(kInset, kInset, -kInset, -kInset);
    if (m_image.isNull() && !m_strImagePath.isEmpty()) {
        QImageReader reader(m_strImagePath);
        m_image = reader.read(); // stays null when the file is missing or incomplete
    }
    if (!m_image.isNull()) {
        const int iw = m_image.width();
        const int ih = m_image.height();
        const int left = iw < inner.width() ? inner.left() + (inner.width() - iw) / 2 : inner.left();
        const int top = ih < inner.height() ? inner.top() + (inner.height() - ih) / 2 : inner.top();
        // Natural size, blended by the picture's alpha channel when it has one.
        p.drawImage(QRect(left, top, iw, ih), m_image);
    }
    p.end();

    QPainter screen(this);
    screen.drawImage(0, 0, buffer);
}
