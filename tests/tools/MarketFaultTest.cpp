// Fault injection, determinism and the command line of the local marketplace server.
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <sys/wait.h>

#include "market/ClickUrl.h"
#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "tests/tools/MarketTestSupport.h"

using namespace yfx::test;

namespace {

SearchQuery AllItems(const std::string& path = {})
{
    SearchQuery q;
    q.path = path;
    q.cat = "0";
    return q;
}

std::string ListTarget(const std::string& path = {})
{
    return TargetOf(BuildSearchUrl(AllItems(path)));
}

// Runs the server binary with arguments; its exit code and standard output.
int RunServer(const std::string& args, std::string& output)
{
    output.clear();
    FILE* pipe = popen((MarketServerProcess::BinaryPath() + " " + args + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        output.append(buf, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class MarketFaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<MarketServerProcess>(std::vector<std::string>{
            "--fault", "/market/nvzhuang.htm=status:503",    //
            "--fault", "/market/nanzhuang.htm=stall:30",      //
            "--fault", "/market/xiebao.htm=cut",              //
            "--fault", "/market/shuma.htm=malformed",         //
            "--fault", "/market/jiaju.htm=nonstring",         //
            "--fault", "/market/meizhuang.htm=unsafe-name",   //
            "--fault", "/market/shipin.htm=size:300000",      //
            "--fault", "/market/muying.htm=size:100",         //
            "--fault", "/router/rest=nonstring",              //
            "--fault", "/set/config.jpg=nonstring",           //
            "--fault", "/bao/uploaded/i1/*=malformed",        //
            "--fault", "/market/yundong.htm=elements:3",      //
            "--fault", "/set/tbcat.jpg=elements:1",           //
            "--fault", "/market/jiadian.htm=redirect-nowhere", //
            "--fault", "/imgextra/i1/*=huge-picture:6000",    //
            "--fault", "/imgextra/i2/*=huge-picture:30000",   //
            "--fault", "/imgextra/i3/*=endless",              //
            "--fault", "/imgextra/i4/*=stall-ms:300",         //
            "--fault", "/item.htm=stream:300000",             //
            "--fault", "/=drip:100",                          //
        });
        ASSERT_TRUE(s_server->Started()) << s_server->Error();
        yfx::SetEndpointServer(s_server->BaseUrl());
        SetErrorReporter([](const std::string&, const std::string&) {});
    }
    static void TearDownTestSuite()
    {
        SetErrorReporter({});
        yfx::SetEndpointServer({});
        s_server.reset();
    }
    void SetUp() override { ASSERT_TRUE(s_server && s_server->Started()); }

    static std::unique_ptr<MarketServerProcess> s_server;
};

std::unique_ptr<MarketServerProcess> MarketFaultTest::s_server;

TEST_F(MarketFaultTest, StatusFaultAnswersThatStatus)
{
    const HttpAnswer answer = RawGet(*s_server, ListTarget("/market/nvzhuang.htm"));
    EXPECT_EQ(answer.status, 503);
    std::vector<CTBRecord> records;
    EXPECT_FALSE(LoadItemList(BuildSearchUrl(AllItems("/market/nvzhuang.htm")), records));
    // Other paths are untouched.
    EXPECT_EQ(RawGet(*s_server, ListTarget()).status, 200);
    bool logged = false;
    for (const MarketRequest& r : s_server->Requests())
        if (r.path == "/market/nvzhuang.htm")
            logged = r.fault == "status" && r.status == 503;
    EXPECT_TRUE(logged);
}

TEST_F(MarketFaultTest, StallSendsNothingUntilTheClientGivesUp)
{
    const auto started = std::chrono::steady_clock::now();
    const HttpAnswer answer = RawGet(*s_server, ListTarget("/market/nanzhuang.htm"), {}, 1);
    EXPECT_FALSE(answer.ok);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    // The server goes on answering.
    EXPECT_EQ(RawGet(*s_server, ListTarget()).status, 200);
}

TEST_F(MarketFaultTest, CutAnswerIsShorterThanAnnounced)
{
    const HttpAnswer answer = RawGet(*s_server, ListTarget("/market/xiebao.htm"));
    EXPECT_FALSE(answer.ok) << "a cut-off body is not a complete answer";
    const std::vector<MarketRequest> log = s_server->Requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().fault, "cut");
    EXPECT_GT(log.back().bytes, 1000u);
}

TEST_F(MarketFaultTest, MalformedJsonDoesNotParse)
{
    const HttpAnswer answer = RawGet(*s_server, ListTarget("/market/shuma.htm"));
    ASSERT_EQ(answer.status, 200);
    Json::Value root;
    EXPECT_FALSE(ParseJson(answer.body, root));
    std::vector<CTBRecord> records;
    EXPECT_FALSE(LoadItemList(BuildSearchUrl(AllItems("/market/shuma.htm")), records));
}

TEST_F(MarketFaultTest, MalformedPictureIsCutInHalf)
{
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, ListTarget()).body, items, total));
    int checked = 0;
    for (const ListedItem& i : items) {
        const std::string target = TargetOf(i.originalImage);
        const HttpAnswer answer = RawGet(*s_server, target);
        ASSERT_EQ(answer.status, 200);
        const bool faulty = target.rfind("/bao/uploaded/i1/", 0) == 0;
        const bool complete = answer.body.size() > 2 && answer.body.substr(answer.body.size() - 2) == "\xFF\xD9";
        EXPECT_EQ(complete, !faulty) << target;
        checked += faulty;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(MarketFaultTest, NonStringMembersAreNumbersObjectsOrArrays)
{
    Json::Value root;
    ASSERT_TRUE(ParseJson(RawGet(*s_server, ListTarget("/market/jiaju.htm")).body, root));
    int odd = 0;
    for (const Json::Value& e : root["itemList"])
        for (const char* key : {"itemId", "currentPrice", "tradeNum", "ratesum", "ship"})
            odd += !e[key].isString();
    EXPECT_GE(odd, 5);
    ASSERT_TRUE(ParseJson(RawGet(*s_server, "/set/config.jpg").body, root));
    EXPECT_FALSE(root["appkey"].isString());
    EXPECT_FALSE(root["pid"].isString());

    // The gateway's click address as a number: the program's reader ends with no address.
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, ListTarget()).body, items, total));
    const std::string id = items[0].itemId.back() != '7' ? items[0].itemId : items[1].itemId;
    std::string text;
    ASSERT_EQ(HttpGetText(BuildClickRequestUrl("mm_10000001_2000002_30000003", id, "12345678", "yfx-local-secret"), text), 0);
    ASSERT_TRUE(ParseJson(text, root));
    const Json::Value& detail = root["taobaoke_items_detail_get_response"]["taobaoke_item_details"]["taobaoke_item_detail"][0];
    EXPECT_TRUE(detail["click_url"].isNumeric()) << text;
    EXPECT_EQ(GetClickUrl("mm_10000001_2000002_30000003", id, "12345678", "yfx-local-secret"), "");
}

