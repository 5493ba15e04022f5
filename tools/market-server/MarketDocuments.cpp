#include "tools/market-server/MarketDocuments.h"

#include "market/Texts.h"
#include "tools/market-server/MaterialGateway.h"

#include "market/Gbk.h"
#include "tools/market-server/GbkJsonWriter.h"
#include "tools/market-server/PictureAddress.h"

namespace yfx::server {
namespace {

// A UTF-8 source text as the GBK bytes the pages carry.
std::string G(std::string_view utf8)
{
    return Utf8ToGbk(utf8);
}

std::string PageHead(const std::string& titleGbk)
{
    return G("<!DOCTYPE html>\n<html><head>\n"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\n<meta charset=\"gbk\">\n<title>") +
           titleGbk + "</title>\n";
}

const char* const kResultsStyle =
    "<style>body{font:12px/1.5 'WenQuanYi Micro Hei',sans-serif;margin:12px;background:#f5f5f5}"
    ".grid{display:flex;flex-wrap:wrap;gap:10px}.item{width:220px;background:#fff;padding:6px;border:1px solid #e5e5e5}"
    ".item img{width:220px;height:220px;display:block}.price{color:#f40;font-size:16px;font-weight:bold}"
    ".meta{color:#888}.title{color:#333;text-decoration:none}</style>\n";

} // namespace

MarketDocuments::MarketDocuments(const Catalogue& catalogue, const ServerOptions& options)
    : m_catalogue(catalogue), m_options(options)
{
}

std::string MarketDocuments::ItemUrl(const std::string& host, const CatalogueItem& item)
{
    return "http://" + host + "/item.htm?id=" + item.idText;
}

std::string MarketDocuments::ItemPageTitle(const CatalogueItem& item) const
{
    return item.title + (m_catalogue.IsMall(item) ? G("-tmall.com天猫") : G("-淘宝网"));
}

std::string MarketDocuments::HtmlEscape(std::string_view gbk)
{
    std::string out;
    out.reserve(gbk.size());
    for (char c : gbk) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string MarketDocuments::PriceText(const CatalogueItem& item) const
{
    return Catalogue::MoneyText(m_catalogue.PriceOn(item, Catalogue::Today(m_options.day)));
}

std::string MarketDocuments::ItemListJson(const SearchResult& result, const std::string& host,
                                          DocumentVariant variant) const
{
    GbkJsonWriter w;
    w.BeginObject().Key("itemList").BeginArray();
    int n = 0;
    for (const CatalogueItem* item : result.page) {
        const CatalogueSeller& seller = m_catalogue.SellerOf(*item);
        const bool nonString = variant == DocumentVariant::NonString;
        const int shape = n % 5;
        w.BeginObject();
        if (variant == DocumentVariant::UnsafeName) {
            w.Member("image", PictureAddress::Unsafe(host, *item, n + 1));
            w.Member("originalImage", PictureAddress::Unsafe(host, *item, n));
        } else {
            w.Member("image", PictureAddress::Second(host, *item));
            w.Member("originalImage", PictureAddress::Original(host, *item));
        }
        w.Member("tip", item->title);
        if (nonString && shape == 1)
            w.Key("currentPrice").BeginObject().Member("value", PriceText(*item)).EndObject();
        else
            w.Member("currentPrice", PriceText(*item));
        if (nonString && shape == 4)
            w.Key("ship").Number(item->priceCents % 2);
        else
            w.Member("ship", item->ship);
        if (nonString && shape == 2)
            w.Key("tradeNum").Number(item->sales);
        else
            w.Member("tradeNum", item->salesText);
        w.Member("nick", seller.nick);
        w.Member("loc", seller.location);
        if (nonString && shape == 0)
            w.Key("itemId").Number(static_cast<std::int64_t>(item->id));
        else
            w.Member("itemId", item->idText);
        w.Member("href", ItemUrl(host, *item));
        if (nonString && shape == 3)
            w.Key("ratesum").BeginArray().Number(seller.ratesum).EndArray();
        else
            w.Member("ratesum", std::to_string(seller.ratesum));
        w.EndObject();
        ++n;
    }
    w.EndArray();
    w.Member("totalNumber", std::to_string(result.total));
    w.EndObject();
    return w.Text();
}

std::string MarketDocuments::ItemListHtml(const SearchResult& result, const std::string& host,
                                          const QueryParams& query) const
{
    std::string words = query.Get("q");
    std::string title = words.empty() ? G("淘宝搜索") : HtmlEscape(words) + G(" - 淘宝搜索");
    std::string html = PageHead(title) + kResultsStyle + "</head>\n<body>\n";
    html += G("<p class=\"meta\">共找到 ") + std::to_string(result.total) + G(" 件宝贝，按销量排序</p>\n");
    html += "<div class=\"grid\">\n";
    for (const CatalogueItem* item : result.page) {
        const CatalogueSeller& seller = m_catalogue.SellerOf(*item);
        const std::string href = ItemUrl(host, *item);
        html += "<div class=\"item\" data-id=\"" + item->idText + "\">";
        html += "<a href=\"" + href + "\"><img src=\"" + PictureAddress::Thumbnail(host, *item) +
                "\" width=\"220\" height=\"220\" alt=\"" + HtmlEscape(item->title) + "\"></a>";
        html += G("<div class=\"price\">￥") + PriceText(*item) + "</div>";
        html += G("<div class=\"meta\">运费：") + item->ship + G(" &nbsp; 最近成交") + item->salesText + G("笔</div>");
        html += "<a class=\"title\" href=\"" + href + "\">" + HtmlEscape(item->title) + "</a>";
        html += "<div class=\"meta\">" + HtmlEscape(seller.nick) + " &nbsp; " + seller.location + "</div>";
        html += "</div>\n";
    }
    html += "</div>\n</body></html>\n";
    return html;
}

std::string MarketDocuments::ConfigJson(DocumentVariant variant) const
{
    const bool nonString = variant == DocumentVariant::NonString;
    GbkJsonWriter w;
    w.BeginObject();
    if (nonString)
        w.Key("appkey").Number(12345678);
    else
        w.Member("appkey", m_options.appKey);
    w.Member("secret", m_options.secret);
    if (nonString)
        w.Key("pid").BeginObject().Member("value", m_options.pid).EndObject();
    else
        w.Member("pid", m_options.pid);
    w.Key("nicks").BeginArray();
    bool first = true;
    for (const std::string& nick : m_catalogue.ExcludedNicks()) {
        w.BeginObject();
        if (nonString && first)
            w.Key("nick").BeginArray().String(nick).EndArray();
        else
            w.Member("nick", nick);
        w.EndObject();
        first = false;
    }
    w.EndArray();
    // the open platform's ids of the sellers named above and of today's picks' seller
    w.Key("sellerids").BeginObject();
    std::vector<std::string> named = m_catalogue.ExcludedNicks();
    named.push_back(text::ShopNick());
    for (const std::string& nick : named) {
        const auto& sellers = m_catalogue.Sellers();
        for (std::size_t i = 0; i < sellers.size(); ++i) {
            if (sellers[i].nick == nick) {
                w.Key(nick).Number(MaterialGateway::SellerId(static_cast<int>(i)));
                break;
            }
        }
    }
    w.EndObject();
    if (!m_options.configSearch.empty())
        w.Member("search", m_options.configSearch);
    if (!m_options.configSignMethod.empty())
        w.Member("sign_method", m_options.configSignMethod);
    w.Key("affiches").BeginArray();
    int n = 0;
    for (const std::string& text : m_catalogue.Announcements()) {
        w.BeginObject();
        if (nonString && n == 1)
            w.Key("affiche").Number(2013);
        else
            w.Member("affiche", text);
        w.EndObject();
        ++n;
    }
    w.EndArray();
    w.EndObject();
    return w.Text();
}

std::string MarketDocuments::CategoryJson(DocumentVariant variant) const
{
    const bool nonString = variant == DocumentVariant::NonString;
    const auto& cats = m_catalogue.Categories();
    GbkJsonWriter w;
    w.BeginArray();
    int topOrdinal = 0;
    for (const CatalogueCategory& top : cats) {
        if (top.level != 1)
            continue;
        w.BeginObject();
        if (nonString && topOrdinal == 0)
            w.Key("name").Number(1);
        else
            w.Member("name", top.name);
        if (nonString && topOrdinal == 1)
            w.Key("cat").Number(std::stoll(top.cat));
        else
            w.Member("cat", top.cat);
        if (nonString && topOrdinal == 2)
            w.Key("market").BeginArray().String(top.market).EndArray();
        else
            w.Member("market", top.market);
        w.Key("catGroupList").BeginArray();
        bool firstGroup = true;
        for (int g : top.children) {
            const CatalogueCategory& group = cats[static_cast<std::size_t>(g)];
            w.BeginObject();
            if (nonString && firstGroup)
                w.Key("name").BeginObject().Member("text", group.name).EndObject();
            else
                w.Member("name", group.name);
            w.Member("cat", group.cat).Member("market", group.market);
            w.Key("catGroupList").BeginArray();
            for (int l : group.children) {
                const CatalogueCategory& leaf = cats[static_cast<std::size_t>(l)];
                w.BeginObject().Member("name", leaf.name).Member("cat", leaf.cat).EndObject();
            }
            w.EndArray().EndObject();
            firstGroup = false;
        }
        w.EndArray().EndObject();
        ++topOrdinal;
    }
    w.EndArray();
    return w.Text();
}

std::string MarketDocuments::ItemPage(const CatalogueItem& item, const std::string& host) const
{
    const CatalogueSeller& seller = m_catalogue.SellerOf(item);
    const auto& cats = m_catalogue.Categories();
    const CatalogueCategory& leaf = cats[static_cast<std::size_t>(item.leaf)];
    const CatalogueCategory& group = cats[static_cast<std::size_t>(leaf.parent)];
    const CatalogueCategory& top = cats[static_cast<std::size_t>(leaf.top)];
    std::string html = PageHead(HtmlEscape(ItemPageTitle(item))) + "</head>\n<body>\n";
    html += "<div class=\"tb-detail\" data-item-id=\"" + item.idText + "\" data-cat=\"" + leaf.cat + "\">\n";
    html += G("<p class=\"crumbs\">类目：") + top.name + " &gt; " + group.name + " &gt; " + leaf.name + "</p>\n";
    html += "<h1>" + HtmlEscape(item.title) + "</h1>\n";
    html += "<img src=\"" + PictureAddress::Original(host, item) + "\" width=\"400\" height=\"400\" alt=\"\">\n";
    html += G("<p>价格：<em class=\"price\">￥") + PriceText(item) + G("</em> 运费：") + item.ship + G(" 月销量：") +
            item.salesText + G(" 件</p>\n");
    html += G("<p>掌柜：<span class=\"nick\">") + HtmlEscape(seller.nick) + G("</span> 所在地：") + seller.location +
            G(" 信用等级：") + std::to_string(seller.ratesum) + "</p>\n";
    html += "</div>\n</body></html>\n";
    return html;
}

std::string MarketDocuments::ChannelPage(bool mall, const QueryParams& query) const
{
    const std::string title = mall ? G("天猫tmall.com--上天猫，就够了") : G("淘宝网 - 淘！我喜欢");
    std::string html = PageHead(title) + "</head>\n<body>\n<h1>" + title + "</h1>\n";
    html += G("<p>推广编号：<span class=\"pid\">") + HtmlEscape(query.Get("pid")) + G("</span> 活动：<span class=\"eventid\">") +
            HtmlEscape(query.Get("eventid")) + "</span></p>\n</body></html>\n";
    return html;
}

std::string MarketDocuments::IndexPage(const std::string& host) const
{
    std::string html = PageHead(G("本地市场服务器")) + "</head>\n<body>\n<h1>" + G("本地市场服务器") + "</h1>\n<ul>\n";
    const char* const paths[] = {"/itemlist/default.htm?q=%CA%D6%BB%FA", "/itemlist/default.htm?json=on",
                                 "/set/config.jpg", "/set/tbcat.jpg", "/go/chn/tbk_channel/channelcode.php",
                                 "/go/chn/tbk_channel/tmall_new.php"};
    for (const char* p : paths)
        html += "<li><a href=\"http://" + host + p + "\">" + p + "</a></li>\n";
    html += "</ul>\n<p>" + G("商品数：") + std::to_string(m_catalogue.Items().size()) + G("，种子：") +
            std::to_string(m_catalogue.Seed()) + "</p>\n</body></html>\n";
    return html;
}

std::string MarketDocuments::ErrorPage(int status) const
{
    const std::string title = status == 404 ? G("页面不存在") : G("服务器繁忙，请稍后再试");
    return PageHead(std::to_string(status) + " " + title) + "</head>\n<body><h1>" + std::to_string(status) + " " +
           title + "</h1></body></html>\n";
}

} // namespace yfx::server
