#include "tools/market-server/PictureAddress.h"

#include <charconv>

namespace yfx::server {
namespace {

bool ReadInt(std::string_view text, int& out)
{
    if (text.empty() || text.size() > 4)
        return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

} // namespace

std::string PictureAddress::Original(const std::string& host, const CatalogueItem& item)
{
    return "http://" + host + "/bao/uploaded/i" + std::to_string(Bucket(item)) + "/" + item.pictureCode + ".jpg";
}

std::string PictureAddress::Thumbnail(const std::string& host, const CatalogueItem& item)
{
    return Original(host, item) + "_220x220.jpg";
}

std::string PictureAddress::Second(const std::string& host, const CatalogueItem& item)
{
    return "http://" + host + "/imgextra/i" + std::to_string(Bucket(item)) + "/" + item.pictureCode + ".jpg_b.jpg";
}

std::string PictureAddress::Unsafe(const std::string& host, const CatalogueItem& item, int variant)
{
    const std::string base = "http://" + host + "/bao/uploaded/i" + std::to_string(Bucket(item)) + "/";
    switch (variant % 5) {
    case 0:
        return base + "..\\..\\..\\" + item.pictureCode + ".jpg";
    case 1:
        return base + "..%2F..%2F" + item.pictureCode + ".jpg";
    case 2:
        return base + "../../../../tmp/" + item.pictureCode + ".jpg";
    case 3:
        return base;
    default:
        return base + "..";
    }
}

bool PictureAddress::Parse(std::string_view path, std::string& code, int& bucket, int& size)
{
    static constexpr std::string_view kOriginalDir = "/bao/uploaded/i";
    static constexpr std::string_view kSecondDir = "/imgextra/i";
    bool second = false;
    if (path.substr(0, kOriginalDir.size()) == kOriginalDir) {
        path.remove_prefix(kOriginalDir.size());
    } else if (path.substr(0, kSecondDir.size()) == kSecondDir) {
        path.remove_prefix(kSecondDir.size());
        second = true;
    } else {
        return false;
    }
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos || !ReadInt(path.substr(0, slash), bucket))
        return false;
    std::string_view name = path.substr(slash + 1);
    const std::size_t dot = name.find(".jpg");
    if (dot == std::string_view::npos || dot == 0)
        return false;
    code = std::string(name.substr(0, dot));
    std::string_view rest = name.substr(dot + 4);
    if (rest.empty()) {
        size = second ? kSecondSize : kOriginalSize;
        return true;
    }
    if (second)
        return rest == "_b.jpg" && (size = kSecondSize, true);
    // "_NxN.jpg"
    if (rest.size() < 8 || rest[0] != '_' || rest.substr(rest.size() - 4) != ".jpg")
        return false;
    rest = rest.substr(1, rest.size() - 5);
    const std::size_t x = rest.find('x');
    int w = 0, h = 0;
    if (x == std::string_view::npos || !ReadInt(rest.substr(0, x), w) || !ReadInt(rest.substr(x + 1), h))
        return false;
    if (w != h || w < 16 || w > 800)
        return false;
    size = w;
    return true;
}

} // namespace yfx::server
