#include "market/SearchUrl.h"

#include "market/Endpoints.h"
#include "market/HexText.h"

std::string UrlEncode(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            out.push_back(static_cast<char>(c));
        else
            yfx::AppendPercentEncoded(out, c);
    }
    return out;
}

std::string BuildSearchUrl(const SearchQuery& q)
{
    const std::string exclude = UrlEncode(q.exclude);
    const std::string nick = UrlEncode(q.nick);
    const std::string location = UrlEncode(q.location);
    const std::string keyword = UrlEncode(q.keyword);

    const std::string path = q.path.empty() ? std::string("/itemlist/default.htm") : q.path;
    const std::string catPiece = q.cat.empty() ? std::string("&") : "&cat=" + q.cat + "&";
    const std::string nickPiece = q.nick.empty() ? std::string() : "&nick=" + nick;
    const std::string excludeSuffix = q.exclude.empty() ? std::string() : "+-" + exclude;
    const std::string low = q.priceLow.empty() ? std::string("0") : q.priceLow;
    const std::string high = q.priceHigh.empty() ? std::string("100000000") : q.priceHigh;

    std::string url = yfx::EndpointBase(yfx::Endpoint::ListSearch);
    url += path;
    url += "?";
    url += catPiece;
    url += "ex_q=" + exclude;
    url += nickPiece;
    url += "&viewIndex=1&as=1&loc=" + location;
    url += "&commend=all&atype=b&style=list&q=" + keyword + excludeSuffix;
    url += "&same_info=1&tid=0&isnew=2&filter=reserve_price%5B" + low + "%2C" + high + "%5D";
    url += "&json=on&tid=0&data-key=sort&data-value=biz30day&module=sortList&json=on"
           "&_ksTS=1364476473257_654&ver=probeta";
    return url;
}
