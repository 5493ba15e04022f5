#pragma once
// A desktop notification service for tests: it owns org.freedesktop.Notifications on the
// session bus (run the test under dbus-run-session with tests/support/session-bus.conf, a bus
// of its own that starts nothing by itself), over a connection of its own, so that what the
// test process sends goes through the real bus. It records every Notify call and answers it
// with a new id, or with an error when told to fail; the test invokes actions and closes
// notices as a user would.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

class CNotificationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };
    // The "image-data" hint as it travelled, (iiibiiay).
    struct Image {
        int width = 0, height = 0, rowstride = 0;
        bool hasAlpha = false;
        int bitsPerSample = 0, channels = 0;
        QByteArray data;
    };

    explicit CNotificationService(QStringList capabilities = {QStringLiteral("actions"),
                                                              QStringLiteral("body")});
    ~CNotificationService() override;

    // Takes the name; false when it could not (no bus, or someone else has it).
    bool Start();
    void SetFailing(bool failing) { m_bFailing = failing; }
    const std::vector<Call>& Calls() const { return m_calls; }
    // The image-data hint of a call; false when it has none or it is not laid out as (iiibiiay).
    static bool ImageOf(const Call& call, Image& out);

    // As the user would: a click on the notice (the action `key`), or its closing.
    void InvokeAction(uint id, const QString& key);
    void Close(uint id, uint reason = 2);

public slots:
    Q_SCRIPTABLE uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap& hints,
                             int timeout);
    Q_SCRIPTABLE QStringList GetCapabilities();
    Q_SCRIPTABLE void CloseNotification(uint id);

signals:
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString& action_key);
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
    // (not on the bus) a Notify call was recorded
    void notified();

private:
    QDBusConnection m_bus;
    QStringList m_capabilities;
    std::vector<Call> m_calls;
    uint m_nextId = 1;
    bool m_bFailing = false;
};
