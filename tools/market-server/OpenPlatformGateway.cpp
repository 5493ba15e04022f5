#include "tools/market-server/OpenPlatformGateway.h"

#include "tools/market-server/Timestamp.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <openssl/evp.h>

#include "market/Gbk.h"
#include "tools/market-server/GbkJsonWriter.h"

namespace yfx::server {
namespace {

std::string ErrorDocument(int code, const std::string& msg, const std::string& subCode, const std::string& subMsgUtf8)
{
    GbkJsonWriter w;
    w.BeginObject().Key("error_response").BeginObject();
    w.Key("code").Number(code);
    w.Member("msg", msg);
    w.Member("sub_code", subCode);
    w.Member("sub_msg", Utf8ToGbk(subMsgUtf8));
    w.EndObject().EndObject();
    return w.Text();
}

// "%Y-%m-%d %H:%M:%S" read strictly; false otherwise.
bool ParseTimestamp(const std::string& text, std::time_t& when)
{
    std::tm tm{};
    if (!ParseTimestampFields(text, tm))
        return false;
    tm.tm_isdst = -1;
    when = std::mktime(&tm);
    return when != static_cast<std::time_t>(-1);
}

std::vector<std::string> SplitComma(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find(',', pos);
        if (end == std::string::npos)
            end = text.size();
        parts.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

bool IsDigits(const std::string& s)
{
    return !s.empty() && s.size() <= 20 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "mm_<digits>_<digits>_<digits>"
bool IsPid(const std::string& pid)
{
    if (pid.rfind("mm_", 0) != 0)
        return false;
    std::vector<std::string> parts;
    std::size_t pos = 3;
    while (pos <= pid.size()) {
        std::size_t end = pid.find('_', pos);
        if (end == std::string::npos)
            end = pid.size();
        parts.push_back(pid.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts.size() == 3 && std::all_of(parts.begin(), parts.end(), IsDigits);
}

} // namespace

OpenPlatformGateway::OpenPlatformGateway(const Catalogue& catalogue, const ServerOptions& options)
    : m_catalogue(catalogue), m_options(options)
{
}

std::string OpenPlatformGateway::Sign(std::vector<std::pair<std::string, std::string>> params, const std::string& secret)
{
    std::stable_sort(params.begin(), params.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text = secret;
    for (const auto& [name, value] : params)
        text += name + value;
    text += secret;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (ctx == nullptr)
        return {};
    const bool ok = EVP_DigestInit_ex(ctx, EVP_md5(), nullptr) == 1 &&
                    EVP_DigestUpdate(ctx, text.data(), text.size()) == 1 &&
                    EVP_DigestFinal_ex(ctx, digest, &length) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok)
        return {};
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", digest[i]);
        hex += buf;
    }
    return hex;
}

std::string OpenPlatformGateway::Answer(const QueryParams& query, const std::string& host, DocumentVariant variant) const
{
    const std::string method = query.Get("method");
    if (method.empty())
        return ErrorDocument(21, "Missing method", "isv.missing-parameter:method", "缺少方法名参数");
    if (method != kMethod)
        return ErrorDocument(22, "Invalid method", "isv.invalid-method", "不存在的方法名");
    const std::string appKey = query.Get("app_key");
    if (appKey.empty())
        return ErrorDocument(28, "Missing app key", "isv.missing-parameter:app_key", "缺少AppKey参数");
    if (appKey != m_options.appKey)
        return ErrorDocument(29, "Invalid app Key", "isv.appkey-not-exists", "应用不存在");
    const std::string sign = query.Get("sign");
    if (sign.empty())
        return ErrorDocument(24, "Missing signature", "isv.missing-parameter:sign", "缺少签名参数");
    const std::string timestamp = query.Get("timestamp");
    if (timestamp.empty())
        return ErrorDocument(30, "Missing timestamp", "isv.missing-parameter:timestamp", "缺少时间戳参数");
    std::time_t when = 0;
    if (!ParseTimestamp(timestamp, when))
        return ErrorDocument(31, "Invalid timestamp", "isv.invalid-parameter:timestamp", "时间戳格式应为yyyy-MM-dd HH:mm:ss");
    if (m_options.maxClockSkew > 0) {
        const auto skew = static_cast<long long>(std::difftime(std::time(nullptr), when));
        if (skew > m_options.maxClockSkew || -skew > m_options.maxClockSkew)
            return ErrorDocument(31, "Invalid timestamp", "isv.invalid-parameter:timestamp", "时间戳与服务器时间相差过大");
    }
    const std::string version = query.Get("v");
    if (version.empty())
        return ErrorDocument(32, "Missing version", "isv.missing-parameter:v", "缺少版本参数");
    if (version != "2.0")
        return ErrorDocument(34, "Unsupported version", "isv.invalid-parameter:v", "不支持的版本号");
    const std::string format = query.Get("format");
    if (!format.empty() && format != "json")
        return ErrorDocument(23, "Invalid format", "isv.invalid-parameter:format", "不支持的响应格式");
    const std::string signMethod = query.Get("sign_method");
    if (!signMethod.empty() && signMethod != "md5")
        return ErrorDocument(25, "Invalid signature", "isv.invalid-parameter:sign_method", "不支持的签名方法");

    std::vector<std::pair<std::string, std::string>> signed_;
    for (const auto& p : query.All())
        if (p.first != "sign")
            signed_.push_back(p);
    if (Sign(signed_, m_options.secret) != sign)
        return ErrorDocument(25, "Invalid signature", "isv.invalid-signature", "签名无效");

    const std::string numIids = query.Get("num_iids");
    if (numIids.empty())
        return ErrorDocument(40, "Missing required arguments:num_iids", "isv.missing-parameter:num_iids", "缺少必选参数num_iids");
    const std::string fields = query.Get("fields");
    if (fields.empty())
        return ErrorDocument(40, "Missing required arguments:fields", "isv.missing-parameter:fields", "缺少必选参数fields");
    const std::string pid = query.Get("pid");
    if (!IsPid(pid))
        return ErrorDocument(41, "Invalid arguments:pid", "isv.invalid-parameter:pid", "推广位编号不正确");
    const std::vector<std::string> ids = SplitComma(numIids);
    if (ids.size() > 10 || !std::all_of(ids.begin(), ids.end(), IsDigits))
        return ErrorDocument(41, "Invalid arguments:num_iids", "isv.invalid-parameter:num_iids", "商品编号不正确");
    std::vector<const CatalogueItem*> items;
    for (const std::string& id : ids)
        if (const CatalogueItem* item = m_catalogue.FindItem(id))
            items.push_back(item);
    if (items.empty())
        return ErrorDocument(15, "Remote service error", "isv.item-not-exist:invalid-numIid", "商品不存在");

    bool wantClickUrl = false, wantNumIid = false;
    for (const std::string& f : SplitComma(fields)) {
        wantClickUrl = wantClickUrl || f == "click_url";
        wantNumIid = wantNumIid || f == "num_iid";
    }
    GbkJsonWriter w;
    w.BeginObject().Key("taobaoke_items_detail_get_response").BeginObject();
    w.Key("taobaoke_item_details").BeginObject().Key("taobaoke_item_detail").BeginArray();
    int count = 0;
    for (const CatalogueItem* item : items) {
        if (!IsAffiliate(*item))
            continue;
        w.BeginObject();
        if (wantClickUrl) {
            if (variant == DocumentVariant::NonString)
                w.Key("click_url").Number(static_cast<std::int64_t>(item->id));
            else
                w.Member("click_url", "http://" + host + "/s.click?e=" + item->idText);
        }
        if (wantNumIid)
            w.Key("num_iid").Number(static_cast<std::int64_t>(item->id));
        w.EndObject();
        ++count;
    }
    w.EndArray().EndObject();
    w.Key("total_results").Number(count);
    w.EndObject().EndObject();
    return w.Text();
}

} // namespace yfx::server
