// The stored pictures as the program reads them, without a window system: Windows bitmap
// formats, exact sizes, what they show, and the strips' transparent colour.
#include "res/Resources.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace yfx::res;

namespace {

uint32_t U32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
    return v;
}

uint16_t U16(const QByteArray& b, int at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b.at(at)) | (static_cast<uint8_t>(b.at(at + 1)) << 8));
}

struct BmpInfo {
    int width = 0, height = 0, bits = 0, compression = -1, colours = 0, pixelOffset = 0;
};

// Reads BITMAPFILEHEADER + BITMAPINFOHEADER; fails the test on a malformed header.
BmpInfo Header(const QByteArray& b)
{
    BmpInfo info;
    EXPECT_GE(b.size(), 54);
    if (b.size() < 54)
        return info;
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(U32(b, 2), static_cast<uint32_t>(b.size()));
    EXPECT_EQ(U32(b, 14), 40u); // BITMAPINFOHEADER
    EXPECT_EQ(U16(b, 26), 1);   // planes
    info.pixelOffset = static_cast<int>(U32(b, 10));
    info.width = static_cast<int32_t>(U32(b, 18));
    info.height = std::abs(static_cast<int32_t>(U32(b, 22)));
    info.bits = U16(b, 28);
    info.compression = static_cast<int>(U32(b, 30));
    info.colours = static_cast<int>(U32(b, 46));
    return info;
}

enum class Tint { Red, Blue, Gold };

bool IsTint(QRgb c, Tint t)
{
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    switch (t) {
    case Tint::Red:
        return r > 150 && g < 110 && b < 110;
    case Tint::Blue:
        return b > 150 && r < 120 && b > g;
    case Tint::Gold:
        return r > 190 && g > 110 && b < 120 && r > b + 100;
    }
    return false;
}

// Runs of columns that hold a clearly drawn (non-background) pixel: one per symbol.
int SymbolRuns(const QImage& img)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < img.width(); ++x) {
        bool drawn = false;
        for (int y = 0; y < img.height() && !drawn; ++y) {
            const QRgb c = img.pixel(x, y);
            drawn = qRed(c) + qGreen(c) + qBlue(c) < 600;
        }
        if (drawn && !inRun)
            ++runs;
        inRun = drawn;
    }
    return runs;
}

struct BadgeCase {
    int level;
    int width;
};

class BadgeTest : public testing::TestWithParam<BadgeCase> {};

// Each badge also at twice the pixels, for a device pixel ratio of 2 ("@2x").
TEST_P(BadgeTest, StoredAsWindowsBitmapOfExactSize)
{
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        const auto [level, logicalWidth] = GetParam();
        const int width = logicalWidth * scale;
        const int id = 314 + level;
        const ResourceFile file = ResourceDataFor("GIF", id, scale);
        EXPECT_EQ(file.ratio, scale);
        const QByteArray& bytes = file.data;
        ASSERT_FALSE(bytes.isEmpty()) << id;
        const BmpInfo h = Header(bytes);
        EXPECT_EQ(h.width, width);
        EXPECT_EQ(h.height, 16 * scale);
        EXPECT_EQ(h.compression, 0); // BI_RGB
        if (level <= 5) {
            EXPECT_EQ(h.bits, 8);
            EXPECT_GT(h.colours, 1);
            EXPECT_LE(h.colours, 256);
            EXPECT_EQ(h.pixelOffset, 54 + 4 * h.colours);
        } else {
            EXPECT_EQ(h.bits, 32);
            EXPECT_EQ(h.pixelOffset, 54);
        }

        const QImage img = QImage::fromData(bytes);
        ASSERT_FALSE(img.isNull()) << id;
        EXPECT_EQ(img.size(), QSize(width, 16 * scale));
        if (level <= 5) {
            EXPECT_EQ(img.format(), QImage::Format_Indexed8);
        }
    }
}

TEST_P(BadgeTest, ShowsItsNumberOfSymbolsInItsColour)
{
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        const int level = GetParam().level;
        const QImage img = QImage::fromData(ResourceDataFor("GIF", 314 + level, scale).data)
                               .convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(SymbolRuns(img), (level - 1) % 5 + 1);

        const Tint tint = level <= 5 ? Tint::Red : level <= 15 ? Tint::Blue : Tint::Gold;
        int tinted = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                tinted += IsTint(img.pixel(x, y), tint);
        // each symbol covers a good part of its 16 x 16 cell in its own colour
        EXPECT_GT(tinted, ((level - 1) % 5 + 1) * 16 * 16 * scale * scale / 5) << "level " << level;
        // the ground is the tile's white
        EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_EQ(img.pixel(img.width() - 1, 0), qRgb(255, 255, 255));
    }
}

