// A mount served on a worker: up once `ready` says so, readable from other
// threads, and ended by Stop at once even while a file of it is open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>

#include "mount/MountFixture.h"
#include "mountfs/BackgroundMount.h"
#include "mountfs/FuseServer.h"

namespace {

bool IsMountPoint(const std::string& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (point == path) return true;
    }
    return false;
}

class BackgroundMountTest : public mounttest::MountTest {};

TEST_F(BackgroundMountTest, ServesOnItsWorkerAndStopsWithAFileStillOpen) {
    if (const std::string why = mountfs::FuseUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
    Use(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder DOCS
file NOTE.TXT in=DOCS text="hello from the volume"
)");
    MountVolume(0);
    const std::string point = dir.File("mnt");
    ASSERT_EQ(::mkdir(point.c_str(), 0700), 0);

    std::mutex m;
    std::condition_variable cv;
    bool answered = false;
    std::string error;
    mountfs::BackgroundMount mount(volume, disks.disks, mountfs::TreeSettings{});
    mount.Start(point, [&](const std::string& e) {
        std::lock_guard<std::mutex> lock(m);
        answered = true;
        error = e;
        cv.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return answered; });
    }
    if (!error.empty()) {
        mount.Stop();
        GTEST_SKIP() << "a trial mount failed: " << error;
    }
    // The session's volume may change now: the mount has its own copy.
    volume.FileList.Clear();
    EXPECT_EQ(testutil::ReadFile(point + "/DOCS/NOTE.TXT"), "hello from the volume");
    const int fd = ::open((point + "/DOCS/NOTE.TXT").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    mount.Stop();
    EXPECT_FALSE(mount.Running());
    EXPECT_FALSE(IsMountPoint(point));
    ::close(fd);
}

}  // namespace
