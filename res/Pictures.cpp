// Pictures compiled in with Qt's resource system (yfx_res.qrc): badges, bitmaps, icons.
#include "res/Resources.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QThread>

#include <algorithm>
#include <cmath>
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

// Qt's "@Nx" rule: for a ratio above 1, NAME@Nx.EXT for the largest N from ceil(ratio) down to
// 2 that exists, else the path itself.
QString AtRatio(const QString& path, qreal ratio, int* found)
{
    *found = 1;
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    for (int n = std::min(9, int(std::ceil(ratio))); n > 1 && dot > 0; --n) {
        const QString candidate = path.left(dot) + QStringLiteral("@%1x").arg(n) + path.mid(dot);
        if (QFile::exists(candidate)) {
            *found = n;
            return candidate;
        }
    }
    return path;
}

qreal ApplicationRatio()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? app->devicePixelRatio() : 1.0;
}

// Pixmaps exist only with a QGuiApplication, on its thread.
bool CanMakePixmaps()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

} // namespace

QString ResourcePath(const char* type, int id, qreal ratio)
{
    EnsureResources();
    const QString path = PathOf(type, id);
    int found = 1;
    return path.isEmpty() || !(ratio > 1) ? path : AtRatio(path, ratio, &found);
}

ResourceFile ResourceDataFor(const char* type, int id, qreal ratio)
{
    EnsureResources();
    const QString plain = PathOf(type, id);
    if (plain.isEmpty())
        return {};
    ResourceFile out;
    const QString path = ratio > 1 ? AtRatio(plain, ratio, &out.ratio) : plain;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    out.data = file.readAll();
    return out;
}

QByteArray ResourceData(const char* type, int id)
{
    return ResourceDataFor(type, id, 1).data;
}

QImage BitmapImage(int id, qreal ratio)
{
    const QString path = ResourcePath("BITMAP", id, ratio);
    if (path.isEmpty())
        return {};
    // (the reader gives a picture of an "@Nx" file the device pixel ratio N)
    QImageReader reader(path, "BMP");
    return reader.read();
}

QPixmap Bitmap(int id)
{
    if (!CanMakePixmaps())
        return QPixmap(); // only reached on a worker thread: without an application Qt aborts here
    const QImage img = BitmapImage(id, ApplicationRatio());
    return img.isNull() ? QPixmap() : QPixmap::fromImage(img);
}

std::vector<QImage> ImageStripImages(int id, int width, qreal ratio)
{
    std::vector<QImage> out;
    if (width <= 0)
        return out;
    const QImage read = BitmapImage(id, ratio);
    const qreal dpr = read.devicePixelRatio();
    const QImage strip = read.convertToFormat(QImage::Format_ARGB32);
    if (strip.isNull())
        return out;
    const QRgb key = qRgb(255, 0, 255);
    const int cellWidth = qRound(width * dpr);
    for (int x = 0; x + cellWidth <= strip.width(); x += cellWidth) {
        QImage cell = strip.copy(x, 0, cellWidth, strip.height());
        cell.setDevicePixelRatio(dpr);
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
    for (const QImage& img : ImageStripImages(id, width, ApplicationRatio()))
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
