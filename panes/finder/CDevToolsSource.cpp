#include "panes/finder/CDevToolsSource.h"

#include "panes/finder/UntrustedJson.h"

#include <curl/curl.h>

#include <cstdlib>
#include <exception>
#include <string>

namespace yfx {
namespace {

struct Answer {
    std::string body;
    bool tooLong = false;
};

size_t CollectAnswer(char* data, size_t size, size_t count, void* user)
{
    auto* answer = static_cast<Answer*>(user);
    const size_t n = size * count;
    if (answer->body.size() + n > CDevToolsSource::kMaxAnswerBytes) {
        answer->tooLong = true;
        return 0; // makes libcurl stop with a write error
    }
    answer->body.append(data, n);
    return n;
}

bool ValidPort(int port)
{
    return port >= 1 && port <= 65535;
}

} // namespace

CDevToolsSource::CDevToolsSource() : m_nPort(PortFromEnvironment()) {}

CDevToolsSource::CDevToolsSource(int port) : m_nPort(port) {}

int CDevToolsSource::PortFromEnvironment()
{
    const char* value = std::getenv("YFX_DEVTOOLS_PORT");
    if (!value || !*value)
        return kDefaultPort;
    std::string text(value);
    if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return kDefaultPort;
    int port = std::atoi(text.c_str());
    return ValidPort(port) ? port : kDefaultPort;
}

std::vector<BrowserPage> CDevToolsSource::Pages()
{
    if (!ValidPort(m_nPort))
        return {};
    CURL* curl = curl_easy_init();
    if (!curl)
        return {};
    std::vector<BrowserPage> pages;
    try {
        // The endpoint refuses a Host header that is not an address or "localhost".
        const std::string url = "http://127.0.0.1:" + std::to_string(m_nPort) + "/json/list";
        Answer answer;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectAnswer);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK && !answer.tooLong &&
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200)
            pages = PagesFromPageList(answer.body);
    } catch (const std::exception&) {
        pages.clear();
    }
    curl_easy_cleanup(curl);
    return pages;
}

std::vector<BrowserPage> CDevToolsSource::PagesFromPageList(std::string_view json)
{
    std::vector<BrowserPage> pages;
    try {
        Json::Value root;
        if (!ParseUntrustedJson(json, root) || !root.isArray())
            return pages;
        for (const Json::Value& entry : root) {
            if (!entry.isObject())
                continue;
            const Json::Value& type = entry["type"];
            const Json::Value& url = entry["url"];
            if (!type.isString() || type.asString() != "page" || !url.isString())
                continue;
            const Json::Value& title = entry["title"];
            pages.push_back(BrowserPage{url.asString(), title.isString() ? title.asString() : std::string()});
        }
    } catch (const std::exception&) {
        pages.clear();
    }
    return pages;
}

} // namespace yfx
