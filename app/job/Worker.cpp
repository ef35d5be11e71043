#include "app/job/Worker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace job {

namespace {
std::mutex gMutex;
std::condition_variable gEnded;
std::atomic<std::uint64_t> gNextId{1};
}  // namespace

std::uint64_t StartWorker(std::atomic<std::uint64_t>& handleField, std::function<void()> routine) {
    const std::uint64_t id = gNextId++;
    handleField = id;
    std::thread([&handleField, id, routine = std::move(routine)]() {
        routine();
        {
            std::lock_guard<std::mutex> lock(gMutex);
            std::uint64_t expected = id;
            handleField.compare_exchange_strong(expected, 0);
        }
        gEnded.notify_all();
    }).detach();
    return id;
}

void WaitForWorker(const std::atomic<std::uint64_t>& handleField) {
    std::unique_lock<std::mutex> lock(gMutex);
    gEnded.wait(lock, [&] { return handleField.load() == 0; });
}

}  // namespace job
