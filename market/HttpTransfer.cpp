#include "market/HttpTransfer.h"

#include "market/HttpClient.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <curl/curl.h>
#include <curl/header.h>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace yfx::net {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kStallSeconds = 30; // abort when no byte came for this long
constexpr const char* kAgent = "HttpClient";
constexpr std::string_view kTempSuffix = ".part-XXXXXX";

std::string Trimmed(std::string_view s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// Loopback never goes through a proxy; whatever the user lists in no_proxy still holds, and
// a lone "*" there means no host at all goes through one, as curl itself reads it.
std::string NoProxyList()
{
    std::string list = "127.0.0.1,localhost,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* v = std::getenv(name);
        if (!v || !*v)
            continue;
        std::string_view rest(v);
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            if (Trimmed(rest.substr(0, comma)) == "*")
                return "*";
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        list += ',';
        list += v;
    }
    return list;
}

long ResponseCode(CURL* curl)
{
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

// Errors in which no answer came from the address finally asked for.
bool NoAnswer(CURLcode rc)
{
    switch (rc) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return true;
    default:
        return false;
    }
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// The scheme a Location value names, lower case; empty for a relative reference (which keeps
// the scheme of the address it came from).
std::string SchemeOf(std::string_view location)
{
    const size_t colon = location.find_first_of(":/?#");
    if (colon == std::string_view::npos || colon == 0 || location[colon] != ':')
        return {};
    std::string scheme;
    for (char c : location.substr(0, colon)) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (scheme.empty() || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return {};
        scheme.push_back(static_cast<char>(c | 0x20));
    }
    return scheme;
}

// The value of header `name` of the last answer (the final hop of a redirect), or "".
std::string LastHeader(CURL* curl, const char* name)
{
    struct curl_header* h = nullptr;
    if (curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &h) != CURLHE_OK || !h || !h->value)
        return {};
    const std::string_view value(h->value);
    return value.size() <= kMaxCapturedHeaderBytes ? std::string(value) : std::string();
}

int ProgressCallback(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* flag = static_cast<const std::atomic<bool>*>(clientp);
    return (flag && flag->load(std::memory_order_relaxed)) ? 1 : 0;
}

} // namespace

struct Transfer::Sink {
    CURL* curl = nullptr;
    const std::atomic<bool>* abort = nullptr;
    size_t cap = 0;
    size_t total = 0;
    bool notOk = false; // the final answer is not a 200: its body is not read
    bool overCap = false;
    bool began = false; // a byte of a 200 body came
    bool refusedRedirect = false;
    std::string location; // of the answer whose headers are coming in
    std::int64_t length = -1;

    // text: every line followed by "\r\n", never longer than the cap
    std::string text;
    size_t linesEnd = 0;   // the length of the complete lines in `text`
    bool lineOpen = false; // bytes of a line not yet ended are in `text`

    // file
    std::string target;
    std::string tempPath;
    int fd = -1;
    bool createFailed = false;
    bool writeFailed = false;

    ~Sink() { Discard(); }

