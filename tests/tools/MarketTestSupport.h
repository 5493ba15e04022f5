#pragma once
// Helpers shared by the local marketplace server's tests: raw HTTP to the server, GBK JSON
// reading, list-search paging and JPEG header reading.
#include <json/json.h>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/MarketServerProcess.h"

namespace yfx::test {

struct HttpAnswer {
    bool ok = false; // a complete answer arrived
    int status = 0;
    std::string body;
    std::string contentType;
    std::string location;
    std::map<std::string, std::string> headers; // every header of the answer, by its name as sent
};

// GET of `target` ("/path?query", sent exactly as given: no encoding, no redirect followed).
// A non-empty `host` replaces the Host header; `requestHeaders` are sent too. Never throws.
HttpAnswer RawGet(const MarketServerProcess& server, const std::string& target, const std::string& host = {},
                  int readTimeoutSeconds = 10,
                  const std::vector<std::pair<std::string, std::string>>& requestHeaders = {});

// POST of `body` to `target` ("/path?query", sent as given), no redirect followed. Never throws.
HttpAnswer RawPost(const MarketServerProcess& server, const std::string& target, const std::string& body,
                   const std::string& contentType);

// The "/path?query" part of an absolute address.
std::string TargetOf(const std::string& url);

std::string G(std::string_view utf8); // UTF-8 -> GBK
std::string U(std::string_view gbk);  // GBK -> UTF-8

// Reads GBK JSON the way the program does (JsonCpp's legacy reader, all features). Never throws.
bool ParseJson(const std::string& text, Json::Value& root);

// One element of a list-search answer, texts as UTF-8.
struct ListedItem {
    std::string itemId, tip, currentPrice, ship, tradeNum, nick, loc, ratesum, href, originalImage, image;
};

// One answer page: its items and the total the server reports. False when it is unreadable.
bool ReadListPage(const std::string& body, std::vector<ListedItem>& items, long& total);

// Every matching item of a list-search target, page after page ("&s=N"), in the server's order.
std::vector<ListedItem> FetchAllItems(const MarketServerProcess& server, const std::string& target);

// Width and height from a JPEG's start-of-frame segment; false when the bytes are not a JPEG.
bool JpegSize(const std::string& bytes, int& width, int& height);

} // namespace yfx::test
