#include "app/CAnnouncementBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

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
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(QStringLiteral("关闭"));
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
    m_text->setText(text);
}

QString CAnnouncementBar::Text() const
{
    return m_text->text();
}
