#include "tests/tools/MarketTestSupport.h"

#include <httplib.h>
#include <memory>

#include "market/Gbk.h"
#include "market/HttpClient.h"

namespace yfx::test {

HttpAnswer RawGet(const MarketServerProcess& server, const std::string& target, const std::string& host,
                  int readTimeoutSeconds, const std::vector<std::pair<std::string, std::string>>& requestHeaders)
{
    HttpAnswer answer;
    httplib::Client client("127.0.0.1", server.Port());
    client.set_url_encode(false);
    client.set_follow_location(false);
    client.set_read_timeout(readTimeoutSeconds, 0);
    httplib::Headers headers;
    if (!host.empty())
        headers.emplace("Host", host);
    for (const auto& [name, value] : requestHeaders)
        headers.emplace(name, value);
    // Bytes that cannot stand in a request line are escaped as the program's client does.
    const httplib::Result res = client.Get(EscapeIllegalUrlBytes(target), headers);
    if (!res)
        return answer;
    answer.ok = true;
    answer.status = res->status;
    answer.body = res->body;
    answer.contentType = res->get_header_value("Content-Type");
    answer.location = res->get_header_value("Location");
    for (const auto& [name, value] : res->headers)
        answer.headers.emplace(name, value);
    return answer;
}

HttpAnswer RawPost(const MarketServerProcess& server, const std::string& target, const std::string& body,
                   const std::string& contentType)
{
    HttpAnswer answer;
    httplib::Client client("127.0.0.1", server.Port());
    client.set_url_encode(false);
    client.set_follow_location(false);
    client.set_read_timeout(10, 0);
    const httplib::Result res = client.Post(target, body, contentType);
    if (!res)
        return answer;
    answer.ok = true;
    answer.status = res->status;
    answer.body = res->body;
    answer.contentType = res->get_header_value("Content-Type");
    answer.location = res->get_header_value("Location");
    return answer;
}

std::string TargetOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return slash == std::string::npos ? std::string("/") : url.substr(slash);
}

std::string G(std::string_view utf8)
{
    return Utf8ToGbk(utf8);
}

std::string U(std::string_view gbk)
{
    return GbkToUtf8(gbk);
}

bool ParseJson(const std::string& text, Json::Value& root)
{
    try {
        Json::Reader reader(Json::Features::all());
        return reader.parse(text, root);
    } catch (const std::exception&) {
        return false;
    }
}

bool ReadListPage(const std::string& body, std::vector<ListedItem>& items, long& total)
{
    Json::Value root;
    if (!ParseJson(body, root) || !root.isObject() || !root["itemList"].isArray())
        return false;
    total = std::stol(root.get("totalNumber", "0").asString());
    for (const Json::Value& e : root["itemList"]) {
        const auto text = [&](const char* key) { return U(e[key].asString()); };
        items.push_back({text("itemId"), text("tip"), text("currentPrice"), text("ship"), text("tradeNum"),
                         text("nick"), text("loc"), text("ratesum"), text("href"), text("originalImage"),
                         text("image")});
    }
    return true;
}

std::vector<ListedItem> FetchAllItems(const MarketServerProcess& server, const std::string& target)
{
    std::vector<ListedItem> items;
    for (long start = 0;; start += 40) {
        const HttpAnswer answer = RawGet(server, target + "&s=" + std::to_string(start));
        long total = 0;
        const std::size_t before = items.size();
        if (!answer.ok || answer.status != 200 || !ReadListPage(answer.body, items, total))
            return {};
        if (items.size() == before || static_cast<long>(items.size()) >= total || start > 1000000)
            return items;
    }
}

bool JpegSize(const std::string& bytes, int& width, int& height)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 4 || at(0) != 0xFF || at(1) != 0xD8)
        return false;
    std::size_t i = 2;
    while (i + 9 < bytes.size()) {
        if (at(i) != 0xFF)
            return false;
        const unsigned char marker = at(i + 1);
        const std::size_t length = at(i + 2) * 256u + at(i + 3);
        // Start of frame: baseline, extended, progressive (C0..C3, not C4 DHT or C8 JPG).
        if (marker >= 0xC0 && marker <= 0xC3) {
            height = at(i + 5) * 256 + at(i + 6);
            width = at(i + 7) * 256 + at(i + 8);
            return true;
        }
        i += 2 + length;
    }
    return false;
}

} // namespace yfx::test
