#include "app/CDesktopNotifier.h"

#include "app/AlertTexts.h"
#include "market/PictureCache.h"
#include "results/QueuedCall.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QFileInfo>
#include <QImageReader>
#include <QTimer>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

// The "image-data" hint: raw pixels as the notification protocol lays them out, (iiibiiay).
struct ImageData {
    int width = 0;
    int height = 0;
    int rowstride = 0;
    bool hasAlpha = false;
    int bitsPerSample = 8;
    int channels = 3;
    QByteArray data;
};

QDBusArgument& operator<<(QDBusArgument& arg, const ImageData& image)
{
    arg.beginStructure();
    arg << image.width << image.height << image.rowstride << image.hasAlpha << image.bitsPerSample
        << image.channels << image.data;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, ImageData& image)
{
    arg.beginStructure();
    arg >> image.width >> image.height >> image.rowstride >> image.hasAlpha >> image.bitsPerSample >>
        image.channels >> image.data;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(ImageData)

namespace {

ImageData ImageDataOf(const QImage& picture)
{
    const bool alpha = picture.hasAlphaChannel();
    const QImage pixels = picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    ImageData out;
    out.width = pixels.width();
    out.height = pixels.height();
    out.rowstride = static_cast<int>(pixels.bytesPerLine());
    out.hasAlpha = alpha;
    out.channels = alpha ? 4 : 3;
    out.data = QByteArray(reinterpret_cast<const char*>(pixels.constBits()), pixels.sizeInBytes());
    return out;
}

QImage Fitted(QImage picture)
{
    const int side = CDesktopNotifier::kPictureSide;
    if (picture.width() > side || picture.height() > side)
        picture = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

} // namespace

CDesktopNotifier::CDesktopNotifier(QObject* parent) : QObject(parent)
{
    qDBusRegisterMetaType<ImageData>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
}

CDesktopNotifier::~CDesktopNotifier() = default;

void CDesktopNotifier::SetPictureFolder(const QString& folder)
{
    m_strPictureFolder = folder;
}

void CDesktopNotifier::Tell(const std::vector<yfx::store::PriceAlert>& alerts)
{
    if (alerts.empty())
        return;
    Notice notice;
    notice.body = QString::fromStdString(yfx::AlertsBody(alerts));
    if (alerts.size() == 1) {
        const yfx::store::PriceAlert& alert = alerts.front();
        notice.page = QString::fromStdString(alert.page);
        const std::string name = yfx::PictureFileName(alert.picture);
        if (!name.empty())
            notice.pictureFile = QString::fromStdString(name); // relative: resolved in the folder
        notice.largerPictureFile = QString::fromStdString(yfx::LargerPictureFileName(alert.picture));
    }
    Send(notice);
}

void CDesktopNotifier::Send(const Notice& notice)
{
    ++m_nPending;
    if (!notice.picture.isNull() || notice.pictureFile.isEmpty()) {
        Dispatch(notice, notice.picture.isNull() ? QImage() : Fitted(notice.picture));
        return;
    }
    // finding the folder touches the disk and decoding takes a while: not on this thread
    yfx::RunInPoolThenCall(
        this,
        [folder = m_strPictureFolder, files = QStringList{notice.pictureFile, notice.largerPictureFile}] {
            for (const QString& file : files) {
                if (file.isEmpty())
                    continue;
                QString path = file;
                if (QFileInfo(file).isRelative()) {
                    const QString base =
                        folder.isEmpty() ? QString::fromStdString(yfx::MakePictureCacheFolder()) : folder;
                    if (base.isEmpty())
                        return QImage();
                    path = base + file;
                }
                if (!QFileInfo::exists(path))
                    continue;
                // a file of the cache is still only what a server sent: its size is read from
                // its header, and a picture beyond any thumbnail's is not decoded
                QImageReader reader(path);
                const QSize size = reader.size();
                if (!size.isValid() || size.width() > kMaxPictureEdge || size.height() > kMaxPictureEdge)
                    return QImage();
                QImage picture = reader.read();
                return picture.isNull() ? picture : Fitted(std::move(picture));
            }
            return QImage();
        },
        [this, notice](const QImage& picture) { Dispatch(notice, picture); });
}

void CDesktopNotifier::Dispatch(const Notice& notice, const QImage& picture)
{
    if (m_service == Service::Answers) {
        Notify(notice, picture);
        return;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        // no session bus at all (a check from a timer without a login): nobody to ask, and a
        // call on the unconnected bus would never finish
        emit unanswered(notice.body);
        Done();
        return;
    }
    m_waiting.emplace_back(notice, picture);
    if (m_service == Service::Asking)
        return;
    // the first call also tells whether anybody answers at all, and whether bodies are markup
    m_service = Service::Asking;
    QDBusMessage ask =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QStringList> reply = *w;
        auto waiting = std::move(m_waiting);
        m_waiting.clear();
        if (reply.isError()) {
            m_service = Service::Unknown; // asked again next time: a service may come later
            for (const auto& [n, p] : waiting) {
                emit unanswered(n.body);
                Done();
            }
            return;
        }
        m_service = Service::Answers;
        m_bMarkup = reply.value().contains(QStringLiteral("body-markup"));
        for (const auto& [n, p] : waiting)
            Notify(n, p);
    });
}

void CDesktopNotifier::Notify(const Notice& notice, const QImage& picture)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("yuefengxuan"));
    hints.insert(QStringLiteral("category"), QStringLiteral("transfer"));
    if (!picture.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(ImageDataOf(picture)));
    const QString body =
        m_bMarkup ? notice.body.toHtmlEscaped() : notice.body;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("悦丰选网购助手") << uint(0) << QStringLiteral("yuefengxuan")
         << QString::fromStdString(yfx::AlertTitle()) << body
         << QStringList{kDefaultAction, QStringLiteral("查看")} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_service = Service::Unknown;
            emit unanswered(notice.body);
            Done();
            return;
        }
        m_open.insert(reply.value(), notice.page);
        emit shown(reply.value());
    });
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action)
{
    const auto it = m_open.constFind(id);
    if (it == m_open.cend())
        return; // another program's notice
    const QString page = it.value();
    // one answer per notice: the service closes it after an action
    m_open.erase(it);
    if (action == kDefaultAction) {
        if (page.isEmpty())
            emit watchListRequested();
        else
            emit itemRequested(page);
    }
    Done();
}

void CDesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/)
{
    if (m_open.remove(id))
        Done();
}

void CDesktopNotifier::Hold()
{
    ++m_nPending;
}

void CDesktopNotifier::Release()
{
    Done();
}

void CDesktopNotifier::Done()
{
    if (m_nPending > 0 && --m_nPending == 0)
        emit settled();
}

bool CDesktopNotifier::WaitUntilSettled(int msecs)
{
    if (m_nPending == 0)
        return true;
    QEventLoop loop;
    connect(this, &CDesktopNotifier::settled, &loop, &QEventLoop::quit);
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
    return m_nPending == 0;
}
