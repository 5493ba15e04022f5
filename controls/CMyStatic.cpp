#include "controls/CMyStatic.h"

#include <QApplication>
#include <QPainter>

CMyStatic::CMyStatic(QWidget* parent) : CMyStatic(QString(), parent) {}

CMyStatic::CMyStatic(const QString& text, QWidget* parent)
    : QWidget(parent), m_crText(palette().color(QPalette::WindowText)), m_logFont(QApplication::font()),
      m_strText(text)
{
    // No background of its own: the parent's painting shows through around the glyphs.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CMyStatic::~CMyStatic() = default;

void CMyStatic::SetText(const QString& text)
{
    m_strText = text;
    repaint();
}

void CMyStatic::SetTextColor(const QColor& colour)
{
    m_crText = colour;
    repaint();
}

void CMyStatic::SetFontDescription(const QFont& font)
{
    m_logFont = font;
    repaint();
}

void CMyStatic::SetBold(bool bold)
{
    m_logFont.setBold(bold);
    repaint();
}

void CMyStatic::SetWeight(QFont::Weight weight)
{
    m_logFont.setWeight(weight);
    repaint();
}

void CMyStatic::SetPixelHeight(int pixels)
{
    if (pixels > 0)
        m_logFont.setPixelSize(pixels);
    repaint();
}

void CMyStatic::SetUnderline(bool underline)
{
    m_logFont.setUnderline(underline);
    repaint();
}

void CMyStatic::SetAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    repaint();
}

void CMyStatic::paintEvent(QPaintEvent*)
{
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (m_alignment & Qt::AlignHCenter)
        horizontal = Qt::AlignHCenter;
    else if (m_alignment & Qt::AlignRight)
        horizontal = Qt::AlignRight;
    const Qt::Alignment vertical = (m_alignment & Qt::AlignVCenter) ? Qt::AlignVCenter : Qt::AlignTop;

    QPainter p(this);
    p.setFont(m_logFont);
    p.setPen(m_crText);
    p.drawText(rect(), static_cast<int>(horizontal | vertical) | Qt::TextWordWrap | Qt::TextShowMnemonic,
               m_strText);
}
