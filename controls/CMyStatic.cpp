#include "controls/CMyStatic.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

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

void CMyStatic::SetLiteral(bool literal)
{
    m_bLiteral = literal;
    repaint();
}

std::vector<CMyStatic::LaidOutLine> CMyStatic::LayOutLiteral(const QFont& font) const
{
    std::vector<LaidOutLine> shown;
    QString text = m_strText;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const qreal width = qMax(1, this->width());
    const qreal height = this->height();

    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal y = 0;
    bool more = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        // Only whole lines; the first one is drawn whatever the height.
        if (!shown.empty() && y + line.height() > height + 0.01) {
            more = true;
            break;
        }
        line.setPosition(QPointF(0, y));
        shown.push_back({text.mid(line.textStart(), line.textLength()), QRectF(0, y, width, line.height()),
                         line.textStart()});
        y += line.height();
    }
    layout.endLayout();
    if (more && !shown.empty()) {
        // The rest of the text does not fit: the last line shown ends in an ellipsis.
        LaidOutLine& last = shown.back();
        QString rest = text.mid(last.start);
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        last.text = QFontMetricsF(font).elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
    }
    return shown;
}

QStringList CMyStatic::ShownLines() const
{
    QStringList lines;
    if (!m_bLiteral)
        return lines;
    for (const LaidOutLine& line : LayOutLiteral(m_logFont))
        lines.append(line.text);
    return lines;
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
    if (m_bLiteral) {
        const std::vector<LaidOutLine> lines = LayOutLiteral(m_logFont);
        qreal offset = 0;
        if (vertical == Qt::AlignVCenter && !lines.empty())
            offset = (height() - lines.back().rect.bottom()) / 2;
        for (const LaidOutLine& line : lines)
            p.drawText(line.rect.translated(0, offset), static_cast<int>(horizontal | Qt::AlignTop) | Qt::TextSingleLine,
                       line.text);
        return;
    }
    p.drawText(rect(), static_cast<int>(horizontal | vertical) | Qt::TextWordWrap | Qt::TextShowMnemonic,
               m_strText);
}
