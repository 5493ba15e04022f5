#include "panes/finder/ItemPageRules.h"

#include "market/Gbk.h"

#include <algorithm>

namespace yfx {
namespace {

bool HasItemPrefix(const std::string& gbkUrl, const std::string& mallPrefix, const std::string& marketPrefix)
{
    return gbkUrl.find(mallPrefix) != std::string::npos || gbkUrl.find(marketPrefix) != std::string::npos;
}

} // namespace

std::string ItemPagePrefix(Endpoint which)
{
    return EndpointBase(which) + "/item.htm?";
}

bool IsItemPage(const std::string& gbkUrl)
{
    return HasItemPrefix(gbkUrl, ItemPagePrefix(Endpoint::MallItem), ItemPagePrefix(Endpoint::MarketItem));
}

std::string KeywordFromTitle(const std::string& gbkTitle)
{
    std::size_t hyphen = FindLastGbkChar(gbkTitle, '-');
    if (hyphen == std::string::npos)
        return gbkTitle;
    return gbkTitle.substr(0, hyphen);
}

std::vector<std::string> FindItemTitles(const std::vector<BrowserPage>& pages)
{
    const std::string mallPrefix = ItemPagePrefix(Endpoint::MallItem);
    const std::string marketPrefix = ItemPagePrefix(Endpoint::MarketItem);
    std::vector<std::string> titles;
    for (const BrowserPage& page : pages) {
        if (!HasItemPrefix(Utf8ToGbk(page.url), mallPrefix, marketPrefix))
            continue;
        titles.push_back(KeywordFromTitle(Utf8ToGbk(page.title)));
    }
    return titles;
}

int CandidateMenuCount(std::size_t candidateCount)
{
    return static_cast<int>(std::min<std::size_t>(candidateCount, kMaxCandidates));
}

int CandidateIndex(int commandId, std::size_t candidateCount)
{
    long long index = static_cast<long long>(commandId) - kFirstCandidateId;
    if (index < 0 || index >= kMaxCandidates || static_cast<unsigned long long>(index) >= candidateCount)
        return -1;
    return static_cast<int>(index);
}

} // namespace yfx
