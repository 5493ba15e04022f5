#include "market/Configuration.h"

#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/JsonText.h"
#include "market/LocalConfiguration.h"

#include <algorithm>

std::string ConfigDocumentUrl()
{
    return yfx::EndpointBase(yfx::Endpoint::Config) + "/set/config.jpg";
}

std::string CategoryDocumentUrl()
{
    return yfx::EndpointBase(yfx::Endpoint::Config) + "/set/tbcat.jpg";
}

bool ReadConfigurationText(int fetchResult, const std::string& text, Configuration& cfg)
{
    cfg = Configuration{};
    ConfigurationLayer layer;
    if (!ReadConfigurationLayer(fetchResult, text, layer))
        return false;
    try {
        cfg = MergeConfiguration({}, layer, false);
        return true;
    } catch (...) {
        // out of memory while copying: unconfigured rather than an exception
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
