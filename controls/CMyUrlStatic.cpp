#include "controls/CMyUrlStatic.h"

#include "res/Resources.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CMyUrlStatic::CMyUrlStatic(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::TabFocus);
}

void CMyUrlStatic::Activate()
{
    if (!m_bitmap.isNull())
        emit activated();
}

void CMyUrlStatic::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        Activate();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CMyUrlStatic::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CMyUrlStatic::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

CMyUrlStatic::~CMyUrlStatic() = default;

bool CMyUrlStatic::LoadLinkBitmap(int id)
{
    return SetLinkPixmap(yfx::res::Bitmap(id));
}

bool CMyUrlStatic::SetLinkPixmap(const QPixmap& pixmap)
{
    m_bitmap = pixmap;
    if (pixmap.isNull()) {
        m_nBitmapWidth = 0;
        m_nBitmapHeight = 0;
        return false;
    }
    const QSize size = pixmap.deviceIndependentSize().toSize();
    m_nBitmapWidth = size.width();
    m_nBitmapHeight = size.height();
    return true;
}

QRect CMyUrlStatic::LinkImageRect() const
{
    const int w = width();
    const int h = height();
    const int left = w > m_nBitmapWidth ? (w - m_nBitmapWidth) / 2 : 0;
    const int top = h > m_nBitmapHeight ? (h - m_nBitmapHeight) / 2 : 0;
    return QRect(left, top, m_nBitmapWidth, m_nBitmapHeight);
}

bool CMyUrlStatic::PtInLinkImage(int x, int y) const
{
    const QRect r = LinkImageRect().translated(pos()); // client -> parent coordinates
    // Half-open test: left/top inside, right/bottom edges outside; empty when the size is 0.
    return x >= r.x() && y >= r.y() && x < r.x() + r.width() && y < r.y() + r.height();
}

void CMyUrlStatic::paintEvent(QPaintEvent*)
{
    if (m_bitmap.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(LinkImageRect().topLeft(), m_bitmap);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = LinkImageRect().adjusted(-2, -2, 2, 2).intersected(rect());
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
