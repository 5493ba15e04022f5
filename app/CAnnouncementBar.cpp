#include "app/CAnnouncementBar.h"

#include "app/PlainToolTip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

CAnnouncementBar::CAnnouncementBar(QWidget* parent)
    : QFrame(parent)
    , m_picture(new QLabel(this))
    , m_text(new QLabel(this))
    , m_close(new QToolButton(this))
{
    setObjectName(QString::number(kControlId));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 251, 230)); // a calm note colour
    setPalette(pal);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // the label takes the room the bar gives it, never the width of the whole text
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_text->setMinimumWidth(0);
    m_text->installEventFilter(this);
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(QStringLiteral("关闭"));
    m_close->setAccessibleName(QStringLiteral("关闭公告"));
    m_picture->setAccessibleName(QStringLiteral("公告"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 3, 3);
    layout->setSpacing(6);
    layout->addWidget(m_picture);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_close);
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
}

void CAnnouncementBar::SetBitmap(const QPixmap& picture)
{
    m_picture->setPixmap(picture);
}

void CAnnouncementBar::SetText(const QString& text)
{
    m_strText = text;
    // the label shows an elided text: a screen reader reads the whole announcement
    m_text->setAccessibleName(text);
    setAccessibleName(QStringLiteral("公告"));
    setAccessibleDescription(text);
    setToolTip(yfx::PlainToolTip(text));
    m_text->setToolTip(toolTip());
    ShowFitted();
}

QToolButton* CAnnouncementBar::AddButton(const QString& text)
{
    auto* button = new QToolButton(this);
    button->setText(text);
    button->setAutoRaise(true);
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->insertWidget(row->indexOf(m_close), button);
    return button;
}

QString CAnnouncementBar::Text() const
{
    return m_strText;
}

QString CAnnouncementBar::ShownText() const
{
    return m_text->text();
}

void CAnnouncementBar::ShowFitted()
{
    // a text longer than the bar ends in "…" at a character boundary; the tooltip has it all
    QString line = m_strText;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_text->setText(m_text->fontMetrics().elidedText(line, Qt::ElideRight, std::max(0, m_text->width())));
}

bool CAnnouncementBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::Resize)
        ShowFitted();
    return QFrame::eventFilter(watched, event);
}
