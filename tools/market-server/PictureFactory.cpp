#include "tools/market-server/PictureFactory.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "market/Gbk.h"

namespace yfx::server {
namespace {

constexpr double kCanvas = 400.0; // everything is laid out on a 400 x 400 canvas, then scaled

QFont CjkFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void DrawGarment(QPainter& p, const QColor& c)
{
    QPainterPath shirt;
    shirt.moveTo(150, 60);
    shirt.cubicTo(170, 85, 230, 85, 250, 60); // collar
    shirt.lineTo(325, 95);
    shirt.lineTo(350, 165); // right sleeve
    shirt.lineTo(300, 180);
    shirt.lineTo(295, 285);
    shirt.lineTo(105, 285);
    shirt.lineTo(100, 180);
    shirt.lineTo(50, 165); // left sleeve
    shirt.lineTo(75, 95);
    shirt.closeSubpath();
    QLinearGradient g(100, 60, 300, 285);
    g.setColorAt(0, c.lighter(125));
    g.setColorAt(1, c.darker(120));
    p.setBrush(g);
    p.setPen(QPen(c.darker(160), 3));
    p.drawPath(shirt);
    p.setPen(QPen(c.darker(140), 2, Qt::DashLine));
    p.drawLine(QPointF(200, 82), QPointF(200, 280));
}

void DrawShoe(QPainter& p, const QColor& c)
{
    QPainterPath shoe;
    shoe.moveTo(70, 250);
    shoe.lineTo(80, 150);
    shoe.cubicTo(110, 140, 140, 150, 160, 175);
    shoe.cubicTo(220, 200, 300, 200, 340, 225);
    shoe.cubicTo(355, 235, 355, 255, 340, 262);
    shoe.lineTo(80, 262);
    shoe.closeSubpath();
    QLinearGradient g(70, 140, 70, 262);
    g.setColorAt(0, c.lighter(130));
    g.setColorAt(1, c.darker(115));
    p.setBrush(g);
    p.setPen(QPen(c.darker(160), 3));
    p.drawPath(shoe);
    p.setBrush(QColor(245, 245, 240));
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.drawRoundedRect(QRectF(66, 258, 290, 22), 10, 10); // sole
    p.setPen(QPen(QColor(255, 255, 255), 3));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(150 + i * 22, 185 + i * 5), QPointF(170 + i * 22, 172 + i * 5)); // laces
}

void DrawBag(QPainter& p, const QColor& c)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.darker(150), 12, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(140, 50, 120, 120), 0, 180 * 16); // handle
    QPainterPath body;
    body.moveTo(110, 115);
    body.lineTo(290, 115);
    body.lineTo(325, 285);
    body.lineTo(75, 285);
    body.closeSubpath();
    QLinearGradient g(75, 115, 325, 285);
    g.setColorAt(0, c.lighter(125));
    g.setColorAt(1, c.darker(125));
    p.setBrush(g);
    p.setPen(QPen(c.darker(160), 3));
    p.drawPath(body);
    p.setBrush(QColor(230, 200, 90));
    p.drawRoundedRect(QRectF(185, 150, 30, 22), 4, 4); // clasp
}

void DrawDevice(QPainter& p, const QColor& c)
{
    QLinearGradient g(120, 40, 280, 290);
    g.setColorAt(0, c.lighter(115));
    g.setColorAt(1, c.darker(140));
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 40, 40), 3));
    p.drawRoundedRect(QRectF(125, 40, 150, 250), 22, 22);
    QLinearGradient screen(140, 70, 260, 250);
    screen.setColorAt(0, QColor(40, 60, 90));
    screen.setColorAt(1, QColor(10, 15, 25));
    p.setBrush(screen);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(138, 70, 124, 180));
    p.setBrush(QColor(255, 255, 255, 60));
    QPainterPath glare;
    glare.moveTo(138, 70);
    glare.lineTo(262, 70);
    glare.lineTo(138, 190);
    glare.closeSubpath();
    p.drawPath(glare);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QPointF(200, 270), 10, 10);
}

void DrawBottle(QPainter& p, const QColor& c)
{
    p.setPen(QPen(c.darker(170), 3));
    p.setBrush(QColor(60, 60, 60));
    p.drawRoundedRect(QRectF(170, 40, 60, 50), 6, 6); // cap
    QLinearGradient g(130, 0, 270, 0);
    g.setColorAt(0, c.darker(115));
    g.setColorAt(0.35, c.lighter(140));
    g.setColorAt(1, c.darker(130));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(130, 88, 140, 200), 30, 30);
    p.setBrush(QColor(255, 255, 255, 210));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(140, 160, 120, 60)); // label
}

