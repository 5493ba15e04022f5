#pragma once
// Signed requests to the open platform's current affiliate interface: the material search
// ("taobao.tbk.dg.material.optional.upgrade") and the item details that carry the seller's
// credit level ("taobao.tbk.item.info.upgrade.get"). Building only: the request is a plain
// value that the caller sends as an HTTP POST.
//
// The platform reads UTF-8. System parameters (method, app_key, timestamp, v=2.0,
// sign_method, format=json, simplify=true) and the signature go in the address's query,
// business parameters in a form-encoded body. The signature covers every parameter but "sign",
// sorted by name byte-wise, over the decoded UTF-8 values. The timestamp is the time in
// GMT+8, whatever the machine's zone. A parameter with an empty value is left out entirely:
// neither signed nor sent.
#include <ctime>
#include <string>
#include <vector>

#include "market/ClickUrl.h"
#include "market/Configuration.h"
#include "market/OpenPlatformTypes.h"
#include "market/SearchUrl.h"

// One POST to the gateway.
struct GatewayPost {
    std::string url;         // gateway + "/router/rest?" + system parameters and "sign", form-encoded
    std::string body;        // business parameters, form-encoded UTF-8
    std::string contentType; // "application/x-www-form-urlencoded;charset=utf-8"
};

constexpr const char* kMaterialSearchMethod = "taobao.tbk.dg.material.optional.upgrade";
constexpr const char* kItemInfoMethod = "taobao.tbk.item.info.upgrade.get";
constexpr int kMaterialPageSize = 40;       // items asked for per search
constexpr std::size_t kItemInfoMaxIds = 20; // item ids per item-info request

// "yyyy-MM-dd HH:mm:ss" of a moment in GMT+8 (the platform's clock), independent of TZ.
std::string GatewayTimestamp(std::time_t when);

// The signature of UTF-8 parameters: upper-case hex, 32 digits for Md5 (the list is sorted
// and signed by SignRequest), 64 for HmacSha256. "sign" itself must not be in the list.
std::string SignGatewayParams(std::vector<RequestParam> params, const std::string& secretUtf8,
                              SignMethod method);

// application/x-www-form-urlencoded: A-Z a-z 0-9 - . _ ~ kept, a space as '+', every other
// byte as %XX (upper-case hex).
std::string FormEncode(const std::string& bytes);

// The business parameters of a material search for a query (GBK texts), as UTF-8, in this
// order and each only when not empty:
//   adzone_id  the third number of the configured pid
//   q          the keyword; the seller's name (`nick`) when there is no keyword
//   cat        the query's `cat` unless it is empty or "0" (a category node's "cat")
//   itemloc    the location
//   start_price, end_price
//              the price fields in whole yuan, rounded outwards (10.5 -> 10 low, 20.2 -> 21
//              high), at most 100000000; a field that is not a plain decimal number is no bound
//   page_size "40", page_no `pageNo` (values below 1 count as 1), sort "total_sales_des"
//   ip         the configuration's buyerIp, when the user set one
// The exclusion word and the seller are not parameters of the platform: see
// FilterMaterialRecords (OpenPlatformAnswer.h).
std::vector<RequestParam> MaterialSearchParams(const Configuration& cfg, const SearchQuery& query, int pageNo = 1);

// The signed material search for the first page, timestamped with `now` or with the request
// clock (ClickUrl.h).
GatewayPost BuildMaterialSearchRequest(const Configuration& cfg, const SearchQuery& query, std::time_t now);
GatewayPost BuildMaterialSearchRequest(const Configuration& cfg, const SearchQuery& query);
// The same for page `pageNo` (1 the first).
GatewayPost BuildMaterialPageRequest(const Configuration& cfg, const SearchQuery& query, int pageNo, std::time_t now);
GatewayPost BuildMaterialPageRequest(const Configuration& cfg, const SearchQuery& query, int pageNo);

// The signed item-details request for the first 20 ids (comma-joined "item_id"); empty ids
// and ids with a comma in them are skipped. "ip" as for the search.
GatewayPost BuildItemInfoRequest(const Configuration& cfg, const std::vector<std::string>& itemIds,
                                 std::time_t now);
GatewayPost BuildItemInfoRequest(const Configuration& cfg, const std::vector<std::string>& itemIds);

// A whole signed request from its method and UTF-8 business parameters (for tests and tools:
// `simplify` false asks for the answer with wrapper objects).
GatewayPost BuildGatewayPost(const Configuration& cfg, const std::string& method,
                             std::vector<RequestParam> business, std::time_t now, bool simplify = true);
