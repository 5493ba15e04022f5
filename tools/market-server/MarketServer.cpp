#include "tools/market-server/MarketServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <curl/curl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>

#include "market/Gbk.h"
#include "tools/market-server/PictureAddress.h"

namespace yfx::server {
namespace {

constexpr const char* kHtmlType = "text/html;charset=GBK";
constexpr const char* kJsonType = "application/json;charset=GBK";

int PortOf(const sockaddr_storage& addr)
{
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    return -1;
}

// The descriptor of this request's connection, found by its two ports; -1 when not found.
// The connection stays open while its handler runs, so the descriptor cannot change hands.
int FindConnection(int localPort, int remotePort)
{
    for (int fd = 3; fd < 4096; ++fd) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0)
            continue;
        if (PortOf(local) == localPort && PortOf(peer) == remotePort)
            return fd;
    }
    return -1;
}

bool PeerClosed(int fd)
{
    if (fd < 0)
        return false;
    pollfd p{fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))
        return true;
    char c;
    return recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool IsHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == ':' || c == '[' || c == ']';
}

// A JSON answer of exactly `size` bytes: the document with spaces before its last byte.
std::string PadJson(std::string body, std::size_t size)
{
    if (body.size() >= size || body.empty())
        return body;
    const char last = body.back();
    body.pop_back();
    body.append(size - body.size() - 1, ' ');
    body += last;
    return body;
}

// A document of `bytes` bytes (at most) whose list is nothing but empty elements "{}", in the
// shape of the answer at `path`: the list-search "itemList", the configuration's "nicks", the
// category document's root array or the gateway's item details.
std::string ElementsDocument(const std::string& path, std::size_t bytes)
{
    std::string prefix = R"({"itemList":[)", suffix = "]}";
    if (path == "/set/tbcat.jpg") {
        prefix = "[";
        suffix = "]";
    } else if (path == "/set/config.jpg") {
        prefix = R"({"nicks":[)";
    } else if (path == "/router/rest") {
        prefix = R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[)";
        suffix = "]}}}";
    }
    std::string body;
    body.reserve(bytes);
    body += prefix;
    while (body.size() + 3 + suffix.size() <= bytes)
        body += "{},";
    if (body.back() == ',')
        body.pop_back();
    body += suffix;
    return body;
}

// When the pictures of version 0 were made (the catalogue seed's day); version N is N days later.
constexpr std::time_t kPicturesModified = 1364428800; // 2013-03-28 00:00:00 GMT

// An HTTP date ("Thu, 28 Mar 2013 00:00:00 GMT"), whatever the process's locale.
std::string HttpDate(std::time_t t)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday % 7], tm.tm_mday,
                  months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// A strong entity tag of the bytes (FNV-1a, 64 bits).
std::string EntityTag(const std::string& bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
    return text;
}

// Whether a conditional GET finds the picture unchanged: If-None-Match when it is there (a
// list of tags, weak ones compared by their value, or "*"), else If-Modified-Since.
bool NotModified(const httplib::Request& req, const std::string& etag, std::time_t modified)
{
    if (req.has_header("If-None-Match")) {
        const std::string tags = req.get_header_value("If-None-Match");
        std::string_view rest = tags;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            std::string_view tag = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            while (!tag.empty() && tag.front() == ' ')
                tag.remove_prefix(1);
            while (!tag.empty() && tag.back() == ' ')
                tag.remove_suffix(1);
            if (tag.substr(0, 2) == "W/")
                tag.remove_prefix(2);
            if (tag == "*" || tag == etag)
                return true;
        }
        return false;
    }
    if (req.has_header("If-Modified-Since")) {
        const std::time_t since = curl_getdate(req.get_header_value("If-Modified-Since").c_str(), nullptr);
        return since != -1 && modified <= since;
    }
    return false;
}

} // namespace