std::vector<BadgeCase> Badges()
{
    const int widths[4][5] = {
        {17, 33, 50, 66, 82}, {16, 34, 51, 67, 84}, {16, 34, 52, 70, 88}, {16, 34, 52, 70, 88}};
    std::vector<BadgeCase> out;
    for (int level = 1; level <= 20; ++level)
        out.push_back({level, widths[(level - 1) / 5][(level - 1) % 5]});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Levels, BadgeTest, testing::ValuesIn(Badges()),
                         [](const auto& info) { return "Level" + std::to_string(info.param.level); });

TEST(ResourceData, TypeNamesIgnoreCaseAndUnknownsAreEmpty)
{
    const QByteArray gif = ResourceData("GIF", 315);
    ASSERT_FALSE(gif.isEmpty());
    EXPECT_EQ(ResourceData("gif", 315), gif);
    EXPECT_EQ(ResourceData("Gif", 315), gif);
    EXPECT_EQ(ResourceData("bitmap", 336), ResourceData("BITMAP", 336));
    EXPECT_TRUE(ResourceData("GIF", 314).isEmpty());
    EXPECT_TRUE(ResourceData("GIF", 335).isEmpty());
    EXPECT_TRUE(ResourceData("BITMAP", 315).isEmpty());
    EXPECT_TRUE(ResourceData("PNG", 315).isEmpty());
    EXPECT_TRUE(ResourceData("", 315).isEmpty());
    EXPECT_TRUE(ResourceData(nullptr, 315).isEmpty());
    EXPECT_TRUE(ResourceData("GIF/../BITMAP", 336).isEmpty());
}

TEST(ResourceData, BitmapFormatsAndSizes)
{
    const std::tuple<int, QSize, int> table[] = {
        {189, QSize(96, 24), 24}, {191, QSize(64, 16), 24}, {335, QSize(20, 20), 32},
        {336, QSize(146, 58), 24}, {337, QSize(220, 65), 24},
    };
    for (const auto& [id, size, bits] : table) {
        for (const int scale : {1, 2}) { // each also at twice the pixels ("@2x")
            SCOPED_TRACE(testing::Message() << id << " at " << scale);
            const QByteArray bytes = ResourceDataFor("BITMAP", id, scale).data;
            ASSERT_FALSE(bytes.isEmpty());
            const BmpInfo h = Header(bytes);
            EXPECT_EQ(QSize(h.width, h.height), size * scale);
            EXPECT_EQ(h.bits, bits);
            EXPECT_EQ(h.compression, 0);
            const QImage img = BitmapImage(id, scale);
            ASSERT_FALSE(img.isNull());
            EXPECT_EQ(img.size(), size * scale);
            EXPECT_EQ(img.devicePixelRatio(), scale);
            EXPECT_EQ(img.deviceIndependentSize(), QSizeF(size));
        }
    }
    EXPECT_TRUE(BitmapImage(190).isNull());
    EXPECT_TRUE(BitmapImage(315).isNull());
}

TEST(ResourceData, AnnouncementPictureIsDrawnOnWhite)
{
    const QImage img = BitmapImage(335).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(img.isNull());
    for (const QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 19), QPoint(19, 19)})
        EXPECT_EQ(img.pixel(corner), qRgb(255, 255, 255));
    int drawn = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            drawn += img.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(drawn, 100); // a picture, not a blank square
}

TEST(ResourceData, LinkPicturesAreOpaqueBanners)
{
    for (int id : {336, 337}) {
        const QImage img = BitmapImage(id).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(img.isNull()) << id;
        // a coloured ground (orange for the marketplace, red for the mall) with light lettering
        int light = 0, ground = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                light += qRed(c) > 235 && qGreen(c) > 220 && qBlue(c) > 200;
                ground += qRed(c) > 150 && qBlue(c) < 90 && qRed(c) > qGreen(c) + 60;
            }
        const int all = img.width() * img.height();
        EXPECT_GT(light, all / 20) << id;
        EXPECT_GT(ground, all / 2) << id;
    }
}

struct StripCase {
    int id, width, count;
};

