#include "market/HttpClient.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <string_view>
#include <vector>
#include <unistd.h>

namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kStallSeconds = 30;                   // abort when no byte came for this long
constexpr size_t kMaxTextBytes = 32u * 1024 * 1024;  // a document beyond this is not a document
constexpr const char* kAgent = "HttpClient";

void GlobalInit()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

// Loopback never goes through a proxy; whatever the user lists in no_proxy still holds.
std::string NoProxyList()
{
    std::string list = "127.0.0.1,localhost,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* v = std::getenv(name); v && *v) {
            list += ',';
            list += v;
        }
    }
    return list;
}

int ProgressCallback(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* flag = static_cast<const std::atomic<bool>*>(clientp);
    return (flag && flag->load(std::memory_order_relaxed)) ? 1 : 0;
}

void SetCommonOptions(CURL* curl, const std::string& url, const std::atomic<bool>* abort)
{
    static const std::string noProxy = NoProxyList();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));
}

long ResponseCode(CURL* curl)
{
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

// The result code of a finished transfer: -1 when no answer came at all (the address could
// not be opened), -2 when the transfer broke off after the server answered.
int FailureCode(CURL* curl)
{
    return ResponseCode(curl) == 0 ? -1 : -2;
}

// --- text ----------------------------------------------------------------------------------

struct TextSink {
    CURL* curl = nullptr;
    std::string* text = nullptr;
    std::string pending; // the current, not yet terminated line
    bool notOk = false;  // the final answer is not a 200: its body is not read
    bool tooBig = false;
    size_t total = 0;
};

size_t WriteText(char* data, size_t size, size_t count, void* userdata)
{
    auto* sink = static_cast<TextSink*>(userdata);
    const size_t n = size * count;
    if (ResponseCode(sink->curl) != 200) {
        sink->notOk = true;
        return 0; // stop reading a body nobody wants
    }
    sink->total += n;
    if (sink->total > kMaxTextBytes) {
        sink->tooBig = true;
        return 0;
    }
    for (char c : std::string_view(data, n)) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            sink->text->append(sink->pending);
            sink->text->append("\r\n");
            sink->pending.clear();
        } else {
            sink->pending.push_back(c);
        }
    }
    return n;
}

// --- file ----------------------------------------------------------------------------------

struct FileSink {
    CURL* curl = nullptr;
    std::string target;
    std::string tempPath;
    int fd = -1;
    bool notOk = false;
    bool createFailed = false;
    bool writeFailed = false;

    ~FileSink() { Discard(); }

    // The body goes to a fresh file beside the target (O_EXCL: never an existing file or link).
    bool Open()
    {
        std::string tmpl = target + ".part-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        fd = mkostemp(buf.data(), O_CLOEXEC);
        if (fd < 0)
            return false;
        tempPath.assign(buf.data());
        return true;
    }

    void Discard()
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        if (!tempPath.empty()) {
            ::unlink(tempPath.c_str());
            tempPath.clear();
        }
    }

    // Closes the complete file and puts it in place of the target in one step.
    bool Commit()
    {
        if (fd < 0 && !Open())
            return false;
        bool ok = ::close(fd) == 0;
        fd = -1;
        if (ok)
            ok = ::rename(tempPath.c_str(), target.c_str()) == 0;
        if (ok)
            tempPath.clear();
        else
            Discard();
        return ok;
    }
};

size_t WriteFile(char* data, size_t size, size_t count, void* userdata)
{
    auto* sink = static_cast<FileSink*>(userdata);
    size_t n = size * count;
    if (ResponseCode(sink->curl) != 200) {
        sink->notOk = true;
        return 0;
    }
    if (sink->fd < 0 && !sink->Open()) {
        sink->createFailed = true;
        return 0;
    }
    // the body moves in chunks of at most 10240 bytes, each written exactly as it came
    while (n > 0) {
        const size_t chunk = n < 10240 ? n : 10240;
        ssize_t w = ::write(sink->fd, data, chunk);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            sink->writeFailed = true;
            return 0;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
    return size * count;
}

} // namespace

CHttpSession::CHttpSession()
{
    GlobalInit();
    m_curl = curl_easy_init();
}

CHttpSession::~CHttpSession()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

std::string EscapeIllegalUrlBytes(const std::string& url)
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (unsigned char c : url) {
        const bool illegal = c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
        if (illegal) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

int HttpGetText(const std::string& url, std::string& text)
{
    text.clear();
    GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl)
        return -1;
    const std::string address = EscapeIllegalUrlBytes(url);
    SetCommonOptions(curl, address, nullptr);
    TextSink sink;
    sink.curl = curl;
    sink.text = &text;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteText);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(curl);

    int result = 0;
    const long status = ResponseCode(curl);
    if (sink.notOk || (status != 0 && status != 200)) {
        text.clear(); // any other status: an empty text and result 0
    } else if (rc != CURLE_OK || sink.tooBig) {
        result = sink.tooBig ? -2 : FailureCode(curl);
    } else if (!sink.pending.empty()) {
        text.append(sink.pending); // an unterminated last line is still a line
        text.append("\r\n");
    }
    curl_easy_cleanup(curl);
    return result;
}

int HttpGetFile(CHttpSession& session, const std::string& url, const std::string& path)
{
    CURL* curl = session.Handle();
    if (!curl || path.empty())
        return -1;
    if (session.AbortFlag() && session.AbortFlag()->load())
        return -2;
    const std::string address = EscapeIllegalUrlBytes(url);
    SetCommonOptions(curl, address, session.AbortFlag());
    FileSink sink;
    sink.curl = curl;
    sink.target = path;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

    const long status = ResponseCode(curl);
    if (sink.createFailed)
        return -1;
    if (sink.notOk || (status != 0 && status != 200))
        return 0; // no file is created or touched
    if (rc != CURLE_OK || sink.writeFailed)
        return sink.writeFailed ? -2 : FailureCode(curl);
    return sink.Commit() ? 0 : -1;
}
