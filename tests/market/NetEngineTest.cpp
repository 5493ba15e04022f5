// The network engine against a real server on a loopback port: the same outcomes as the
// blocking calls, kept-alive connections, the per-host limit and queue order, cancellation.
#include "LocalHttpServer.h"
#include "market/HttpClient.h"
#include "market/NetEngine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <mutex>
#include <thread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <regex>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Body(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A gate the server's handlers wait at until the test opens it, or lets some through.
class Gate {
public:
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait_for(lock, 20s, [this] { return m_open || m_permits > 0; });
        if (!m_open && m_permits > 0)
            --m_permits;
        --m_waiting;
        m_changed.notify_all();
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void Release(int n)
    {
        std::lock_guard lock(m_mutex);
        m_permits += n;
        m_changed.notify_all();
    }
    // Waits until `n` handlers stand at the gate (or 10 s passed); gives how many do.
    int AwaitWaiting(int n)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 10s, [&] { return m_waiting >= n; });
        return m_waiting;
    }
    int Waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    int m_permits = 0;
    bool m_open = false;
};

// What the callbacks of a test saw, held by the callbacks themselves: an exchange may end
// after the test that asked for it has returned (an assertion that failed, a gate opened last).
struct Tally {
    std::atomic<int> done{0};
    std::atomic<int> ok{0}; // status 200, result 0
    void Count(const yfx::net::Result& r)
    {
        ok += r.code == 0 && r.status == 200;
        ++done;
    }
};

