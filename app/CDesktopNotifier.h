#pragma once
// Price-drop notices on the desktop's notification service (org.freedesktop.Notifications on
// the session bus). Qt Core, Gui (QImage only) and D-Bus: it works in a process without a
// window or a display (the headless check) as well as in the program.
//
// A notice is titled "降价提醒" and has one action, "查看" (the service's default action, a
// click on the notice): for one item it asks for the item (itemRequested), for the summary of
// several the watch list (watchListRequested). The item's picture goes along as image data
// when its file is in the picture folder. When no service answers (nobody owns the name and
// nothing can be started for it, or the call fails) the text is handed to unanswered() for the
// program to show another way. Everything is asynchronous: nothing here waits on the bus,
// except WaitUntilSettled, which is for processes without a window. Own thread only.
#include "store/WatchTypes.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class QDBusPendingCallWatcher;

class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int kPictureSide = 128; // larger pictures are scaled down to fit
    static constexpr int kMaxPictureEdge = 4096; // a picture file beyond this is not decoded

    // One notice. The picture: `picture` when it is not null, else the file `pictureFile` when
    // that can be read as a picture (read on a pool thread), else none.
    struct Notice {
        QString body;
        QString page; // what "查看" opens; empty: the watch list
        QImage picture;
        QString pictureFile;
        QString largerPictureFile; // taken when pictureFile is not there (an enlarged desktop's tiles)
    };

    explicit CDesktopNotifier(QObject* parent = nullptr);
    ~CDesktopNotifier() override;

    // The folder of the item pictures (ending in '/'); by default the user's picture cache,
    // looked for when the first picture is wanted.
    void SetPictureFolder(const QString& folder);

    // What one check found: nothing for no alerts, one notice for one (with the item's
    // picture), one summary notice for several.
    void Tell(const std::vector<yfx::store::PriceAlert>& alerts);
    void Send(const Notice& notice);

    // Notices being sent or shown whose action can still come (sent ones until the service
    // closes them or an action was invoked), and holds.
    int Pending() const { return m_nPending; }
    // Keeps Pending above 0 while something that follows an action is under way.
    void Hold();
    void Release();
    // Runs an event loop until nothing is pending or `msecs` have passed; true when nothing
    // is pending. For a process without a window, which would otherwise leave before the user
    // could click a notice: never call it on the program's GUI thread.
    bool WaitUntilSettled(int msecs);

signals:
    void itemRequested(const QString& page);
    void watchListRequested();
    // No service took the notice with this body: show it another way.
    void unanswered(const QString& text);
    // The service took a notice and gave it this id.
    void shown(uint id);
    // Pending has come down to 0.
    void settled();

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);

private:
    void Dispatch(const Notice& notice, const QImage& picture);
    void Notify(const Notice& notice, const QImage& picture);
    void Done();

    QString m_strPictureFolder;
    enum class Service { Unknown, Asking, Answers };
    Service m_service = Service::Unknown;
    bool m_bMarkup = false;                           // the service reads markup in bodies
    std::vector<std::pair<Notice, QImage>> m_waiting; // until the service's capabilities are known
    QHash<uint, QString> m_open;                      // shown notices: id → page ("" the watch list)
    int m_nPending = 0;
};
