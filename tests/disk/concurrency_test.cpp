// Reads from several threads at once: each disk has its own cache and lock,
// and a prompt waiting for its answer holds no lock of the disk layer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "disk/SectorReader.h"

#include "TestImages.h"

namespace {

using disk::kSectorSize;
using disktest::Fill;
using disktest::MakeImage;
using disktest::MakeMap;

constexpr std::uint64_t kSectors = 8192;  // 4 MiB: more chunks than one disk's cache holds

// Reads `rounds` requests of assorted sizes (inside one cache chunk, across
// chunks, larger than a chunk) at scattered places of disk `number`, filled
// with `seed`; returns how many sectors came back wrong.
unsigned ReadAndCheck(const disk::SectorReader& reader, unsigned number, std::uint8_t seed, unsigned rounds,
                      std::uint32_t salt) {
    static constexpr std::uint32_t kCounts[] = {1, 8, 64, 600};
    std::vector<std::uint8_t> buf(600 * kSectorSize);
    std::uint32_t x = salt;
    unsigned wrong = 0;
    for (unsigned r = 0; r < rounds; ++r) {
        x = x * 1103515245u + 12345u;
        const std::uint32_t count = kCounts[r % 4];
        const std::uint64_t start = (x >> 8) % (kSectors - count);
        if (!reader.Read(number, start, count, buf.data()).Ok()) ++wrong;
        for (std::uint32_t i = 0; i < count; ++i)
            if (!disktest::SectorIs(buf, i, Fill(start + i, seed))) ++wrong;
    }
    return wrong;
}

class ConcurrencyTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::SectorReader reader{disks, policy};
};

TEST_F(ConcurrencyTest, TwoDisksAndOneDiskFromSeveralThreadsGiveTheirOwnBytes) {
    ASSERT_TRUE(disks.Attach(0, MakeImage(dir, kSectors, "a.img", 0), "", nullptr));
    ASSERT_TRUE(disks.Attach(1, MakeImage(dir, kSectors, "b.img", 1), "", nullptr));
    std::atomic<unsigned> wrong{0};
    std::vector<std::thread> threads;
    // two threads on each disk
    for (unsigned t = 0; t < 4; ++t)
        threads.emplace_back([&, t] { wrong += ReadAndCheck(reader, t % 2, static_cast<std::uint8_t>(t % 2), 200, t); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0u);
}

TEST_F(ConcurrencyTest, ReattachingADiskWhileItIsReadKeepsEveryReadWhole) {
    const std::string img = MakeImage(dir, kSectors, "a.img");
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::atomic<bool> done{false};
    std::atomic<unsigned> wrong{0};
    std::thread readerThread([&] {
        wrong += ReadAndCheck(reader, 0, 0, 200, 7);
        done = true;
    });
    while (!done) {
        ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    readerThread.join();
    EXPECT_EQ(wrong.load(), 0u);
}

// Answers Skip once the other reader has finished, or after a time limit
// that only a blocked reader would reach.
class WaitingPrompt : public disk::BadSectorPrompt {
public:
    std::int32_t Ask(const disk::BadSectorEvent&) override {
        std::unique_lock<std::mutex> lock(mutex);
        asking = true;
        changed.notify_all();
        released = changed.wait_for(lock, std::chrono::seconds(20), [this] { return otherDone; });
        return disk::kSkip;
    }
    void WaitUntilAsking() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return asking; });
    }
    void OtherDone() {
        std::lock_guard<std::mutex> lock(mutex);
        otherDone = true;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool asking = false;
    bool otherDone = false;
    bool released = false;
};

TEST_F(ConcurrencyTest, APromptWaitingOnOneDiskLeavesOtherReadsRunning) {
    ASSERT_TRUE(disks.Attach(0, MakeImage(dir, kSectors, "a.img", 0), MakeMap(dir, kSectors, 100, 1), nullptr));
    ASSERT_TRUE(disks.Attach(1, MakeImage(dir, kSectors, "b.img", 1), "", nullptr));
    WaitingPrompt prompt;
    policy.SetPrompt(&prompt);

    disk::ReadStatus badResult;
    std::vector<std::uint8_t> bad(8 * kSectorSize);
    std::thread failing([&] { badResult = reader.Read(0, 96, 8, bad.data()); });
    prompt.WaitUntilAsking();
    // while the prompt waits: the other disk, and healthy parts of the same disk
    unsigned wrong = ReadAndCheck(reader, 1, 1, 200, 3);
    std::vector<std::uint8_t> buf(8 * kSectorSize);
    EXPECT_TRUE(reader.Read(0, 4000, 8, buf.data()).Ok());
    EXPECT_TRUE(disktest::SectorIs(buf, 7, Fill(4007)));
    prompt.OtherDone();
    failing.join();

    EXPECT_TRUE(prompt.released) << "a read waited for the prompt";
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(badResult.Unreadable(), 8u);
    EXPECT_TRUE(disktest::SectorIs(bad, 0, 0));  // Skip
}

}  // namespace