TEST_F(MarketFaultTest, UnsafePictureNamesAreNotPlainFileNames)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(AllItems("/market/meizhuang.htm")), records));
    ASSERT_FALSE(records.empty());
    for (const CTBRecord& r : records) {
        const std::string& url = r.originalImage();
        const std::string last = url.substr(url.rfind('/') + 1);
        const bool unsafe = last.empty() || last == ".." || last.find("..") != std::string::npos ||
                            url.find("/../") != std::string::npos;
        EXPECT_TRUE(unsafe) << url;
    }
}

TEST_F(MarketFaultTest, SizeFaultAnswersExactlyThatManyBytes)
{
    const HttpAnswer big = RawGet(*s_server, ListTarget("/market/shipin.htm"));
    ASSERT_EQ(big.body.size(), 300000u);
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(big.body, items, total)) << "a large answer is still a list";
    EXPECT_GT(items.size(), 40u);
    EXPECT_EQ(RawGet(*s_server, ListTarget("/market/muying.htm")).body.size(), 100u);
}

TEST_F(MarketFaultTest, StreamSendsThatManyBytesWithoutALengthAndDripOneAtATime)
{
    httplib::Client client("127.0.0.1", s_server->Port());
    const httplib::Result streamed = client.Get("/item.htm?id=1");
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->body.size(), 300000u);
    EXPECT_FALSE(streamed->has_header("Content-Length"));
    EXPECT_EQ(streamed->get_header_value("Transfer-Encoding"), "chunked");

    // Three bytes of the index page, each on its own, a tenth of a second apart; then hang up.
    std::vector<std::size_t> pieces;
    const auto started = std::chrono::steady_clock::now();
    const httplib::Result dripped = client.Get("/", [&](const char*, std::size_t length) {
        pieces.push_back(length);
        return pieces.size() < 3;
    });
    EXPECT_FALSE(dripped) << "the client ended it, not the server";
    EXPECT_EQ(pieces, (std::vector<std::size_t>{1, 1, 1}));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
}

