// Saving from a volume with MAC, NFS and LONG name spaces: long names,
// AppleDouble companions with the exact fork and Finder info, Unix modes,
// symbolic links, and the server's modification and access times.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>

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
    // Builds the description, lets `alter` change the image and mounts it.
    void UseAlteredAndMount(const std::string& description, const std::function<void(nwimage::Image&)>& alter) {
        image = nwimage::Build(nwimage::ParseDescription(description));
        alter(image);
        imagePath = dir.File("disk.img");
        nwimage::WriteImageFile(image, imagePath);
        ASSERT_EQ(disks.Attach(imagePath), "");
        Remount();
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

// Entry n of DET copy `copy`: its sector and its byte in the sector.
std::pair<std::uint64_t, std::size_t> EntryPlace(const nwimage::BuiltVolume& v, int copy, std::uint32_t n) {
    const auto& chain = copy == 1 ? v.det1 : v.det2;
    const std::uint32_t perBlock = 4 * v.sectorsPerBlock;
    return {v.startSector + std::uint64_t(chain.at(n / perBlock)) * v.sectorsPerBlock + (n % perBlock) / 4,
            std::size_t(n % 4) * 128};
}
// Writes `value` (little-endian, `width` bytes) at `at` of entry n in both copies.
void PutLe(nwimage::Image& img, std::uint32_t n, std::size_t at, std::uint32_t value, int width = 4) {
    for (int copy : {1, 2}) {
        auto [sector, offset] = EntryPlace(img.volumes[0], copy, n);
        std::array<std::uint8_t, 512> s{};
        img.Read(sector, s.data());
        for (int k = 0; k < width; ++k) s[offset + at + k] = static_cast<std::uint8_t>(value >> (8 * k));
        img.sectors[sector] = s;
    }
}

// Two entries of one file in two folders: their NFS records (right after
// each DOS record) carry the hard-link flag at 0x4E and name each other at
// 0x50 (next), 0x54 (end) and 0x58 (previous).
const char* kLinkedDisk = R"(disk seed=29
partition first=63 count=40000
volume UNIXVOL spb=8 blocks=4000 namespaces=dos,nfs,long
folder A long="alpha"
folder B long="beta"
file ONE.TXT in=A long="one.txt" text="the same data" mode=640
file TWO.TXT in=B long="two.txt" text="the same data" mode=640
file OWN.TXT long="own.txt" text="the same data"
)";

void LinkPair(nwimage::Image& img) {
    const std::uint32_t one = img.volumes[0].entries[2].entryNumber;
    const std::uint32_t two = img.volumes[0].entries[3].entryNumber;
    for (auto [self, other] : {std::pair{one, two}, std::pair{two, one}}) {
        PutLe(img, self + 1, 0x4E, 0x04, 1);   // link flag: hard link
        PutLe(img, self + 1, 0x4A, 2);         // link count
        PutLe(img, self + 1, 0x50, other);     // next: the other file's DOS record
        PutLe(img, self + 1, 0x54, other + 1);  // end: the other file's NFS record
        PutLe(img, self + 1, 0x58, self);
    }
}

TEST_F(NameSpaceSaveTest, HardLinkedEntriesAreSavedAsOneFileUnlessLinksAreCopied) {
    UseAlteredAndMount(kLinkedDisk, LinkPair);
    CheckAll();
    job.replacePolicy = recovery::kReplaceAll;
    EXPECT_TRUE(Save().failed.empty());
    const struct stat one = Stat("alpha/one.txt"), two = Stat("beta/two.txt"), own = Stat("own.txt");
    EXPECT_EQ(one.st_ino, two.st_ino);
    EXPECT_EQ(one.st_nlink, 2u);
    EXPECT_NE(own.st_ino, one.st_ino);
    EXPECT_EQ(ReadTree(destination).files.at("beta/two.txt"), "the same data");

    // A re-run replaces both names by one new file again.
    EXPECT_TRUE(Save().failed.empty());
    EXPECT_EQ(Stat("alpha/one.txt").st_ino, Stat("beta/two.txt").st_ino);

    destination = dir.File("copies");
    settings.extras.links = recovery::LinkForm::Copy;
    Save();
    EXPECT_NE(Stat("alpha/one.txt").st_ino, Stat("beta/two.txt").st_ino);
    EXPECT_EQ(Stat("beta/two.txt").st_nlink, 1u);
}

