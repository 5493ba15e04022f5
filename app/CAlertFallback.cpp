#include "app/CAlertFallback.h"

#include "app/AlertTexts.h"
#include "app/CAnnouncementBar.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

CAlertFallback::CAlertFallback(QWidget* window)
    : QObject(window), m_window(window), m_bar(new CAnnouncementBar(window))
{
    m_bar->setObjectName(QStringLiteral("alertBar"));
    m_bar->hide();
    QToolButton* view = m_bar->AddButton(QStringLiteral("查看"));
    connect(view, &QToolButton::clicked, this, [this] {
        m_bar->hide();
        emit viewRequested();
    });
}

CAlertFallback::~CAlertFallback() = default;

void CAlertFallback::Show(const QString& text)
{
    const QString title = QString::fromStdString(yfx::AlertTitle());
    m_bInTray = QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
    if (!m_bInTray) {
        m_bar->SetText(title + QStringLiteral("：") + text);
        m_bar->show();
        return;
    }
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(m_window->windowIcon(), this);
        m_tray->setToolTip(title);
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, &CAlertFallback::viewRequested);
        connect(m_tray, &QSystemTrayIcon::activated, this, &CAlertFallback::viewRequested);
        m_trayHide = new QTimer(this);
        m_trayHide->setSingleShot(true);
        connect(m_trayHide, &QTimer::timeout, m_tray, &QSystemTrayIcon::hide);
    }
    m_tray->show();
    m_tray->showMessage(title, text, QSystemTrayIcon::Information, kTrayMessageMs);
    // the icon stays a while after the message, for a click on it
    m_trayHide->start(6 * kTrayMessageMs);
}
