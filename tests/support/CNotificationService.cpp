#include "CNotificationService.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {
const QString kName = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kConnection = QStringLiteral("yfx-test-notification-service");
} // namespace

CNotificationService::CNotificationService(QStringList capabilities)
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection)),
      m_capabilities(std::move(capabilities))
{
}

CNotificationService::~CNotificationService()
{
    m_bus.unregisterObject(kPath);
    m_bus.unregisterService(kName);
    QDBusConnection::disconnectFromBus(kConnection);
}

bool CNotificationService::Start()
{
    return m_bus.isConnected() &&
           m_bus.registerObject(kPath, this,
                                QDBusConnection::ExportScriptableSlots |
                                    QDBusConnection::ExportScriptableSignals) &&
           m_bus.registerService(kName);
}

uint CNotificationService::Notify(const QString& app, uint replaces, const QString& icon,
                                  const QString& summary, const QString& body, const QStringList& actions,
                                  const QVariantMap& hints, int timeout)
{
    if (m_bFailing) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("the test service refuses notices"));
        return 0;
    }
    m_calls.push_back({app, replaces, icon, summary, body, actions, hints, timeout, m_nextId++});
    emit notified();
    return m_calls.back().id;
}

QStringList CNotificationService::GetCapabilities()
{
    if (m_bFailing)
        sendErrorReply(QDBusError::Failed, QStringLiteral("the test service refuses notices"));
    return m_capabilities;
}

void CNotificationService::CloseNotification(uint id)
{
    Close(id, 3);
}

void CNotificationService::InvokeAction(uint id, const QString& key)
{
    emit ActionInvoked(id, key);
    emit NotificationClosed(id, 2);
}

void CNotificationService::Close(uint id, uint reason)
{
    emit NotificationClosed(id, reason);
}

bool CNotificationService::ImageOf(const Call& call, Image& out)
{
    const QVariant hint = call.hints.value(QStringLiteral("image-data"));
    if (!hint.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument arg = hint.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(iiibiiay)"))
        return false;
    arg.beginStructure();
    arg >> out.width >> out.height >> out.rowstride >> out.hasAlpha >> out.bitsPerSample >> out.channels >>
        out.data;
    arg.endStructure();
    return true;
}
