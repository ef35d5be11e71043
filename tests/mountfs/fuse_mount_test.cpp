// Mounts volumes with tarvine-cli mount and compares what the folder shows
// with what tarvine-cli save writes. Every mount is ended by the test, also
// after a failure; where a trial mount cannot be made (no /dev/fuse, no
// permission) the tests are skipped with the reason.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/CliRunner.h"
#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliPath;
using clitest::Quote;

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

// One `tarvine-cli ... mount -f` run: started on construction, waited for
// until the mount is up or the program has ended; the destructor takes the
// mount down (lazily, so a busy mount cannot stay) and reaps the program.
class MountRun {
public:
    MountRun(const std::vector<std::string>& args, const std::string& mountPoint, const std::string& errFile)
        : mountPoint_(mountPoint), errFile_(errFile) {
        std::filesystem::create_directories(mountPoint);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(err, 2);
            const std::string cli = CliPath();
            std::vector<std::string> all = {cli};
            all.insert(all.end(), args.begin(), args.end());
            all.push_back(mountPoint);
            all.push_back("-f");
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(cli.c_str(), argv.data());
            ::_exit(127);
        }
        // Up when the mount point is a mount; failed when the program ended first.
        while (!IsMountPoint(mountPoint_)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return;
            }
            ::usleep(2000);
        }
        mounted_ = true;
    }
    ~MountRun() {
        if (IsMountPoint(mountPoint_))
            (void)std::system(("fusermount3 -u -z " + Quote(mountPoint_) + " 2>/dev/null || umount -l " +
                               Quote(mountPoint_) + " 2>/dev/null")
                                  .c_str());
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    MountRun(const MountRun&) = delete;
    MountRun& operator=(const MountRun&) = delete;

    bool Mounted() const { return mounted_; }
    std::string Errors() const { return testutil::ReadFile(errFile_); }
    // Ends the mount with umount (or with `signal` sent to the program) and
    // returns the program's exit status.
    int End(int signal = 0) {
        if (pid_ <= 0) return exitStatus_;
        if (signal) ::kill(pid_, signal);
        else (void)std::system(("umount " + Quote(mountPoint_)).c_str());
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitStatus_;
    }

private:
    std::string mountPoint_, errFile_;
    pid_t pid_ = -1;
    bool mounted_ = false;
    int exitStatus_ = -1;
};

// What a folder holds, entry by entry: kind, mode, size, modification
// time and content (a file's SHA-256, a link's target).
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = e.path().string();
        struct stat st{};
        if (::lstat(path.c_str(), &st) != 0) {
            out[path] = "lstat failed";
            continue;
        }
        const std::string rel = e.path().lexically_relative(root).string();
        std::ostringstream o;
        o << std::oct << (st.st_mode & 07777) << std::dec;
        if (S_ISDIR(st.st_mode)) {
            // LOST is no entry of the volume: its time is when it was made.
            o << " dir" << (rel == "LOST" ? std::string() : " " + std::to_string(st.st_mtim.tv_sec));
        } else if (S_ISLNK(st.st_mode)) {
            o << " link -> " << std::filesystem::read_symlink(e.path()).string();
        } else {
            // A companion's time is when it was written.
            const bool companion = e.path().filename().string().rfind("._", 0) == 0;
            const std::string bytes = testutil::ReadFile(path);
            o << " file " << st.st_size << " ";
            if (!companion) o << st.st_mtim.tv_sec << " " << st.st_atim.tv_sec << " ";
            o
              << nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
        out[rel] = o.str();
    }
    return out;
}

class FuseMountTest : public ::testing::Test {
protected:
    int Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string SampleFile(const std::string& name) {
        return testutil::ReadFile(std::string(TARVINE_SOURCE_DIR) + "/tools/nwimage/" + name);
    }
    // Mounts `images` volume `volume` and saves it with the same options;
    // the two must hold the same. Returns false (after GTEST_SKIP) when no
    // mount can be made here.
    void ExpectMountShowsTheSave(const std::vector<std::string>& images, const std::string& volume,
                                 const std::string& name, int saveStatus = 0) {
        SCOPED_TRACE("volume " + volume);
        const std::string saved = dir.File("save-" + name), point = dir.File("mnt-" + name);
        EXPECT_EQ(Cli(Concat(images, {"save", "--volume", volume, "--to", saved})), saveStatus)
            << testutil::ReadFile(dir.File("err"));
        MountRun run(Concat(images, {"mount", "--volume", volume}), point, dir.File("mount-err-" + name));
        ASSERT_TRUE(run.Mounted()) << run.Errors();
        const auto expected = Snapshot(saved), shown = Snapshot(point);
        EXPECT_GT(expected.size(), 1u);
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(run.End(), 0) << run.Errors();
    }
    static std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    // A trial mount of a tiny volume; the reason when none can be made.
    std::string TrialMountFails() {
        const std::string img = dir.File("trial.img");
        nwimage::WriteImageFile(nwimage::Build(nwimage::ParseDescription("partition first=63 count=4000\n"
                                                                        "volume T spb=8 blocks=400\n")),
                                img);
        MountRun run({"--image", img, "mount", "--volume", "0"}, dir.File("trial"), dir.File("trial-err"));
        if (!run.Mounted()) return "a trial mount failed: " + run.Errors();
        run.End();
        return "";
    }
    void SetUp() override {
        if (const std::string why = TrialMountFails(); !why.empty()) GTEST_SKIP() << why;
    }