MarketServer::MarketServer(const ServerOptions& options, const Catalogue& catalogue, PictureFactory& pictures,
                           RequestLog& log)
    : m_options(options), m_catalogue(catalogue), m_pictures(pictures), m_log(log), m_documents(catalogue, options),
      m_gateway(catalogue, options), m_material(catalogue, options), m_server(std::make_unique<httplib::Server>())
{
    const int threads = options.threads;
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    m_server->set_tcp_nodelay(true);
    m_server->set_keep_alive_max_count(1000);
    m_server->set_keep_alive_timeout(5);
    m_server->set_payload_max_length(1 << 20);
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
    // The open platform's gateway takes POSTs; every other path answers a POST as a GET.
    m_server->Post(".*", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
}

MarketServer::~MarketServer() = default;

int MarketServer::Bind(int port)
{
    m_port = port == 0 ? m_server->bind_to_any_port("127.0.0.1") : (m_server->bind_to_port("127.0.0.1", port) ? port : -1);
    return m_port;
}

bool MarketServer::Listen()
{
    const bool served = m_stopping || m_server->listen_after_bind();
    {
        std::lock_guard lock(m_stopMutex);
        m_listenEnded = true;
    }
    m_stopSignal.notify_all();
    return served;
}

void MarketServer::Stop(std::chrono::milliseconds wait)
{
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopSignal.notify_all();
    // The server's own stop does nothing until its loop runs: repeat it until Listen() ends.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock lock(m_stopMutex);
    while (!m_listenEnded && std::chrono::steady_clock::now() < deadline) {
        lock.unlock();
        m_server->stop();
        lock.lock();
        m_stopSignal.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_listenEnded; });
    }
}

bool MarketServer::Pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_stopMutex);
    return m_stopSignal.wait_for(lock, duration, [this] { return m_stopping.load(); });
}

std::string MarketServer::HostOf(const httplib::Request& req) const
{
    const std::string host = req.get_header_value("Host");
    if (host.empty() || host.size() > 255 || !std::all_of(host.begin(), host.end(), IsHostChar))
        return "127.0.0.1:" + std::to_string(m_port);
    return host;
}

MarketServer::Answer MarketServer::Html(int status, std::string body) const
{
    Answer a;
    a.status = status;
    a.contentType = kHtmlType;
    a.body = std::move(body);
    return a;
}

MarketServer::Answer MarketServer::ListSearch(const QueryParams& query, const std::string& host, int marketTop,
                                              DocumentVariant variant, std::int64_t sizeWanted)
{
    std::size_t start = 0;
    const std::string s = query.Get("s");
    if (!s.empty() && s.size() < 10)
        std::from_chars(s.data(), s.data() + s.size(), start);
    // a re-sort before every page: each starts pageOverlap matches before the end of the last
    const std::size_t shift = start / ItemSearch::kPageSize * static_cast<std::size_t>(m_options.pageOverlap);
    start -= std::min(start, shift);
    bool json = false;
    for (const auto& [name, value] : query.All())
        json = json || (name == "json" && value == "on");
    SearchFilter filter = ItemSearch::FilterFromQuery(query, m_catalogue, marketTop);
    filter.day = Catalogue::Today(m_options.day);
    SearchResult result = ItemSearch::Run(m_catalogue, filter, start);
    if (!json)
        return Html(200, m_documents.ItemListHtml(result, host, query));
    Answer a;
    a.contentType = kHtmlType; // the marketplace labels its JSON as a page
    a.json = true;
    a.body = m_documents.ItemListJson(result, host, variant);
    // A large answer asked for by a size fault: the page repeated until it nearly fills it.
    const auto wanted = static_cast<std::size_t>(std::max<std::int64_t>(sizeWanted, 0));
    if (wanted > a.body.size() && !result.page.empty()) {
        const std::size_t perItem = std::max<std::size_t>(1, a.body.size() / result.page.size());
        const std::size_t copies = (wanted - a.body.size()) / perItem * 9 / 10;
        const std::vector<const CatalogueItem*> page = result.page;
        for (std::size_t i = 0; i < copies; ++i)
            result.page.push_back(page[i % page.size()]);
        std::string bigger = m_documents.ItemListJson(result, host, variant);
        if (bigger.size() <= wanted)
            a.body = std::move(bigger);
    }
    return a;
}

