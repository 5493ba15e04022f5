#include "market/OpenPlatformRequest.h"

#include "market/DecimalAmount.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/HexText.h"

#include <algorithm>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {

constexpr const char* kHighestYuan = "100000000";

// A typed price bound as whole yuan: the low bound rounded down, the high one up; "" when the
// text is not a number.
std::string WholeYuan(const std::string& text, bool roundUp)
{
    yfx::DecimalAmount amount; // signs, exponents, spaces inside: not a number
    if (!yfx::ReadDecimalAmount(text, amount))
        return {};
    std::string_view whole = amount.whole;
    whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.size() > 9)
        return kHighestYuan;
    unsigned long long yuan = whole.empty() ? 0 : std::stoull(std::string(whole));
    if (roundUp && amount.fraction.find_first_not_of('0') != std::string_view::npos)
        ++yuan;
    return yuan > 100000000ULL ? std::string(kHighestYuan) : std::to_string(yuan);
}

void AddIfGiven(std::vector<RequestParam>& params, const char* name, std::string value)
{
    if (!value.empty())
        params.emplace_back(name, std::move(value));
}

} // namespace

std::string GatewayTimestamp(std::time_t when)
{
    const std::time_t shifted = when + 8 * 3600;
    std::tm utc{};
    if (gmtime_r(&shifted, &utc) == nullptr)
        return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &utc);
    return buf;
}

std::string SignGatewayParams(std::vector<RequestParam> params, const std::string& secretUtf8,
                              SignMethod method)
{
    if (method == SignMethod::Md5)
        return SignRequest(params, secretUtf8);
    std::stable_sort(params.begin(), params.end(),
                     [](const RequestParam& a, const RequestParam& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [name, value] : params) {
        text += name;
        text += value;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (HMAC(EVP_sha256(), secretUtf8.data(), static_cast<int>(secretUtf8.size()),
             reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, &length) == nullptr)
        return {};
    return yfx::HexUpper(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string FormEncode(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out.push_back(ch);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            yfx::AppendPercentEncoded(out, c);
        }
    }
    return out;
}

std::vector<RequestParam> MaterialSearchParams(const Configuration& cfg, const SearchQuery& query, int pageNo)
{
    std::vector<RequestParam> params;
    AddIfGiven(params, "adzone_id", AdzoneIdOf(cfg.pid));
    AddIfGiven(params, "q", yfx::GbkToUtf8(query.keyword.empty() ? query.nick : query.keyword));
    if (query.cat != "0")
        AddIfGiven(params, "cat", yfx::GbkToUtf8(query.cat));
    AddIfGiven(params, "itemloc", yfx::GbkToUtf8(query.location));
    AddIfGiven(params, "start_price", WholeYuan(query.priceLow, false));
    AddIfGiven(params, "end_price", WholeYuan(query.priceHigh, true));
    params.emplace_back("page_size", std::to_string(kMaterialPageSize));
    params.emplace_back("page_no", std::to_string(std::max(pageNo, 1)));
    params.emplace_back("sort", "total_sales_des");
    AddIfGiven(params, "ip", cfg.buyerIp);
    return params;
}

GatewayPost BuildGatewayPost(const Configuration& cfg, const std::string& method,
                             std::vector<RequestParam> business, std::time_t now, bool simplify)
{
    std::vector<RequestParam> system;
    AddIfGiven(system, "method", method);
    AddIfGiven(system, "app_key", yfx::GbkToUtf8(cfg.appKey));
    AddIfGiven(system, "timestamp", GatewayTimestamp(now));
    system.emplace_back("v", "2.0");
    system.emplace_back("sign_method", cfg.signMethod == SignMethod::HmacSha256 ? "hmac-sha256" : "md5");
    system.emplace_back("format", "json");
    if (simplify)
        system.emplace_back("simplify", "true");
    std::erase_if(business, [](const RequestParam& p) { return p.first.empty() || p.second.empty(); });

    std::vector<RequestParam> all = system;
    all.insert(all.end(), business.begin(), business.end());
    system.emplace_back("sign",
                        SignGatewayParams(std::move(all), yfx::GbkToUtf8(cfg.appSecret), cfg.signMethod));

    const auto encode = [](const std::vector<RequestParam>& params) {
        std::string text;
        for (const auto& [name, value] : params) {
            if (!text.empty())
                text += '&';
            text += FormEncode(name) + '=' + FormEncode(value);
        }
        return text;
    };
    GatewayPost post;
    post.url = yfx::EndpointBase(yfx::Endpoint::OpenGateway) + "/router/rest?" + encode(system);
    post.body = encode(business);
    post.contentType = "application/x-www-form-urlencoded;charset=utf-8";
    return post;
}

GatewayPost BuildMaterialSearchRequest(const Configuration& cfg, const SearchQuery& query, std::time_t now)
{
    return BuildMaterialPageRequest(cfg, query, 1, now);
}

GatewayPost BuildMaterialSearchRequest(const Configuration& cfg, const SearchQuery& query)
{
    return BuildMaterialSearchRequest(cfg, query, RequestClockTime());
}

GatewayPost BuildMaterialPageRequest(const Configuration& cfg, const SearchQuery& query, int pageNo, std::time_t now)
{
    return BuildGatewayPost(cfg, kMaterialSearchMethod, MaterialSearchParams(cfg, query, pageNo), now);
}

GatewayPost BuildMaterialPageRequest(const Configuration& cfg, const SearchQuery& query, int pageNo)
{
    return BuildMaterialPageRequest(cfg, query, pageNo, RequestClockTime());
}

GatewayPost BuildItemInfoRequest(const Configuration& cfg, const std::vector<std::string>& itemIds,
                                 std::time_t now)
{
    std::string joined;
    std::size_t count = 0;
    for (const std::string& id : itemIds) {
        if (id.empty() || id.find(',') != std::string::npos || count == kItemInfoMaxIds)
            continue;
        if (!joined.empty())
            joined += ',';
        joined += yfx::GbkToUtf8(id);
        ++count;
    }
    return BuildGatewayPost(cfg, kItemInfoMethod, {{"item_id", joined}, {"ip", cfg.buyerIp}}, now);
}

GatewayPost BuildItemInfoRequest(const Configuration& cfg, const std::vector<std::string>& itemIds)
{
    return BuildItemInfoRequest(cfg, itemIds, RequestClockTime());
}
