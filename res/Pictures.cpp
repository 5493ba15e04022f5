// Pictures compiled in with Qt's resource system (yfx_res.qrc): badges, bitmaps, icons.
#include "res/Resources.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QThread>

#include <map>
#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace. A static library's resources are not
// registered by themselves, so every accessor below makes sure they are.
static void InitYfxResources()
{
    Q_INIT_RESOURCE(yfx_res);
}

namespace yfx::res {

namespace {

void EnsureResources()
{
    static std::once_flag once;
    std::call_once(once, InitYfxResources);
}

// The resource path of a typed resource, or an empty string for an unknown type.
QString PathOf(const char* type, int id)
{
    if (!type)
        return {};
    const QByteArray t = QByteArray(type).toLower();
    if (t == "gif")
        return QStringLiteral(":/yfx/res/pictures/gif/%1.bmp").arg(id);
    if (t == "bitmap")
        return QStringLiteral(":/yfx/res/pictures/bitmap/%1.bmp").arg(id);
    if (t == "icon")
        return QStringLiteral(":/yfx/res/pictures/icon/%1.ico").arg(id);
    return {};
}

// Pixmaps exist only with a QGuiApplication, on its thread.
bool CanMakePixmaps()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

} // namespace

QByteArray ResourceData(const char* type, int id)
{
    EnsureResources();
    const QString path = PathOf(type, id);
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage BitmapImage(int id)
{
    const QByteArray bytes = ResourceData("BITMAP", id);
    if (bytes.isEmpty())
        return {};
    return QImage::fromData(bytes, "BMP");
}

QPixmap Bitmap(int id)
{
    if (!CanMakePixmaps())
        return QPixmap(); // only reached on a worker thread: without an application Qt aborts here
    const QImage img = BitmapImage(id);
    return img.isNull() ? QPixmap() : QPixmap::fromImage(img);
}

std::vector<QImage> ImageStripImages(int id, int width)
{
    std::vector<QImage> out;
    if (width <= 0)
        return out;
    const QImage strip = BitmapImage(id).convertToFormat(QImage::Format_ARGB32);
    if (strip.isNull())
        return out;
    const QRgb key = qRgb(255, 0, 255);
    for (int x = 0; x + width <= strip.width(); x += width) {
        QImage cell = strip.copy(x, 0, width, strip.height());
        for (int y = 0; y < cell.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cell.scanLine(y));
            for (int i = 0; i < cell.width(); ++i)
                if (line[i] == key)
                    line[i] = qRgba(0, 0, 0, 0);
        }
        out.push_back(cell);
    }
    return out;
}

std::vector<QPixmap> ImageStrip(int id, int width)
{
    std::vector<QPixmap> out;
    if (!CanMakePixmaps())
        return out;
    for (const QImage& img : ImageStripImages(id, width))
        out.push_back(QPixmap::fromImage(img));
    return out;
}

QIcon Icon(int id)
{
    // Decoded once per id: every results window shows the same icon, and each new QIcon would
    // leave its own scaled pixmaps in Qt's pixmap cache. Kept to the end of the process (never
    // destroyed after the application, whose pixmaps they are).
    static auto& decoded = *new std::map<int, QIcon>;
    if (auto it = decoded.find(id); it != decoded.end())
        return it->second;
    QIcon icon;
    if (!CanMakePixmaps())
        return icon;
    QByteArray bytes = ResourceData("ICON", id);
    if (bytes.isEmpty())
        return icon;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ICO");
    do {
        const QImage img = reader.read();
        if (img.isNull())
            break;
        icon.addPixmap(QPixmap::fromImage(img));
    } while (reader.jumpToNextImage());
    decoded.emplace(id, icon);
    return icon;
}

} // namespace yfx::res