    testutil::TempDir dir;
};

// What the mount cannot use is refused before anything is mounted.
TEST(MountCommandTest, RefusesWhatItCannotMountOnWithStatus2) {
    testutil::TempDir dir;
    const std::string img = dir.File("v.img"), file = dir.File("plain");
    nwimage::WriteImageFile(
        nwimage::Build(nwimage::ParseDescription("partition first=63 count=4000\nvolume T spb=8 blocks=400\n")), img);
    testutil::WriteFile(file, "x");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"mount", "--volume", "0"}, "mount: where? (MOUNTPOINT is missing)"},
        {{"mount", "--volume", "0", file}, "is not a folder"},
        {{"mount", "--volume", "0", "--deleted", "some", dir.path()}, "--deleted must be include, exclude or only"},
        {{"mount", "--volume", "0", "--links", "hard", dir.path()}, "--links must be link or copy"},
    };
    for (const auto& [args, message] : refused) {
        std::string cmd = Quote(CliPath()) + " --image " + Quote(img);
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >/dev/null 2>" + Quote(dir.File("err"));
        const int raw = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2) << message;
        EXPECT_NE(testutil::ReadFile(dir.File("err")).find(message), std::string::npos) << testutil::ReadFile(dir.File("err"));
    }
}

TEST_F(FuseMountTest, TheSampleVolumesShowWhatTheSaveWrites) {
    const std::string img = dir.File("sample.img");
    nwimage::WriteImageFile(nwimage::Build(nwimage::ParseDescription(SampleFile("sample.nwd"))), img);
    for (const char* volume : {"0", "1", "2"}) ExpectMountShowsTheSave({"--image", img}, volume, volume);
    // The name spaces' companions, links and modes are among what was compared.
    const std::string saved = dir.File("save-2");
    EXPECT_TRUE(std::filesystem::is_symlink(saved + "/Design Studio/latest"));
    EXPECT_TRUE(std::filesystem::exists(saved + "/Design Studio/._Spring brochure.qxd"));
}

TEST_F(FuseMountTest, ASpannedPairShowsWhatTheSaveWritesAndAMissingSegmentIsDamageFromTheStart) {
    const std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(SampleFile("sample-span.nwd")));
    const std::string d0 = dir.File("span0.img"), d1 = dir.File("span1.img");
    nwimage::WriteImageFile(disks[0], d0);
    nwimage::WriteImageFile(disks[1], d1);
    ASSERT_EQ(Cli({"--image", d0, "--image", d1, "volumes"}), 0);
    const std::string listing = testutil::ReadFile(dir.File("out"));
    const std::size_t at = listing.find("\tBIGVOL\t");
    ASSERT_NE(at, std::string::npos) << listing;
    const std::string volume = listing.substr(listing.rfind('\n', at) + 1, at - listing.rfind('\n', at) - 1);
    ExpectMountShowsTheSave({"--image", d0, "--image", d1}, volume, "both");

    // Without disk 1: what the save calls damaged carries the attribute
    // before anything is read, with the save's count.
    ASSERT_EQ(Cli({"--image", d0, "save", "--volume", volume, "--to", dir.File("part")}), 3);
    const std::string saveErr = testutil::ReadFile(dir.File("err"));
    const std::string mark = "Opening day.avi: damaged: ";
    const std::size_t m = saveErr.find(mark);
    ASSERT_NE(m, std::string::npos) << saveErr;
    const std::string count = saveErr.substr(m + mark.size(), saveErr.find(' ', m + mark.size()) - m - mark.size());
    MountRun run({"--image", d0, "mount", "--volume", volume}, dir.File("mnt-part"), dir.File("err-part"));
    ASSERT_TRUE(run.Mounted()) << run.Errors();
    std::string video;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.File("mnt-part")))
        if (e.path().filename() == "Opening day.avi") video = e.path().string();
    ASSERT_FALSE(video.empty());
    char value[32] = {};
    const ssize_t n = ::getxattr(video.c_str(), "user.tarvine.damaged", value, sizeof value - 1);
    ASSERT_GT(n, 0) << std::strerror(errno);
    EXPECT_EQ(std::string(value, static_cast<std::size_t>(n)), count);
    EXPECT_EQ(Snapshot(dir.File("mnt-part")), Snapshot(dir.File("part")));
    EXPECT_EQ(run.End(), 0);
}

