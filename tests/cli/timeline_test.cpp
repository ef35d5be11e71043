// Times and timelines on the command line: --timezone, ls --bodyfile read
// back by mactime, and verify on images and E01 sets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/CliRunner.h"
#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliPath;
using clitest::CliRun;
using clitest::Quote;

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(sep, start);
        out.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The bodyfile's fields; a "\|" inside the name stays in it.
std::vector<std::string> BodyFields(const std::string& line) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
            out.back() += "\\|";
            ++i;
        } else if (line[i] == '|') {
            out.emplace_back();
        } else {
            out.back() += line[i];
        }
    }
    return out;
}

class TimelineTest : public ::testing::Test {
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

    CliRun Cli(const std::vector<std::string>& args, const std::string& shell = "") {
        std::string cmd = shell + Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir->File("out")) + " 2>" + Quote(dir->File("err"));
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(dir->File("out"));
        r.err = testutil::ReadFile(dir->File("err"));
        return r;
    }
    static std::string Sample() { return dir->File("sample.img"); }

    static testutil::TempDir* dir;
};
testutil::TempDir* TimelineTest::dir = nullptr;

TEST_F(TimelineTest, TheZoneGivenDecidesSavedTimesAndAnUnknownOneIsRefused) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Asia/Tokyo")) GTEST_SKIP() << "no TZ database installed";
    std::map<std::string, struct stat> saved;
    for (const char* zone : {"UTC", "Asia/Tokyo"}) {
        const std::string to = dir->File(std::string("saved-") + (zone[0] == 'U' ? "utc" : "tokyo"));
        // The machine's zone (TZ) must not matter once --timezone is given.
        const CliRun r = Cli({"--image", Sample(), "--timezone", zone, "save", "--volume", "0", "--to", to, "PUBLIC"},
                             "TZ=America/New_York ");
        ASSERT_EQ(r.status, 0) << r.err;
        struct stat st{};
        ASSERT_EQ(::stat((to + "/PUBLIC/README.TXT").c_str(), &st), 0);
        saved[zone] = st;
    }
    // README.TXT: 2007-01-05 09:10:00 on the server.
    EXPECT_EQ(saved["UTC"].st_mtime, 1167988200);
    EXPECT_EQ(saved["UTC"].st_mtime - saved["Asia/Tokyo"].st_mtime, 9 * 3600);
    // Without --timezone the machine's zone (TZ) is taken.
    const std::string to = dir->File("saved-berlin");
    ASSERT_EQ(Cli({"--image", Sample(), "save", "--volume", "0", "--to", to, "PUBLIC"}, "TZ=Europe/Berlin ").status, 0);
    struct stat st{};
    ASSERT_EQ(::stat((to + "/PUBLIC/README.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1167988200 - 3600);

    for (const char* zone : {"Mars/Olympus", "../../etc/passwd", ""}) {
        const CliRun r = Cli({"--image", Sample(), "--timezone", zone, "ls", "--volume", "0"});
        EXPECT_EQ(r.status, 2) << zone;
        EXPECT_NE(r.err.find("--timezone: unknown time zone"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(TimelineTest, BodyfileHoldsEveryListedEntryAndMactimeReadsIt) {
    // Every entry of the listing, once, under its on-disk path.
    const CliRun listing = Cli({"--image", Sample(), "ls", "--volume", "0", "-R"});
    ASSERT_EQ(listing.status, 0) << listing.err;
    const CliRun body = Cli({"--image", Sample(), "--timezone", "UTC", "ls", "--volume", "0", "-R", "--bodyfile"});
    ASSERT_EQ(body.status, 0) << body.err;
    const std::vector<std::string> listed = Lines(listing.out), lines = Lines(body.out);
    ASSERT_EQ(lines.size(), listed.size());
    std::map<std::string, std::vector<std::string>> byName;
    std::set<std::string> inodes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> f = BodyFields(lines[i]);
        ASSERT_EQ(f.size(), 11u) << lines[i];
        EXPECT_EQ(f[0], "0");
        const std::vector<std::string> l = Split(listed[i], '\t');
        std::string path = l[6];
        for (char& c : path)
            if (c == '\\') c = '/';
        EXPECT_EQ(f[1], "SYS:/" + path + (l[1] == "1" ? " (deleted)" : "")) << lines[i];
        EXPECT_EQ(f[3][0], l[0] == "D" ? 'd' : 'r');
        EXPECT_EQ(f[6], l[0] == "D" ? "0" : l[3]);
        inodes.insert(f[2]);
        byName[f[1]] = f;
    }
    EXPECT_EQ(inodes.size(), lines.size()) << "entry numbers repeat";
    const auto& report = byName["SYS:/PUBLIC/Project Documents/2007/First Quarter/REPORT.DOC"];
    ASSERT_EQ(report.size(), 11u);
    EXPECT_EQ(report[3], "r/rrw-r--r--");
    EXPECT_EQ(report[9], "0");           // never archived
    EXPECT_EQ(report[10], "1173085498");  // created 2007-03-05 09:04:58
    EXPECT_EQ(report[8], "1173085498");   // last update: the creation where none is kept
    EXPECT_EQ(byName["SYS:/PUBLIC/Project Documents/2007/DRAFT.DOC (deleted)"].size(), 11u);
    EXPECT_EQ(byName["SYS:/TRASH (deleted)"][3], "d/drwxr-xr-x");

    // The zone moves every time; NFS modes and owners; a single file.
    const CliRun tokyo = Cli({"--image", Sample(), "--timezone", "Asia/Tokyo", "ls", "--volume", "0", "--bodyfile",
                              "PUBLIC\\Project Documents\\2007\\First Quarter\\REPORT.DOC"});
    ASSERT_EQ(tokyo.status, 0) << tokyo.err;
    EXPECT_EQ(tokyo.out, "0|SYS:/PUBLIC/Project Documents/2007/First Quarter/REPORT.DOC|" + report[2] +
                             "|r/rrw-r--r--|0|0|" + report[6] + "|0|1173053098|0|1173053098\n");
    const CliRun studio = Cli({"--image", Sample(), "--timezone", "UTC", "ls", "--volume", "2", "--bodyfile", "-R"});
    ASSERT_EQ(studio.status, 0) << studio.err;
    std::map<std::string, std::vector<std::string>> nfs;
    for (const std::string& line : Lines(studio.out)) nfs[BodyFields(line)[1]] = BodyFields(line);
    const auto& brochure = nfs["STUDIO:/Design Studio/Spring brochure.qxd"];
    ASSERT_EQ(brochure.size(), 11u) << studio.out;
    // mode 664, uid 501, gid 20, accessed 2007-03-30, updated 2007-03-19 18:45, created 2007-02-02 10:00
    EXPECT_EQ(std::vector<std::string>(brochure.begin() + 3, brochure.end()),
              (std::vector<std::string>{"r/rrw-rw-r--", "501", "20", "30000", "1175212800", "1174329900", "0",
                                        "1170410400"}));
    EXPECT_EQ(nfs["STUDIO:/Design Studio"][3], "d/drwxrwxr-x");
    EXPECT_EQ(nfs["STUDIO:/Read me first.txt"][3], "r/rr--r--r--");

    if (std::system("command -v mactime >/dev/null 2>&1") != 0) GTEST_SKIP() << "mactime (sleuthkit) is not installed";
    testutil::WriteFile(dir->File("body"), body.out);
    const std::string cmd = "mactime -b " + Quote(dir->File("body")) + " -z UTC -d -y >" + Quote(dir->File("timeline"));
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // Each entry is in the timeline at its creation (the "b" column) with
    // its size and entry number; the name is the last column, quoted.
    std::set<std::string> born;
    for (const std::string& line : Lines(testutil::ReadFile(dir->File("timeline")))) {
        const std::vector<std::string> f = Split(line, ',');
        if (f.size() < 8 || f[2].find('b') == std::string::npos) continue;
        const std::string quoted = line.substr(line.find(",\"") + 1);
        born.insert(quoted.substr(1, quoted.size() - 2) + "|" + f[1] + "|" + f[6] + "|" + f[0]);
    }
    for (const auto& [name, f] : byName) {
        const std::int64_t created = std::stoll(f[10]);
        if (created == 0) continue;  // LOST, made by the program, has no times
        char when[64];
        const std::time_t t = created;
        std::tm tm{};
        gmtime_r(&t, &tm);
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
        EXPECT_TRUE(born.count(name + "|" + f[6] + "|" + f[2] + "|" + when)) << name << " " << when;
    }
}

// 4 MiB of pseudo-random bytes with a marker at byte 1500000 (sector 2929,
// chunk 45 of 64-sector chunks).
std::string EvidenceBytes() {
    std::string bytes(4u << 20, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x);
    }
    bytes.replace(1500000, 23, "MARKER-0123456789abcdef");
    return bytes;
}

std::string ToolHash(const std::string& tool, const std::string& path) {
    const std::string out = path + "." + tool;
    if (std::system((tool + " " + Quote(path) + " >" + Quote(out)).c_str()) != 0) return {};
    return testutil::ReadFile(out).substr(0, tool == "md5sum" ? 32 : 64);
}

TEST_F(TimelineTest, VerifyHashesAPlainImageAndNamesWhatCouldNotBeRead) {
    const std::string raw = dir->File("plain.img");
    testutil::WriteFile(raw, EvidenceBytes());
    const CliRun r = Cli({"--image", raw, "verify"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MD5\t\t" + ToolHash("md5sum", raw) + "\tnot stored\nSHA256\t\t" + ToolHash("sha256sum", raw) +
                         "\tnot stored\n");
    // Sectors a mapfile marks bad are named and make the status 3.
    testutil::WriteFile(dir->File("plain.map"), "0x0 +\n0x0 0x100000 +\n0x100000 0x400 -\n0x100400 0x300000 +\n");
    const CliRun bad = Cli({"--image", raw, "--badmap", dir->File("plain.map"), "--bad-sectors", "skip-all", "verify"});
    EXPECT_EQ(bad.status, 3) << bad.err;
    EXPECT_NE(bad.err.find("sectors 2048-2049 could not be read (bad sector)"), std::string::npos) << bad.err;
    EXPECT_EQ(Lines(bad.out).size(), 2u);
    // Stopped (the first progress step acts as Ctrl-C): 130, no records.
    const CliRun stopped = Cli({"--image", raw, "verify"}, "TARVINE_CLI_STOP_AFTER_STEPS=1 ");
    EXPECT_EQ(stopped.status, 130) << stopped.err;
    EXPECT_TRUE(stopped.out.empty());
    EXPECT_NE(stopped.err.find("verify: stopped after 2048 of 8192 sectors"), std::string::npos) << stopped.err;
}

TEST_F(TimelineTest, VerifyChecksAnE01SetAgainstItsStoredHashes) {
    if (std::system("command -v ewfacquire >/dev/null 2>&1") != 0) GTEST_SKIP() << "ewfacquire (ewf-tools) is not installed";
    const std::string raw = dir->File("evidence.img");
    testutil::WriteFile(raw, EvidenceBytes());
    // Uncompressed chunks of 64 sectors, so that the marker stays findable in the segment file.
    const std::string acquire = "ewfacquire -u -q -c none -b 64 -d sha1 -t " + Quote(dir->File("evidence")) + " " +
                                Quote(raw) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(acquire.c_str()), 0);
    const std::string set = dir->File("evidence.E01");
    const std::string md5 = ToolHash("md5sum", raw), sha1 = ToolHash("sha1sum", raw).substr(0, 40);
    const CliRun r = Cli({"--image", set, "verify", "--disk", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MD5\t" + md5 + "\t" + md5 + "\tmatch\nSHA1\t" + sha1 + "\t" + sha1 + "\tmatch\n");

    // A copy with one byte of a chunk's data changed: the chunk is named
    // unreadable (its checksum fails) or the hash differs; either way 3.
    std::string bytes = testutil::ReadFile(set);
    const std::size_t at = bytes.find("MARKER-0123456789abcdef");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 3] ^= 0x20;
    const std::string copy = dir->File("flipped.E01");
    testutil::WriteFile(copy, bytes);
    const CliRun flipped = Cli({"--image", copy, "--bad-sectors", "skip-all", "verify"});
    EXPECT_EQ(flipped.status, 3) << flipped.out << flipped.err;
    const bool named = flipped.err.find("chunk 45 (") != std::string::npos;
    const bool differs = flipped.out.find("\tdiffers\n") != std::string::npos;
    EXPECT_TRUE(named || differs) << flipped.out << flipped.err;
}

}  // namespace
