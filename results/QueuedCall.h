#pragma once
// Hands a call from any thread to the thread of `receiver` (the GUI thread for widgets), as
// a queued call: it runs there later, or never when `receiver` is destroyed first. The
// caller must keep `receiver` alive while this runs (the network engine's callbacks are
// cancelled before their receivers go).
//
// Qt's event queue orders the two threads with futexes that ThreadSanitizer cannot see; the
// lock taken on both sides gives it the same order, so that what the call carries is seen as
// handed over, not raced for.
#include <QMetaObject>
#include <QObject>
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

} // namespace yfx
