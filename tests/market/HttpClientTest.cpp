// HttpGetText and HttpGetFile against a real server on a loopback port.
#include "LocalHttpServer.h"
#include "market/HttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Body(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Bytes(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("yfx-http-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        auto& s = srv.server();
        s.Get("/text", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_param_value("body"), "text/plain");
        });
        s.Get("/lf", [](const auto&, auto& res) { res.set_content("one\ntwo\n\nthree", "text/plain"); });
        s.Get("/crlf", [](const auto&, auto& res) { res.set_content("one\r\ntwo\r\n\r\nthree\r\n", "text/plain"); });
        s.Get("/cr-inside", [](const auto&, auto& res) { res.set_content("a\rb\nc", "text/plain"); });
        s.Get("/empty", [](const auto&, auto& res) { res.set_content("", "text/plain"); });
        s.Get("/missing", [](const auto&, auto& res) {
            res.status = 404;
            res.set_content("not here\n", "text/plain");
        });
        s.Get("/redirect", [](const auto&, auto& res) { res.set_redirect("/lf"); });
        s.Get("/big", [this](const auto&, auto& res) { res.set_content(big, "image/jpeg"); });
        s.Get("/echo-target", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.target, "text/plain");
        });
        s.Get("/cut", [](const auto&, httplib::Response& res) {
            // promises 100000 bytes, sends 20000, then the connection ends
            res.set_content_provider(100000, "image/jpeg", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= 20000)
                    return false;
                std::string chunk(10000, 'x');
                sink.write(chunk.data(), chunk.size());
                return true;
            });
        });
        s.Get("/slow", [](const auto&, httplib::Response& res) {
            // a picture that trickles: one byte every 100 ms for a long time
            res.set_content_provider(100000, "image/jpeg", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset > 200)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                sink.write("y", 1);
                return true;
            });
        });
        s.Get("/to-nowhere", [](const auto&, auto& res) { res.set_redirect("http://no-such-host.invalid/x"); });
        s.Get("/to-closed", [this](const auto&, auto& res) { res.set_redirect(closed); });
        s.Get("/loop", [](const auto&, auto& res) { res.set_redirect("/loop"); });
        s.Get("/endless", [](const auto&, httplib::Response& res) {
            res.set_chunked_content_provider("image/jpeg", [](size_t, httplib::DataSink& sink) {
                static const std::string chunk(64 * 1024, 'z');
                return sink.write(chunk.data(), chunk.size());
            });
        });
        s.Get("/nine-mib", [](const auto&, auto& res) { res.set_content(std::string(9 << 20, 'a'), "image/jpeg"); });
        srv.Start();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string big = Bytes(3 * 10240 + 17);
    std::string closed = "http://127.0.0.1:" + std::to_string(yfx::test::FreeLoopbackPort()) + "/x";
    LocalHttpServer srv;
    fs::path dir;
};

TEST_F(HttpClientTest, EveryLineEndsInCrLfWhateverTheBodyUsed)
{
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/lf", "one\r\ntwo\r\n\r\nthree\r\n"},       // last line without a line feed still gets one
        {"/crlf", "one\r\ntwo\r\n\r\nthree\r\n"},     // CR LF is not doubled
        {"/cr-inside", "ab\r\nc\r\n"},                // a carriage return inside a line is dropped
        {"/text?body=%0A", "\r\n"},                   // an empty line alone
    };
    for (const auto& c : cases) {
        std::string text = "stale";
        EXPECT_EQ(HttpGetText(srv.Base() + c.path, text), 0) << c.path;
        EXPECT_EQ(text, c.expected) << c.path;
    }
}

TEST_F(HttpClientTest, EmptyAnswerAndNon200GiveEmptyTextAndZero)
{
    std::string text = "stale";
    EXPECT_EQ(HttpGetText(srv.Base() + "/empty", text), 0);
    EXPECT_EQ(text, "");
    text = "stale";
    EXPECT_EQ(HttpGetText(srv.Base() + "/missing", text), 0);
    EXPECT_EQ(text, "");
}

TEST_F(HttpClientTest, UnreachableAddressesAreNegative)
{
    // also where an earlier hop of a redirect answered: the address finally asked for did not
    const std::string cases[] = {"http://no-such-host.invalid/x", closed, srv.Base() + "/to-nowhere",
                                 srv.Base() + "/to-closed", srv.Base() + "/loop"};
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        std::string text = "stale";
        EXPECT_LT(HttpGetText(url, text), 0);
        EXPECT_EQ(text, "");
        CHttpSession session;
        EXPECT_LT(HttpGetFile(session, url, (dir / "f").string()), 0);
        EXPECT_FALSE(fs::exists(dir / "f"));
    }
}

TEST_F(HttpClientTest, NoProxyStarSendsNothingThroughTheProxy)
{
    // a second loopback address: not one of the names that always bypass the proxy
    httplib::Server other;
    other.Get("/lf", [](const auto&, auto& res) { res.set_content("direct", "text/plain"); });
    yfx::test::LoopbackListener listener(other, "127.0.0.2");
    ASSERT_GT(listener.Port(), 0);
    const std::string url = "http://127.0.0.2:" + std::to_string(listener.Port()) + "/lf";
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(yfx::test::FreeLoopbackPort())).c_str(), 1);
    std::string text;
    const int proxied = HttpGetText(url, text); // through the dead proxy
    for (const char* list : {"*", "example.invalid, * ,other.invalid"}) {
        ::setenv("no_proxy", list, 1);
        EXPECT_EQ(HttpGetText(url, text), 0) << list;
        EXPECT_EQ(text, "direct\r\n");
    }
    ::unsetenv("no_proxy");
    ::unsetenv("http_proxy");
    EXPECT_LT(proxied, 0);
}

