// The animated picture's loader offscreen, without starting any animation: the test GIFs
// decode, cut-out frames decode to exactly their own pixels, bitmaps and one-image GIFs show
// still at their own size, and every kind of bad data leaves the control empty.
#include "controls/CPictureEx.h"
#include "controls/GifWalk.h"
#include "res/Resources.h"
#include "tests/controls/PictureTestSupport.h"

#include <QTest>

namespace {

const QColor kMenu(10, 20, 30);
const QColor kFace(200, 100, 50);

void SetColours(QWidget& w)
{
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, kMenu);
    pal.setColor(QPalette::Button, kFace);
    w.setPalette(pal);
}

bool AllPixels(const QImage& img, const QRect& r, const QColor& c)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y).rgb() != c.rgb())
                return false;
    return true;
}

GifBuilder Header(int w = 12, int h = 12)
{
    return GifBuilder(w, h, TestPalette());
}

} // namespace

class PictureExTest : public QObject {
    Q_OBJECT
private slots:
    void builderOutputDecodes()
    {
        // A pattern with many distinct runs makes the encoder grow its code size.
        GifBuilder::Bytes indices;
        for (int i = 0; i < 40 * 30; ++i)
            indices.push_back(static_cast<std::uint8_t>((i * 7 + i / 13) % 4));
        const QImage img = QImage::fromData(ToBytes(Header(40, 30).Image(0, 0, 40, 30, indices).Trailer()));
        QCOMPARE(img.size(), QSize(40, 30));
        for (int i = 0; i < 40 * 30; ++i)
            QCOMPARE(img.pixelColor(i % 40, i / 40).rgb(), TestColour(indices[std::size_t(i)]).rgb());

        const QImage solid = QImage::fromData(ToBytes(Header(5, 3).Solid(0, 0, 5, 3, 2).Trailer()));
        QVERIFY(AllPixels(solid, QRect(0, 0, 5, 3), TestColour(2)));
    }