// Companions and symbolic links take the entry's time, not the save's.
TEST_F(NameSpaceSaveTest, CompanionsAndSymbolicLinksTakeTheEntrysTimes) {
    UseAndMount(R"(disk seed=30
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,nfs,long
file PIC.PCT long="pic" size=300 finder=PICTMACA fork-size=200 time=2005-03-04T05:06:00 modified=2006-07-08T09:10:00
file DOT.TXT long=".link.link" text="keep me"
file LINK long="link" symlink="pic" time=2004-01-02T03:04:00
)");
    CheckAll();
    Save();
    // The link is made under a hidden name of its own: a saved file whose
    // name could be that hidden name stays.
    EXPECT_EQ(ReadTree(destination).files.at(".link.link"), "keep me");
    EXPECT_EQ(Stat("._pic").st_mtime, Local(2006, 7, 8, 9, 10));
    EXPECT_EQ(Stat("link").st_mtime, Local(2004, 1, 2, 3, 4));
    EXPECT_TRUE(S_ISLNK(Stat("link").st_mode));
}

// Links already in the destination (a saved symbolic link, or one put
// there meanwhile) never carry a later write out of it: a file replaces
// the link, a folder of that name is not entered through it.
TEST_F(NameSpaceSaveTest, LinksInTheDestinationNeverRedirectAWrite) {
    UseAndMount(R"(disk seed=31
partition first=63 count=40000
volume UNIXVOL spb=8 blocks=4000 namespaces=dos,nfs,long
folder SUB long="sub"
file IN.TXT in=SUB long="in.txt" text="inside"
file TOP.TXT long="top.txt" text="top"
)");
    const std::string outside = dir.File("outside");
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(destination.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (destination + "/sub").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/top.txt").c_str(), (destination + "/top.txt").c_str()), 0);
    job.replacePolicy = recovery::kReplaceAll;
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    EXPECT_TRUE(S_ISREG(Stat("top.txt").st_mode));
    EXPECT_EQ(outcome.failed.size(), 1u);  // sub/in.txt: its folder is a link
}

// A folder whose mode takes away the owner's write permission (0555) gets
// it only after its children are written, and a second save into the same
// destination by the same (non-root) user still writes into it.
TEST_F(NameSpaceSaveTest, AReadOnlyFolderNeitherBlocksItsSaveNorARerunByItsOwner) {
    UseAndMount(R"(disk seed=32
partition first=63 count=40000
volume UNIXVOL spb=8 blocks=4000 namespaces=dos,nfs,long
folder RO long="read only" mode=555
folder DEEP in=RO long="deep" mode=500
file IN.TXT in=RO\DEEP long="in.txt" text="inside" mode=444
)");
    CheckAll();
    // The saves run in a child process as an unprivileged user: root
    // passes every permission check.
    const std::string parent = dir.File("shared");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
    ASSERT_EQ(::mkdir(parent.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(parent.c_str(), 0777), 0);
    destination = parent + "/out";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the saves as another user";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
        int code = 0;
        job.replacePolicy = recovery::kReplaceAll;
        for (int run = 0; run < 2; ++run) {
            const recovery::SaveOutcome outcome = Save();
            code = code * 10 + static_cast<int>(outcome.failed.size());
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed files of the first and second run (tens, ones)";
    EXPECT_EQ(Stat("read only").st_mode & 07777, 0555u);
    EXPECT_EQ(Stat("read only/deep").st_mode & 07777, 0500u);
    EXPECT_EQ(ReadTree(destination).files.at("read only/deep/in.txt"), "inside");
}

}  // namespace
}  // namespace rectest
