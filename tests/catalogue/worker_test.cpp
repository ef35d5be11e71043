#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "workflow/Worker.h"

namespace {

TEST(WorkerTest, RunsOneRoutineAtATimeAndJoinWaitsForIt) {
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
    auto routine = [&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++runs;
    };
    workflow::Worker worker;
    EXPECT_FALSE(worker.Running());
    worker.Join();  // nothing to wait for
    ASSERT_TRUE(worker.Start(routine));
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.Start(routine));  // refused while one runs
    release = true;
    worker.Join();
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(runs.load(), 1);
    // once ended it starts again; the destructor waits for the last one
    {
        workflow::Worker second;
        ASSERT_TRUE(worker.Start(routine));
        ASSERT_TRUE(second.Start(routine));
    }
    worker.Join();
    EXPECT_EQ(runs.load(), 3);
}

}  // namespace
