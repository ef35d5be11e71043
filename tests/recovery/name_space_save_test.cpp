// Saving from a volume with MAC, NFS and LONG name spaces: long names,
// AppleDouble companions with the exact fork and Finder info, Unix modes,
// symbolic links, and the server's modification and access times.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "RecoveryFixture.h"

namespace rectest {
namespace {

const char* kMacDisk = R"(disk seed=26
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,nfs,long
folder PROJ long="Mac Projects" mode=750 time=2007-01-01 modified=2007-05-01T10:00:00
file REPORT.DOC in=PROJ long="Quarterly Report.doc" size=5000 finder=WDBNMSWD fork-size=6000 time=2007-01-02 modified=2007-04-03T12:30:00 accessed=2007-06-01 mode=640
file PLAIN.TXT in=PROJ long="Plain text.txt" text="hello" mode=600 time=2006-02-03T04:05:06
file CURRENT in=PROJ long="current" symlink="Quarterly Report.doc"
file RO.TXT long="read only.txt" text="ro" mode=444
)";

std::time_t Local(int y, int mo, int d, int h = 0, int mi = 0) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::uint32_t Be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<std::uint8_t>(s[at + k]);
    return v;
}

class NameSpaceSaveTest : public RecoveryTest {
protected:
    struct stat Stat(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat((destination + "/" + path).c_str(), &st), 0) << path;
        return st;
    }
    std::string Fork() const {
        const auto& f = image.volumes[0].entries[1].fork;
        return std::string(f.begin(), f.end());
    }
};

TEST_F(NameSpaceSaveTest, MacAndNfsFilesComeOutWithCompanionsModesLinksAndServerTimes) {
    UseAndMount(kMacDisk);
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    EXPECT_TRUE(outcome.damaged.empty());
    // (Before any reading moves the access time.)
    const struct stat report = Stat("Mac Projects/Quarterly Report.doc");
    const Tree saved = ReadTree(destination);
    const auto& built = image.volumes[0].entries;
    EXPECT_EQ(saved.files.at("Mac Projects/Quarterly Report.doc"),
              std::string(built[1].stored.begin(), built[1].stored.end()));
    EXPECT_EQ(saved.files.at("Mac Projects/Plain text.txt"), "hello");
    EXPECT_EQ(saved.files.at("read only.txt"), "ro");

    // AppleDouble v2: magic, version, two entries; Finder info (9), then the fork (2).
    const std::string ad = saved.files.at("Mac Projects/._Quarterly Report.doc");
    ASSERT_GE(ad.size(), 50u);
    EXPECT_EQ(Be32(ad, 0), 0x00051607u);
    EXPECT_EQ(Be32(ad, 4), 0x00020000u);
    EXPECT_EQ(ad[24] * 256 + ad[25], 2);
    EXPECT_EQ(Be32(ad, 26), 9u);
    EXPECT_EQ(ad.substr(Be32(ad, 30), Be32(ad, 34)), std::string("WDBNMSWD") + std::string(24, '\0'));
    EXPECT_EQ(Be32(ad, 38), 2u);
    EXPECT_EQ(ad.substr(Be32(ad, 42), Be32(ad, 46)), Fork());
    EXPECT_EQ(Be32(ad, 46), 6000u);
    // No fork and no Finder info: no companion.
    EXPECT_EQ(saved.files.count("Mac Projects/._Plain text.txt"), 0u);

    EXPECT_EQ(Stat("Mac Projects/Quarterly Report.doc").st_mode & 07777, 0640u);
    EXPECT_EQ(Stat("Mac Projects/Plain text.txt").st_mode & 07777, 0600u);
    EXPECT_EQ(Stat("read only.txt").st_mode & 07777, 0444u);
    EXPECT_EQ(Stat("Mac Projects").st_mode & 07777, 0750u);

    const struct stat link = Stat("Mac Projects/current");
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    char target[64] = {};
    EXPECT_EQ(::readlink((destination + "/Mac Projects/current").c_str(), target, sizeof target - 1), 20);
    EXPECT_STREQ(target, "Quarterly Report.doc");

    // Last update and last access; without them, the creation time.
    EXPECT_EQ(report.st_mtime, Local(2007, 4, 3, 12, 30));
    EXPECT_EQ(report.st_atime, Local(2007, 6, 1));
    EXPECT_EQ(Stat("Mac Projects/Plain text.txt").st_mtime, Local(2006, 2, 3, 4, 5) + 6);
    EXPECT_EQ(Stat("Mac Projects").st_mtime, Local(2007, 5, 1, 10, 0));
}

TEST_F(NameSpaceSaveTest, ForksNoneAndLinksCopyWriteNoCompanionAndPlainTargets) {
    UseAndMount(kMacDisk);
    CheckAll();
    settings.extras.forks = recovery::ForkForm::None;
    settings.extras.links = recovery::LinkForm::Copy;
    Save();
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(saved.files.count("Mac Projects/._Quarterly Report.doc"), 0u);
    EXPECT_EQ(saved.files.at("Mac Projects/current"), "Quarterly Report.doc");
    EXPECT_TRUE(S_ISREG(Stat("Mac Projects/current").st_mode));
}

// A real entry whose name is a companion's gives way: the companion keeps
// "._NAME" and the entry is saved under a name of its own, so neither
// replaces the other.
TEST_F(NameSpaceSaveTest, AnEntryNamedLikeACompanionIsRenamedNotReplaced) {
    UseAndMount(R"(disk seed=27
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,long
file PIC.PCT long="pic" size=3000 finder=PICTMACA fork-size=2000
file OTHER.TXT long="._pic" text="a real file"
)");
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    EXPECT_TRUE(outcome.damaged.empty());
    const Tree saved = ReadTree(destination);
    ASSERT_EQ(saved.files.count("._pic"), 1u);
    EXPECT_EQ(Be32(saved.files.at("._pic"), 0), 0x00051607u);  // the AppleDouble companion
    EXPECT_EQ(saved.files.at("._pic (2)"), "a real file");
}

TEST_F(NameSpaceSaveTest, AnUnreadableForkMakesItsFileDamaged) {
    image = nwimage::Build(nwimage::ParseDescription(kMacDisk));
    const nwimage::BuiltVolume& v = image.volumes[0];
    image.bad.push_back({v.startSector + std::uint64_t(v.entries[1].forkBlocks[0]) * v.sectorsPerBlock + 1, 2});
    imagePath = dir.File("disk.img");
    nwimage::WriteImageFile(image, imagePath);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    ASSERT_EQ(disks.Attach(imagePath, dir.File("disk.map")), "");
    Remount();
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    ASSERT_EQ(outcome.damaged.size(), 1u);
    EXPECT_EQ(outcome.damaged[0].target, destination + "/Mac Projects/Quarterly Report.doc");
    EXPECT_EQ(outcome.damaged[0].unreadableBytes, 1024u);
    EXPECT_EQ(outcome.damaged[0].reason, "resource fork: 1024 bytes could not be read (zeros in their place)");
    std::string fork = Fork();
    std::fill(fork.begin() + 512, fork.begin() + 1536, '\0');
    const std::string ad = ReadTree(destination).files.at("Mac Projects/._Quarterly Report.doc");
    EXPECT_EQ(ad.substr(Be32(ad, 42)), fork);
}

}  // namespace
}  // namespace rectest