    void cutFramesDecodeToTheirOwnPixels()
    {
        // Second frame with its own colour table, away from the origin.
        const std::vector<GifRgb> local{{1, 2, 3}, {40, 50, 60}};
        const QByteArray gif = ToBytes(Header(20, 20)
                                           .Control(10, 0)
                                           .Solid(0, 0, 20, 20, 0)
                                           .Control(10, 0)
                                           .Solid(5, 6, 7, 8, 1, local)
                                           .Trailer());
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(gif));
        QCOMPARE(picture.FrameCount(), 2);
        const CPictureEx::FrameEntry& f = picture.Frames()[1];
        QCOMPARE(QRect(f.left, f.top, f.width, f.height), QRect(5, 6, 7, 8));
        QCOMPARE(f.picture.size(), QSize(7, 8));
        QVERIFY(AllPixels(f.picture, QRect(0, 0, 7, 8), QColor(40, 50, 60)));
        QCOMPARE(f.delay, 10u);
        QCOMPARE(picture.PictureSize(), QSize(20, 20));
        QVERIFY(!picture.IsAnimating());
    }

    void bitmapsShowStillAtTheirOwnSize_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("bits");
        QTest::newRow("hearts: 8-bit palette, 17 wide") << 17 << 8;
        QTest::newRow("crowns: 32-bit, 88 wide") << 88 << 32;
    }
    void bitmapsShowStillAtTheirOwnSize()
    {
        QFETCH(int, width);
        QFETCH(int, bits);
        const QColor fill(230, 40, 60);
        const QColor marker(0, 0, 0);
        CPictureEx picture;
        SetColours(picture);
        picture.resize(47 * 2, 8 * 2);
        QVERIFY(picture.LoadFromMemory(WindowsBitmap(width, 16, bits, fill, marker)));
        QVERIFY(!picture.IsGif());
        QCOMPARE(picture.PictureSize(), QSize(width, 16));
        QCOMPARE(picture.size(), QSize(width, 16));
        QCOMPARE(picture.FillColor(), kFace);
        // Loaded: the surface holds the menu colour until Display draws the picture.
        QVERIFY(AllPixels(picture.Surface(), QRect(0, 0, width, 16), kMenu));
        picture.Display();
        QVERIFY(!picture.IsAnimating());
        const QImage shot = picture.grab().toImage();
        QCOMPARE(shot.size(), QSize(width, 16));
        QCOMPARE(shot.pixelColor(0, 0).rgb(), marker.rgb());
        QVERIFY(AllPixels(shot, QRect(1, 0, width - 1, 16), fill));
    }

    void oneImageGifShowsStill()
    {
        CPictureEx picture;
        SetColours(picture);
        // One image smaller than the logical screen, with comments around it.
        QVERIFY(picture.LoadFromMemory(
            ToBytes(Header(12, 10).Comment("c").Control(50, 2).Solid(2, 3, 4, 5, 1).Comment("d").Trailer())));
        QVERIFY(picture.IsGif());
        QCOMPARE(picture.FrameCount(), 0);
        QCOMPARE(picture.PictureSize(), QSize(12, 10));
        QCOMPARE(picture.size(), QSize(12, 10));
        picture.Display();
        QVERIFY(!picture.IsAnimating());
        const QImage shot = picture.grab().toImage();
        QVERIFY(AllPixels(shot, QRect(2, 3, 4, 5), TestColour(1)));
    }

    void twoFramesThenAnUnknownBlockKeepTwoFrames()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(ToBytes(Header()
                                                   .Control(5, 0)
                                                   .Solid(0, 0, 12, 12, 0)
                                                   .Loop(0)
                                                   .Control(5, 0)
                                                   .Solid(0, 0, 12, 12, 1)
                                                   .Raw({0x21, 0x77, 1, 0, 0})
                                                   .Control(5, 0)
                                                   .Solid(0, 0, 12, 12, 2)
                                                   .Trailer())));
        QCOMPARE(picture.FrameCount(), 2);
    }

    void framesThatDoNotDecodeAreDropped()
    {
        // An image whose LZW minimum code size is 13 cannot be decoded.
        const GifBuilder::Bytes bad{0x2C, 0, 0, 0, 0, 12, 0, 12, 0, 0, 13, 2, 0xFF, 0xFF, 0};
        CPictureEx picture;
        SetColours(picture);
        QVERIFY(picture.LoadFromMemory(ToBytes(
            Header().Control(5, 0).Raw(bad).Control(5, 0).Solid(0, 0, 12, 12, 1).Control(5, 0).Solid(0, 0, 12, 12, 2))));
        QCOMPARE(picture.FrameCount(), 2);
        QCOMPARE(picture.Frames()[0].picture.pixelColor(0, 0).rgb(), TestColour(1).rgb());

        // One frame left: shown still, no thread.
        QVERIFY(picture.LoadFromMemory(
            ToBytes(Header().Control(5, 0).Raw(bad).Control(5, 0).Solid(2, 2, 3, 3, 2).Trailer())));
        QCOMPARE(picture.FrameCount(), 1);
        picture.Display();
        QVERIFY(!picture.IsAnimating());
        const QImage surface = picture.Surface();
        QVERIFY(AllPixels(surface, QRect(2, 2, 3, 3), TestColour(2)));
        QVERIFY(AllPixels(surface, QRect(0, 0, 12, 2), kMenu));

        // None left: the load fails.
        QVERIFY(!picture.LoadFromMemory(ToBytes(Header().Control(5, 0).Raw(bad).Control(5, 0).Raw(bad).Trailer())));
        QVERIFY(!picture.IsReady());
    }

    void badDataLeavesTheControlEmpty_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray twoFrames =
            ToBytes(Header().Control(5, 0).Solid(0, 0, 12, 12, 0).Control(5, 0).Solid(0, 0, 12, 12, 1).Trailer());
        QByteArray otherVersion = twoFrames;
        otherVersion.replace(0, 6, "GIF88a");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("not a picture at all, just text");
        QTest::newRow("other GIF version goes whole to the decoder, which refuses it") << otherVersion;
        QTest::newRow("GIF without graphic block") << ToBytes(Header().Comment("only a comment").Trailer());
        QTest::newRow("GIF header only") << QByteArray("GIF89a");
        QTest::newRow("first block runs past the data") << ToBytes(Header().Raw({0x21, 0xFE, 200, 'x'}));
        QTest::newRow("zero-sized screen") << ToBytes(GifBuilder(0, 0, TestPalette())
                                                          .Control(5, 0)
                                                          .Solid(0, 0, 2, 2, 0)
                                                          .Control(5, 0)
                                                          .Solid(0, 0, 2, 2, 1)
                                                          .Trailer());
        QTest::newRow("huge screen, one image")
            << ToBytes(GifBuilder(65535, 65535, TestPalette()).Solid(0, 0, 2, 2, 0).Trailer());
        QTest::newRow("huge screen, two frames") << ToBytes(GifBuilder(65535, 65535, TestPalette())
                                                               .Control(5, 0)
                                                               .Solid(0, 0, 2, 2, 0)
                                                               .Control(5, 0)
                                                               .Solid(0, 0, 2, 2, 1)
                                                               .Trailer());
        QTest::newRow("truncated bitmap") << WindowsBitmap(17, 16, 8, Qt::red, Qt::black).left(60);
    }
    void badDataLeavesTheControlEmpty()
    {
        QFETCH(QByteArray, data);
        CPictureEx picture;
        // Something loaded before: a failed load clears it.
        QVERIFY(picture.LoadFromMemory(WindowsBitmap(17, 16, 8, Qt::red, Qt::black)));
        picture.Display();
        QVERIFY(!picture.LoadFromMemory(data));
        QVERIFY(!picture.IsReady());
        QVERIFY(!picture.IsGif());
        QVERIFY(!picture.IsAnimating());
        QVERIFY(picture.Surface().isNull());
        QCOMPARE(picture.PictureSize(), QSize(0, 0));
        QCOMPARE(picture.FrameCount(), 0);
        picture.Display(); // nothing to show: no effect
        QVERIFY(!picture.IsAnimating());
        QVERIFY(picture.Surface().isNull());
    }

    void clearPictureEmptiesTheControl()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(WindowsBitmap(33, 16, 8, Qt::red, Qt::black)));
        picture.Display();
        QVERIFY(picture.IsReady());
        picture.ClearPicture();
        QVERIFY(!picture.IsReady());
        QVERIFY(picture.Surface().isNull());
        // Nothing is painted: the parent's background shows.
        QWidget parent;
        parent.setAutoFillBackground(true);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, Qt::white);
        parent.setPalette(pal);
        parent.resize(50, 20);
        auto* child = new CPictureEx(&parent);
        QVERIFY(child->LoadFromMemory(WindowsBitmap(33, 16, 8, Qt::red, Qt::black)));
        child->Display();
        QCOMPARE(parent.grab().toImage().pixelColor(5, 5).rgb(), QColor(Qt::red).rgb());
        child->ClearPicture();
        QCOMPARE(parent.grab().toImage().pixelColor(5, 5).rgb(), QColor(Qt::white).rgb());
    }

    void badgeResourcesLoadStill_data()
    {
        QTest::addColumn<int>("id");
        for (int id : {315, 319, 320, 325, 330, 334})
            QTest::addRow("%d", id) << id;
    }
    void badgeResourcesLoadStill()
    {
        QFETCH(int, id);
        const QImage expected = QImage::fromData(yfx::res::ResourceData("GIF", id));
        QVERIFY2(!expected.isNull(), "the resource layer holds the badge");
        CPictureEx picture;
        QVERIFY(picture.LoadFromResource(id));
        QVERIFY(!picture.IsGif());
        QCOMPARE(picture.PictureSize(), expected.size());
        QCOMPARE(picture.PictureSize().height(), 16);
        QCOMPARE(picture.size(), expected.size());
        picture.Display();
        QVERIFY(!picture.IsAnimating());
        QVERIFY(!picture.Surface().isNull());
    }

    void missingResourceFails()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromResource(315));
        QVERIFY(!picture.LoadFromResource(314));
        QVERIFY(!picture.IsReady());
        QVERIFY(!picture.LoadFromResource(335 + 100000));
    }
};

QTEST_MAIN(PictureExTest)
#include "PictureExTest.moc"