MarketServer::Answer MarketServer::Route(const httplib::Request& req, const QueryParams& query, const std::string& host,
                                         DocumentVariant variant, std::int64_t sizeWanted, int platformError)
{
    const std::string& path = req.path;
    if (path == "/")
        return Html(200, m_documents.IndexPage(host));
    if (path == "/itemlist/default.htm")
        return ListSearch(query, host, -1, variant, sizeWanted);
    if (const int top = m_catalogue.FindMarket(path); top >= 0)
        return ListSearch(query, host, top, variant, sizeWanted);
    if (path == "/router/rest") {
        Answer a;
        a.contentType = kJsonType;
        a.json = true;
        if (MaterialGateway::Serves(query.Get("method"))) {
            a.contentType = "application/json;charset=UTF-8";
            a.body = m_material.Answer(query, host, variant, platformError);
        } else {
            a.body = m_gateway.Answer(query, host, variant);
        }
        return a;
    }
    if (path == "/s.click") {
        const CatalogueItem* item = m_catalogue.FindItem(query.Get("e"));
        if (!item)
            return Html(404, m_documents.ErrorPage(404));
        Answer a = Html(302, "");
        a.location = MarketDocuments::ItemUrl(host, *item);
        return a;
    }
    if (path == "/item.htm") {
        const CatalogueItem* item = m_catalogue.FindItem(query.Get("id"));
        return item ? Html(200, m_documents.ItemPage(*item, host)) : Html(404, m_documents.ErrorPage(404));
    }
    if (path == "/go/chn/tbk_channel/channelcode.php")
        return Html(200, m_documents.ChannelPage(false, query));
    if (path == "/go/chn/tbk_channel/tmall_new.php")
        return Html(200, m_documents.ChannelPage(true, query));
    if (path == "/set/config.jpg" || path == "/set/tbcat.jpg") {
        Answer a;
        a.contentType = kJsonType;
        a.json = true;
        a.body = path == "/set/config.jpg" ? m_documents.ConfigJson(variant) : m_documents.CategoryJson(variant);
        return a;
    }
    std::string code;
    int bucket = 0, size = 0;
    if (PictureAddress::Parse(path, code, bucket, size)) {
        const CatalogueItem* item = m_catalogue.FindItemByPicture(code);
        if (!item || bucket != PictureAddress::Bucket(*item))
            return Html(404, m_documents.ErrorPage(404));
        Answer a;
        a.contentType = "image/jpeg";
        a.picture = true;
        a.body = *m_pictures.Jpeg(*item, size);
        return a;
    }
    return Html(404, m_documents.ErrorPage(404));
}

