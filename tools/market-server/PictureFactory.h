#pragma once
// Item pictures, drawn on request with QtGui: a product-like figure for the item's category in
// the item's colour, its brand, its price tag and its title, as a JPEG. Each picture is drawn
// once and kept in a bounded cache; nothing is drawn at start-up. Thread-safe: any number of
// threads may ask at once (drawing itself is done one picture at a time).
// Needs a QGuiApplication (any platform with fonts, e.g. offscreen).
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "tools/market-server/Catalogue.h"

class QImage;

namespace yfx::server {

class PictureFactory {
public:
    // Pictures of `version` (0: the ordinary ones) differ from every other version's: an odd
    // version has its colours inverted, and any version but 0 carries its number as a comment.
    explicit PictureFactory(const Catalogue& catalogue, std::size_t cacheBytes = std::size_t{128} << 20,
                            int version = 0);

    // The JPEG bytes of an item's picture, `size` x `size` pixels (16..800). Never null.
    std::shared_ptr<const std::string> Jpeg(const CatalogueItem& item, int size);

    // A picture of `edge` x `edge` pixels (1..65535), the same for every item: a colour
    // chequerboard of 64-pixel squares, really encoded up to kMaxEncodedEdge (8000 x 8000 is
    // about 190 MB while it is drawn); beyond that a small picture whose header claims the
    // size, so that its data ends long before the rows it announces. Kept once drawn.
    static constexpr int kMaxEncodedEdge = 8000;
    std::shared_ptr<const std::string> HugeJpeg(int edge);
    // The same chequerboard of `edge` x `edge` pixels (1..8000) as a PNG. Kept once drawn.
    std::shared_ptr<const std::string> HugePng(int edge);

private:
    QImage Draw(const CatalogueItem& item, int size) const;

    const Catalogue& m_catalogue;
    const std::size_t m_cacheLimit;
    const int m_version;
    std::mutex m_cacheMutex;
    std::map<std::pair<std::string, int>, std::shared_ptr<const std::string>> m_cache;
    std::deque<std::pair<std::string, int>> m_cacheOrder; // oldest first
    std::size_t m_cacheBytes = 0;
    std::mutex m_drawMutex;
    std::map<int, std::shared_ptr<const std::string>> m_huge; // guarded by m_drawMutex
    std::map<int, std::shared_ptr<const std::string>> m_hugePng; // guarded by m_drawMutex
};

} // namespace yfx::server
