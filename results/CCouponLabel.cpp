#include "results/CCouponLabel.h"

#include <QFontMetrics>

#include <algorithm>
#include <QPainter>

const QColor CCouponLabel::kGround(230, 30, 30);
const QColor CCouponLabel::kText(255, 255, 255);

CCouponLabel::CCouponLabel(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is the tag's own
    SetFontDescription(font());
    hide();
}

void CCouponLabel::SetFontDescription(const QFont& font)
{
    m_font = font;
    m_font.setBold(true);
    m_font.setPixelSize(kPixelHeight);
    Fit();
}

void CCouponLabel::SetGround(const QColor& ground)
{
    m_crGround = ground;
    update();
}

void CCouponLabel::SetMaxWidth(int pixels)
{
    m_nMaxWidth = pixels;
    Fit();
}

void CCouponLabel::SetText(const QString& text)
{
    m_strText = text;
    Fit();
    setVisible(!text.isEmpty());
    update();
}

QString CCouponLabel::ShownText() const
{
    if (m_nMaxWidth <= 0)
        return m_strText;
    const QFontMetrics fm(m_font);
    return fm.elidedText(m_strText, Qt::ElideRight, std::max(0, m_nMaxWidth - 2 * kPadding));
}

void CCouponLabel::Fit()
{
    const QFontMetrics fm(m_font);
    int w = fm.horizontalAdvance(ShownText()) + 2 * kPadding;
    if (m_nMaxWidth > 0)
        w = std::min(w, m_nMaxWidth);
    resize(w, fm.height() + 2 * kVPadding);
}

void CCouponLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_crGround); // whole logical pixels, no antialiasing: sharp edges
    p.setFont(m_font);
    p.setPen(kText);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, ShownText());
}