TEST_F(MarketFaultTest, ElementsFaultFillsTheListWithEmptyElements)
{
    const HttpAnswer list = RawGet(*s_server, ListTarget("/market/yundong.htm"));
    ASSERT_EQ(list.status, 200);
    EXPECT_LE(list.body.size(), std::size_t{3} << 20);
    EXPECT_GT(list.body.size(), (std::size_t{3} << 20) - 8);
    EXPECT_EQ(list.body.rfind(R"({"itemList":[{},{},)", 0), 0u);
    Json::Value root;
    ASSERT_TRUE(ParseJson(list.body, root));
    EXPECT_GT(root["itemList"].size(), 1000000u);
    EXPECT_TRUE(root["itemList"][0].isObject());

    // The category document in its own shape: an array of empty entries.
    const HttpAnswer cats = RawGet(*s_server, "/set/tbcat.jpg");
    ASSERT_TRUE(ParseJson(cats.body, root));
    ASSERT_TRUE(root.isArray());
    EXPECT_GT(root.size(), 300000u);
    EXPECT_LE(cats.body.size(), std::size_t{1} << 20);
}

TEST_F(MarketFaultTest, RedirectNowhereSendsTheClientToAHostThatNeverResolves)
{
    const std::string target = ListTarget("/market/jiadian.htm");
    const HttpAnswer answer = RawGet(*s_server, target);
    EXPECT_EQ(answer.status, 302);
    // The same path and query on a host under .invalid.
    EXPECT_EQ(answer.location.rfind("http://nowhere.invalid/market/jiadian.htm?", 0), 0u) << answer.location;
    EXPECT_NE(answer.location.find("json=on"), std::string::npos) << answer.location;
    // Followed, the redirect ends in a failure, not in an answer.
    std::string text = "old";
    EXPECT_LT(HttpGetText(answer.location, text), 0);
}

TEST_F(MarketFaultTest, HugePicturesClaimTheirSizeInTheHeader)
{
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, ListTarget()).body, items, total));
    int seen = 0;
    for (const ListedItem& i : items) {
        const std::string target = TargetOf(i.image);
        const bool real = target.rfind("/imgextra/i1/", 0) == 0, claimed = target.rfind("/imgextra/i2/", 0) == 0;
        if (!real && !claimed)
            continue;
        const HttpAnswer answer = RawGet(*s_server, target);
        ASSERT_EQ(answer.status, 200);
        int w = 0, h = 0;
        ASSERT_TRUE(JpegSize(answer.body, w, h)) << target;
        EXPECT_EQ(w, real ? 6000 : 30000);
        EXPECT_EQ(h, w);
        // A really encoded one is a whole JPEG of some size; a claimed one is small.
        if (real)
            EXPECT_GT(answer.body.size(), 100000u);
        else
            EXPECT_LT(answer.body.size(), 100000u);
        EXPECT_EQ(answer.body.substr(answer.body.size() - 2), "\xFF\xD9");
        ++seen;
    }
    EXPECT_GT(seen, 1);
}

TEST_F(MarketFaultTest, EndlessPictureNeverEndsAndShortStallEndsSoon)
{
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, ListTarget()).body, items, total));
    std::string endless, stalled;
    for (const ListedItem& i : items) {
        const std::string target = TargetOf(i.image);
        if (target.rfind("/imgextra/i3/", 0) == 0)
            endless = target;
        if (target.rfind("/imgextra/i4/", 0) == 0)
            stalled = target;
    }
    ASSERT_FALSE(endless.empty());
    ASSERT_FALSE(stalled.empty());

    // Read 8 MiB and a little more of the endless one, then hang up.
    httplib::Client client("127.0.0.1", s_server->Port());
    std::string head;
    std::size_t received = 0;
    const std::size_t enough = (std::size_t{8} << 20) + 1;
    const httplib::Result res = client.Get(endless, [&](const char* data, std::size_t length) {
        if (head.size() < 4)
            head.append(data, std::min<std::size_t>(length, 4 - head.size()));
        received += length;
        return received < enough;
    });
    EXPECT_FALSE(res) << "the client ended it, not the server";
    EXPECT_GE(received, enough);
    EXPECT_EQ(head, std::string("\xFF\xD8\xFF\xE0", 4));

    // A stall of 300 ms: the headers, then the connection closes without the body.
    const auto started = std::chrono::steady_clock::now();
    const HttpAnswer answer = RawGet(*s_server, stalled);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_FALSE(answer.ok);
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(5));
    // The server goes on answering.
    EXPECT_EQ(RawGet(*s_server, ListTarget()).status, 200);
}

class MarketServerRunTest : public ::testing::Test {};

