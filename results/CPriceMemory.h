#pragma once
// The price memory as the windows see it: the store and its thread behind a GUI-thread object.
// Results views hand over what they show and ask for their tiles' markers, the chart asks for
// an item's history; answers come back as queued calls on the asking widget, and an answer
// whose receiver is gone is dropped. Nothing here waits for the store.
//
// When the store cannot be used the memory is off for the run: unavailable() is emitted once
// with the text for the status bar's message pane, writes are dropped and questions are
// answered with nothing. GUI thread only.
//
// The watch list lives in the same store. The memory keeps the watched items as the store last
// gave them (read at start and once after every change), so that a menu can say at once
// whether an item is watched and the list's page need not ask again; watchListChanged() tells
// every window that shows the list.
#include "market/TBRecord.h"
#include "store/CPriceStore.h"
#include "store/StoreTypes.h"
#include "store/WatchTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class CPriceMemory : public QObject {
    Q_OBJECT
public:
    // Starts the store thread, which opens the file at once. `recording` false: nothing is
    // written (what was written before is still read).
    explicit CPriceMemory(yfx::store::CPriceStore::Settings settings, bool recording = true, QObject* parent = nullptr);
    // Finishes the writes handed over, then ends the store thread.
    ~CPriceMemory() override;

    // Hands one results window's items over (a copy; the store converts and writes them).
    // Nothing while recording is off or the memory is unavailable.
    void Record(const std::vector<CTBRecord>& records);

    using SummariesDone = std::function<void(const std::vector<yfx::store::PriceSummary>&)>;
    using HistoryDone = std::function<void(const yfx::store::PriceHistory&)>;
    using ClearDone = std::function<void(bool)>;
    // Each answer comes as a queued call on `receiver`, never when `receiver` is gone first.
    void AskSummaries(QObject* receiver, std::vector<yfx::store::SummaryQuery> queries, SummariesDone done);
    void AskHistory(QObject* receiver, yfx::store::ItemKey key, HistoryDone done);
    // Deletes everything remembered; `done` (with a receiver, may be empty) says whether it was.
    void Clear(QObject* receiver = nullptr, ClearDone done = {});
    // Deletes rows older than `days` now (the store does so at every start with its own time).
    void Prune(int days);

    // The watch list. `record` is watched at its shown price, with an optional target (cents).
    using WatchDone = std::function<void(yfx::store::WatchOutcome)>;
    using WatchedDone = std::function<void(const std::vector<yfx::store::WatchedItem>&)>;
    void Watch(QObject* receiver, const CTBRecord& record, std::optional<std::int64_t> target, WatchDone done);
    void Unwatch(const yfx::store::ItemKey& key);
    void SetTarget(const yfx::store::ItemKey& key, std::optional<std::int64_t> target);
    void AskWatched(QObject* receiver, WatchedDone done);
    // Whether `key` is on the watch list, as far as the memory has heard from the store.
    bool IsWatched(const yfx::store::ItemKey& key) const { return m_watched.count(key) != 0; }
    // The watched items as the store last gave them.
    const std::vector<yfx::store::WatchedItem>& Watched() const { return m_watchedItems; }
    // Reads the watched items again (after a change here, or a check) and tells
    // watchListChanged().
    void RefreshWatched();
    // The store itself, for the watch service's checks (its answers come on the store thread),
    // and its file's path.
    yfx::store::CPriceStore& Store() { return *m_store; }
    const std::string& Path() const { return m_strPath; }

    bool Recording() const { return m_bRecording; }
    void SetRecording(bool on);
    // False once the store said it cannot be used.
    bool Available() const { return m_bAvailable; }
    // The status bar's text about the memory ("价格记录不可用：…"), empty when all is well.
    const QString& StatusText() const { return m_strStatus; }

signals:
    // The memory is off for this run; `text` is for the status bar's message pane. Once.
    void unavailable(const QString& text);
    // Something to say once that does not stop the memory (a damaged file was set aside).
    void notice(const QString& text);
    void recordingChanged(bool on);
    // Everything remembered has been deleted.
    void cleared();
    // The watch list changed: an item was added or removed, a target changed, a check ran.
    void watchListChanged();

private:
    quint64 Expect(QObject* receiver);
    // The receiver of answer `id` when it is still alive (the entry is removed).
    bool Deliverable(quint64 id);
    void OnStatus(const yfx::store::StoreStatus& status);
    // A store callback that hands its value to `done` on this thread while `receiver` lives
    // (no receiver: always).
    template <class Value, class Done>
    auto Relay(QObject* receiver, Done done);

    std::string m_strPath;
    std::unique_ptr<yfx::store::CPriceStore> m_store;
    std::map<quint64, QPointer<QObject>> m_pending;
    std::set<yfx::store::ItemKey> m_watched;
    std::vector<yfx::store::WatchedItem> m_watchedItems;
    quint64 m_nextId = 1;
    bool m_bRecording = true;
    bool m_bAvailable = true;
    QString m_strStatus;
};

// The application's price memory, or null when it has none. GUI thread only.
CPriceMemory* MainPriceMemory();
void SetMainPriceMemory(CPriceMemory* memory);
