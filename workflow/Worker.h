// Runs one long routine (a search, a mount, a save, a raw scan, a marking
// pass) on a thread of its own. The front end owns one Worker per kind of
// work; starting another routine while one runs is refused.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace workflow {

class Worker {
public:
    Worker() = default;
    ~Worker() { Join(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts `routine` on a new thread; false (nothing started) while a
    // routine of this worker runs.
    bool Start(std::function<void()> routine);
    // True from Start until the routine has returned.
    bool Running() const { return running_.load(); }
    // Waits until the routine has returned (at once when none runs). Never
    // call it from a thread the routine may be waiting on; from the
    // routine itself it returns at once.
    void Join();

private:
    std::mutex mutex_;  // guards thread_
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace workflow