void DrawBox(QPainter& p, const QColor& c)
{
    const QPointF front[4] = {{90, 130}, {250, 130}, {250, 285}, {90, 285}};
    const QPointF top[4] = {{90, 130}, {150, 75}, {310, 75}, {250, 130}};
    const QPointF side[4] = {{250, 130}, {310, 75}, {310, 230}, {250, 285}};
    p.setPen(QPen(c.darker(170), 3));
    p.setBrush(c);
    p.drawPolygon(front, 4);
    p.setBrush(c.lighter(130));
    p.drawPolygon(top, 4);
    p.setBrush(c.darker(130));
    p.drawPolygon(side, 4);
    p.setPen(QPen(QColor(240, 220, 160), 10));
    p.drawLine(QPointF(170, 130), QPointF(170, 285)); // tape
}

void DrawFood(QPainter& p, const QColor& c)
{
    QPainterPath pouch;
    pouch.moveTo(110, 80);
    pouch.lineTo(290, 80);
    pouch.cubicTo(310, 150, 315, 230, 300, 288);
    pouch.lineTo(100, 288);
    pouch.cubicTo(85, 230, 90, 150, 110, 80);
    QLinearGradient g(100, 0, 300, 0);
    g.setColorAt(0, c.darker(120));
    g.setColorAt(0.4, c.lighter(130));
    g.setColorAt(1, c.darker(125));
    p.setBrush(g);
    p.setPen(QPen(c.darker(160), 3));
    p.drawPath(pouch);
    p.setPen(QPen(c.darker(150), 2));
    for (int x = 112; x < 290; x += 12)
        p.drawLine(QPointF(x, 80), QPointF(x + 6, 92)); // crimped seal
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 250, 235));
    p.drawEllipse(QPointF(200, 190), 62, 62);
}

} // namespace

PictureFactory::PictureFactory(const Catalogue& catalogue, std::size_t cacheBytes, int version)
    : m_catalogue(catalogue), m_cacheLimit(cacheBytes), m_version(version)
{
}

QImage PictureFactory::Draw(const CatalogueItem& item, int size) const
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / kCanvas, size / kCanvas);

    // Background: a soft studio gradient with two blurred spots.
    QLinearGradient bg(0, 0, 0, kCanvas);
    bg.setColorAt(0, QColor::fromHsv(item.hue, 35, 252));
    bg.setColorAt(1, QColor::fromHsv(item.hue, 10, 255));
    p.fillRect(QRectF(0, 0, kCanvas, kCanvas), bg);
    for (int i = 0; i < 2; ++i) {
        const double x = static_cast<double>((item.id >> (i * 8)) % 400);
        const double y = static_cast<double>((item.id >> (i * 8 + 4)) % 300);
        QRadialGradient spot(x, y, 120);
        spot.setColorAt(0, QColor::fromHsv((item.hue + 40 * (i + 1)) % 360, 60, 255, 110));
        spot.setColorAt(1, QColor::fromHsv((item.hue + 40 * (i + 1)) % 360, 60, 255, 0));
        p.fillRect(QRectF(0, 0, kCanvas, kCanvas), spot);
    }
    // Shadow, then the product.
    QRadialGradient shadow(200, 292, 150);
    shadow.setColorAt(0, QColor(0, 0, 0, 90));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(200, 292), 150, 16);
    const QColor colour = QColor::fromHsv(item.hue, 150, 215);
    switch (m_catalogue.ShapeOf(item)) {
    case PictureShape::Garment:
        DrawGarment(p, colour);
        break;
    case PictureShape::Shoe:
        DrawShoe(p, colour);
        break;
    case PictureShape::Bag:
        DrawBag(p, colour);
        break;
    case PictureShape::Device:
        DrawDevice(p, colour);
        break;
    case PictureShape::Bottle:
        DrawBottle(p, colour);
        break;
    case PictureShape::Box:
        DrawBox(p, colour);
        break;
    case PictureShape::Food:
        DrawFood(p, colour);
        break;
    }
    if (!item.brand.empty()) {
        p.setFont(CjkFont(26, true));
        p.setPen(QColor(255, 255, 255));
        const QRectF label(90, 180, 220, 40);
        p.setPen(QColor(0, 0, 0, 120));
        p.drawText(label.translated(2, 2), Qt::AlignCenter, QString::fromUtf8(GbkToUtf8(item.brand)));
        p.setPen(QColor(255, 255, 255));
        p.drawText(label, Qt::AlignCenter, QString::fromUtf8(GbkToUtf8(item.brand)));
    }
    // Price tag.
    p.setPen(QPen(QColor(255, 255, 255), 3));
    p.setBrush(QColor(220, 30, 40));
    p.drawEllipse(QPointF(336, 62), 54, 54);
    p.setPen(QColor(255, 255, 255));
    p.setFont(CjkFont(16));
    p.drawText(QRectF(282, 26, 108, 24), Qt::AlignCenter, QStringLiteral("到手价"));
    p.setFont(CjkFont(item.price.size() > 6 ? 19 : 24, true));
    p.drawText(QRectF(282, 48, 108, 36), Qt::AlignCenter,
               QStringLiteral("\u00A5") + QString::fromLatin1(item.price.data(), static_cast<int>(item.price.size())));
    if (m_catalogue.IsMall(item)) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 20));
        p.drawRoundedRect(QRectF(10, 10, 70, 32), 6, 6);
        p.setPen(QColor(255, 255, 255));
        p.setFont(CjkFont(20, true));
        p.drawText(QRectF(10, 10, 70, 32), Qt::AlignCenter, QStringLiteral("天猫"));
    }
    // Title band.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20, 170));
    p.drawRect(QRectF(0, 304, kCanvas, 96));
    p.setPen(QColor(255, 255, 255));
    p.setFont(CjkFont(23));
    p.drawText(QRectF(14, 310, 372, 84), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWrapAnywhere,
               QString::fromUtf8(item.titleUtf8));
    p.end();
    return image;
}

