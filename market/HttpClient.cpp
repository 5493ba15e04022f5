#include "market/HttpClient.h"

#include "market/HexText.h"
#include "market/HttpTransfer.h"

#include <cstring>
#include <curl/curl.h>

CHttpSession::CHttpSession()
{
    yfx::net::GlobalInit();
    m_curl = curl_easy_init();
}

CHttpSession::~CHttpSession()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

std::string EscapeIllegalUrlBytes(const std::string& url)
{
    std::string out;
    out.reserve(url.size());
    for (unsigned char c : url) {
        const bool illegal = c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
        if (illegal)
            yfx::AppendPercentEncoded(out, c);
        else
            out.push_back(static_cast<char>(c));
    }
    return out;
}

int HttpGetText(const std::string& url, std::string& text)
{
    text.clear();
    yfx::net::GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl)
        return -1;
    yfx::net::Request request;
    request.url = url;
    yfx::net::Result result;
    {
        yfx::net::Transfer transfer(curl, std::move(request));
        result = transfer.Finish(transfer.Ready() ? curl_easy_perform(curl) : CURLE_FAILED_INIT);
    }
    curl_easy_cleanup(curl);
    text = std::move(result.text);
    return result.overCap ? -2 : result.code;
}

int HttpGetFile(CHttpSession& session, const std::string& url, const std::string& path)
{
    CURL* curl = session.Handle();
    if (!curl || path.empty())
        return -1;
    if (session.AbortFlag() && session.AbortFlag()->load())
        return -2;
    yfx::net::Request request;
    request.url = url;
    request.filePath = path;
    yfx::net::Transfer transfer(curl, std::move(request), session.AbortFlag());
    return transfer.Finish(transfer.Ready() ? curl_easy_perform(curl) : CURLE_FAILED_INIT).code;
}
