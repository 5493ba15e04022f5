// The committed pictures (res/pictures, compiled into the program, and res/icons, the icon
// theme's files that are installed) are what tools/artwork draws: the generator gives the same
// bytes on every run of one machine, and the committed files hold the same pictures. Qt's raster engine
// picks its blending code by processor, so anti-aliased edges may differ by a level or two
// between machines: the committed files are compared picture by picture, with that tolerance.
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class ArtworkTest : public QObject {
    Q_OBJECT

private slots:
    void generatorIsDeterministicAndMatchesCommittedFiles_data();
    void generatorIsDeterministicAndMatchesCommittedFiles();
    void themeIconsHaveTheSizesTheirFoldersName();
    void contactSheetRendersFromCommittedFiles();
    void generatorRejectsBadArguments();

private:
    static bool Run(const QStringList& args, QString* output = nullptr);
};

namespace {

// Relative path -> bytes of every file under `root`.
QMap<QString, QByteArray> Files(const QString& root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out.insert(QDir(root).relativeFilePath(path), f.readAll());
    }
    return out;
}

// Every picture in the file's bytes (all sizes of an icon), as 32-bit ARGB.
QList<QImage> Pictures(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QList<QImage> out;
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        out.append(image.convertToFormat(QImage::Format_ARGB32));
    } while (reader.jumpToNextImage());
    return out;
}

// Same pictures: equal bytes, or the same sizes with no channel more than `tolerance` apart.
bool SamePictures(const QByteArray& a, const QByteArray& b, int tolerance)
{
    if (a == b)
        return true;
    const QList<QImage> x = Pictures(a), y = Pictures(b);
    if (x.isEmpty() || x.size() != y.size())
        return false;
    for (qsizetype i = 0; i < x.size(); ++i) {
        if (x[i].size() != y[i].size())
            return false;
        for (int row = 0; row < x[i].height(); ++row) {
            const auto* p = reinterpret_cast<const QRgb*>(x[i].constScanLine(row));
            const auto* q = reinterpret_cast<const QRgb*>(y[i].constScanLine(row));
            for (int col = 0; col < x[i].width(); ++col) {
                if (std::abs(qRed(p[col]) - qRed(q[col])) > tolerance ||
                    std::abs(qGreen(p[col]) - qGreen(q[col])) > tolerance ||
                    std::abs(qBlue(p[col]) - qBlue(q[col])) > tolerance ||
                    std::abs(qAlpha(p[col]) - qAlpha(q[col])) > tolerance)
                    return false;
            }
        }
    }
    return true;
}

QString SourceDir()
{
    return qEnvironmentVariable("YFX_SOURCE_DIR", QStringLiteral(YFX_SOURCE_DIR_DEFAULT));
}

} // namespace

bool ArtworkTest::Run(const QStringList& args, QString* output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(YFX_ARTWORK_TOOL), args);
    if (!p.waitForFinished(120000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void ArtworkTest::generatorIsDeterministicAndMatchesCommittedFiles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("committedFolder");
    QTest::addColumn<int>("count");
    QTest::newRow("program pictures") << QStringList() << QStringLiteral("res/pictures")
                                      << 52; // 20 badges, 5 bitmaps, each also "@2x"; 2 icons
    QTest::newRow("icon theme") << QStringList{QStringLiteral("--icons")} << QStringLiteral("res/icons")
                                << 7; // 16, 24, 32, 48, 64, 128 and 256 pixels
}

void ArtworkTest::generatorIsDeterministicAndMatchesCommittedFiles()
{
    QFETCH(QStringList, options);
    QFETCH(QString, committedFolder);
    QFETCH(int, count);
    QTemporaryDir first, second;
    QVERIFY(first.isValid() && second.isValid());
    QString log;
    QVERIFY2(Run(options + QStringList{first.path()}, &log), qPrintable(log));
    QVERIFY2(Run(options + QStringList{second.path()}, &log), qPrintable(log));

    const auto a = Files(first.path());
    const auto b = Files(second.path());
    QCOMPARE(a.size(), count);
    QCOMPARE(a.keys(), b.keys());
    for (const QString& name : a.keys())
        QVERIFY2(a[name] == b[name], qPrintable(name + QStringLiteral(" differs between two runs")));

    const auto committed = Files(SourceDir() + QLatin1Char('/') + committedFolder);
    QCOMPARE(committed.keys(), a.keys());
    for (const QString& name : a.keys())
        QVERIFY2(SamePictures(committed[name], a[name], 3),
                 qPrintable(name + QStringLiteral(" is not what tools/artwork draws: run scripts/make-artwork")));
}

void ArtworkTest::themeIconsHaveTheSizesTheirFoldersName()
{
    // hicolor/NxN/apps/yuefengxuan.png holds one N x N picture with a transparent corner
    const auto icons = Files(SourceDir() + QStringLiteral("/res/icons"));
    QVERIFY(!icons.isEmpty());
    for (const QString& name : icons.keys()) {
        const QStringList parts = name.split(QLatin1Char('/'));
        QCOMPARE(parts.size(), 4);
        QCOMPARE(parts[0], QStringLiteral("hicolor"));
        QCOMPARE(parts[2], QStringLiteral("apps"));
        QCOMPARE(parts[3], QStringLiteral("yuefengxuan.png"));
        const int size = parts[1].section(QLatin1Char('x'), 0, 0).toInt();
        QCOMPARE(parts[1], QStringLiteral("%1x%1").arg(size));
        const QList<QImage> pictures = Pictures(icons[name]);
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(pictures[0].size(), QSize(size, size));
        QCOMPARE(qAlpha(pictures[0].pixel(0, 0)), 0);
        QCOMPARE(qAlpha(pictures[0].pixel(size / 2, size * 3 / 4)), 255); // the bag's body
    }
}

void ArtworkTest::contactSheetRendersFromCommittedFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sheet = dir.filePath(QStringLiteral("sheet.png"));
    QString log;
    QVERIFY2(Run({QStringLiteral("--sheet"), SourceDir() + QStringLiteral("/res/pictures"), sheet}, &log), qPrintable(log));
    const QImage img(sheet);
    QVERIFY(!img.isNull());
    QVERIFY(img.width() >= 800 && img.height() >= 600);

    // a folder with a missing picture is refused, not drawn with a hole
    QTemporaryDir broken;
    QVERIFY(Run({broken.path()}));
    QVERIFY(QFile::remove(broken.filePath(QStringLiteral("gif/320.bmp"))));
    QVERIFY(!Run({QStringLiteral("--sheet"), broken.path(), dir.filePath(QStringLiteral("broken.png"))}, &log));
    QVERIFY(log.contains(QStringLiteral("320.bmp")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("broken.png"))));
}

void ArtworkTest::generatorRejectsBadArguments()
{
    QVERIFY(!Run({}));
    QVERIFY(!Run({QStringLiteral("--sheet")}));
    QVERIFY(!Run({QStringLiteral("--bogus")}));
    QVERIFY(!Run({QStringLiteral("--icons")}));
}

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