std::shared_ptr<const std::string> PictureFactory::Jpeg(const CatalogueItem& item, int size)
{
    size = std::clamp(size, 16, 800);
    const auto key = std::make_pair(item.pictureCode, size);
    {
        std::lock_guard lock(m_cacheMutex);
        if (auto it = m_cache.find(key); it != m_cache.end())
            return it->second;
    }
    QByteArray bytes;
    {
        std::lock_guard draw(m_drawMutex);
        {
            // Another thread may have drawn it while this one waited.
            std::lock_guard lock(m_cacheMutex);
            if (auto it = m_cache.find(key); it != m_cache.end())
                return it->second;
        }
        QImage image = Draw(item, size);
        if (m_version % 2)
            image.invertPixels();
        if (m_version != 0)
            image.setText(QStringLiteral("Version"), QString::number(m_version)); // a JPEG comment
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 88);
    }
    auto jpeg = std::make_shared<const std::string>(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::lock_guard lock(m_cacheMutex);
    if (m_cache.emplace(key, jpeg).second) {
        m_cacheOrder.push_back(key);
        m_cacheBytes += jpeg->size();
        while (m_cacheBytes > m_cacheLimit && m_cacheOrder.size() > 1) {
            auto old = m_cache.find(m_cacheOrder.front());
            m_cacheBytes -= old->second->size();
            m_cache.erase(old);
            m_cacheOrder.pop_front();
        }
    }
    return jpeg;
}

namespace {

QImage Chequerboard(int edge)
{
    QImage image(edge, edge, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, line += 3) {
            const bool light = (x / 64 + y / 64) % 2;
            line[0] = light ? 240 : static_cast<uchar>(120 + (x + y) % 64);
            line[1] = light ? 200 : 60;
            line[2] = light ? 80 : static_cast<uchar>(30 + y % 97);
        }
    }
    return image;
}

} // namespace

std::shared_ptr<const std::string> PictureFactory::HugePng(int edge)
{
    edge = std::clamp(edge, 1, kMaxEncodedEdge);
    std::lock_guard draw(m_drawMutex);
    if (auto it = m_hugePng.find(edge); it != m_hugePng.end())
        return it->second;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        Chequerboard(edge).save(&buffer, "PNG");
    }
    auto png = std::make_shared<const std::string>(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    m_hugePng.emplace(edge, png);
    return png;
}

std::shared_ptr<const std::string> PictureFactory::HugeJpeg(int edge)
{
    edge = std::clamp(edge, 1, 65535);
    std::lock_guard draw(m_drawMutex);
    if (auto it = m_huge.find(edge); it != m_huge.end())
        return it->second;
    const int drawn = edge > kMaxEncodedEdge ? 400 : edge;
    QImage image = Chequerboard(drawn);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 75);
    image = QImage();
    if (edge > kMaxEncodedEdge) {
        // Rewrite the start-of-frame's height and width (bytes 5..8 of the segment).
        for (int i = 2; i + 9 < bytes.size();) {
            const auto marker = static_cast<unsigned char>(bytes[i + 1]);
            if (marker >= 0xC0 && marker <= 0xC3) {
                bytes[i + 5] = static_cast<char>(edge >> 8);
                bytes[i + 6] = static_cast<char>(edge & 0xFF);
                bytes[i + 7] = static_cast<char>(edge >> 8);
                bytes[i + 8] = static_cast<char>(edge & 0xFF);
                break;
            }
            i += 2 + (static_cast<unsigned char>(bytes[i + 2]) << 8) + static_cast<unsigned char>(bytes[i + 3]);
        }
    }
    auto jpeg = std::make_shared<const std::string>(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    m_huge.emplace(edge, jpeg);
    return jpeg;
}

} // namespace yfx::server
