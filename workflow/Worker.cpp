#include "workflow/Worker.h"

namespace workflow {

bool Worker::Start(std::function<void()> routine) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_.load()) return false;
    // The previous routine has returned; its thread ends right after.
    if (thread_.joinable()) thread_.join();
    running_ = true;
    thread_ = std::thread([this, routine = std::move(routine)]() {
        struct Ended {
            std::atomic<bool>& running;
            ~Ended() { running = false; }
        } ended{running_};
        routine();
    });
    return true;
}

void Worker::Join() {
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
        finished = std::move(thread_);
    }
    finished.join();
}

}  // namespace workflow
