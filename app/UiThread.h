// Engine code calls the window's controls from worker threads. These helpers
// carry such a call over to the window thread: Post() queues it and returns,
// Call() waits for it (for calls that answer something, and for modal
// questions). On the window thread both run the call at once.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <type_traits>
#include <utility>

namespace app {

inline bool OnUiThread() {
    QCoreApplication* a = QCoreApplication::instance();
    return a && QThread::currentThread() == a->thread();
}

// Queues fn for the window thread; dropped when `context` is gone by then.
template <typename F>
void Post(QObject* context, F&& fn) {
    if (OnUiThread()) {
        fn();
        return;
    }
    if (!context) return;
    QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::QueuedConnection);
}

// Runs fn on the window thread and returns its result. When the context
// object is destroyed before the call runs, returns a default value.
template <typename F>
auto Call(QObject* context, F&& fn) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if (OnUiThread()) return fn();
    if constexpr (std::is_void_v<R>) {
        if (context) QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        if (context) QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

}  // namespace app
