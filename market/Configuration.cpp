#include "market/Configuration.h"

#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/JsonText.h"

#include <algorithm>

std::string ConfigDocumentUrl()
{
    return yfx::EndpointBase(yfx::Endpoint::Config) + "/set/config.jpg";
}

std::string CategoryDocumentUrl()
{
    return yfx::EndpointBase(yfx::Endpoint::Config) + "/set/tbcat.jpg";
}

namespace {

bool ReadText(int fetchResult, const std::string& text, Configuration& cfg)
{
    if (fetchResult < 0)
        return false;
    if (text.empty())
        return true;
    if (text.size() > kMaxConfigurationBytes)
        return false;
    yfx::json::Document doc;
    if (!yfx::json::Parse(text, doc) || doc.root.isNull())
        return false;

    cfg.appKey = yfx::json::MemberText(doc, doc.root, "appkey");
    cfg.appSecret = yfx::json::MemberText(doc, doc.root, "secret");
    cfg.pid = yfx::json::MemberText(doc, doc.root, "pid");

    cfg.source = yfx::json::MemberText(doc, doc.root, "search") == "material" ? ResultSource::OpenPlatform
                                                                              : ResultSource::ListSearch;
    cfg.signMethod = yfx::json::MemberText(doc, doc.root, "sign_method") == "hmac-sha256" ? SignMethod::HmacSha256
                                                                                          : SignMethod::Md5;

    const Json::Value& nicks = yfx::json::Member(doc.root, "nicks");
    if (nicks.isArray()) {
        for (Json::ArrayIndex i = 0; i < nicks.size(); ++i)
            cfg.sellerNicks[yfx::json::MemberText(doc, nicks[i], "nick")] = static_cast<int>(i);
    }
    const Json::Value& ids = yfx::json::Member(doc.root, "sellerids");
    if (ids.isObject()) {
        for (auto it = ids.begin(); it != ids.end(); ++it) {
            if (!it->isString() && !it->isNumeric())
                continue;
            const std::string id = yfx::json::ReadText(doc, *it);
            if (!id.empty() && id.size() <= 20 && id.find_first_not_of("0123456789") == std::string::npos)
                cfg.sellerIds[it.name()] = id;
        }
    }
    const Json::Value& affiches = yfx::json::Member(doc.root, "affiches");
    if (affiches.isArray()) {
        for (Json::ArrayIndex i = 0; i < affiches.size(); ++i)
            cfg.announcements.push_back(yfx::json::MemberText(doc, affiches[i], "affiche"));
    }
    return true;
}

} // namespace

bool ReadConfigurationText(int fetchResult, const std::string& text, Configuration& cfg)
{
    cfg = Configuration{};
    try {
        if (ReadText(fetchResult, text, cfg))
            return true;
    } catch (...) {
        // out of memory while reading: unconfigured rather than an exception
    }
    cfg = Configuration{};
    return false;
}

std::string AdzoneIdOf(const std::string& pid)
{
    if (pid.rfind("mm_", 0) != 0)
        return {};
    std::string numbers[3];
    int count = 0;
    for (std::size_t pos = 3;; ++count) {
        const std::size_t end = std::min(pid.find('_', pos), pid.size());
        if (count == 3)
            return {}; // a fourth number
        numbers[count] = pid.substr(pos, end - pos);
        const std::string& n = numbers[count];
        if (n.empty() || n.size() > 20 || n.find_first_not_of("0123456789") != std::string::npos)
            return {};
        if (end == pid.size())
            break;
        pos = end + 1;
    }
    return count == 2 ? numbers[2] : std::string();
}

bool ReadConfiguration(Configuration& cfg, const std::string& url)
{
    cfg = Configuration{};
    std::string text;
    int result = -1;
    try {
        result = HttpGetText(url, text);
    } catch (...) {
        return false;
    }
    return ReadConfigurationText(result, text, cfg);
}