TEST_F(FuseMountTest, UnreadableSectorsDeletedNamesTimesAndRefusedWrites) {
    const std::string img = dir.File("bad.img"), map = dir.File("bad.map");
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder DOCS time=2006-05-04T03:02:01
file NOTE.TXT in=DOCS text="live" time=2007-01-02T03:04:05 modified=2007-02-03T04:05:06 accessed=2007-03-04
file NOTE.TXT in=DOCS text="gone" deleted time=2005-01-01T00:00:00
file BAD.BIN size=10000 time=2007-05-06T07:08:09
bad file=BAD.BIN offset=2 count=3
)"));
    nwimage::WriteImageFile(image, img);
    testutil::WriteFile(map, nwimage::MapfileText(image));
    const std::string before = testutil::ReadFile(img);
    const std::vector<std::string> source = {"--image", img, "--badmap", map};
    ExpectMountShowsTheSave(source, "0", "bad", 3);

    const std::string point = dir.File("mnt");
    {
        MountRun run(Concat(source, {"mount", "--volume", "0"}), point, dir.File("run-err"));
        ASSERT_TRUE(run.Mounted()) << run.Errors();
        EXPECT_EQ(testutil::ReadFile(point + "/DOCS/NOTE (deleted).TXT"), "gone");
        struct stat st{};
        ASSERT_EQ(::stat((point + "/DOCS/NOTE.TXT").c_str(), &st), 0);
        struct tm local{};
        const time_t mtime = st.st_mtim.tv_sec;
        ::localtime_r(&mtime, &local);
        EXPECT_EQ(local.tm_year + 1900, 2007);  // the entry's time, the same as the save's (compared above)

        // The mapfile's sectors count before the first read; the read gives zeros.
        const std::string bad = point + "/BAD.BIN";
        char value[32] = {};
        ssize_t n = ::getxattr(bad.c_str(), "user.tarvine.damaged", value, sizeof value - 1);
        ASSERT_GT(n, 0) << std::strerror(errno);
        EXPECT_EQ(std::string(value, static_cast<std::size_t>(n)), "1536");
        EXPECT_EQ(::getxattr((point + "/DOCS/NOTE.TXT").c_str(), "user.tarvine.damaged", value, sizeof value), -1);
        const std::string bytes = testutil::ReadFile(bad);
        ASSERT_EQ(bytes.size(), 10000u);
        EXPECT_EQ(bytes.substr(1024, 1536), std::string(1536, '\0'));
        EXPECT_EQ(bytes, testutil::ReadFile(dir.File("save-bad/BAD.BIN")));

        // Nothing changes the volume.
        errno = 0;
        EXPECT_EQ(::open(bad.c_str(), O_WRONLY), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(::open((point + "/NEW.TXT").c_str(), O_WRONLY | O_CREAT, 0644), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(::mkdir((point + "/NEW").c_str(), 0755), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(::rename(bad.c_str(), (point + "/OTHER.BIN").c_str()), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(::chmod(bad.c_str(), 0600), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(::setxattr(bad.c_str(), "user.x", "1", 1, 0), -1);
        EXPECT_EQ(errno, EROFS);
        EXPECT_EQ(run.End(), 0);
        EXPECT_NE(run.Errors().find("BAD.BIN: bytes 1024 to 2559 could not be read"), std::string::npos)
            << run.Errors();
    }
    {
        // --eio fails the read; Ctrl-C in the foreground ends with 130.
        MountRun run(Concat(source, {"mount", "--volume", "0", "--eio"}), point, dir.File("eio-err"));
        ASSERT_TRUE(run.Mounted()) << run.Errors();
        const int fd = ::open((point + "/BAD.BIN").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        char buffer[10000];
        errno = 0;
        EXPECT_EQ(::read(fd, buffer, sizeof buffer), -1);
        EXPECT_EQ(errno, EIO);
        ::close(fd);
        EXPECT_EQ(run.End(SIGINT), 130);
        EXPECT_FALSE(IsMountPoint(point));
    }
    EXPECT_TRUE(testutil::ReadFile(img) == before);  // the image is never written
}

}  // namespace
