#include "market/Endpoints.h"

#include <array>
#include <cstdlib>
#include <mutex>

namespace yfx {
namespace {

struct EndpointInfo {
    const char* env;
    const char* fallback;
};

constexpr std::size_t kEndpointCount = 8;

constexpr std::array<EndpointInfo, kEndpointCount> kInfo{{
    {"YFX_SEARCH_URL", "http://list.taobao.com"},
    {"YFX_GATEWAY_URL", "http://gw.api.taobao.com"},
    {"YFX_CONFIG_URL", "http://config.yuefengxuan.invalid"},
    {"YFX_ITEM_URL", "http://item.taobao.com"},
    {"YFX_MALL_ITEM_URL", "http://detail.tmall.com"},
    {"YFX_MARKET_SITE_URL", "http://www.taobao.com"},
    {"YFX_MALL_SITE_URL", "http://www.tmall.com"},
    {"YFX_OPEN_GATEWAY_URL", "https://eco.taobao.com"},
}};

struct State {
    std::mutex mutex;
    bool serverSet = false;
    std::string server;
    std::array<std::string, kEndpointCount> overrides;
    std::array<std::string, kEndpointCount> configured;
};

State& GetState()
{
    static State state;
    return state;
}

std::string TrimSlash(std::string s)
{
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return s;
}

std::string FromEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v ? TrimSlash(v) : std::string();
}

} // namespace

std::string EndpointBase(Endpoint which)
{
    auto index = static_cast<size_t>(which);
    State& st = GetState();
    std::lock_guard lock(st.mutex);
    if (!st.overrides[index].empty())
        return st.overrides[index];
    if (std::string v = FromEnv(kInfo[index].env); !v.empty())
        return v;
    if (st.serverSet)
        return st.server.empty() ? kInfo[index].fallback : st.server;
    if (std::string v = FromEnv("YFX_SERVER"); !v.empty())
        return v;
    if (!st.configured[index].empty())
        return st.configured[index];
    return kInfo[index].fallback;
}

bool EndpointChosen(Endpoint which)
{
    auto index = static_cast<size_t>(which);
    State& st = GetState();
    std::lock_guard lock(st.mutex);
    return !st.overrides[index].empty() || !FromEnv(kInfo[index].env).empty() || (st.serverSet && !st.server.empty()) ||
           !FromEnv("YFX_SERVER").empty() || !st.configured[index].empty();
}

void SetEndpointConfigured(Endpoint which, const std::string& base)
{
    State& st = GetState();
    std::lock_guard lock(st.mutex);
    st.configured[static_cast<size_t>(which)] = TrimSlash(base);
}

void SetEndpointServer(const std::string& base)
{
    State& st = GetState();
    std::lock_guard lock(st.mutex);
    st.serverSet = !base.empty();
    st.server = TrimSlash(base);
}

void SetEndpointOverride(Endpoint which, const std::string& base)
{
    State& st = GetState();
    std::lock_guard lock(st.mutex);
    st.overrides[static_cast<size_t>(which)] = TrimSlash(base);
}

} // namespace yfx
