#pragma once
// The hosts the program talks to, defined in one place. Each is a base address: scheme,
// host and optional port, no trailing slash ("http://list.taobao.com").
//
// YFX_SERVER (for example "http://127.0.0.1:8080") points every one of them at one server,
// the bundled local marketplace server. A per-host variable overrides both:
//   YFX_SEARCH_URL, YFX_GATEWAY_URL, YFX_CONFIG_URL, YFX_ITEM_URL, YFX_MALL_ITEM_URL,
//   YFX_MARKET_SITE_URL, YFX_MALL_SITE_URL, YFX_OPEN_GATEWAY_URL.
// The configuration server has no public host: its default lies under ".invalid", so a program
// started without YFX_SERVER fails that fetch at once and runs unconfigured.
#include <string>

namespace yfx {

enum class Endpoint {
    ListSearch,  // marketplace list-search pages
    Gateway,     // open-platform REST gateway ("/router/rest")
    Config,      // the program's configuration server ("/set/config.jpg", "/set/tbcat.jpg")
    MarketItem,  // marketplace item pages ("/item.htm?id=")
    MallItem,    // mall channel item-detail pages ("/item.htm?id=")
    MarketSite,  // marketplace main site (affiliate channel page)
    MallSite,    // mall channel main site (affiliate channel page)
    OpenGateway, // open platform's current gateway ("/router/rest", https), for the material search
};

// The base address of an endpoint, from the environment at first use or from an override.
std::string EndpointBase(Endpoint which);

// Points every endpoint at one server (empty: back to the environment and the defaults).
// For tests and tools; thread-safe.
void SetEndpointServer(const std::string& base);

// Overrides one endpoint (empty: back to the server or default). For tests; thread-safe.
void SetEndpointOverride(Endpoint which, const std::string& base);

// The address the user's configuration gives an endpoint (the configuration server named in
// config.json): used only when neither an override, the environment nor SetEndpointServer
// names one. Empty: back to the built-in default. Thread-safe.
void SetEndpointConfigured(Endpoint which, const std::string& base);

// True when something other than the built-in default names the endpoint: an override, its
// own variable, YFX_SERVER, SetEndpointServer or SetEndpointConfigured.
bool EndpointChosen(Endpoint which);

} // namespace yfx