TEST(ResourceData, StripsCutIntoImagesWithMagentaTransparent)
{
    for (const StripCase c : {StripCase{189, 24, 4}, StripCase{191, 16, 4}}) {
        SCOPED_TRACE(c.id);
        const QImage stored = BitmapImage(c.id).convertToFormat(QImage::Format_RGB32);
        const std::vector<QImage> cells = ImageStripImages(c.id, c.width);
        ASSERT_EQ(static_cast<int>(cells.size()), c.count);
        for (int i = 0; i < c.count; ++i) {
            const QImage& cell = cells[size_t(i)];
            ASSERT_EQ(cell.size(), QSize(c.width, c.width));
            ASSERT_TRUE(cell.hasAlphaChannel());
            int clear = 0, opaque = 0;
            for (int y = 0; y < cell.height(); ++y)
                for (int x = 0; x < cell.width(); ++x) {
                    const QRgb stripPixel = stored.pixel(i * c.width + x, y);
                    const QRgb px = cell.pixel(x, y);
                    if (stripPixel == qRgb(255, 0, 255)) {
                        EXPECT_EQ(qAlpha(px), 0);
                        ++clear;
                    } else {
                        EXPECT_EQ(px, stripPixel);
                        ++opaque;
                    }
                }
            // every image has a drawn subject and a transparent surround
            EXPECT_GT(opaque, c.width * c.width / 5) << "image " << i;
            EXPECT_GT(clear, c.width * c.width / 5) << "image " << i;
            EXPECT_EQ(qAlpha(cell.pixel(0, 0)), 0) << "image " << i;
        }
    }
}

// Qt's rule for "@Nx" files: the largest N from ceil(ratio) down to 2 that exists, else none.
TEST(ResourceData, RatioChoosesTheFileByQtsRule)
{
    const std::pair<qreal, const char*> table[] = {
        {0.5, ":/yfx/res/pictures/gif/315.bmp"},     {1.0, ":/yfx/res/pictures/gif/315.bmp"},
        {1.25, ":/yfx/res/pictures/gif/315@2x.bmp"}, {2.0, ":/yfx/res/pictures/gif/315@2x.bmp"},
        {3.0, ":/yfx/res/pictures/gif/315@2x.bmp"}, // no @3x: the next one down
    };
    for (const auto& [ratio, path] : table) {
        EXPECT_EQ(ResourcePath("GIF", 315, ratio), QString::fromLatin1(path)) << ratio;
        EXPECT_EQ(ResourceDataFor("GIF", 315, ratio).ratio, ratio > 1 ? 2 : 1) << ratio;
    }
    EXPECT_EQ(ResourcePath("ICON", 128, 2),
              QStringLiteral(":/yfx/res/pictures/icon/128.ico")); // sizes inside
    // a strip at ratio 2: cells of the same logical width with twice the pixels
    const std::vector<QImage> cells = ImageStripImages(189, 24, 2);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0].size(), QSize(48, 48));
    EXPECT_EQ(cells[0].deviceIndependentSize(), QSizeF(24, 24));
}

TEST(ResourceData, StripEdgeCases)
{
    EXPECT_TRUE(ImageStripImages(189, 0).empty());
    EXPECT_TRUE(ImageStripImages(189, -24).empty());
    EXPECT_TRUE(ImageStripImages(190, 24).empty());
    EXPECT_EQ(ImageStripImages(189, 50).size(), 1u); // 96 = 50 + a dropped remainder of 46
    EXPECT_TRUE(ImageStripImages(189, 97).empty());
}

TEST(ResourceData, IconFilesHoldEverySize)
{
    for (int id : {128, 130}) {
        const QByteArray ico = ResourceData("ICON", id);
        ASSERT_GE(ico.size(), 6) << id;
        EXPECT_EQ(U16(ico, 0), 0);
        EXPECT_EQ(U16(ico, 2), 1); // icon
        ASSERT_EQ(U16(ico, 4), 5);
        const int sizes[] = {16, 24, 32, 48, 64};
        for (int i = 0; i < 5; ++i) {
            const int entry = 6 + 16 * i;
            EXPECT_EQ(static_cast<uint8_t>(ico.at(entry)), sizes[i]);
            EXPECT_EQ(static_cast<uint8_t>(ico.at(entry + 1)), sizes[i]);
            EXPECT_EQ(U16(ico, entry + 6), 32);
            EXPECT_LE(U32(ico, entry + 12) + U32(ico, entry + 8), static_cast<uint32_t>(ico.size()));
        }
    }
    EXPECT_TRUE(ResourceData("ICON", 129).isEmpty());
}

// Pixmaps and icons need a QGuiApplication; without one the accessors that can say so give
// empty values instead of aborting.
TEST(ResourceData, PixmapAccessorsWithoutApplicationAreEmpty)
{
    EXPECT_TRUE(ImageStrip(189, 24).empty());
    EXPECT_TRUE(Icon(128).isNull());
}

} // namespace