    // The body goes to a fresh file beside the target (O_EXCL: never an existing file or
    // link). The usual temporary name is the target's plus a suffix; when that would pass the
    // file system's name limit, a short name in the same folder is used instead.
    bool Open()
    {
        const size_t slash = target.rfind('/');
        const size_t nameLength = target.size() - (slash == std::string::npos ? 0 : slash + 1);
        std::string tmpl = nameLength + kTempSuffix.size() <= NAME_MAX
                               ? target + std::string(kTempSuffix)
                               : target.substr(0, slash == std::string::npos ? 0 : slash + 1) + std::string(kTempSuffix);
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

    // Room for `more` bytes of text, grown in steps that never pass the cap: the text is never
    // given more memory than its cap allows.
    void Reserve(size_t more)
    {
        const size_t need = std::min(text.size() + more, cap);
        if (need <= text.capacity())
            return;
        const size_t wanted = std::min(std::max(need, text.capacity() * 2), cap);
        if (wanted >= text.capacity() * 2) {
            text.reserve(wanted);
            return;
        }
        // the library rounds a smaller step up to twice the present room, past the cap
        std::string grown;
        grown.reserve(wanted);
        grown.append(text);
        text.swap(grown);
    }

    // Appends what the line rule makes of `n` body bytes; false when the text would pass the cap.
    bool AppendLines(const char* data, size_t n)
    {
        Reserve(n + n / 8);
        for (size_t i = 0; i < n; ++i) {
            const char c = data[i];
            if (c == '\r')
                continue;
            if (c == '\n') {
                if (!Fits(2))
                    return false;
                text.append("\r\n", 2);
                linesEnd = text.size();
                lineOpen = false;
            } else {
                if (!Fits(1))
                    return false;
                text.push_back(c);
                lineOpen = true;
            }
        }
        return true;
    }

    bool Fits(size_t more)
    {
        if (text.size() + more <= cap) {
            if (text.size() + more > text.capacity())
                Reserve(more);
            return true;
        }
        overCap = true;
        return false;
    }

    // Common to both bodies: only a 200 answer is read, and only up to the cap.
    bool Accept(size_t n)
    {
        if (abort && abort->load(std::memory_order_relaxed))
            return false;
        if (ResponseCode(curl) != 200) {
            notOk = true;
            return false; // stop reading a body nobody wants
        }
        total += n;
        if (total > cap) {
            overCap = true;
            return false;
        }
        began = true;
        return true;
    }

    // The end of an answer's headers: a redirect from https to another scheme is refused, and
    // a 200 answer announcing a body longer than the cap is refused before its body.
    bool HeadersEnd()
    {
        const long status = ResponseCode(curl);
        if (status >= 300 && status < 400 && !location.empty()) {
            const char* current = nullptr;
            curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &current);
            const std::string scheme = SchemeOf(location);
            if (current && StartsWithNoCase(current, "https:") && !scheme.empty() && scheme != "https") {
                refusedRedirect = true;
                return false;
            }
        }
        location.clear();
        if (status != 200)
            return true;
        curl_off_t announced = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        length = announced;
        if (announced >= 0 && static_cast<std::uint64_t>(announced) > cap) {
            overCap = true;
            return false;
        }
        if (target.empty() && announced > 0)
            Reserve(static_cast<size_t>(announced)); // lines that end in "\n" alone grow on demand
        return true;
    }

    static size_t Header(char* data, size_t size, size_t count, void* userdata)
    {
        auto* sink = static_cast<Sink*>(userdata);
        const size_t n = size * count;
        std::string_view line(data, n);
        if (StartsWithNoCase(line, "location:")) {
            sink->location = Trimmed(line.substr(9));
            while (!sink->location.empty() && (sink->location.back() == '\r' || sink->location.back() == '\n'))
                sink->location.pop_back();
        } else if (line == "\r\n" || line == "\n") {
            return sink->HeadersEnd() ? n : 0;
        }
        return n;
    }

    static size_t WriteText(char* data, size_t size, size_t count, void* userdata)
    {
        auto* sink = static_cast<Sink*>(userdata);
        const size_t n = size * count;
        if (!sink->Accept(n) || !sink->AppendLines(data, n))
            return 0;
        return n;
    }

