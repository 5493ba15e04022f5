// yfx-artwork: draws the program's pictures into a folder, the same bytes on every run.
//   yfx-artwork OUT_FOLDER                 writes gif/315..334.bmp, bitmap/*.bmp (each also at
//                                          twice the pixels as NAME@2x.bmp), icon/*.ico
//   yfx-artwork --icons OUT_FOLDER         writes hicolor/NxN/apps/yuefengxuan.png (the program's
//                                          icon in the desktop's icon theme, N = 16..256)
//   yfx-artwork --sheet PICTURES OUT.png   renders the contact sheet of a pictures folder
#include "tools/artwork/BadgeArt.h"
#include "tools/artwork/BmpWriter.h"
#include "tools/artwork/ContactSheet.h"
#include "tools/artwork/IcoWriter.h"
#include "tools/artwork/IconArt.h"
#include "tools/artwork/LinkArt.h"
#include "tools/artwork/StripArt.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include <cstdio>

namespace {

bool Save(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "yfx-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

int WriteAll(const QString& out)
{
    bool ok = true;
    // Each picture twice: as it is, and at twice the pixels as "NAME@2x.bmp", which the program
    // takes on a screen of a device pixel ratio above 1 (Qt's "@Nx" rule).
    for (int scale : {1, 2}) {
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
        for (int level = 1; level <= 20; ++level) {
            const QImage badge = BadgeArt::Badge(level, scale);
            const QByteArray bytes = level <= 5 ? BmpWriter::Indexed8(badge) : BmpWriter::Rgb32(badge);
            ok &= Save(out + QStringLiteral("/gif/%1%2.bmp").arg(314 + level).arg(suffix), bytes);
        }
        const QString bitmap = out + QStringLiteral("/bitmap/%1") + suffix + QStringLiteral(".bmp");
        ok &= Save(bitmap.arg(189), BmpWriter::Rgb24(StripArt::Large(scale)));
        ok &= Save(bitmap.arg(191), BmpWriter::Rgb24(StripArt::Small(scale)));
        ok &= Save(bitmap.arg(335), BmpWriter::Rgb32(LinkArt::Announcement(scale)));
        ok &= Save(bitmap.arg(336), BmpWriter::Rgb24(LinkArt::MarketLogo(scale)));
        ok &= Save(bitmap.arg(337), BmpWriter::Rgb24(LinkArt::MallLogo(scale)));
    }
    for (int id : {128, 130}) {
        std::vector<QImage> sizes;
        for (int s : IconArt::Sizes())
            sizes.push_back(IconArt::Render(id, s));
        ok &= Save(out + QStringLiteral("/icon/%1.ico").arg(id), IcoWriter::Write(sizes));
    }
    return ok ? 0 : 1;
}

int WriteThemeIcons(const QString& out)
{
    bool ok = true;
    for (int size : IconArt::ThemeSizes()) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImageWriter writer(&png, "png");
        ok &= writer.write(IconArt::Render(128, size));
        ok &= Save(out + QStringLiteral("/hicolor/%1x%1/apps/yuefengxuan.png").arg(size), png.data());
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // No window system needed; and the raster engine's baseline code paths only, so that the
    // pixels do not depend on which vector instructions this processor has.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_NO_CPU_FEATURE", "sse3 ssse3 fma sse4.1 sse4.2 movbe popcnt aes avx f16c bmi avx2 bmi2 "
                                 "avx512f avx512dq avx512ifma avx512cd avx512bw avx512vl avx512vbmi "
                                 "avx512vbmi2 gfni vaes avx512vnni avx512bitalg avx512vpopcntdq avx512fp16");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (LinkArt::FontFamily().isEmpty()) {
        std::fprintf(stderr, "yfx-artwork: the font WenQuanYi Micro Hei is not installed (fonts-wqy-microhei)\n");
        return 2;
    }
    if (args.size() == 4 && args[1] == QLatin1String("--sheet")) {
        QString error;
        const QImage sheet = ContactSheet::Render(args[2], &error);
        if (sheet.isNull()) {
            std::fprintf(stderr, "yfx-artwork: cannot read %s\n", qPrintable(error));
            return 1;
        }
        return sheet.save(args[3], "PNG") ? 0 : 1;
    }
    if (args.size() == 3 && args[1] == QLatin1String("--icons") && !args[2].startsWith(QLatin1Char('-')))
        return WriteThemeIcons(args[2]);
    if (args.size() == 2 && !args[1].startsWith(QLatin1Char('-')))
        return WriteAll(args[1]);
    std::fprintf(stderr, "usage: yfx-artwork OUT_FOLDER | yfx-artwork --icons OUT_FOLDER | yfx-artwork --sheet PICTURES OUT.png\n");
    return 2;
}
