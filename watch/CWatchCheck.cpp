#include "watch/CWatchCheck.h"

#include "market/Gbk.h"
#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "store/Sighting.h"
#include "watch/ItemPrices.h"
#include "watch/BackOff.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace yfx::watch {

namespace {
constexpr int kCheckPriority = 1000000; // after whatever a person waits for, and after pictures
} // namespace

// A thread of the check's own that runs delayed calls; destroying it drops those not yet run.
class CWatchCheck::Waiter {
public:
    ~Waiter()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_calls.clear();
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }
    void Post(std::chrono::milliseconds delay, std::function<void()> call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.emplace(std::chrono::steady_clock::now() + delay, std::move(call));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
        m_wake.notify_one();
    }

private:
    void Run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (m_calls.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const auto first = m_calls.begin();
            if (m_wake.wait_until(lock, first->first) == std::cv_status::no_timeout)
                continue; // woken: look again
            std::function<void()> call = std::move(m_calls.begin()->second);
            m_calls.erase(m_calls.begin());
            lock.unlock();
            call();
            lock.lock();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_calls;
    bool m_stop = false;
    std::thread m_thread;
};

struct CWatchCheck::State {
    State(CNetEngine& e, store::CPriceStore& s, Settings st) : engine(e), store(s), settings(std::move(st)) {}
    CNetEngine& engine;
    store::CPriceStore& store;
    const Settings settings;

    std::mutex mutex; // guards what follows
    Waiter* waiter = nullptr;
    bool cancelled = false;
    bool finished = false;
    CNetEngine::Handle handle = 0;
    std::function<void(CheckOutcome)> done;
    std::vector<std::vector<store::ItemKey>> batches;
    std::size_t next = 0;
    int inARow = 0;
    CheckOutcome outcome;
};

// The steps of a check, each taking the shared state (callbacks keep it alive).
struct CheckSteps {
    using S = std::shared_ptr<CWatchCheck::State>;

    static void Finish(const S& s, bool complete, std::string problem)
    {
        std::lock_guard lock(s->mutex);
        if (s->cancelled || s->finished)
            return;
        s->finished = true;
        s->outcome.complete = complete;
        s->outcome.problem = std::move(problem);
        if (s->done)
            s->done(std::move(s->outcome)); // under the lock: the destructor waits for it
    }

    static void Ask(const S& s)
    {
        std::unique_lock lock(s->mutex);
        if (s->cancelled || s->finished)
            return;
        if (s->next >= s->batches.size()) {
            lock.unlock();
            Finish(s, s->outcome.problem.empty(), s->outcome.problem);
            return;
        }
        std::vector<std::string> ids;
        for (const store::ItemKey& key : s->batches[s->next])
            ids.push_back(Utf8ToGb18030(key.itemId));
        const GatewayPost post = BuildItemInfoRequest(s->settings.config, ids);
        yfx::net::Request request;
        request.url = post.url;
        request.body = post.body;
        request.contentType = post.contentType;
        request.post = true;
        ++s->outcome.requests;
        s->handle = s->engine.Submit(std::move(request), [s](yfx::net::Result r) { Answered(s, std::move(r)); },
                                     kCheckPriority);
    }

    static void Later(const S& s, std::chrono::seconds wait)
    {
        const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(wait);
        std::unique_lock lock(s->mutex);
        if (s->cancelled)
            return;
        s->outcome.waited += wait;
        if (!s->settings.later) {
            if (s->waiter)
                s->waiter->Post(delay, [s] { Ask(s); });
            return;
        }
        lock.unlock();
        s->settings.later(delay, [s] { Ask(s); });
    }

