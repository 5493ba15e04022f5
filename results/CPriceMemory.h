#pragma once
// The price memory as the windows see it: the store and its thread behind a GUI-thread object.
// Results views hand over what they show and ask for their tiles' markers, the chart asks for
// an item's history; answers come back as queued calls on the asking widget, and an answer
// whose receiver is gone is dropped. Nothing here waits for the store.
//
// When the store cannot be used the memory is off for the run: unavailable() is emitted once
// with the text for the status bar's message pane, writes are dropped and questions are
// answered with nothing. GUI thread only.
#include "market/TBRecord.h"
#include "store/CPriceStore.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
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

private:
    quint64 Expect(QObject* receiver);
    // The receiver of answer `id` when it is still alive (the entry is removed).
    bool Deliverable(quint64 id);
    void OnStatus(const yfx::store::StoreStatus& status);

    std::unique_ptr<yfx::store::CPriceStore> m_store;
    std::map<quint64, QPointer<QObject>> m_pending;
    quint64 m_nextId = 1;
    bool m_bRecording = true;
    bool m_bAvailable = true;
    QString m_strStatus;
};

// The application's price memory, or null when it has none. GUI thread only.
CPriceMemory* MainPriceMemory();
void SetMainPriceMemory(CPriceMemory* memory);