// Polls `done` until it holds or `limit` passed.
template <class Pred>
bool WaitUntil(Pred done, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class NetEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("yfx-engine-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        auto& s = srv.server();
        s.Get("/lf", [](const auto&, auto& res) { res.set_content("one\ntwo", "text/plain"); });
        s.Get("/missing", [](const auto&, auto& res) {
            res.status = 404;
            res.set_content("not here\n", "text/plain");
        });
        s.Get("/redirect", [](const auto&, auto& res) { res.set_redirect("/lf"); });
        s.Get("/to-nowhere", [](const auto&, auto& res) { res.set_redirect("http://no-such-host.invalid/x"); });
        s.Get("/cut", [](const auto&, httplib::Response& res) {
            res.set_content_provider(100000, "image/jpeg", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= 20000)
                    return false;
                std::string chunk(10000, 'x');
                sink.write(chunk.data(), chunk.size());
                return true;
            });
        });
        s.Get("/picture", [](const auto&, auto& res) { res.set_content(std::string(30000, 'p'), "image/jpeg"); });
        s.Get("/held", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(orderMutex);
                order.push_back(req.get_param_value("n"));
            }
            res.set_content_provider(20000, "image/jpeg", [this](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0) {
                    sink.write(std::string(10000, 'h').data(), 10000);
                    return true;
                }
                gate.Wait(); // half the picture, then wait for the test
                sink.write(std::string(10000, 'h').data(), 10000);
                return true;
            });
        });
        s.Get("/validated", [](const httplib::Request& req, httplib::Response& res) {
            res.set_header("ETag", "\"v7\"");
            res.set_header("Last-Modified", "Thu, 28 Mar 2013 00:00:00 GMT");
            res.set_header("Cache-Control", "max-age=60");
            res.set_header("Expires", "Thu, 01 Jan 2037 00:00:00 GMT");
            if (req.get_header_value("If-None-Match") == "\"v7\"") {
                res.status = 304;
                return;
            }
            res.set_content("fresh picture", "image/jpeg");
        });
        s.Get("/to-validated", [](const auto&, auto& res) {
            res.set_header("ETag", "\"hop\"");
            res.set_redirect("/validated");
        });
        s.Get("/echo-headers", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("A=" + req.get_header_value("X-A") + "|B=" + req.get_header_value("X-B") + "|C=" +
                                req.get_header_value("X-C"),
                            "text/plain");
        });
        s.Post("/post", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Content-Type") + "|" + req.body, "text/plain");
        });
        // 30 MB of one byte, announced (?sized) or not; what the socket took is counted
        s.Get("/thirty", [this](const httplib::Request& req, httplib::Response& res) {
            const char fill = req.has_param("newlines") ? '\n' : ' ';
            auto provide = [this, fill](size_t offset, httplib::DataSink& sink) {
                const std::string chunk(std::min<size_t>(65536, kThirtyMb - offset), fill);
                if (chunk.empty() || stopping || !sink.write(chunk.data(), chunk.size()))
                    return false;
                sent += chunk.size();
                if (offset + chunk.size() == kThirtyMb && sink.done)
                    sink.done();
                return true;
            };
            if (req.has_param("sized"))
                res.set_content_provider(kThirtyMb, "text/html", [provide](size_t offset, size_t, httplib::DataSink& sink) {
                    return provide(offset, sink);
                });
            else
                res.set_chunked_content_provider("text/html", provide);
        });
        // x bytes of 'x', then the line end asked for
        s.Get("/fill", [](const httplib::Request& req, httplib::Response& res) {
            const std::string end = req.get_param_value("end");
            res.set_content(std::string(std::stoul(req.get_param_value("x")), 'x') +
                                (end == "crlf" ? "\r\n" : end == "lf" ? "\n" : ""),
                            "text/plain");
        });
        // a byte at once, then one a second, for as long as anyone listens
        s.Get("/drip", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "image/jpeg", [this](size_t offset, size_t, httplib::DataSink& sink) {
                for (int i = 0; offset > 0 && i < 20 && !stopping; ++i)
                    std::this_thread::sleep_for(50ms);
                return !stopping && sink.write("d", 1);
            });
        });
        srv.Start();
    }
    void TearDown() override
    {
        gate.Open();
        stopping = true;
        fs::remove_all(dir);
    }
    static void TearDownTestSuite()
    {
        // (every engine of the suite is gone: nobody reads the variable any more)
        ::unsetenv("YFX_CA_FILE");
        if (!CertificateDir().empty())
            fs::remove_all(CertificateDir());
    }

    // A self-signed certificate for 127.0.0.1 made once per run of the suite, which the engine
    // trusts from then on (YFX_CA_FILE, set before the test's first exchange). False when
    // openssl is not there.
    static bool TrustTestCertificate(std::string& cert, std::string& key)
    {
        static const bool made = [] {
            if (::access("/usr/bin/openssl", X_OK) != 0)
                return false;
            CertificateDir() = fs::temp_directory_path() / ("yfx-engine-tls-" + std::to_string(::getpid()));
            fs::create_directories(CertificateDir());
            const std::string k = (CertificateDir() / "key.pem").string(), c = (CertificateDir() / "cert.pem").string();
            const std::string make = "/usr/bin/openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                     "-nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                                     k + " -out " + c + " 2>/dev/null";
            if (std::system(make.c_str()) != 0)
                return false;
            ::setenv("YFX_CA_FILE", c.c_str(), 1);
            return true;
        }();
        cert = (CertificateDir() / "cert.pem").string();
        key = (CertificateDir() / "key.pem").string();
        return made;
    }
    static fs::path& CertificateDir()
    {
        static fs::path path;
        return path;
    }

    // Submits and waits for the result.
    yfx::net::Result Fetch(yfx::net::Request request)
    {
        auto promise = std::make_shared<std::promise<yfx::net::Result>>();
        auto future = promise->get_future();
        engine.Submit(std::move(request), [promise](yfx::net::Result r) { promise->set_value(std::move(r)); });
        if (future.wait_for(20s) == std::future_status::ready)
            return future.get();
        ADD_FAILURE() << "no result within 20 s";
        yfx::net::Result none;
        none.code = 1; // no exchange gives this: every expectation on it fails
        return none;
    }

    size_t FilesInDir() { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator())); }

    // (what the server's handlers use outlives the server, which outlives the engine whose
    // transfers talk to it: members go in reverse order)
    static constexpr size_t kThirtyMb = 30000014;
    Gate gate;
    std::mutex orderMutex;
    std::vector<std::string> order;
    std::atomic<size_t> sent{0};
    std::atomic<bool> stopping{false};
    LocalHttpServer srv;
    fs::path dir;
    CNetEngine engine;
};

} // namespace

