// Workers reach the window only through a UiChannel: Post() queues a call
// for the window thread and returns at once (progress, status lines, found
// volumes); Ask() queues a question (a modal dialog) and waits for its
// answer. Close(), on the window thread, ends the channel: nothing more is
// carried, and every question still waiting, or asked later, gets its
// fallback answer at once. The window closes its channels before it waits
// for a worker, so the window thread never waits for a worker that waits
// for it.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace app {

inline bool OnUiThread() {
    QCoreApplication* a = QCoreApplication::instance();
    return a && QThread::currentThread() == a->thread();
}

class UiChannel {
public:
    // Calls are delivered to `target` (which lives on the window thread and
    // outlives the channel's use: close the channel before deleting it).
    explicit UiChannel(QObject* target) : target_(target) {}
    ~UiChannel() { Close(); }
    UiChannel(const UiChannel&) = delete;
    UiChannel& operator=(const UiChannel&) = delete;

    // Any thread. On the window thread the call runs at once.
    void Post(std::function<void()> fn) {
        if (OnUiThread()) {
            if (!Closed()) fn();
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        QMetaObject::invokeMethod(target_, std::move(fn), Qt::QueuedConnection);
    }

    // Any thread: runs `question` on the window thread and returns its
    // answer; `fallback` when the channel is (or becomes) closed first. The
    // question must not count on anything but what it captured: the
    // channel's owner may be gone when it returns.
    template <typename R>
    R Ask(std::function<R()> question, R fallback) {
        if (OnUiThread()) return Closed() ? fallback : question();
        auto pending = std::make_shared<Pending<R>>(fallback);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return fallback;
            Forget();
            pending_.push_back(pending);
            QMetaObject::invokeMethod(
                target_,
                [pending, question = std::move(question)] {
                    if (pending->Answered()) return;
                    pending->Answer(question());
                },
                Qt::QueuedConnection);
        }
        return pending->Wait();
    }

    // Window thread. Idempotent.
    void Close() {
        std::vector<std::weak_ptr<Waiter>> waiting;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            waiting.swap(pending_);
        }
        for (const auto& w : waiting)
            if (auto p = w.lock()) p->Abandon();
    }

    bool Closed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return closed_;
    }

private:
    struct Waiter {
        virtual ~Waiter() = default;
        virtual void Abandon() = 0;
    };
    template <typename R>
    struct Pending : Waiter {
        explicit Pending(R f) : value(std::move(f)), fallback(value) {}
        bool Answered() {
            std::lock_guard<std::mutex> lock(m);
            return done;
        }
        void Answer(R r) {
            {
                std::lock_guard<std::mutex> lock(m);
                if (done) return;
                value = std::move(r);
                done = true;
            }
            cv.notify_all();
        }
        void Abandon() override { Answer(fallback); }
        R Wait() {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [this] { return done; });
            return value;
        }
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        R value;
        R fallback;
    };

    // Drops the entries of questions already answered (under mutex_).
    void Forget() {
        std::erase_if(pending_, [](const std::weak_ptr<Waiter>& w) { return w.expired(); });
    }

    QObject* target_;
    mutable std::mutex mutex_;
    bool closed_ = false;
    std::vector<std::weak_ptr<Waiter>> pending_;
};

// Runs a dialog made on the heap modally and returns what `answer` reads
// from it, or `fallback` when the dialog was deleted while it was open (its
// owner went away). The dialog is deleted afterwards.
template <typename D, typename R, typename F>
R RunModal(D* dialog, R fallback, F&& answer) {
    QPointer<D> guard(dialog);
    const int result = dialog->exec();
    if (!guard) return fallback;
    R r = answer(*dialog, result);
    delete dialog;
    return r;
}

}  // namespace app
