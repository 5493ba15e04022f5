#pragma once
// Where an item's pictures live. Every item has three addresses on the picture hosts, all
// ending in a file name unique to the item:
//   original   /bao/uploaded/iB/T1....jpg                400 x 400
//   thumbnail  /bao/uploaded/iB/T1....jpg_220x220.jpg     220 x 220 (any _NxN.jpg, N 16..800:
//                                                          _460x460.jpg for high-ratio screens)
//   second     /imgextra/iB/T1....jpg_b.jpg               220 x 220
// The thumbnail address is what the program derives from the original one.
#include <string>
#include <string_view>

#include "tools/market-server/Catalogue.h"

namespace yfx::server {

class PictureAddress {
public:
    static constexpr int kOriginalSize = 400;
    static constexpr int kThumbSize = 220;
    static constexpr int kSecondSize = 220;

    // Absolute addresses on the host given ("127.0.0.1:8080").
    static std::string Original(const std::string& host, const CatalogueItem& item);
    static std::string Thumbnail(const std::string& host, const CatalogueItem& item);
    static std::string Second(const std::string& host, const CatalogueItem& item);

    // Addresses whose last path element is not a plain file name ("..\..\x.jpg", an encoded
    // "../", an empty name, ".."), one of several forms chosen by `variant`.
    static std::string Unsafe(const std::string& host, const CatalogueItem& item, int variant);

    // Reads a picture path: the picture code and the edge length asked for. False when the
    // path is not a picture path of this form (the code is not checked against the catalogue).
    static bool Parse(std::string_view path, std::string& code, int& bucket, int& size);

    // The bucket directory number of an item (1..4).
    static int Bucket(const CatalogueItem& item) { return static_cast<int>(item.id % 4) + 1; }
};

} // namespace yfx::server
