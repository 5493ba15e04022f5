#include "app/CShownProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

CShownProbe::CShownProbe(QWidget* window, std::function<QString()> describe, QObject* parent)
    : QObject(parent)
    , m_widget(window)
    , m_describe(std::move(describe))
{
    if (!m_widget)
        return; // no window: nothing to report
    m_widget->installEventFilter(this); // its Show comes when it is shown, if it is not yet
    if (m_widget->windowHandle())
        Watch();
}

void CShownProbe::Watch()
{
    if (m_window || !m_widget || !m_widget->windowHandle())
        return;
    m_window = m_widget->windowHandle();
    m_window->installEventFilter(this);
    // the window may have been exposed before we were listening
    QTimer::singleShot(0, this, [this] {
        if (m_window && m_window->isExposed())
            Report();
    });
}

bool CShownProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::Show)
        Watch();
    else if (watched == m_window && event->type() == QEvent::Expose && m_window->isExposed())
        QTimer::singleShot(0, this, &CShownProbe::Report); // after the window has painted
    return QObject::eventFilter(watched, event);
}

void CShownProbe::Report()
{
    if (m_bReported)
        return;
    m_bReported = true;
    const QByteArray line = QStringLiteral("main window shown: %1\n").arg(m_describe ? m_describe() : QString()).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    QCoreApplication::quit();
}
