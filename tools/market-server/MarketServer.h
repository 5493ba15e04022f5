#pragma once
// The HTTP side of the local marketplace server: one cpp-httplib server on 127.0.0.1 that
// routes every path the program and the browser ask for, applies the configured faults, the
// added latency and the picture bandwidth cap, and writes the request log. Requests are served
// on a thread pool; everything shared is immutable or locked.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MarketDocuments.h"
#include "tools/market-server/MaterialGateway.h"
#include "tools/market-server/OpenPlatformGateway.h"
#include "tools/market-server/PictureFactory.h"
#include "tools/market-server/RequestLog.h"
#include "tools/market-server/ServerOptions.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace yfx::server {

class MarketServer {
public:
    MarketServer(const ServerOptions& options, const Catalogue& catalogue, PictureFactory& pictures, RequestLog& log);
    ~MarketServer();
    MarketServer(const MarketServer&) = delete;
    MarketServer& operator=(const MarketServer&) = delete;

    // Binds 127.0.0.1 on the port (0: any free one). The port bound, or -1.
    int Bind(int port);
    // Serves until Stop(). False when it could not serve at all. Returns at once when Stop()
    // came first.
    bool Listen();
    // Ends Listen() and wakes every stalled answer. Any thread, also before Listen() runs;
    // returns when Listen() has ended or `wait` has passed.
    void Stop(std::chrono::milliseconds wait = std::chrono::seconds(5));

private:
    struct Answer {
        int status = 200;
        std::string contentType;
        std::string body;
        std::string location;
        bool picture = false;
        bool json = false;
    };

    void Handle(const httplib::Request& req, httplib::Response& res);
    Answer Route(const httplib::Request& req, const QueryParams& query, const std::string& host, DocumentVariant variant,
                 std::int64_t sizeWanted, int platformError);
    Answer ListSearch(const QueryParams& query, const std::string& host, int marketTop, DocumentVariant variant,
                      std::int64_t sizeWanted);
    Answer Html(int status, std::string body) const;
    std::string HostOf(const httplib::Request& req) const;
    // Sleeps, waking early when the server stops; true when it stopped.
    bool Pause(std::chrono::milliseconds duration);

    const ServerOptions& m_options;
    const Catalogue& m_catalogue;
    PictureFactory& m_pictures;
    RequestLog& m_log;
    MarketDocuments m_documents;
    OpenPlatformGateway m_gateway;
    MaterialGateway m_material;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    bool m_listenEnded = false; // guarded by m_stopMutex
    std::mutex m_stopMutex;
    std::condition_variable m_stopSignal;
};

} // namespace yfx::server
