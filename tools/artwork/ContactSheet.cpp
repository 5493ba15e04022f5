#include "tools/artwork/ContactSheet.h"

#include <QImageReader>
#include <QPainter>
#include <vector>

namespace {

constexpr int kZoom = 2;
const QColor kGround(246, 247, 250);
const QColor kInk(40, 44, 52);
const QColor kNote(110, 116, 128);

QImage Load(const QString& path, QString* error)
{
    QImage img(path);
    if (img.isNull() && error && error->isEmpty())
        *error = path;
    return img;
}

std::vector<QImage> LoadIcon(const QString& path, QString* error)
{
    std::vector<QImage> out;
    QImageReader reader(path);
    do {
        const QImage img = reader.read();
        if (img.isNull())
            break;
        out.push_back(img);
    } while (reader.jumpToNextImage());
    if (out.empty() && error && error->isEmpty())
        *error = path;
    return out;
}

QImage Keyed(const QImage& img, QRgb key)
{
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF))
                line[x] = 0;
    }
    return out;
}

// Draws `img` enlarged pixel for pixel with its top-left at (x, y) in sheet pixels.
void Put(QPainter& p, int x, int y, const QImage& img)
{
    p.drawImage(QRect(x, y, img.width() * kZoom, img.height() * kZoom), img);
}

void Text(QPainter& p, int x, int y, const QString& text, int px, QColor colour, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(px);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QPoint(x, y), text);
}

} // namespace

QImage ContactSheet::Render(const QString& pictures, QString* error)
{
    QString failed;
    const QString dir = pictures + QLatin1Char('/');
    std::vector<QImage> badges;
    for (int id = 315; id <= 334; ++id)
        badges.push_back(Load(dir + QStringLiteral("gif/%1.bmp").arg(id), &failed));
    const QImage b189 = Load(dir + QStringLiteral("bitmap/189.bmp"), &failed);
    const QImage b191 = Load(dir + QStringLiteral("bitmap/191.bmp"), &failed);
    const QImage b335 = Load(dir + QStringLiteral("bitmap/335.bmp"), &failed);
    const QImage b336 = Load(dir + QStringLiteral("bitmap/336.bmp"), &failed);
    const QImage b337 = Load(dir + QStringLiteral("bitmap/337.bmp"), &failed);
    const std::vector<QImage> i128 = LoadIcon(dir + QStringLiteral("icon/128.ico"), &failed);
    const std::vector<QImage> i130 = LoadIcon(dir + QStringLiteral("icon/130.ico"), &failed);
    if (!failed.isEmpty()) {
        if (error)
            *error = failed;
        return {};
    }

    QImage sheet(1080, 880, QImage::Format_RGB32);
    sheet.fill(kGround);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);

    Text(p, 24, 40, QStringLiteral("悦丰选网购助手 · artwork (2x, pixel for pixel)"), 22, kInk, true);

    // badges: one row per symbol, levels 1..20
    Text(p, 24, 84, QStringLiteral("Credit badges: level n = GIF resource 314 + n (BMP, 16 px high)"), 15, kInk, true);
    int y = 104;
    for (int row = 0; row < 4; ++row) {
        int x = 24;
        for (int col = 0; col < 5; ++col) {
            const int level = row * 5 + col + 1;
            const QImage& b = badges[size_t(level - 1)];
            Text(p, x, y + 20, QString::number(level), 15, kInk, true);
            p.fillRect(QRect(x + 28, y - 2, b.width() * kZoom + 4, b.height() * kZoom + 4), Qt::white);
            Put(p, x + 30, y, b);
            Text(p, x + 28, y + 52, QStringLiteral("%1  %2×%3").arg(314 + level).arg(b.width()).arg(b.height()),
                 12, kNote);
            x += 208;
        }
        y += 72;
    }

    // link bitmaps and the announcement picture
    y += 10;
    Text(p, 24, y, QStringLiteral("Link bitmaps 336, 337 and announcement 335"), 15, kInk, true);
    y += 20;
    Put(p, 24, y, b336);
    Put(p, 24 + b336.width() * kZoom + 24, y, b337);
    Put(p, 24 + (b336.width() + b337.width()) * kZoom + 48, y, b335);
    Text(p, 24, y + b337.height() * kZoom + 20,
         QStringLiteral("336  %1×%2").arg(b336.width()).arg(b336.height()), 12, kNote);
    Text(p, 24 + b336.width() * kZoom + 24, y + b337.height() * kZoom + 20,
         QStringLiteral("337  %1×%2").arg(b337.width()).arg(b337.height()), 12, kNote);
    Text(p, 24 + (b336.width() + b337.width()) * kZoom + 48, y + b335.height() * kZoom + 20,
         QStringLiteral("335  %1×%2").arg(b335.width()).arg(b335.height()), 12, kNote);
    y += b337.height() * kZoom + 52;

    // strips: as stored, then keyed over the sheet's ground and over white
    Text(p, 24, y, QStringLiteral("Navigation strips 189 (24 px) and 191 (16 px): stored, then magenta transparent"),
         15, kInk, true);
    y += 20;
    const QRgb key = qRgb(255, 0, 255);
    Put(p, 24, y, b189);
    Put(p, 200, y, Keyed(b189, key));
    p.fillRect(QRect(370, y, b189.width() * kZoom, b189.height() * kZoom), Qt::white);
    Put(p, 370, y, Keyed(b189, key));
    Put(p, 560, y + 16, b191);
    Put(p, 720, y + 16, Keyed(b191, key));
    y += 48 + 40;

    // icons at every stored size
    Text(p, 24, y, QStringLiteral("Icons 128 (main frame) and 130 (results windows), every stored size"), 15, kInk, true);
    y += 20;
    int x = 24;
    for (const auto* icon : {&i128, &i130}) {
        for (const QImage& img : *icon) {
            Put(p, x, y, img);
            x += img.width() * kZoom + 12;
        }
        x += 30;
    }
    p.end();
    return sheet;
}
