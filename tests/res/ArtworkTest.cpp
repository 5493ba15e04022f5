// The committed pictures are exactly what tools/artwork draws: the generator gives the same
// bytes on every run, and those bytes are the ones under res/pictures.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class ArtworkTest : public QObject {
    Q_OBJECT

private slots:
    void generatorIsDeterministicAndMatchesCommittedFiles();
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

void ArtworkTest::generatorIsDeterministicAndMatchesCommittedFiles()
{
    QTemporaryDir first, second;
    QVERIFY(first.isValid() && second.isValid());
    QString log;
    QVERIFY2(Run({first.path()}, &log), qPrintable(log));
    QVERIFY2(Run({second.path()}, &log), qPrintable(log));

    const auto a = Files(first.path());
    const auto b = Files(second.path());
    QCOMPARE(a.size(), 27); // 20 badges, 5 bitmaps, 2 icons
    QCOMPARE(a.keys(), b.keys());
    for (const QString& name : a.keys())
        QVERIFY2(a[name] == b[name], qPrintable(name + QStringLiteral(" differs between two runs")));

    const auto committed = Files(SourceDir() + QStringLiteral("/res/pictures"));
    QCOMPARE(committed.keys(), a.keys());
    for (const QString& name : a.keys())
        QVERIFY2(committed[name] == a[name],
                 qPrintable(name + QStringLiteral(" is not what tools/artwork draws: run scripts/make-artwork")));
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
}

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
