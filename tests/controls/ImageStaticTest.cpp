// The picture static offscreen: placement of pictures of several sizes, the frame colours,
// the decoding asked of the picture pool at a paint (never done on the GUI thread) and the rule
// that a file is read once per path; the bounded decoding of only what the control shows, also
// without the widget and on several threads at once; the bounds by the header for every
// format, reduced reading, and a failed file remembered until it changes.
#include "GifBuilder.h"
#include "controls/CMyImageStatic.h"
#include "controls/PictureLoad.h"
#include "controls/PicturePool.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kLightFrame(228, 228, 228);
const QColor kDarkFrame(192, 192, 192);
const QColor kCorner(0, 0, 255);

// A picture in one colour with a blue top-left pixel, so its placement can be read back.
QImage Picture(int w, int h, const QColor& fill)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    img.setPixelColor(0, 0, kCorner);
    return img;
}

QColor At(const QImage& img, int x, int y)
{
    return img.pixelColor(x, y);
}

QByteArray Encoded(const QImage& img, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, format))
        qFatal("cannot encode test picture");
    return bytes;
}

// A grey JPEG of w x h pixels with a black square of 100 pixels at its top-left corner and a
// white one at its bottom-right corner.
QByteArray MarkedJpeg(int w, int h)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    img.fill(128);
    QPainter p(&img);
    p.fillRect(0, 0, 100, 100, Qt::black);
    p.fillRect(w - 100, h - 100, 100, 100, Qt::white);
    p.end();
    return Encoded(img, "JPEG");
}

bool Near(const QColor& a, int grey)
{
    return qAbs(a.red() - grey) <= 8 && qAbs(a.green() - grey) <= 8 && qAbs(a.blue() - grey) <= 8;
}

quint32 Crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The PNG with its header saying the rows are interlaced (the data is left as it is: only the
// header is read before such a picture is refused).
QByteArray Interlaced(QByteArray png)
{
    png[28] = 1;
    const quint32 crc = Crc32(png.mid(12, 17)); // "IHDR" and its 13 bytes
    for (int i = 0; i < 4; ++i)
        png[29 + i] = char(crc >> (24 - 8 * i));
    return png;
}

QByteArray ProgressiveJpeg(int w, int h)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    img.fill(128);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(img))
        qFatal("cannot encode test picture");
    return bytes;
}

QByteArray Mono(int w, int h, const char* format)
{
    QImage img(w, h, QImage::Format_Mono);
    img.fill(1);
    return Encoded(img, format);
}

QByteArray Bytes(const GifBuilder& gif)
{
    return QByteArray(reinterpret_cast<const char*>(gif.bytes().data()), qsizetype(gif.bytes().size()));
}

} // namespace

class ImageStaticTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString Save(const QString& name, const QImage& img)
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        if (!img.save(path, "PNG"))
            qFatal("cannot write test picture");
        return path;
    }
    static QImage Grab(CMyImageStatic& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // Paints as the screen would: a paint without a picture asks the pool for it; once it is
    // back, paints again (a decoding that this second paint asks for is waited for too).
    static QImage GrabDecoded(CMyImageStatic& w)
    {
        QSignalSpy decoded(&w, &CMyImageStatic::decoded);
        const auto drain = [&] {
            while (w.Decoding())
                if (!decoded.wait(20000))
                    qFatal("no decoding came back");
        };
        Grab(w);
        drain();
        const QImage shot = Grab(w);
        drain();
        return shot;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void placement_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("thumbnail 220x220") << 220 << 220 << QPoint(4, 4);
        QTest::newRow("100x50 centred") << 100 << 50 << QPoint(64, 89);
        QTest::newRow("odd 101x51 truncates") << 101 << 51 << QPoint(63, 88);
        QTest::newRow("exactly the inner area") << 224 << 224 << QPoint(2, 2);
        QTest::newRow("300x300 from the inner corner") << 300 << 300 << QPoint(2, 2);
        QTest::newRow("wide 400x20") << 400 << 20 << QPoint(2, 104);
    }
    void placement()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QPoint, at);
        const QColor fill(200, 30, 40);
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = Save(QStringLiteral("p%1x%2.png").arg(w).arg(h), Picture(w, h, fill));
        const QImage shot = GrabDecoded(control);
        QCOMPARE(shot.size(), QSize(228, 228));

        // Natural size at the expected corner.
        QCOMPARE(At(shot, at.x(), at.y()), kCorner);
        const int right = std::min(at.x() + w, 228) - 1;
        const int bottom = std::min(at.y() + h, 228) - 1;
        QCOMPARE(At(shot, right, bottom), fill);
        // Only what the control shows is kept: at most the inner area and the inset beyond it.
        QCOMPARE(control.m_image.size(), QSize(std::min(w, 226), std::min(h, 226)));
        // White just outside the picture where the inner area goes on.
        if (at.x() > 2)
            QCOMPARE(At(shot, at.x() - 1, at.y()), kWhite);
        if (at.y() > 2)
            QCOMPARE(At(shot, at.x(), at.y() - 1), kWhite);
        if (at.x() + w < 226)
            QCOMPARE(At(shot, at.x() + w, bottom), kWhite);
        // The frame and the white ring inside it at the top-left are never covered.
        QCOMPARE(At(shot, 0, 0), kLightFrame);
        QCOMPARE(At(shot, 1, 1), kWhite);
        // A picture wider or higher than the inner area covers the frame on that side.
        QCOMPARE(At(shot, 227, 114), at.x() + w > 227 && at.y() <= 114 && at.y() + h > 114 ? fill : kLightFrame);
        QCOMPARE(At(shot, 114, 227), at.y() + h > 227 ? fill : kLightFrame);
    }

    void frameFollowsHover()
    {
        CMyImageStatic control;
        control.resize(228, 228);
        QVERIFY(!control.m_bHover);
        QImage shot = Grab(control);
        // No path at all: white ground and the light frame all round.
        for (const QPoint p : {QPoint(0, 0), QPoint(227, 0), QPoint(0, 227), QPoint(227, 227), QPoint(100, 0)})
            QCOMPARE(At(shot, p.x(), p.y()), kLightFrame);
        QCOMPARE(At(shot, 1, 1), kWhite);
        QCOMPARE(At(shot, 114, 114), kWhite);

        control.m_bHover = true;
        shot = Grab(control);
        for (const QPoint p : {QPoint(0, 0), QPoint(227, 0), QPoint(0, 227), QPoint(227, 227), QPoint(0, 100)})
            QCOMPARE(At(shot, p.x(), p.y()), kDarkFrame);
        QCOMPARE(At(shot, 1, 1), kWhite);
    }

    void missingFileLoadsWhenItAppears()
    {
        const QString path = m_dir.filePath(QStringLiteral("later.png"));
        QFile::remove(path);
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = path;
        QImage shot = GrabDecoded(control);
        QVERIFY(control.m_image.isNull());
        QCOMPARE(At(shot, 4, 4), kWhite);
        QCOMPARE(At(shot, 114, 114), kWhite);
        QCOMPARE(At(shot, 0, 0), kLightFrame);

        // A file that is not (yet) a picture: still empty, tried again next time.
        QFile partial(path);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write("\x89PNG\r\n");
        partial.close();
        shot = GrabDecoded(control);
        QVERIFY(control.m_image.isNull());
        QCOMPARE(At(shot, 114, 114), kWhite);

        const QColor fill(10, 160, 10);
        Save(QStringLiteral("later.png"), Picture(220, 220, fill));
        shot = GrabDecoded(control);
        QCOMPARE(At(shot, 4, 4), kCorner);
        QCOMPARE(At(shot, 114, 114), fill);
    }

    void fileIsReadOncePerPath()
    {
        const QColor first(250, 200, 0);
        const QColor second(0, 120, 250);
        const QString path = Save(QStringLiteral("once.png"), Picture(100, 50, first));
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = path;
        QCOMPARE(At(GrabDecoded(control), 100, 100), first);

        // Replaced on disk (even by a picture of another size): the old one stays,
        // also through a hover change, until the owner gives the path anew.
        Save(QStringLiteral("once.png"), Picture(220, 220, second));
        QCOMPARE(At(Grab(control), 100, 100), first);
        control.m_bHover = true;
        QImage shot = Grab(control);
        QCOMPARE(At(shot, 100, 100), first);
        QCOMPARE(At(shot, 0, 0), kDarkFrame);
        QCOMPARE(control.m_image.size(), QSize(100, 50));

        control.SetImagePath(path);
        shot = GrabDecoded(control);
        QCOMPARE(At(shot, 100, 100), second);
        QCOMPARE(At(shot, 4, 4), kCorner);

        // DestroyImage alone also makes the next paint read the file.
        Save(QStringLiteral("once.png"), Picture(220, 220, first));
        control.DestroyImage();
        QVERIFY(control.m_image.isNull());
        QCOMPARE(At(GrabDecoded(control), 100, 100), first);
    }

    void alphaIsBlendedOnWhite()
    {
        QImage img(50, 50, QImage::Format_ARGB32);
        img.fill(QColor(255, 0, 0, 128));
        img.setPixelColor(0, 0, QColor(0, 0, 0, 0));
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = Save(QStringLiteral("alpha.png"), img);
        const QImage shot = GrabDecoded(control);
        const QColor blended = At(shot, 114, 114);
        QCOMPARE(blended.red(), 255);
        QVERIFY2(qAbs(blended.green() - 127) <= 2 && qAbs(blended.blue() - 127) <= 2,
                 qPrintable(blended.name()));
        // Fully transparent pixel at the picture's corner (89, 89): white shows.
        QCOMPARE(At(shot, 89, 89), kWhite);
    }

    void visiblePart_data()
    {
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QRect>("visible");
        QTest::newRow("thumbnail, whole") << QSize(220, 220) << QRect(0, 0, 220, 220);
        QTest::newRow("inner area, whole") << QSize(224, 224) << QRect(0, 0, 224, 224);
        QTest::newRow("up to the edge, whole") << QSize(226, 226) << QRect(0, 0, 226, 226);
        QTest::newRow("one more, cut") << QSize(227, 227) << QRect(0, 0, 226, 226);
        QTest::newRow("5000x5000") << QSize(5000, 5000) << QRect(0, 0, 226, 226);
        QTest::newRow("narrow and tall") << QSize(100, 5000) << QRect(0, 0, 100, 226);
        QTest::newRow("wide and low") << QSize(5000, 20) << QRect(0, 0, 226, 20);
        QTest::newRow("empty") << QSize(0, 10) << QRect();
    }
    void visiblePart()
    {
        QFETCH(QSize, natural);
        QFETCH(QRect, visible);
        const QSize inner(224, 224);
        QCOMPARE(yfx::VisiblePictureRect(natural, inner), visible);
        if (visible.isEmpty())
            return;
        // The part lands where the whole picture would.
        const QRect innerRect(2, 2, 224, 224);
        QCOMPARE(yfx::PicturePosition(visible.size(), innerRect), yfx::PicturePosition(natural, innerRect));
    }

    void hugePictureIsDecodedOnlyWhereItShows()
    {
        // 16 M pixels, 64 MB as 32-bit pixels if it were decoded whole.
        const QByteArray jpeg = MarkedJpeg(4000, 4000);
        const QString path = m_dir.filePath(QStringLiteral("huge.jpg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(jpeg);
        file.close();

        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = path;
        const QImage shot = GrabDecoded(control);
        QCOMPARE(control.m_image.size(), QSize(226, 226));
        // Drawn from the inner corner, unscaled: the black square, then grey up to the edges.
        QVERIFY(Near(At(shot, 2, 2), 0));
        QVERIFY(Near(At(shot, 90, 90), 0));
        QVERIFY(Near(At(shot, 112, 112), 128));
        QVERIFY(Near(At(shot, 227, 227), 128));
        QCOMPARE(At(shot, 0, 0), kLightFrame);

        // The same from the bytes, without a widget.
        const QImage part = yfx::DecodePicture(jpeg, QSize(224, 224));
        QCOMPARE(part.size(), QSize(226, 226));
        QVERIFY(Near(part.pixelColor(0, 0), 0));
        QVERIFY(Near(part.pixelColor(225, 225), 128));
    }

    void picturesBeyondTheBoundsAreNotDecoded()
    {
        // More pixels than the bound (72 M, a few KB as a PNG of one bit per pixel).
        QImage many(9000, 8000, QImage::Format_Mono);
        many.fill(1);
        const QByteArray manyPng = Encoded(many, "PNG");
        QVERIFY(manyPng.size() < (1 << 20));
        // More bytes than the bound: a 24-bit BMP of 1700 x 1700 pixels is 8.7 MB.
        QImage big(1700, 1700, QImage::Format_RGB888);
        big.fill(QColor(10, 20, 30));
        const QByteArray bigBmp = Encoded(big, "BMP");
        QVERIFY(bigBmp.size() > (8 << 20));

        for (const QByteArray* bytes : {&manyPng, &bigBmp}) {
            QVERIFY(yfx::DecodePicture(*bytes, QSize(224, 224)).isNull());
            const QString path = m_dir.filePath(QStringLiteral("beyond"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(*bytes);
            file.close();
            CMyImageStatic control;
            control.resize(228, 228);
            control.m_strImagePath = path;
            const QImage shot = GrabDecoded(control);
            QVERIFY(control.m_image.isNull());
            QCOMPARE(At(shot, 114, 114), kWhite);
            QCOMPARE(At(shot, 0, 0), kLightFrame);
        }

        // The bounds are inclusive and can be set: 100 x 50 is 5000 pixels.
        const QByteArray small = Encoded(Picture(100, 50, QColor(1, 2, 3)), "PNG");
        yfx::PictureBounds bounds;
        bounds.maxPixels = 5000;
        QCOMPARE(yfx::DecodePicture(small, QSize(224, 224), bounds).size(), QSize(100, 50));
        bounds.maxPixels = 4999;
        QVERIFY(yfx::DecodePicture(small, QSize(224, 224), bounds).isNull());
        bounds = {};
        bounds.maxBytes = small.size();
        QVERIFY(!yfx::DecodePicture(small, QSize(224, 224), bounds).isNull());
        bounds.maxBytes = small.size() - 1;
        QVERIFY(yfx::DecodePicture(small, QSize(224, 224), bounds).isNull());
        // Nothing, or no picture: null.
        QVERIFY(yfx::DecodePicture(QByteArray(), QSize(224, 224)).isNull());
        QVERIFY(yfx::DecodePicture(QByteArray("<html>busy</html>"), QSize(224, 224)).isNull());
        QVERIFY(yfx::DecodePicture(m_dir.filePath(QStringLiteral("no-such.jpg")), QSize(224, 224)).isNull());
    }

    void boundsReadFromTheHeader_data()
    {
        using R = yfx::PictureRefusal;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("reduced");
        const std::vector<GifRgb> palette = {{0, 0, 0}, {255, 255, 255}};
        QTest::newRow("10000 x 10000 PNG: over 16 M pixels") << Mono(10000, 10000, "PNG") << int(R::TooManyPixels) << QSize() << false;
        QTest::newRow("4000 x 4000 PNG: read reduced") << Mono(4000, 4000, "PNG") << int(R::None) << QSize(224, 224) << true;
        QTest::newRow("8000 x 2000 PNG: reduced, proportions kept") << Mono(8000, 2000, "PNG") << int(R::None) << QSize(224, 56) << true;
        QTest::newRow("2048 x 2048 PNG: whole, then cut") << Mono(2048, 2048, "PNG") << int(R::None) << QSize(226, 226) << false;
        QTest::newRow("interlaced PNG over 4 M pixels") << Interlaced(Mono(2100, 2100, "PNG")) << int(R::NoBoundedDecode) << QSize() << false;
        QTest::newRow("GIF screen over 4 M pixels")
            << Bytes(GifBuilder(2100, 2100, palette).Solid(0, 0, 1, 1, 1).Trailer()) << int(R::NoBoundedDecode) << QSize() << false;
        // a 10 x 10 screen whose first frame claims 2100 x 2100 (0x0834)
        QTest::newRow("GIF whose first frame outgrows its screen")
            << Bytes(GifBuilder(10, 10, palette)
                         .Raw({0x2C, 0, 0, 0, 0, 0x34, 0x08, 0x34, 0x08, 0x00, 0x02, 0x01, 0x44, 0x00})
                         .Trailer())
            << int(R::NoBoundedDecode) << QSize() << false;
        QTest::newRow("GIF of 60 x 50: whole") << Bytes(GifBuilder(60, 50, palette).Solid(0, 0, 60, 50, 1).Trailer())
                                               << int(R::None) << QSize(60, 50) << false;
        QTest::newRow("progressive JPEG over 4 M pixels") << ProgressiveJpeg(2100, 2100) << int(R::NoBoundedDecode) << QSize() << false;
        QTest::newRow("progressive JPEG of 4 M pixels: whole, then cut") << ProgressiveJpeg(2000, 2000) << int(R::None) << QSize(226, 226) << false;
        QTest::newRow("sequential JPEG of 16 M pixels: clipped") << MarkedJpeg(4000, 4000) << int(R::None) << QSize(226, 226) << false;
        QTest::newRow("sequential JPEG over 16 M pixels") << MarkedJpeg(4200, 4000) << int(R::TooManyPixels) << QSize() << false;
        QTest::newRow("BMP over 4 M pixels") << Mono(2100, 2100, "BMP") << int(R::NoBoundedDecode) << QSize() << false;
    }
    void boundsReadFromTheHeader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, refusal);
        QFETCH(QSize, size);
        QFETCH(bool, reduced);
        const yfx::PictureReadCounts before = yfx::PictureReads();
        const yfx::PictureDecode d = yfx::DecodePictureBytes(bytes, QSize(224, 224));
        QCOMPARE(int(d.refusal), refusal);
        QCOMPARE(d.image.size(), size.isValid() ? size : QSize(0, 0));
        QCOMPARE(d.reduced, reduced);
        // a picture refused by its header has none of its data read
        QCOMPARE(yfx::PictureReads().total - before.total, refusal == int(yfx::PictureRefusal::None) ? 1 : 0);
        if (reduced) // the whole picture, shrunk: centred in the inner area
            QCOMPARE(yfx::PicturePosition(d.image.size(), QRect(2, 2, 224, 224)).x(), 2);
    }

    void failedFileIsRememberedUntilItChanges()
    {
        QByteArray broken = Encoded(Picture(100, 50, QColor(1, 2, 3)), "PNG");
        const qsizetype data = broken.indexOf("IDAT");
        QVERIFY(data > 0);
        for (qsizetype i = data + 6; i < data + 30; ++i)
            broken[i] = char(0xA5); // the header stays, the picture data is damaged
        const QString path = m_dir.filePath(QStringLiteral("broken.png"));
        QFile::remove(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(broken);
        file.close();

        int reads = yfx::PictureReads().total;
        QCOMPARE(int(yfx::DecodePictureFile(path, QSize(224, 224)).refusal), int(yfx::PictureRefusal::DecodeFailed));
        QCOMPARE(yfx::PictureReads().total, reads + 1);
        // asked again, by the function or by a control's paints: not read again
        QCOMPARE(int(yfx::DecodePictureFile(path, QSize(224, 224)).refusal), int(yfx::PictureRefusal::FailedBefore));
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = path;
        QCOMPARE(At(GrabDecoded(control), 114, 114), kWhite);
        QCOMPARE(At(GrabDecoded(control), 114, 114), kWhite);
        QCOMPARE(yfx::PictureReads().total, reads + 1);

        // Another file in its place is read.
        const QColor fill(30, 200, 90);
        Save(QStringLiteral("broken.png"), Picture(100, 50, fill));
        QCOMPARE(At(GrabDecoded(control), 114, 114), fill);
        QCOMPARE(yfx::PictureReads().total, reads + 2);
    }

    void decodesOnThePictureThreadsNeverOnTheGuiThread()
    {
        QThreadPool* pool = yfx::PicturePool();
        QVERIFY(pool);
        QVERIFY(pool != QThreadPool::globalInstance());
        QVERIFY(pool->maxThreadCount() >= 1 && pool->maxThreadCount() <= 2);

        const QColor fill(200, 120, 0);
        const QString path = Save(QStringLiteral("pool.png"), Picture(100, 50, fill));
        const yfx::PictureReadCounts before = yfx::PictureReads();
        CMyImageStatic control;
        control.resize(228, 228);
        // Not ready: a paint shows the empty frame and asks for nothing.
        control.SetImagePath(path, false);
        QCOMPARE(At(Grab(control), 114, 114), kWhite);
        QVERIFY(!control.Decoding());
        QCOMPARE(control.RequestDecode(), CMyImageStatic::DecodeState::NotReady);
        // Ready: the paint shows the empty frame and asks the pool; the picture comes later.
        control.SetFileReady(true);
        QCOMPARE(At(Grab(control), 114, 114), kWhite);
        QVERIFY(control.Decoding());
        QCOMPARE(At(GrabDecoded(control), 114, 114), fill);
        QCOMPARE(control.RequestDecode(), CMyImageStatic::DecodeState::Shown);
        QCOMPARE(yfx::PictureReads().total, before.total + 1);
        QCOMPARE(yfx::PictureReads().onGuiThread, before.onGuiThread);

        // A decoding dropped before it came (DestroyImage) never lands.
        control.DestroyImage();
        QCOMPARE(control.RequestDecode(), CMyImageStatic::DecodeState::Started);
        QSignalSpy decoded(&control, &CMyImageStatic::decoded);
        control.DestroyImage();
        QVERIFY(!control.Decoding());
        QVERIFY(pool->waitForDone(20000));
        QCoreApplication::processEvents(); // what it handed back, if anything, is delivered here
        QVERIFY(control.m_image.isNull());
        QCOMPARE(decoded.count(), 0);
        // A file that is no longer the one to show loses its picture.
        QCOMPARE(At(GrabDecoded(control), 114, 114), fill);
        control.SetFileReady(false);
        QVERIFY(control.m_image.isNull());
        QCOMPARE(At(Grab(control), 114, 114), kWhite);
    }

    void decodesOnSeveralThreadsAtOnce()
    {
        const QByteArray jpeg = MarkedJpeg(1200, 900);
        const QByteArray png = Encoded(Picture(100, 50, QColor(200, 30, 40)), "PNG");
        std::vector<QImage> results(8);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < results.size(); ++i)
            threads.emplace_back([&, i] {
                QImage last;
                for (int k = 0; k < 10; ++k)
                    last = yfx::DecodePicture(i % 2 ? png : jpeg, QSize(224, 224));
                results[i] = last;
            });
        for (std::thread& t : threads)
            t.join();
        for (size_t i = 0; i < results.size(); ++i) {
            QCOMPARE(results[i].size(), i % 2 ? QSize(100, 50) : QSize(226, 226));
            if (i % 2 == 0)
                QVERIFY(Near(results[i].pixelColor(0, 0), 0));
        }
    }

    void drawsWithoutAWidgetAsTheControlDoes()
    {
        const QImage picture = Picture(100, 50, QColor(200, 30, 40));
        const QString path = Save(QStringLiteral("drawn.png"), picture);
        CMyImageStatic control;
        control.resize(228, 228);
        control.m_strImagePath = path;
        control.m_bHover = true;
        const QImage shot = GrabDecoded(control);

        QImage drawn(228, 228, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&drawn);
        yfx::DrawPictureStatic(p, QSize(228, 228), yfx::DecodePicture(path, QSize(224, 224)), true);
        p.end();
        QCOMPARE(drawn.convertToFormat(QImage::Format_RGB32), shot);
    }

    void paintsEveryPixelItself()
    {
        // The control draws its whole area: no erase of the parent shows through.
        QWidget parent;
        parent.setAutoFillBackground(true);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(0, 0, 0));
        parent.setPalette(pal);
        parent.resize(300, 300);
        auto* control = new CMyImageStatic(&parent);
        control->setGeometry(10, 10, 228, 228);
        const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(At(shot, 5, 5), QColor(0, 0, 0));
        QCOMPARE(At(shot, 10, 10), kLightFrame);
        QCOMPARE(At(shot, 11, 11), kWhite);
        QCOMPARE(At(shot, 120, 120), kWhite);
        QVERIFY(control->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
};

QTEST_MAIN(ImageStaticTest)
#include "ImageStaticTest.moc"