void MarketServer::Handle(const httplib::Request& req, httplib::Response& res)
{
    if (m_options.latencyMs > 0 && Pause(std::chrono::milliseconds(m_options.latencyMs)))
        return;
    QueryParams query = QueryParams::FromTarget(req.target);
    // A form-encoded body's parameters count as if they followed the query's.
    if (req.method == "POST" && req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0)
        query.Append(QueryParams::FromForm(req.body));
    const std::string host = HostOf(req);
    const FaultRule* fault = m_options.faults.Find(req.path, &query);
    const FaultKind kind = fault ? fault->kind : FaultKind::Delay;
    if (fault && kind == FaultKind::Delay && Pause(std::chrono::milliseconds(fault->arg)))
        return;
    const DocumentVariant variant = !fault                         ? DocumentVariant::Normal
                                    : kind == FaultKind::NonString  ? DocumentVariant::NonString
                                    : kind == FaultKind::UnsafeName ? DocumentVariant::UnsafeName
                                                                    : DocumentVariant::Normal;
    const std::int64_t sizeWanted = fault && (kind == FaultKind::Size || kind == FaultKind::Stream) ? fault->arg : -1;
    const int platformError = !fault                            ? 0
                              : kind == FaultKind::PlatformError ? static_cast<int>(fault->arg)
                              : kind == FaultKind::RateLimit     ? MaterialGateway::kAnnouncedBan + static_cast<int>(fault->arg)
                                                                 : 0;

    Answer a;
    if (fault && kind == FaultKind::Status) {
        a = Html(static_cast<int>(fault->arg), m_documents.ErrorPage(static_cast<int>(fault->arg)));
        if (a.status >= 300 && a.status < 400)
            a.location = "http://" + host + "/";
    } else if (fault && kind == FaultKind::RedirectNowhere) {
        a = Html(302, "");
        a.location = "http://nowhere.invalid" + req.path + (query.Raw().empty() ? "" : "?" + query.Raw());
    } else {
        a = Route(req, query, host, variant, sizeWanted, platformError);
    }
    if (fault && a.picture && kind == FaultKind::HugePicture)
        a.body = *m_pictures.HugeJpeg(static_cast<int>(fault->arg));
    if (fault && a.picture && kind == FaultKind::HugePng) {
        a.body = *m_pictures.HugePng(static_cast<int>(fault->arg));
        a.contentType = "image/png";
    }
    if (fault && a.picture && kind == FaultKind::NonString)
        a.body = m_documents.ErrorPage(404); // a page where a picture should be
    if (fault && a.json && kind == FaultKind::Elements)
        a.body = ElementsDocument(req.path, static_cast<std::size_t>(fault->arg) << 20);
    if (fault && kind == FaultKind::Malformed && !a.body.empty())
        a.body.resize(a.picture ? a.body.size() / 2 : a.body.size() * 2 / 3);
    if (sizeWanted >= 0) {
        const auto wanted = static_cast<std::size_t>(sizeWanted);
        if (a.json)
            a.body = PadJson(std::move(a.body), wanted);
        a.body.resize(wanted, a.picture ? '\0' : ' ');
    }

    // A picture (without a fault) says how long it stays fresh and how to ask whether it changed.
    std::string etag, lastModified;
    bool notModified = false;
    if (a.picture && !fault && a.status == 200) {
        const std::time_t modified = kPicturesModified + std::time_t{m_options.pictureVersion} * 86400;
        etag = EntityTag(a.body);
        lastModified = HttpDate(modified);
        notModified = NotModified(req, etag, modified);
        if (notModified) {
            a.status = 304;
            a.body.clear();
        }
    }

    RequestLogEntry entry;
    entry.method = req.method;
    entry.path = req.path;
    entry.params = query.All();
    if (MaterialGateway::Serves(query.Get("method")))
        for (auto& p : entry.params)
            p.second = Utf8ToGbk(p.second); // the log holds GBK; these values came as UTF-8
    entry.rawQuery = query.Raw();
    entry.userAgent = req.get_header_value("User-Agent");
    entry.status = a.status;
    entry.bytes = fault && kind == FaultKind::Endless ? 0 : a.body.size();
    if (fault)
        entry.fault = FaultPlan::KindName(kind);
    m_log.Write(entry);

    res.status = a.status;
    if (!a.location.empty())
        res.set_header("Location", a.location);
    if (!etag.empty()) {
        res.set_header("ETag", etag);
        res.set_header("Last-Modified", lastModified);
        res.set_header("Cache-Control", "max-age=" + std::to_string(m_options.pictureMaxAge));
    }
    if (notModified)
        return; // no body
    auto body = std::make_shared<std::string>(std::move(a.body));
    const std::string type = a.contentType;
    if (fault && (kind == FaultKind::Stall || kind == FaultKind::StallMs)) {
        const int localPort = req.local_port, remotePort = req.remote_port;
        const std::chrono::milliseconds limit =
            kind == FaultKind::Stall ? std::chrono::seconds(fault->arg) : std::chrono::milliseconds(fault->arg);
        res.set_content_provider(std::max<std::size_t>(body->size(), 1), type,
                                 [this, localPort, remotePort, limit](std::size_t, std::size_t, httplib::DataSink&) {
                                     const int fd = FindConnection(localPort, remotePort);
                                     const auto end = std::chrono::steady_clock::now() + limit;
                                     while (std::chrono::steady_clock::now() < end && !PeerClosed(fd))
                                         if (Pause(std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                  end - std::chrono::steady_clock::now()),
                                                              std::chrono::milliseconds(1), std::chrono::milliseconds(50))))
                                             break;
                                     return false; // never sends the body; the connection is closed
                                 });
        return;
    }
    if (fault && kind == FaultKind::Cut) {
        const std::size_t announced = std::max<std::size_t>(body->size(), 2);
        res.set_content_provider(announced, type, [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const std::size_t half = body->size() / 2;
            if (offset < half && !sink.write(body->data() + offset, half - offset))
                return false;
            return false; // the rest never comes; the connection is closed
        });
        return;
    }
    if (fault && kind == FaultKind::Drip) {
        const std::chrono::milliseconds every(fault->arg);
        res.set_content_provider(body->size(), type,
                                 [this, body, every](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     return !Pause(every) && sink.write(body->data() + offset, 1);
                                 });
        return;
    }
    if (fault && kind == FaultKind::Stream) {
        res.set_chunked_content_provider(type, [this, body](std::size_t offset, httplib::DataSink& sink) {
            if (m_stopping)
                return false;
            if (offset >= body->size()) {
                sink.done();
                return true;
            }
            return sink.write(body->data() + offset, std::min(std::size_t{64} << 10, body->size() - offset));
        });
        return;
    }
    if (fault && kind == FaultKind::Endless) {
        // Chunks of 64 KB without end: a picture begins as a JPEG, anything else as its page.
        auto filler = std::make_shared<const std::string>(std::size_t{64} << 10, '\x55');
        auto first = std::make_shared<const std::string>(
            (a.picture ? std::string("\xFF\xD8\xFF\xE0", 4) : body->substr(0, 1024)) + *filler);
        const double bytesPerSecond = a.picture ? m_options.pictureKbps * 1000.0 / 8.0 : 0.0;
        const auto started = std::chrono::steady_clock::now();
        res.set_chunked_content_provider(
            type, [this, first, filler, bytesPerSecond, started](std::size_t offset, httplib::DataSink& sink) {
                if (m_stopping)
                    return false;
                const std::string& source = offset < first->size() ? *first : *filler;
                const std::size_t from = offset < first->size() ? offset : 0;
                std::size_t length = source.size() - from;
                if (bytesPerSecond > 0) {
                    // Paced like every picture under --picture-kbps.
                    length = std::min(length, std::max<std::size_t>(1, static_cast<std::size_t>(bytesPerSecond / 20)));
                    const auto due = started + std::chrono::microseconds(static_cast<std::int64_t>(
                                                   static_cast<double>(offset + length) / bytesPerSecond * 1e6));
                    const auto now = std::chrono::steady_clock::now();
                    if (due > now && Pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                           std::chrono::milliseconds(1)))
                        return false;
                }
                return sink.write(source.data() + from, length);
            });
        return;
    }
    if (a.picture && m_options.pictureKbps > 0) {
        const double bytesPerSecond = m_options.pictureKbps * 1000.0 / 8.0;
        const auto started = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
        res.set_content_provider(
            body->size(), type,
            [this, body, bytesPerSecond, started](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset == 0)
                    *started = std::chrono::steady_clock::now();
                const std::size_t chunk = std::min<std::size_t>(
                    {length, std::size_t{1024}, std::max<std::size_t>(1, static_cast<std::size_t>(bytesPerSecond / 20))});
                // Wait until sending the chunk keeps the average at the cap.
                const auto due = *started + std::chrono::microseconds(static_cast<std::int64_t>(
                                                (static_cast<double>(offset + chunk) / bytesPerSecond) * 1e6));
                const auto now = std::chrono::steady_clock::now();
                if (due > now && Pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                       std::chrono::milliseconds(1)))
                    return false;
                return sink.write(body->data() + offset, chunk);
            });
        return;
    }
    res.set_content(*body, type.c_str());
}

} // namespace yfx::server
