// The watch list's rules and checks: the alert rule table, the back-off table, and whole checks
// against the bundled server (items it knows and does not know, the next day's drops, rate
// limits with and without an announced time).
#include "StoreTestSupport.h"

#include "market/Endpoints.h"
#include "market/NetEngine.h"
#include "store/CPriceStore.h"
#include "store/LocalDay.h"
#include "store/WatchRules.h"
#include "tests/support/MarketServerProcess.h"
#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MaterialGateway.h"
#include "watch/BackOff.h"
#include "watch/CWatchCheck.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <set>

using namespace yfx;
using namespace yfx::store;
using yfx::watch::CheckOutcome;
using yfx::watch::CWatchCheck;

TEST(AlertRules, TargetPercentNewLowOncePerDropAndNotTheAddedPrice)
{
    const int today = 20000;
    const struct {
        const char* name;
        WatchRuleState state;
        std::int64_t now;
        std::optional<std::int64_t> target;
        std::optional<std::int64_t> lowestBefore;
        int firstDay;
        std::optional<AlertReason> reason;
        WatchRuleState next;
    } cases[] = {
        // told, seen, armed
        {"first check at the added price, target already reached", {1000, 1000, true}, 1000, 1200, 1000, today, {}, {1000, 1000, true}},
        {"first check at the added price over two days", {1000, 1000, true}, 1000, {}, 1000, today - 3, {}, {1000, 1000, true}},
        {"target reached", {1000, 1000, true}, 900, 900, 1000, today, AlertReason::Target, {900, 900, false}},
        {"target not reached, small drop, one day", {1000, 1000, true}, 960, 900, 960, today, {}, {1000, 960, true}},
        {"exactly the percentage", {1000, 1000, true}, 950, {}, 1000, today, AlertReason::Percent, {950, 950, false}},
        {"just above the percentage", {1000, 1000, true}, 951, {}, 1000, today, {}, {1000, 951, true}},
        {"percentage against the price told, not the price seen", {1000, 970, true}, 945, {}, 970, today, AlertReason::Percent, {945, 945, false}},
        {"new lowest over two days", {1000, 1000, true}, 990, {}, 995, today - 1, AlertReason::NewLow, {990, 990, false}},
        {"new lowest within one day only", {1000, 1000, true}, 990, {}, 995, today, {}, {1000, 990, true}},
        {"not below the lowest", {1000, 1000, true}, 990, {}, 980, today - 5, {}, {1000, 990, true}},
        {"told drop falls on: no repeat", {950, 950, false}, 800, 850, 950, today - 5, {}, {950, 800, false}},
        {"the same price again: no repeat", {950, 950, false}, 950, 950, 950, today - 5, {}, {950, 950, false}},
        {"the price goes up: armed again", {950, 950, false}, 990, {}, 950, today - 5, {}, {950, 990, true}},
        {"then comes down again: told", {950, 990, true}, 900, {}, 950, today - 5, AlertReason::Percent, {900, 900, false}},
        {"up and down but not below the price told", {950, 990, true}, 960, 1000, 950, today - 5, {}, {950, 960, true}},
        {"target before percentage", {1000, 1000, true}, 500, 600, 1000, today - 5, AlertReason::Target, {500, 500, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AlertInput in;
        in.state = c.state;
        in.now = c.now;
        in.target = c.target;
        in.lowestBefore = c.lowestBefore;
        in.firstDay = c.firstDay;
        in.today = today;
        in.dropPercent = 5;
        const AlertDecision d = DecideAlert(in);
        EXPECT_EQ(d.reason, c.reason);
        EXPECT_EQ(d.next, c.next);
    }
}

TEST(BackOff, AnnouncedTimeElseExponentialUpToAnHour)
{
    const std::string ban = "This ban will last for 17 more seconds";
    const struct {
        PlatformError error;
        int inARow;
        std::optional<long> seconds;
    } cases[] = {
        {{"7", "App Call Limited", "accesscontrol.limited-by-api-access-count", ban}, 0, 17},
        {{"7", "App Call Limited", "accesscontrol.limited-by-api-access-count", ban}, 5, 17},
        {{"7", ban, "", ""}, 0, 17},
        {{"7", "App Call Limited", "", "This ban will last for 999999 more seconds"}, 0, 86400},
        {{"7", "App Call Limited", "accesscontrol.limited-by-app-access-count", "应用调用次数超限"}, 0, 60},
        {{"7", "App Call Limited", "", "This ban will last for a few more seconds"}, 1, 120},
        {{"50002", "调用频率高，请稍后再试", "", ban}, 0, 60}, // only code 7 announces a time
        {{"15", "Remote service error", "50002", "调用频率高，请稍后再试"}, 2, 240},
        {{"50002", "", "", ""}, 5, 1920},
        {{"50002", "", "", ""}, 6, 3600},
        {{"50002", "", "", ""}, 40, 3600},
        {{"15", "Remote service error", "-4003", ""}, 0, {}},
        {{"25", "Invalid signature", "", ban}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error.code + " " + c.error.subMsg + " #" + std::to_string(c.inARow));
        const auto wait = watch::BackOffFor(c.error, c.inARow);
        ASSERT_EQ(wait.has_value(), c.seconds.has_value());
        if (wait)
            EXPECT_EQ(wait->count(), *c.seconds);
    }
}

namespace {

// The bundled server's catalogue with its default seed and size, as the server generates it.
const server::Catalogue& ServerCatalogue()
{
    static const server::Catalogue catalogue = server::Catalogue::Generate(20130328, 2000);
    return catalogue;
}

constexpr int kOpenItems = 30; // asked for by the new-style id
constexpr int kListItems = 5;  // by the list search's numeric id
const std::vector<std::string> kUnknown = {"0000000-zzzzzzz", "ABCDEFG-0000001"};

// The watched price of an item on a day of the server (--day offset).
std::int64_t FinalOn(const server::CatalogueItem& item, int offset)
{
    const server::Catalogue& c = ServerCatalogue();
    return server::MaterialGateway::PromotionOf(item, c.PriceOn(item, server::Catalogue::Today(offset))).finalCents;
}

class WatchCheckTest : public testing::Test {
protected:
    void SetUp() override
    {
        CPriceStore::Settings s;
        s.database.path = m_folder.File("prices.sqlite");
        m_store = std::make_unique<CPriceStore>(s, nullptr);
        const auto& items = ServerCatalogue().Items();
        for (int i = 0; i < kOpenItems + kListItems; ++i) {
            const server::CatalogueItem& item = items[static_cast<std::size_t>(i)];
            const bool open = i < kOpenItems;
            Sighting seen = test::MakeSighting(open ? server::MaterialGateway::ItemId(item) : item.idText, item.priceCents);
            seen.key.source = open ? ResultSource::OpenPlatform : ResultSource::ListSearch;
            seen.price = ServerCatalogue().PriceOn(item, server::Catalogue::Today(0));
            seen.finalPrice = FinalOn(item, 0);
            // a target on every third item: the next day's price, reached when it is lower
            std::optional<std::int64_t> target;
            if (i % 3 == 0)
                target = FinalOn(item, 1);
            m_targets[seen.key.itemId] = target;
            Watch(seen, target);
        }
        for (const std::string& id : kUnknown) {
            Sighting seen = test::MakeSighting(id, 5000);
            seen.key.source = ResultSource::OpenPlatform;
            Watch(seen, {});
        }
    }
    void Watch(const Sighting& seen, std::optional<std::int64_t> target)
    {
        std::promise<WatchOutcome> added;
        m_store->Watch(seen, target, [&](WatchOutcome o) { added.set_value(o); });
        ASSERT_EQ(added.get_future().get(), WatchOutcome::Added);
    }
    CheckOutcome Check(const test::MarketServerProcess& server, CWatchCheck::Later later = {})
    {
        SetEndpointServer(server.BaseUrl());
        CWatchCheck::Settings s;
        s.config.appKey = "12345678";
        s.config.appSecret = "yfx-local-secret";
        s.config.pid = "mm_10000001_2000002_30000003";
        s.later = std::move(later);
        CWatchCheck check(m_engine, *m_store, s);
        std::promise<CheckOutcome> ended;
        check.Start([&](CheckOutcome o) { ended.set_value(std::move(o)); });
        return ended.get_future().get();
    }
    std::vector<WatchedItem> Watched()
    {
        std::promise<std::vector<WatchedItem>> p;
        m_store->AskWatched([&](std::vector<WatchedItem> w) { p.set_value(std::move(w)); });
        return p.get_future().get();
    }
    std::size_t ItemInfoRequests(const test::MarketServerProcess& server)
    {
        std::size_t n = 0;
        for (const test::MarketRequest& r : server.Requests())
            n += r.path == "/router/rest" && r.status == 200;
        return n;
    }

    test::TempFolder m_folder;
    CNetEngine m_engine;
    std::unique_ptr<CPriceStore> m_store;
    std::map<std::string, std::optional<std::int64_t>> m_targets;
};

} // namespace

TEST_F(WatchCheckTest, KnownItemsAreFoundUnknownOnesGoneAndTheAddedPriceNeverAlerts)
{
    test::MarketServerProcess server;
    ASSERT_TRUE(server.Started()) << server.Error();
    const CheckOutcome o = Check(server);
    EXPECT_TRUE(o.complete) << o.problem;
    EXPECT_EQ(o.items, kOpenItems + kListItems + 2);
    EXPECT_EQ(o.requests, 3); // 32 new-style ids in two requests, 5 numeric ids in one
    EXPECT_EQ(ItemInfoRequests(server), 3u);
    EXPECT_EQ(o.found, kOpenItems + kListItems);
    EXPECT_EQ(o.gone, 2);
    EXPECT_TRUE(o.alerts.empty());
    for (const WatchedItem& w : Watched()) {
        SCOPED_TRACE(w.key.itemId);
        const bool unknown = std::find(kUnknown.begin(), kUnknown.end(), w.key.itemId) != kUnknown.end();
        EXPECT_EQ(w.gone, unknown); // marked, never dropped
        EXPECT_GT(w.lastChecked, 0);
        EXPECT_EQ(w.current, w.addedPrice);
    }
}

TEST_F(WatchCheckTest, NextDaysDropsAlertOnceEach)
{
    {
        test::MarketServerProcess today;
        ASSERT_TRUE(today.Started()) << today.Error();
        ASSERT_TRUE(Check(today).alerts.empty());
    }
    test::MarketServerProcess tomorrow({"--day", "1"});
    ASSERT_TRUE(tomorrow.Started()) << tomorrow.Error();
    const CheckOutcome o = Check(tomorrow);
    EXPECT_TRUE(o.complete) << o.problem;
    std::set<std::string> expected;
    const auto& items = ServerCatalogue().Items();
    for (int i = 0; i < kOpenItems + kListItems; ++i) {
        const server::CatalogueItem& item = items[static_cast<std::size_t>(i)];
        const std::string id = i < kOpenItems ? server::MaterialGateway::ItemId(item) : item.idText;
        const std::int64_t before = FinalOn(item, 0), after = FinalOn(item, 1);
        const std::optional<std::int64_t> target = m_targets[id];
        if (after < before && ((target && after <= *target) || after * 100 <= before * 95))
            expected.insert(id);
    }
    ASSERT_FALSE(expected.empty()); // the catalogue moves about a third of its prices a day
    std::set<std::string> alerted;
    for (const PriceAlert& a : o.alerts) {
        alerted.insert(a.key.itemId);
        EXPECT_LT(a.now, a.before);
        EXPECT_FALSE(a.title.empty());
        EXPECT_EQ(a.target, m_targets[a.key.itemId]);
    }
    EXPECT_EQ(alerted, expected);
    // the same prices again: nothing more to tell
    EXPECT_TRUE(Check(tomorrow).alerts.empty());
}

TEST_F(WatchCheckTest, RateLimitsWaitAndResumeWhereTheCheckStopped)
{
    const struct {
        const char* fault;
        std::vector<long> waits; // seconds
    } cases[] = {
        {"/router/rest=rate-limit:7@1", {7}},
        {"/router/rest=platform-error:7@1", {60}},
        {"/router/rest=platform-error:50002@3", {60, 120, 240}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        test::MarketServerProcess server({"--fault", c.fault});
        ASSERT_TRUE(server.Started()) << server.Error();
        std::mutex mutex;
        std::vector<long> waits;
        const CheckOutcome o = Check(server, [&](std::chrono::milliseconds delay, std::function<void()> call) {
            {
                std::lock_guard lock(mutex);
                waits.push_back(static_cast<long>(delay.count() / 1000));
            }
            call(); // at once: the test does not wait the platform's time
        });
        EXPECT_TRUE(o.complete) << o.problem;
        EXPECT_EQ(waits, c.waits);
        EXPECT_EQ(o.rateLimits, static_cast<int>(c.waits.size()));
        EXPECT_EQ(o.requests, 3 + static_cast<int>(c.waits.size()));
        EXPECT_EQ(o.found, kOpenItems + kListItems);
        EXPECT_EQ(o.gone, 2);
    }
}
