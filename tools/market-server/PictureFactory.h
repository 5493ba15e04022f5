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
    explicit PictureFactory(const Catalogue& catalogue, std::size_t cacheBytes = std::size_t{128} << 20);

    // The JPEG bytes of an item's picture, `size` x `size` pixels (16..800). Never null.
    std::shared_ptr<const std::string> Jpeg(const CatalogueItem& item, int size);

private:
    QImage Draw(const CatalogueItem& item, int size) const;

    const Catalogue& m_catalogue;
    const std::size_t m_cacheLimit;
    std::mutex m_cacheMutex;
    std::map<std::pair<std::string, int>, std::shared_ptr<const std::string>> m_cache;
    std::deque<std::pair<std::string, int>> m_cacheOrder; // oldest first
    std::size_t m_cacheBytes = 0;
    std::mutex m_drawMutex;
};

} // namespace yfx::server
