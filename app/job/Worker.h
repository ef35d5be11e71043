// Long operations run on worker threads. A worker records itself in a handle
// field of the job state and clears that field when its routine returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace job {

// Starts `routine` on a new thread and stores a nonzero id in `handleField`.
// Returns the id.
std::uint64_t StartWorker(std::atomic<std::uint64_t>& handleField, std::function<void()> routine);
// Waits until the handle field is cleared (front ends and tests).
void WaitForWorker(const std::atomic<std::uint64_t>& handleField);

}  // namespace job