TEST_F(NetEngineTest, ConditionalRequestKeepsTheFileAndGivesTheCachingHeaders)
{
    const fs::path file = dir / "pic";
    yfx::net::Request request;
    request.url = srv.Base() + "/to-validated"; // only the final answer's headers count
    request.filePath = file.string();
    yfx::net::Result r = Fetch(request);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.headers.etag, "\"v7\"");
    EXPECT_EQ(r.headers.lastModified, "Thu, 28 Mar 2013 00:00:00 GMT");
    EXPECT_EQ(r.headers.cacheControl, "max-age=60");
    EXPECT_EQ(r.headers.expires, "Thu, 01 Jan 2037 00:00:00 GMT");
    EXPECT_EQ(Body(file), "fresh picture");
    const auto inode = [&] {
        struct stat st {};
        ::stat(file.c_str(), &st);
        return st.st_ino;
    };
    const ino_t first = inode();

    // Not modified: 0 with status 304, the file left as it was, nothing else written.
    request.url = srv.Base() + "/validated";
    request.headers = {"If-None-Match: \"v7\""};
    r = Fetch(request);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, 304);
    EXPECT_EQ(r.headers.cacheControl, "max-age=60");
    EXPECT_EQ(Body(file), "fresh picture");
    EXPECT_EQ(inode(), first);
    EXPECT_EQ(FilesInDir(), 1u);
    // Another validator: the picture comes whole and takes the file's place.
    request.headers = {"If-None-Match: \"v6\""};
    r = Fetch(request);
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(inode(), first);

    // Header lines go out as they are; one that would smuggle in another line does not go.
    yfx::net::Request echo;
    echo.url = srv.Base() + "/echo-headers";
    echo.headers = {"X-A: 1", "X-B: 2\r\nX-C: 3"};
    EXPECT_EQ(Fetch(echo).text, "A=1|B=|C=\r\n");
}

TEST_F(NetEngineTest, SameOutcomesAsTheBlockingCalls)
{
    const std::string paths[] = {"/lf", "/missing", "/redirect", "/to-nowhere", "/cut", "/picture"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string url = srv.Base() + path;
        std::string text;
        const int blocking = HttpGetText(url, text);
        yfx::net::Request request;
        request.url = url;
        const yfx::net::Result viaEngine = Fetch(request);
        EXPECT_EQ(viaEngine.code, blocking);
        EXPECT_EQ(viaEngine.text, text);

        CHttpSession session;
        const fs::path a = dir / "blocking", b = dir / "engine";
        const int blockingFile = HttpGetFile(session, url, a.string());
        request.filePath = b.string();
        EXPECT_EQ(Fetch(request).code, blockingFile);
        EXPECT_EQ(fs::exists(a), fs::exists(b));
        if (fs::exists(a)) {
            EXPECT_EQ(Body(a), Body(b));
        }
        fs::remove(a);
        fs::remove(b);
        EXPECT_EQ(FilesInDir(), 0u); // no temporary file left either way
    }
}

TEST_F(NetEngineTest, PostSendsBodyAndContentType)
{
    yfx::net::Request request;
    request.url = srv.Base() + "/post?method=x";
    request.post = true;
    request.body = "q=%E6%89%8B%E6%9C%BA&page_no=1";
    request.contentType = "application/x-www-form-urlencoded;charset=utf-8";
    const yfx::net::Result r = Fetch(request);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "application/x-www-form-urlencoded;charset=utf-8|q=%E6%89%8B%E6%9C%BA&page_no=1\r\n");
}

