#pragma once
// The open platform's REST gateway ("/router/rest") for the one method the program calls,
// "taobao.taobaoke.items.detail.get". It checks the request the way the platform does: method,
// application key, timestamp, version, and the MD5 signature (upper-case hex MD5 of
// secret + name1 value1 + name2 value2 ... + secret over every parameter but "sign", sorted by
// name byte-wise, values as decoded). A failed check answers the platform's error document
// {"error_response":{"code","msg","sub_code","sub_msg"}}; success answers the affiliate
// click address of every affiliate item asked for. Items whose id ends in 7 are not affiliate
// items: they answer an empty list. Stateless; safe on any thread.
#include <string>
#include <vector>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MarketDocuments.h"
#include "tools/market-server/QueryParams.h"
#include "tools/market-server/ServerOptions.h"

namespace yfx::server {

class OpenPlatformGateway {
public:
    static constexpr const char* kMethod = "taobao.taobaoke.items.detail.get";

    OpenPlatformGateway(const Catalogue& catalogue, const ServerOptions& options);

    // The JSON answer (GBK) to a gateway request; click addresses lead to this host.
    std::string Answer(const QueryParams& query, const std::string& host, DocumentVariant variant) const;

    // The signature of a parameter list with a secret, as the platform computes it.
    static std::string Sign(std::vector<std::pair<std::string, std::string>> params, const std::string& secret);

    // True when the id is an item the platform has affiliate links for.
    static bool IsAffiliate(const CatalogueItem& item) { return item.id % 10 != 7; }

private:
    const Catalogue& m_catalogue;
    const ServerOptions& m_options;
};

} // namespace yfx::server