TEST_F(HttpClientTest, RedirectIsFollowedAndAgentIsHttpClient)
{
    std::string text;
    EXPECT_EQ(HttpGetText(srv.Base() + "/redirect", text), 0);
    EXPECT_EQ(text, "one\r\ntwo\r\n\r\nthree\r\n");
    auto seen = srv.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].path, "/redirect");
    EXPECT_EQ(seen[1].path, "/lf");
    for (const auto& s : seen)
        EXPECT_EQ(s.userAgent, "HttpClient");
}

TEST_F(HttpClientTest, IllegalCharactersAreEscapedOnTheWireOnly)
{
    // the signed request's timestamp carries a space; colons and existing escapes stay
    const std::string url = srv.Base() + "/echo-target?timestamp=2013-03-28 21:05:09&a=%CA%D6";
    const std::string copy = url;
    std::string text;
    EXPECT_EQ(HttpGetText(url, text), 0);
    EXPECT_EQ(text, "/echo-target?timestamp=2013-03-28%2021:05:09&a=%CA%D6\r\n");
    EXPECT_EQ(url, copy);
    EXPECT_EQ(EscapeIllegalUrlBytes("a b\x01\xCA|"), "a%20b%01%CA%7C");
}

TEST_F(HttpClientTest, LoopbackBypassesTheProxy)
{
    ::setenv("http_proxy", "http://127.0.0.1:1", 1);
    std::string text;
    const int result = HttpGetText(srv.Base() + "/lf", text);
    ::unsetenv("http_proxy");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, "one\r\ntwo\r\n\r\nthree\r\n");
}

TEST_F(HttpClientTest, FileIsWrittenByteExactAndOverwritten)
{
    const std::string path = (dir / "p.jpg_220x220.jpg").string();
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(100000, 'o'); // longer than the new body: must not leave a tail
    }
    CHttpSession session;
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/big", path), 0);
    EXPECT_EQ(Body(path), big);
    // nothing but the target is left in the folder
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(HttpClientTest, Non200WritesNoFileAndKeepsTheOldOne)
{
    CHttpSession session;
    const std::string fresh = (dir / "fresh").string();
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/missing", fresh), 0);
    EXPECT_FALSE(fs::exists(fresh));
    const std::string kept = (dir / "kept").string();
    std::ofstream(kept) << "old";
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/missing", kept), 0);
    EXPECT_EQ(Body(kept), "old");
}

TEST_F(HttpClientTest, BrokenTransferLeavesNoHalfFile)
{
    CHttpSession session;
    const std::string path = (dir / "cut.jpg").string();
    std::ofstream(path) << "previous picture";
    EXPECT_LT(HttpGetFile(session, srv.Base() + "/cut", path), 0);
    EXPECT_EQ(Body(path), "previous picture");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(HttpClientTest, EndlessPictureStopsAtTheCapWithNoFile)
{
    CHttpSession session;
    const std::string path = (dir / "endless.jpg").string();
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/endless", path), -2);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
    // a text answer has a cap of its own, well above a picture's
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/nine-mib", path), -2);
    std::string text;
    EXPECT_EQ(HttpGetText(srv.Base() + "/nine-mib", text), 0);
    EXPECT_EQ(text.size(), (9u << 20) + 2);
    // an endless text stops at its own cap, and nothing of it is kept
    EXPECT_EQ(HttpGetText(srv.Base() + "/endless", text), -2);
    EXPECT_TRUE(text.empty());
}

TEST_F(HttpClientTest, LongestFileNamesStillGetATemporaryName)
{
    CHttpSession session;
    for (size_t length : {243u, 244u, 250u, 255u}) {
        const std::string name(length, 'n');
        EXPECT_EQ(HttpGetFile(session, srv.Base() + "/big", (dir / name).string()), 0) << length;
        EXPECT_EQ(Body((dir / name).string()), big);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
}

TEST_F(HttpClientTest, FileThatCannotBeCreatedIsMinusOne)
{
    CHttpSession session;
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/big", (dir / "no-such-folder" / "f").string()), -1);
}

TEST_F(HttpClientTest, BatchReusesOneConnection)
{
    CHttpSession session;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(HttpGetFile(session, srv.Base() + "/big", (dir / ("f" + std::to_string(i))).string()), 0);
    EXPECT_EQ(srv.Connections(), 1u);
    for (const auto& s : srv.Requests())
        EXPECT_EQ(s.userAgent, "HttpClient");
}

TEST_F(HttpClientTest, AbortFlagEndsATransferAtOnce)
{
    std::atomic<bool> stop{false};
    CHttpSession session;
    session.SetAbortFlag(&stop);
    const std::string path = (dir / "slow.jpg").string();
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const int result = HttpGetFile(session, srv.Base() + "/slow", path);
    const auto took = std::chrono::steady_clock::now() - start;
    setter.join();
    EXPECT_EQ(result, -2);
    EXPECT_FALSE(fs::exists(path));
    // the body would take 20 s; abandoning must not wait for it
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
    // a set flag refuses the next download outright
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/big", path), -2);
}

TEST_F(HttpClientTest, LinkInPlaceOfThePictureIsReplacedNotFollowed)
{
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "secret";
    const fs::path picture = dir / "planted.jpg";
    fs::create_symlink(victim, picture);
    CHttpSession session;
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/big", picture.string()), 0);
    EXPECT_EQ(Body(victim.string()), "secret");
    EXPECT_FALSE(fs::is_symlink(picture));
    EXPECT_EQ(Body(picture.string()), big);
}

} // namespace
