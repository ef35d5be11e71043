// tarvine-cli's log save, --log and dirlist, run as a program on the sample
// disk: a stored log gives the same output as searching and mounting.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

std::string BuildDir() {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    return std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path().parent_path().string();
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

class CliLogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new testutil::TempDir();
        const auto nwd = std::filesystem::path(TARVINE_SOURCE_DIR) / "tools" / "nwimage" / "sample.nwd";
        std::ifstream in(nwd);
        std::stringstream text;
        text << in.rdbuf();
        nwimage::WriteImageFile(nwimage::Build(nwimage::ParseDescription(text.str())), dir->File("sample.img"));
    }
    static void TearDownTestSuite() { delete dir; }
    void SetUp() override {
        cli = BuildDir() + "/cli/tarvine-cli";
        if (!std::filesystem::exists(cli)) GTEST_SKIP() << "tarvine-cli is not built";
    }
    CliRun Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(cli) + " --image " + Quote(dir->File("sample.img"));
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir->File("out")) + " 2>" + Quote(dir->File("err"));
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(dir->File("out"));
        r.err = testutil::ReadFile(dir->File("err"));
        return r;
    }
    static testutil::TempDir* dir;
    std::string cli;
};
testutil::TempDir* CliLogTest::dir = nullptr;

TEST_F(CliLogTest, AStoredLogAnswersLikeASearchAndMount) {
    const CliRun saved = Cli({"log", "save", dir->File("job"), "--volume", "0"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out, dir->File("JOB.SAV") + "\n");
    const std::string log = dir->File("JOB.SAV");

    const CliRun volumes = Cli({"volumes"}), volumesFromLog = Cli({"volumes", "--log", log});
    EXPECT_EQ(volumesFromLog.status, 0) << volumesFromLog.err;
    EXPECT_EQ(volumesFromLog.out, volumes.out);

    const CliRun ls = Cli({"ls", "--volume", "0", "-R"}), lsFromLog = Cli({"ls", "--log", log, "-R"});
    EXPECT_EQ(lsFromLog.status, 0) << lsFromLog.err;
    EXPECT_EQ(lsFromLog.out, ls.out);
    EXPECT_NE(ls.out.find("LOST\\Old Project (orphaned)"), std::string::npos);

    const CliRun cat = Cli({"cat", "--log", log, "--volume", "0", "PUBLIC\\BIG.BIN"});
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, Cli({"cat", "--volume", "0", "PUBLIC\\BIG.BIN"}).out);
    EXPECT_EQ(cat.out.size(), 3u * 1024 * 1024);

    const CliRun dirlist = Cli({"dirlist", "--volume", "0"}), dirlistFromLog = Cli({"dirlist", "--log", log});
    EXPECT_EQ(dirlistFromLog.out, dirlist.out);
    EXPECT_EQ(dirlist.out.rfind("SYS-> PUBLIC\r\nPUBLIC-> Project Documents\r\n", 0), 0u);

    // The log written from a loaded log is the same file.
    ASSERT_EQ(Cli({"log", "save", dir->File("again.sav"), "--log", log}).status, 0);
    EXPECT_EQ(testutil::ReadFile(dir->File("AGAIN.SAV")), testutil::ReadFile(log));
}

TEST_F(CliLogTest, PrintFormatEndsRecordsInE6) {
    const CliRun view = Cli({"dirlist", "--volume", "1"});
    const CliRun print = Cli({"dirlist", "--print-format", "--volume", "1"});
    ASSERT_EQ(print.status, 0) << print.err;
    std::string converted;
    for (char c : print.out) converted += c == '\xE6' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(converted, view.out);
    EXPECT_EQ(print.out.rfind("DATA-> USERS\xE6USERS-> ALICE\xE6", 0), 0u);
}

TEST_F(CliLogTest, BadLogsAndMismatchedVolumesAreRefused) {
    ASSERT_EQ(Cli({"log", "save", dir->File("good"), "--volume", "1"}).status, 0);
    const std::string good = testutil::ReadFile(dir->File("GOOD.SAV"));
    testutil::WriteFile(dir->File("cut.sav"), good.substr(0, good.size() / 2));
    CliRun r = Cli({"ls", "--log", dir->File("cut.sav")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Unable to open file"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    r = Cli({"ls", "--log", dir->File("GOOD.SAV"), "--volume", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("DATA"), std::string::npos) << r.err;

    EXPECT_EQ(Cli({"log", "save", dir->File("none/x"), "--volume", "0"}).status, 2);
    EXPECT_EQ(Cli({"log", "load", "x", "--volume", "0"}).status, 2);
    EXPECT_EQ(Cli({"log", "save", "--volume", "0"}).status, 2);
}

}  // namespace
