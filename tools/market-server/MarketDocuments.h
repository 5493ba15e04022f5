#pragma once
// The documents the server answers with, all in GBK: the list-search answer (JSON and HTML),
// the configuration and category documents, item pages, channel pages and error pages.
// Absolute addresses inside them are built on the host the request named, so that they lead
// back to this server whatever port it has.
#include <string>
#include <string_view>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/ItemSearch.h"
#include "tools/market-server/QueryParams.h"
#include "tools/market-server/ServerOptions.h"

namespace yfx::server {

// How a JSON document is shaped: as the marketplace sends it, or damaged on purpose.
enum class DocumentVariant {
    Normal,
    NonString,  // some text members given as numbers, objects or arrays
    UnsafeName, // picture addresses with names that are not plain file names
};

class MarketDocuments {
public:
    MarketDocuments(const Catalogue& catalogue, const ServerOptions& options);

    // {"itemList":[...],"totalNumber":"N"}: the ten text members the program reads, plus "loc".
    std::string ItemListJson(const SearchResult& result, const std::string& host, DocumentVariant variant) const;
    // The same items as a results page with one 220 x 220 thumbnail each.
    std::string ItemListHtml(const SearchResult& result, const std::string& host, const QueryParams& query) const;

    std::string ConfigJson(DocumentVariant variant) const;
    std::string CategoryJson(DocumentVariant variant) const;

    std::string ItemPage(const CatalogueItem& item, const std::string& host) const;
    std::string ChannelPage(bool mall, const QueryParams& query) const;
    std::string IndexPage(const std::string& host) const;
    std::string ErrorPage(int status) const;

    // "http://HOST/item.htm?id=N"
    static std::string ItemUrl(const std::string& host, const CatalogueItem& item);
    // The page title a browser shows for an item (GBK): "<title>-淘宝网" or "<title>-tmall.com天猫".
    std::string ItemPageTitle(const CatalogueItem& item) const;
    // '&', '<', '>', '"' as entities; other bytes unchanged.
    static std::string HtmlEscape(std::string_view gbk);

private:
    // The item's price today ("12.50"), as the server's --day moves it.
    std::string PriceText(const CatalogueItem& item) const;

    const Catalogue& m_catalogue;
    const ServerOptions& m_options;
};

} // namespace yfx::server
