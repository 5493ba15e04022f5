#include "market/ClickUrl.h"

#include "market/Endpoints.h"
#include "market/HexText.h"
#include "market/HttpClient.h"
#include "market/JsonText.h"

#include <algorithm>
#include <mutex>
#include <openssl/evp.h>

namespace {

std::mutex& ClockMutex()
{
    static std::mutex m;
    return m;
}

std::function<std::time_t()>& Clock()
{
    static std::function<std::time_t()> clock;
    return clock;
}

// MD5 of the bytes as 32 upper-case hex digits; "" if the digest cannot be had.
std::string Md5Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
        return {};
    return yfx::HexUpper(std::string_view(reinterpret_cast<const char*>(digest), length));
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string SignRequest(std::vector<RequestParam>& params, const std::string& secret)
{
    // byte-wise comparison: std::string compares chars as unsigned via char_traits
    std::stable_sort(params.begin(), params.end(),
                     [](const RequestParam& a, const RequestParam& b) { return a.first < b.first; });
    std::string text = secret;
    for (const auto& [name, value] : params) {
        text += name;
        text += value;
    }
    text += secret;
    return Md5Hex(text);
}

void SetRequestClock(std::function<std::time_t()> clock)
{
    std::lock_guard lock(ClockMutex());
    Clock() = std::move(clock);
}

std::time_t RequestClockTime()
{
    std::lock_guard lock(ClockMutex());
    return Clock() ? Clock()() : std::time(nullptr);
}

std::string RequestTimestamp()
{
    const std::time_t now = RequestClockTime();
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::string BuildClickRequestUrl(const std::string& pid, const std::string& itemId, const std::string& appKey,
                                 const std::string& secret)
{
    std::vector<RequestParam> params = {
        {"method", "taobao.taobaoke.items.detail.get"},
        {"num_iids", itemId},
        {"pid", pid},
        {"fields", "click_url"},
        {"timestamp", RequestTimestamp()},
        {"v", "2.0"},
        {"app_key", appKey},
        {"format", "json"},
        {"sign_method", "md5"},
    };
    std::string sign = SignRequest(params, secret);
    params.emplace_back("sign", std::move(sign));

    std::string query;
    for (const auto& [name, value] : params) {
        query += '&';
        query += name;
        query += '=';
        query += value;
    }
    return yfx::EndpointBase(yfx::Endpoint::Gateway) + "/router/rest?" + query.substr(1);
}

bool IsWebAddress(const std::string& url)
{
    size_t hostStart = 0;
    if (StartsWithNoCase(url, "http://"))
        hostStart = 7;
    else if (StartsWithNoCase(url, "https://"))
        hostStart = 8;
    else
        return false;
    if (url.size() <= hostStart || url[hostStart] == '/')
        return false;
    // no control characters or spaces: the address goes to a browser as it is
    return std::none_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
}

std::string GetClickUrl(const std::string& pid, const std::string& itemId, const std::string& appKey,
                        const std::string& secret)
{
    try {
        std::string text;
        if (HttpGetText(BuildClickRequestUrl(pid, itemId, appKey, secret), text) < 0)
            return {};
        return ClickUrlFromAnswer(text);
    } catch (...) {
        return {}; // out of memory: no click address rather than an exception
    }
}

std::string ClickUrlFromAnswer(const std::string& text)
{
    try {
        if (text.size() > kMaxGatewayAnswerBytes)
            return {};
        yfx::json::Document doc;
        if (!yfx::json::Parse(text, doc) || doc.root.isNull())
            return {};
        const Json::Value& response = yfx::json::Member(doc.root, "taobaoke_items_detail_get_response");
        const Json::Value& details = yfx::json::Member(response, "taobaoke_item_details");
        const Json::Value& list = yfx::json::Member(details, "taobaoke_item_detail");
        if (!list.isArray() || list.empty())
            return {};
        const Json::Value& clickUrl = yfx::json::Member(list[0], "click_url");
        if (!clickUrl.isString())
            return {};
        std::string url = yfx::json::ReadText(doc, clickUrl);
        return IsWebAddress(url) ? url : std::string();
    } catch (...) {
        return {}; // out of memory: no click address rather than an exception
    }
}