TEST_F(NetEngineTest, SequentialExchangesReuseOneConnection)
{
    for (int i = 0; i < 5; ++i) {
        yfx::net::Request request;
        request.url = srv.Base() + "/picture";
        request.filePath = (dir / ("p" + std::to_string(i))).string();
        ASSERT_EQ(Fetch(request).code, 0);
    }
    EXPECT_EQ(srv.Connections(), 1u);
}

TEST_F(NetEngineTest, SixAtOnceInPriorityOrderAndTheQueueCanBeReordered)
{
    // the exchanges still held when an assertion below returns end after the test
    const auto tally = std::make_shared<Tally>();
    auto submit = [&](const std::string& n, int priority) {
        yfx::net::Request request;
        request.url = srv.Base() + "/held?n=" + n;
        return engine.Submit(request, [tally](yfx::net::Result r) { tally->Count(r); }, priority);
    };
    // six exchanges fill the host's places and wait half-way
    for (int b = 0; b < CNetEngine::kMaxPerHost; ++b)
        submit("b", -100);
    ASSERT_EQ(gate.AwaitWaiting(CNetEngine::kMaxPerHost), CNetEngine::kMaxPerHost);
    // ten more wait in the queue, submitted in reverse: priority decides, not submission
    std::map<int, CNetEngine::Handle> handles;
    for (int n = 9; n >= 0; --n)
        handles[n] = submit(std::to_string(n), n);
    ASSERT_TRUE(WaitUntil([&] { return engine.Waiting() == 10; }));
    std::this_thread::sleep_for(100ms); // room for a seventh exchange, which must not start
    EXPECT_EQ(gate.Waiting(), CNetEngine::kMaxPerHost);
    EXPECT_EQ(engine.Running(), size_t(CNetEngine::kMaxPerHost));
    EXPECT_EQ(engine.Waiting(), 10u);
    engine.Reprioritize(handles[7], -1); // to the head of the queue

    // each place that frees up goes to the head of the queue
    for (int i = 0; i < 10; ++i) {
        gate.Release(1);
        ASSERT_TRUE(WaitUntil([&] {
            std::lock_guard lock(orderMutex);
            return order.size() >= size_t(CNetEngine::kMaxPerHost + i + 1);
        }));
    }
    gate.Open();
    EXPECT_TRUE(WaitUntil([&] { return tally->done == CNetEngine::kMaxPerHost + 10; }));
    EXPECT_EQ(tally->ok.load(), CNetEngine::kMaxPerHost + 10);
    std::lock_guard lock(orderMutex);
    const std::vector<std::string> queued(order.begin() + CNetEngine::kMaxPerHost, order.end());
    EXPECT_EQ(queued, (std::vector<std::string>{"7", "0", "1", "2", "3", "4", "5", "6", "8", "9"}));
}

TEST_F(NetEngineTest, CancelledExchangeDeliversAndWritesNothing)
{
    const auto tally = std::make_shared<Tally>();
    yfx::net::Request request;
    request.url = srv.Base() + "/held?n=c";
    request.filePath = (dir / "held.jpg").string();
    const CNetEngine::Handle handle = engine.Submit(request, [tally](yfx::net::Result r) { tally->Count(r); });
    ASSERT_EQ(gate.AwaitWaiting(1), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine.Cancel(handle));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    gate.Open();
    // the engine goes on serving; what it left of the cancelled exchange is gone
    yfx::net::Request next;
    next.url = srv.Base() + "/lf";
    EXPECT_EQ(Fetch(next).code, 0);
    EXPECT_EQ(tally->done.load(), 0);
    EXPECT_EQ(FilesInDir(), 0u);
    EXPECT_FALSE(engine.Cancel(handle)); // a second time, and an unknown handle: nothing
    EXPECT_FALSE(engine.Cancel(123456));
}

