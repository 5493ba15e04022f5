#include "app/CAssistantBus.h"

#include "app/CDesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QProcess>

const QString CAssistantBus::kService = QStringLiteral("org.yuefengxuan.Assistant");

namespace {

const QString kObjectPath = QStringLiteral("/");

void Ask(const QString& method, const QVariantList& arguments, QObject* context,
         std::function<void(bool)> done, QDBusConnection bus)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(CAssistantBus::kService, kObjectPath, CAssistantBus::kService, method);
    call.setArguments(arguments);
    call.setAutoStartService(false); // a program that does not run is not started by the bus
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         done(!w->isError());
                     });
}

} // namespace

CAssistantBus::CAssistantBus(QObject* parent) : QObject(parent) {}

CAssistantBus::~CAssistantBus()
{
    if (m_strConnection.isEmpty())
        return;
    QDBusConnection bus(m_strConnection);
    bus.unregisterObject(kObjectPath);
    bus.unregisterService(kService);
}

bool CAssistantBus::Register(QDBusConnection bus)
{
    if (!bus.isConnected() || !m_strConnection.isEmpty())
        return false;
    if (!bus.registerService(kService))
        return false;
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots)) {
        bus.unregisterService(kService);
        return false;
    }
    m_strConnection = bus.name();
    return true;
}

void CAssistantBus::ShowWatchList()
{
    emit showWatchListRequested();
}

void CAssistantBus::OpenItem(const QString& page)
{
    emit openItemRequested(page);
}

void CAssistantBus::AskShowWatchList(QObject* context, std::function<void(bool)> done, QDBusConnection bus)
{
    Ask(QStringLiteral("ShowWatchList"), {}, context, std::move(done), bus);
}

void CAssistantBus::AskOpenItem(const QString& page, QObject* context, std::function<void(bool)> done,
                                QDBusConnection bus)
{
    Ask(QStringLiteral("OpenItem"), {page}, context, std::move(done), bus);
}

CHeadlessOpener::CHeadlessOpener(CDesktopNotifier* notifier, QString program, QObject* parent)
    : QObject(parent), m_notifier(notifier), m_strProgram(std::move(program))
{
    connect(notifier, &CDesktopNotifier::itemRequested, this, [this](const QString& page) {
        m_notifier->Hold();
        CAssistantBus::AskOpenItem(
            page, this, [this, page](bool taken) { Answered(taken, QStringLiteral("xdg-open"), {page}); });
    });
    connect(notifier, &CDesktopNotifier::watchListRequested, this, [this] {
        m_notifier->Hold();
        CAssistantBus::AskShowWatchList(
            this, [this](bool taken) { Answered(taken, m_strProgram, {QStringLiteral("--show-watched")}); });
    });
}

void CHeadlessOpener::Answered(bool taken, const QString& program, const QStringList& arguments)
{
    if (taken)
        emit opened(QStringLiteral("program"));
    else if (QProcess::startDetached(program, arguments))
        emit opened(program == m_strProgram ? QStringLiteral("started") : QStringLiteral("browser"));
    else
        emit opened(QStringLiteral("failed"));
    m_notifier->Release();
}
