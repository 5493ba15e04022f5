#include "market/Configuration.h"

#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/JsonText.h"

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

    const Json::Value& nicks = yfx::json::Member(doc.root, "nicks");
    if (nicks.isArray()) {
        for (Json::ArrayIndex i = 0; i < nicks.size(); ++i)
            cfg.sellerNicks[yfx::json::MemberText(doc, nicks[i], "nick")] = static_cast<int>(i);
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