TEST_F(MarketServerRunTest, SameSeedGivesByteIdenticalAnswersAndAnotherSeedDiffers)
{
    MarketServerProcess a({"--seed", "7"}), b({"--seed", "7"}), c({"--seed", "8"});
    ASSERT_TRUE(a.Started()) << a.Error();
    ASSERT_TRUE(b.Started()) << b.Error();
    ASSERT_TRUE(c.Started()) << c.Error();
    yfx::SetEndpointServer(a.BaseUrl());
    SearchQuery q = AllItems();
    q.keyword = G("包邮");
    const std::string list = TargetOf(BuildSearchUrl(q));
    yfx::SetEndpointServer({});
    std::vector<ListedItem> items;
    long total = 0;
    const std::string host = "market.test";
    ASSERT_TRUE(ReadListPage(RawGet(a, list, host).body, items, total));
    ASSERT_FALSE(items.empty());
    std::string listHtml = list;
    listHtml.erase(listHtml.find("&json=on"), 8);
    listHtml.erase(listHtml.find("&json=on"), 8);
    const std::vector<std::string> targets = {
        list,
        listHtml,
        list + "&s=40",
        "/set/tbcat.jpg",
        "/set/config.jpg",
        TargetOf(items[0].href),
        TargetOf(items[0].originalImage),
        TargetOf(items[1].originalImage) + "_220x220.jpg",
        TargetOf(items[2].image),
        "/router/rest?app_key=12345678&fields=click_url&format=json&method=taobao.taobaoke.items.detail.get"
        "&num_iids=" + items[0].itemId + "&pid=mm_10000001_2000002_30000003&sign_method=md5"
        "&timestamp=2013-03-28%2021:05:09&v=2.0&sign=00",
    };
    for (const std::string& t : targets) {
        SCOPED_TRACE(t);
        const HttpAnswer first = RawGet(a, t, host), second = RawGet(b, t, host);
        ASSERT_EQ(first.status, 200);
        EXPECT_FALSE(first.body.empty());
        EXPECT_TRUE(first.body == second.body) << "answers differ";
    }
    EXPECT_NE(RawGet(a, list, host).body, RawGet(c, list, host).body);
    EXPECT_EQ(RawGet(c, TargetOf(items[0].href), host).status, 404) << "another seed makes other item ids";
}

TEST_F(MarketServerRunTest, HelpDescribesEveryOption)
{
    std::string out;
    ASSERT_EQ(RunServer("--help", out), 0);
    for (const char* word : {"--port", "--seed", "--items", "--latency-ms", "--picture-kbps", "--log", "--fault",
                             "--appkey", "--secret", "--pid", "--max-clock-skew", "--threads", "--help", "status:CODE",
                             "stall", "cut", "malformed", "nonstring", "unsafe-name", "size:N", "delay:MS", "stall-ms:MS", "elements:MB", "redirect-nowhere",
                             "huge-picture[:N]", "endless", "drip[:MS]", "stream:N", "huge-png[:N]", "--picture-max-age", "--picture-version"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
}

TEST_F(MarketServerRunTest, BadCommandLinesAreRefused)
{
    for (const char* args : {"--port", "--port 70000", "--items 5", "--fault /x=explode", "--fault x=cut",
                             "--fault /x=status", "--fault /x=status:42", "--fault /x=cut:3", "--bogus", "stray"}) {
        std::string out;
        EXPECT_EQ(RunServer(args, out), 2) << args;
        EXPECT_NE(out.find("market-server:"), std::string::npos) << args;
    }
}

TEST_F(MarketServerRunTest, PictureBandwidthCapKeepsTheBytes)
{
    MarketServerProcess plain, capped({"--picture-kbps", "4000"});
    ASSERT_TRUE(plain.Started()) << plain.Error();
    ASSERT_TRUE(capped.Started()) << capped.Error();
    yfx::SetEndpointServer(plain.BaseUrl());
    const std::string list = TargetOf(BuildSearchUrl(AllItems()));
    yfx::SetEndpointServer({});
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(plain, list, "market.test").body, items, total));
    const std::string picture = TargetOf(items[0].originalImage);
    const HttpAnswer a = RawGet(plain, picture), b = RawGet(capped, picture);
    ASSERT_EQ(b.status, 200);
    EXPECT_TRUE(a.body == b.body);
}

TEST_F(MarketServerRunTest, LatencyAndDelayStillAnswer)
{
    MarketServerProcess server({"--latency-ms", "20", "--fault", "/set/tbcat.jpg=delay:30"});
    ASSERT_TRUE(server.Started()) << server.Error();
    EXPECT_EQ(RawGet(server, "/set/tbcat.jpg").status, 200);
    const auto log = server.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].fault, "delay");
}

} // namespace
