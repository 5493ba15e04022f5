#include "results/CMoreRow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CMoreRow::CMoreRow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("moreRow"));
    setFocusPolicy(Qt::NoFocus);
}

void CMoreRow::SetState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    const bool retry = state == State::Failed;
    setFocusPolicy(retry ? Qt::StrongFocus : Qt::NoFocus);
    setCursor(retry ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

QString CMoreRow::Text() const
{
    switch (m_state) {
    case State::Loading:
        return QStringLiteral("正在加载更多…");
    case State::End:
        return QStringLiteral("没有更多了");
    case State::Failed:
        return QStringLiteral("加载失败，点击重试");
    case State::None:
        break;
    }
    return QString();
}

void CMoreRow::paintEvent(QPaintEvent*)
{
    const QString text = Text();
    if (text.isEmpty())
        return;
    QPainter p(this);
    p.setPen(QColor(128, 128, 128));
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CMoreRow::mousePressEvent(QMouseEvent* event)
{
    // a left press is the row's own; a right press shows the view's menu, as on its margins
    event->setAccepted(event->button() == Qt::LeftButton);
}

void CMoreRow::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (m_state == State::Failed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit retryRequested();
}

void CMoreRow::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (m_state == State::Failed && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        event->accept();
        emit retryRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}