TEST_F(NetEngineTest, CallbacksMaySubmitAndCancelFromManyThreads)
{
    // the second picture address is asked from the first one's callback
    auto second = std::make_shared<std::promise<int>>();
    auto f = second->get_future();
    yfx::net::Request first, again;
    first.url = "http://127.0.0.1:1/none";
    again.url = srv.Base() + "/lf";
    CNetEngine* const e = &engine; // (a member: the engine ends its callbacks before it goes)
    engine.Submit(first, [e, again, second](yfx::net::Result r) {
        if (r.code >= 0) {
            second->set_value(1000 + r.code); // the first must fail
            return;
        }
        e->Submit(again, [second](yfx::net::Result r2) { second->set_value(r2.code); });
    });
    ASSERT_EQ(f.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(f.get(), 0);

    // submit and cancel from several threads at once: every callback runs at most once and
    // only for exchanges that were not cancelled
    const auto tally = std::make_shared<Tally>();
    std::atomic<int> kept{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                yfx::net::Request request;
                request.url = srv.Base() + "/picture";
                request.filePath = (dir / ("t" + std::to_string(t) + "-" + std::to_string(i))).string();
                const auto h = engine.Submit(request, [tally](yfx::net::Result r) { tally->Count(r); });
                if (i % 2 == 0 || !engine.Cancel(h))
                    ++kept; // (a cancel that came too late: the picture arrived before it)
            }
        });
    }
    for (auto& t : threads)
        t.join();
    ASSERT_TRUE(WaitUntil([&] { return tally->done >= kept; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(tally->done.load(), kept.load());
    EXPECT_EQ(engine.Running() + engine.Waiting(), 0u);
    EXPECT_EQ(FilesInDir(), size_t(kept.load())); // whole pictures only, no temporary file
}

namespace {

bool Accepts(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

// The marketplace's picture hosts speak HTTP/2: a page of pictures shares one connection.
TEST_F(NetEngineTest, PicturesFromAnHttp2HostShareOneConnection)
{
    std::string cert, key;
    if (::access("/usr/sbin/nghttpd", X_OK) != 0 || !TrustTestCertificate(cert, key))
        GTEST_SKIP() << "needs nghttpd (Debian's nghttp2-server) and openssl: scripts/install-deps";
    const fs::path docs = dir / "docs";
    fs::create_directories(docs);
    std::vector<std::string> bodies;
    for (int i = 0; i < 40; ++i) {
        bodies.push_back(std::string(20000 + i * 97, static_cast<char>('a' + i % 26)));
        std::ofstream(docs / ("p" + std::to_string(i) + ".jpg"), std::ios::binary) << bodies.back();
    }
    const int port = yfx::test::FreeLoopbackPort();
    const std::string log = (dir / "nghttpd.log").string();
    const pid_t server = ::fork();
    if (server == 0) {
        std::freopen(log.c_str(), "w", stdout);
        ::execl("/usr/sbin/nghttpd", "nghttpd", "-v", "-d", docs.c_str(), std::to_string(port).c_str(), key.c_str(),
                cert.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(server, 0);
    const bool up = WaitUntil([&] { return Accepts(port); }, 10s);
    const auto tally = std::make_shared<Tally>();
    if (up) {
        for (int i = 0; i < 40; ++i) {
            yfx::net::Request request;
            request.url = "https://127.0.0.1:" + std::to_string(port) + "/p" + std::to_string(i) + ".jpg";
            request.filePath = (dir / ("got" + std::to_string(i))).string();
            engine.Submit(request, [tally](yfx::net::Result r) { tally->Count(r); }, i);
        }
        WaitUntil([&] { return tally->done == 40; });
    }
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    ASSERT_TRUE(up) << "nghttpd did not start";
    EXPECT_EQ(tally->ok.load(), 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(Body(dir / ("got" + std::to_string(i))), bodies[static_cast<size_t>(i)]) << i;
    // nghttpd numbers its connections: every request came over one of them (the probes that
    // saw the server up got numbers of their own but carried no request)
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::set<std::string> connections;
    const std::regex handshake(R"(\[id=(\d+)\] \[[ 0-9.]+\] recv \(stream_id=\d+\) :path:)");
    for (std::sregex_iterator it(text.begin(), text.end(), handshake), end; it != end; ++it)
        connections.insert((*it)[1]);
    EXPECT_EQ(connections.size(), 1u) << text.substr(0, 2000);
    size_t requests = 0;
    for (size_t at = text.find(":path: /p"); at != std::string::npos; at = text.find(":path: /p", at + 1))
        ++requests;
    EXPECT_EQ(requests, 40u); // and they were HTTP/2 streams, one request each
}

// An answer longer than the cap of its reader is taken no further than the cap (and not at all
// when it says so beforehand); what fits is read whole, line rule included.
TEST_F(NetEngineTest, AnswerLongerThanItsCapIsTakenNoFurther)
{
    constexpr size_t kCap = size_t{1} << 20;
    constexpr uint64_t kBuffer = 16384; // what libcurl reads at once
    struct Case {
        const char* name;
        std::string path;
        bool toFile;
        int code;
        bool overCap;
        uint64_t mostReceived; // body bytes libcurl may take
        size_t textSize;       // of a text that was read
    } cases[] = {
        {"30 MB, length not announced", "/thirty", false, 0, true, kCap + kBuffer, 0},
        {"30 MB announced", "/thirty?sized", false, 0, true, 0, 0},
        // "\n" alone becomes "\r\n": the text reaches the cap after half as many bytes
        {"30 MB of line feeds", "/thirty?newlines", false, 0, true, kCap / 2 + kBuffer, 0},
        {"30 MB picture", "/thirty", true, -2, true, kCap + kBuffer, 0},
        {"30 MB picture announced", "/thirty?sized", true, -2, true, 0, 0},
        // the reader's own bound: a text of the cap is read, one byte more is not
        {"text of the cap", "/fill?x=" + std::to_string(kCap - 2) + "&end=crlf", false, 0, false, kCap, kCap},
        {"lines grow to the cap", "/fill?x=" + std::to_string(kCap - 2) + "&end=lf", false, 0, false, kCap, kCap},
        {"last line grows past it", "/fill?x=" + std::to_string(kCap - 1) + "&end=", false, 0, true, kCap, 0},
        {"picture of the cap", "/fill?x=" + std::to_string(kCap) + "&end=", true, 0, false, kCap, 0},
        {"picture a byte over", "/fill?x=" + std::to_string(kCap - 1) + "&end=crlf", true, -2, true, kCap + 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sent = 0;
        yfx::net::Request request;
        request.url = srv.Base() + c.path;
        request.maxBytes = kCap;
        if (c.toFile)
            request.filePath = (dir / "picture.jpg").string();
        const yfx::net::Result r = Fetch(request);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.overCap, c.overCap);
        EXPECT_LE(r.received, c.mostReceived);
        EXPECT_EQ(r.text.size(), c.textSize);
        if (c.path.find("sized") != std::string::npos) {
            EXPECT_EQ(r.length, int64_t(kThirtyMb));
        }
        // what the server got out is bounded by what the sockets hold, far from all of it
        EXPECT_LT(sent.load(), kThirtyMb / 2);
        EXPECT_EQ(fs::exists(dir / "picture.jpg"), c.toFile && c.code == 0);
        fs::remove(dir / "picture.jpg");
        EXPECT_EQ(FilesInDir(), 0u); // no temporary file either
    }
}

// A drip of a byte a second never trips the stall rule; the exchange's own time limit ends it
// as a failure, and the host's places go to the exchanges waiting behind.
TEST_F(NetEngineTest, DripEndsAtItsTimeLimitAndFreesItsPlace)
{
    const auto drips = std::make_shared<Tally>();
    const auto began = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < CNetEngine::kMaxPerHost; ++i) {
        yfx::net::Request request;
        request.url = srv.Base() + "/drip";
        request.timeLimit = 1500ms;
        if (i % 2)
            request.filePath = (dir / ("drip" + std::to_string(i))).string();
        engine.Submit(request, [drips, began](yfx::net::Result r) {
            *began += r.received > 0; // the answer had begun: not a failure to connect
            drips->Count(r);
        });
    }
    // behind them, for the same host: it gets a place only when a drip has ended
    const auto after = std::make_shared<Tally>();
    const auto waitedForADrip = std::make_shared<std::atomic<bool>>(false);
    yfx::net::Request next;
    next.url = srv.Base() + "/lf";
    engine.Submit(next, [after, drips, waitedForADrip](yfx::net::Result r) {
        *waitedForADrip = drips->done > 0;
        after->Count(r);
    });
    ASSERT_TRUE(WaitUntil([&] { return after->done == 1 && drips->done == CNetEngine::kMaxPerHost; }));
    EXPECT_EQ(after->ok.load(), 1);
    EXPECT_TRUE(waitedForADrip->load());
    EXPECT_EQ(drips->ok.load(), 0);
    EXPECT_EQ(began->load(), CNetEngine::kMaxPerHost);
    EXPECT_EQ(FilesInDir(), 0u); // the temporary files of the pictures are gone
    EXPECT_EQ(engine.Running() + engine.Waiting(), 0u);
}

// An exchange that began on https is never redirected to plain http (a signed POST included);
// one that began on http may go to https.
TEST_F(NetEngineTest, RedirectFromHttpsGoesToHttpsOnly)
{
    std::string cert, key;
    if (!TrustTestCertificate(cert, key))
        GTEST_SKIP() << "needs openssl: scripts/install-deps";
    httplib::SSLServer tls(cert.c_str(), key.c_str());
    const std::string plain = srv.Base();
    tls.Get("/lf", [](const auto&, auto& res) { res.set_content("secure", "text/plain"); });
    tls.Get("/to-lf", [](const auto&, auto& res) { res.set_redirect("/lf"); });
    tls.Get("/to-http", [plain](const auto&, auto& res) { res.set_redirect(plain + "/lf"); });
    tls.Get("/to-HTTP", [plain](const auto&, auto& res) { res.set_redirect("HTTP" + plain.substr(4) + "/lf"); });
    tls.Post("/post-to-http", [plain](const auto&, auto& res) { res.set_redirect(plain + "/post", 307); });
    yfx::test::LoopbackListener listener(tls);
    ASSERT_GT(listener.Port(), 0);
    const std::string secure = "https://127.0.0.1:" + std::to_string(listener.Port());
    LocalHttpServer toTls; // (a running server takes no new handlers)
    toTls.server().Get("/to-https", [secure](const auto&, auto& res) { res.set_redirect(secure + "/lf"); });
    toTls.server().Get("/via-https", [secure](const auto&, auto& res) { res.set_redirect(secure + "/to-http"); });
    toTls.Start();

    struct Case {
        std::string url;
        bool post;
        int code;
        std::string text;
    } cases[] = {
        {secure + "/to-lf", false, 0, "secure\r\n"},
        {secure + "/to-http", false, -1, ""},
        {secure + "/to-HTTP", false, -1, ""},
        {secure + "/post-to-http", true, -1, ""},
        {toTls.Base() + "/to-https", false, 0, "secure\r\n"},
        {toTls.Base() + "/via-https", false, -1, ""}, // the second hop leaves https
        {plain + "/redirect", false, 0, "one\r\ntwo\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        yfx::net::Request request;
        request.url = c.url;
        request.post = c.post;
        request.body = "sign=ABC";
        const yfx::net::Result r = Fetch(request);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.text, c.text);
    }
    for (const auto& seen : srv.Requests())
        EXPECT_NE(seen.path, "/post") << "the signed body went out in clear";
}