    static void Answered(const S& s, yfx::net::Result r)
    {
        if (r.code != 0 || r.status != 200) {
            Finish(s, false, r.code != 0 ? "无法连接开放平台" : "开放平台的回答无法读取（HTTP " + std::to_string(r.status) + "）");
            return;
        }
        ItemInfoAnswer answer;
        ParseItemInfoAnswer(r.text, answer);
        std::vector<store::ItemKey> batch;
        std::optional<std::chrono::seconds> wait;
        {
            std::lock_guard lock(s->mutex);
            if (s->cancelled || s->finished)
                return;
            batch = s->batches[s->next];
            if (answer.outcome == AnswerOutcome::Refused) {
                wait = BackOffFor(answer.error, s->inARow);
                if (wait) {
                    ++s->outcome.rateLimits;
                    if (++s->inARow > CWatchCheck::kMaxRateLimitsInARow)
                        wait.reset();
                }
            } else {
                s->inARow = 0;
            }
        }
        if (wait) {
            Later(s, *wait); // then the same items again
            return;
        }
        if (answer.outcome == AnswerOutcome::Refused) {
            const std::string text = GbkToUtf8(answer.message);
            if (answer.error.code == "15" && !IsRateLimit(answer.error)) {
                // this request's items only: the others may still be answered
                {
                    std::lock_guard lock(s->mutex);
                    ++s->next;
                    s->outcome.problem = text;
                }
                Ask(s);
            } else {
                Finish(s, false, text);
            }
            return;
        }
        if (answer.outcome != AnswerOutcome::Items) {
            Finish(s, false, GbkToUtf8(answer.message));
            return;
        }

        // Each asked item: found (with a readable price), mentioned without one (left as it
        // was), or left out of the answer: gone.
        std::map<std::string, int> state; // item id -> 0 left out, 1 mentioned, 2 found
        for (const store::ItemKey& key : batch)
            state.emplace(key.itemId, 0);
        std::vector<store::CheckedItem> found;
        for (const ItemPrice& p : ReadItemPrices(r.text)) {
            auto it = state.find(p.askedId);
            if (it == state.end())
                it = state.find(p.itemId);
            if (it == state.end() || it->second == 2)
                continue;
            it->second = 1;
            if (!p.price)
                continue;
            store::CheckedItem c;
            c.seen.key = *std::find_if(batch.begin(), batch.end(), [&](const store::ItemKey& k) { return k.itemId == it->first; });
            c.seen.title = p.title;
            c.seen.picture = p.picture;
            c.seen.price = *p.price;
            c.seen.finalPrice = p.finalPrice;
            c.seen.coupon = p.coupon;
            c.seen.sales = p.sales;
            c.postageKnown = p.freeShipping; // free shipping: postage 0; else the last row's
            found.push_back(std::move(c));
            it->second = 2;
        }
        std::vector<store::ItemKey> gone;
        for (const store::ItemKey& key : batch)
            if (state[key.itemId] == 0)
                gone.push_back(key);
        const int foundCount = static_cast<int>(found.size());
        const int goneCount = static_cast<int>(gone.size());
        s->store.RecordCheck(std::move(found), std::move(gone), s->settings.dropPercent,
                             [s, foundCount, goneCount](bool ok, std::vector<store::PriceAlert> alerts) {
                                 if (!ok) {
                                     Finish(s, false, "价格记忆不可用");
                                     return;
                                 }
                                 {
                                     std::lock_guard lock(s->mutex);
                                     if (s->cancelled || s->finished)
                                         return;
                                     s->outcome.found += foundCount;
                                     s->outcome.gone += goneCount;
                                     for (store::PriceAlert& a : alerts)
                                         s->outcome.alerts.push_back(std::move(a));
                                     ++s->next;
                                 }
                                 Ask(s);
                             });
    }
};

CWatchCheck::CWatchCheck(CNetEngine& engine, store::CPriceStore& store, Settings settings)
    : m_state(std::make_shared<State>(engine, store, std::move(settings))), m_waiter(std::make_unique<Waiter>())
{
    m_state->waiter = m_waiter.get();
}

CWatchCheck::~CWatchCheck()
{
    CNetEngine::Handle handle = 0;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->cancelled = true;
        m_state->waiter = nullptr;
        handle = m_state->handle;
    }
    if (handle)
        m_state->engine.Cancel(handle);
    m_waiter.reset();
}

void CWatchCheck::Start(std::function<void(CheckOutcome)> done)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->done = std::move(done);
    }
    std::shared_ptr<State> s = m_state;
    s->store.AskWatched([s](std::vector<store::WatchedItem> items) {
        {
            std::lock_guard lock(s->mutex);
            if (s->cancelled)
                return;
            s->outcome.items = static_cast<int>(items.size());
            s->batches = Batches(items);
        }
        if (!s->store.Available()) {
            CheckSteps::Finish(s, false, "价格记忆不可用");
            return;
        }
        CheckSteps::Ask(s);
    });
}

std::vector<std::vector<store::ItemKey>> CWatchCheck::Batches(const std::vector<store::WatchedItem>& items)
{
    std::vector<std::vector<store::ItemKey>> batches;
    for (const ResultSource source : {ResultSource::OpenPlatform, ResultSource::ListSearch}) {
        std::size_t first = batches.size();
        for (const store::WatchedItem& item : items) {
            if (item.key.source != source || item.key.itemId.empty() || item.key.itemId.find(',') != std::string::npos)
                continue;
            if (batches.size() == first || batches.back().size() == kItemInfoMaxIds)
                batches.emplace_back();
            batches.back().push_back(item.key);
        }
        (void)first;
    }
    return batches;
}

} // namespace yfx::watch
