#pragma once
// Hands a call from any thread to the thread of `receiver` (the GUI thread for widgets), as
// a queued call: it runs there later, or never when `receiver` is destroyed first. The
// caller must keep `receiver` alive while this runs (the network engine's callbacks are
// cancelled before their receivers go).
//
// Qt's event queue orders the two threads with futexes that ThreadSanitizer cannot see; the
// lock taken on both sides gives it the same order, so that what the call carries is seen as
// handed over, not raced for.
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <mutex>
#include <utility>

namespace yfx {

std::mutex& QueuedCallOrder();

template <class Call>
void PostQueued(QObject* receiver, Call call)
{
    std::lock_guard lock(QueuedCallOrder());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::move(call)]() mutable {
            { std::lock_guard order(QueuedCallOrder()); }
            call();
        },
        Qt::QueuedConnection);
}

// Runs `task` on a thread of Qt's global pool, with the same order made visible.
template <class Task>
void RunInPool(Task task)
{
    std::lock_guard lock(QueuedCallOrder());
    QThreadPool::globalInstance()->start([task = std::move(task)]() mutable {
        { std::lock_guard order(QueuedCallOrder()); }
        task();
    });
}

// Runs `work` on a thread of Qt's global pool and hands what it returns to `done` on the GUI
// thread by a queued call, unless `receiver` (a GUI-thread object) has been destroyed by then:
// `done` is then never called and the result is dropped. The receiver need not outlive the
// work; `work` must not touch it. Call on the GUI thread. `work` and `done` are copied.
template <class Work, class Done>
void RunInPoolThenCall(QObject* receiver, Work work, Done done)
{
    RunInPool([guard = QPointer<QObject>(receiver), work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        // The application outlives every task of its global pool: it waits for them when it goes.
        PostQueued(QCoreApplication::instance(),
                   [guard = std::move(guard), done = std::move(done), result = std::move(result)]() mutable {
                       if (guard)
                           done(std::move(result));
                   });
    });
}

} // namespace yfx