    static size_t WriteFile(char* data, size_t size, size_t count, void* userdata)
    {
        auto* sink = static_cast<Sink*>(userdata);
        size_t n = size * count;
        if (!sink->Accept(n))
            return 0;
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
};

void GlobalInit()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

Transfer::Transfer(CURL* curl, Request request, const std::atomic<bool>* abort)
    : m_curl(curl), m_request(std::move(request)), m_sink(std::make_unique<Sink>())
{
    if (!m_curl)
        return;
    const bool toFile = !m_request.filePath.empty();
    m_sink->curl = m_curl;
    m_sink->abort = abort;
    m_sink->cap = m_request.maxBytes ? m_request.maxBytes : (toFile ? kMaxFileBytes : kMaxTextBytes);
    const std::chrono::milliseconds limit =
        m_request.timeLimit.count() > 0 ? m_request.timeLimit : (toFile ? kFileTimeLimit : kTextTimeLimit);
    m_sink->target = m_request.filePath;
    m_address = EscapeIllegalUrlBytes(m_request.url);

    const std::string noProxy = NoProxyList(); // libcurl copies every string option
    curl_easy_setopt(m_curl, CURLOPT_URL, m_address.c_str());
    if (m_request.post) {
        curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_request.body.size()));
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, m_request.body.c_str());
    } else {
        curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_curl, CURLOPT_MAXREDIRS, 20L);
    // a POST stays a POST on 301/302/303 only where the server asks for 307/308
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, noProxy.c_str());
    // https transfers to one host share a multiplexed connection where the host speaks
    // HTTP/2 (negotiated with TLS); plain http stays HTTP/1.1, one connection per transfer
    if (m_address.size() > 8 && strncasecmp(m_address.c_str(), "https://", 8) == 0)
        curl_easy_setopt(m_curl, CURLOPT_PIPEWAIT, 1L);
    if (const char* ca = std::getenv("YFX_CA_FILE"); ca && *ca)
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, ca); // e.g. an intercepting proxy's own root
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, toFile ? &Sink::WriteFile : &Sink::WriteText);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, m_sink.get());
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Sink::Header);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, m_sink.get());

    struct curl_slist* headers = nullptr;
    if (m_request.post && !m_request.contentType.empty())
        headers = curl_slist_append(headers, ("Content-Type: " + m_request.contentType).c_str());
    for (const std::string& line : m_request.headers)
        if (line.find_first_of("\r\n") == std::string::npos)
            headers = curl_slist_append(headers, line.c_str());
    m_headers = headers;
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
    m_ready = true;
}

Transfer::~Transfer()
{
    if (m_curl && m_ready) {
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    }
    curl_slist_free_all(m_headers);
}

Result Transfer::Finish(int curlCode)
{
    Result out;
    if (!m_ready)
        return {-1, 0, {}, {}};
    Sink& sink = *m_sink;
    const CURLcode rc = static_cast<CURLcode>(curlCode);
    out.status = ResponseCode(m_curl);
    out.length = sink.length;
    curl_off_t received = 0;
    if (curl_easy_getinfo(m_curl, CURLINFO_SIZE_DOWNLOAD_T, &received) == CURLE_OK && received > 0)
        out.received = static_cast<std::uint64_t>(received);
    const bool toFile = !m_request.filePath.empty();
    if (out.status != 0) {
        out.headers.etag = LastHeader(m_curl, "ETag");
        out.headers.lastModified = LastHeader(m_curl, "Last-Modified");
        out.headers.cacheControl = LastHeader(m_curl, "Cache-Control");
        out.headers.expires = LastHeader(m_curl, "Expires");
        out.headers.date = LastHeader(m_curl, "Date");
    }

    if (sink.createFailed || sink.refusedRedirect) {
        out.code = -1;
    } else if (sink.notOk || (rc == CURLE_OK && out.status != 200)) {
        out.code = 0; // the server answered with another status: no text, no file
    } else if (sink.overCap || (!toFile && rc == CURLE_OK && sink.lineOpen && !sink.Fits(2))) {
        out.overCap = true; // an answer too long for its reader: not kept
        out.code = toFile ? -2 : 0;
    } else if (sink.writeFailed) {
        out.code = -2;
    } else if (rc != CURLE_OK) {
        // broken off once an answer had begun; else nothing came from where it was asked
        // (a status left from an earlier hop of a redirect says nothing of the last one, unless
        // the last one broke off mid-answer)
        const bool answered =
            sink.began || out.status == 200 || (rc != CURLE_OPERATION_TIMEDOUT && out.status != 0);
        out.code = answered && !NoAnswer(rc) ? -2 : -1;
        if (!toFile) {
            sink.text.resize(sink.linesEnd); // the lines read so far
            out.text = std::move(sink.text);
        }
    } else if (toFile) {
        out.code = sink.Commit() ? 0 : -1;
    } else {
        if (sink.lineOpen)
            sink.text.append("\r\n", 2); // an unterminated last line is still a line
        out.text = std::move(sink.text);
    }
    sink.text = std::string();
    sink.Discard(); // whatever was not put in place is gone before anyone hears the result
    return out;
}

} // namespace yfx::net
