// Sectors a file, a directory or a table needs that cannot be read because
// they are not there at all (past the end of a cut image, in a missing piece
// of a split image, in a segment placed past its disk's end, in no segment)
// count as unreadable like a bad sector: the file is damaged with its byte
// count and the command exits 3. A tree that cannot be read in either
// directory copy makes `ls` and `save` exit 3.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "common/TempDir.h"
#include "netware/Records.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliPath;
using clitest::CliRun;
using clitest::Quote;

class UnreadSectorsTest : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
        const int raw = std::system(cmd.c_str());
        CliRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(dir.File("out"));
        r.err = testutil::ReadFile(dir.File("err"));
        return r;
    }
    static void Truncate(const std::string& path, std::uint64_t bytes) {
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(bytes)), 0) << path;
    }
    // The spanned sample: BIGVOL over two segments of span0.img and one of span1.img.
    std::vector<nwimage::Image> WriteSpannedSample() {
        const std::string text = testutil::ReadFile(std::string(TARVINE_SOURCE_DIR) + "/tools/nwimage/sample-span.nwd");
        std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(text));
        nwimage::WriteImageFile(disks[0], span0);
        nwimage::WriteImageFile(disks[1], span1);
        return disks;
    }
    // The volume number `volumes` gives BIGVOL.
    std::string BigvolNumber() {
        const CliRun r = Cli({"--image", span0, "--image", span1, "volumes"});
        std::size_t at = r.out.find("\tBIGVOL\t");
        EXPECT_NE(at, std::string::npos) << r.out << r.err;
        if (at == std::string::npos) return "0";
        const std::size_t line = r.out.rfind('\n', at);
        return r.out.substr(line == std::string::npos ? 0 : line + 1, at - (line == std::string::npos ? 0 : line + 1));
    }

    testutil::TempDir dir;
    const std::string span0 = dir.File("span0.img"), span1 = dir.File("span1.img");
};

// Six files of 300,000 bytes; the image cut inside the fourth one's data.
TEST_F(UnreadSectorsTest, ImageCutShortMakesTheFilesPastItsEndDamaged) {
    std::string text = "disk seed=3\npartition first=63 count=20000\nvolume SYS spb=8 blocks=2000\n";
    for (int i = 1; i <= 6; ++i) text += "file F" + std::to_string(i) + ".BIN size=300000\n";
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(text));
    const std::string path = dir.File("cut.img");
    nwimage::WriteImageFile(image, path);
    const nwimage::BuiltVolume& v = image.volumes[0];
    const std::uint64_t cut = (v.startSector + static_cast<std::uint64_t>(v.entries[3].blocks.at(20)) * 8) * 512 + 100;
    std::size_t beyond = 0;  // files with data past the cut
    for (const nwimage::BuiltEntry& e : v.entries) {
        bool past = false;
        for (std::uint32_t b : e.blocks) past |= (v.startSector + static_cast<std::uint64_t>(b + 1) * 8) * 512 > cut;
        beyond += past;
    }
    ASSERT_GE(beyond, 1u);
    Truncate(path, cut);

    CliRun r = Cli({"--image", path, "save", "--volume", "0", "--to", dir.File("to")});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("files damaged\t" + std::to_string(beyond) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("F4.BIN: damaged: "), std::string::npos) << r.err;
    r = Cli({"--image", path, "cat", "--volume", "0", "F4.BIN"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.size(), 300000u);
    EXPECT_NE(r.err.find("bytes could not be read"), std::string::npos) << r.err;
    r = Cli({"--image", path, "cat", "--volume", "0", "F1.BIN"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(UnreadSectorsTest, SpannedVolumeWhoseSecondDiskIsCutShortOrWhoseSegmentLiesPastItsEnd) {
    const std::vector<nwimage::Image> disks = WriteSpannedSample();
    const std::string volume = BigvolNumber();
    CliRun r = Cli({"--image", span0, "--image", span1, "cat", "--volume", volume, "ARCHIVE\\OLD.ZIP"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string whole = r.out;
    ASSERT_EQ(whole.size(), 30720u);

    // span1.img cut to 3,000,000 bytes: OLD.ZIP (blocks 2300..2307) lies past it
    Truncate(span1, 3000000);
    r = Cli({"--image", span0, "--image", span1, "cat", "--volume", volume, "ARCHIVE\\OLD.ZIP"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("30720 bytes could not be read"), std::string::npos) << r.err;

    // span1.img whole again, but its segment's start moved past that disk's
    // end in its volume table: every block of the segment lies past the end
    nwimage::WriteImageFile(disks[1], span1);
    const nwimage::BuiltSegment& seg = disks[0].volumes.at(1).segments.at(2);
    ASSERT_EQ(seg.disk, 1u);
    std::string bytes = testutil::ReadFile(span1);
    const std::uint64_t sectors = bytes.size() / 512;
    for (std::uint64_t copy = 0; copy < nw::kVolumeTableCopies; ++copy) {
        const std::uint64_t table = (seg.volumeAreaSector + copy * nw::kVolumeTableSpacing) * 512;
        // the one entry of this table: its start field at 0x18, counted from V - 32
        const std::size_t field = table + 0x20 + 0x18;
        const std::uint32_t start = static_cast<std::uint32_t>(sectors + 1000 - (seg.volumeAreaSector - 32));
        for (int b = 0; b < 4; ++b) bytes[field + b] = static_cast<char>(start >> (8 * b));
    }
    testutil::WriteFile(span1, bytes);
    r = Cli({"--image", span0, "--image", span1, "cat", "--volume", volume, "ARCHIVE\\OLD.ZIP"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(r.out == std::string(30720, '\0'));
}

// x.img cut into 1 MiB pieces x.img.001 .. x.img.010, x.img.008 removed.
TEST_F(UnreadSectorsTest, SplitImageWithAMiddlePieceRemovedReadsItsLaterPiecesAndNamesTheGap) {
    std::string text = "disk seed=9\npartition first=63 count=19000\nvolume SYS spb=8 blocks=2300\n";
    for (int i = 1; i <= 45; ++i) text += "file F" + std::to_string(i) + ".BIN size=200000\n";
    nwimage::DiskSpec layout = nwimage::ParseDescription(text);
    layout.totalSectors = 19200;  // 9.375 MiB: ten pieces, the last one shorter
    const nwimage::Image image = nwimage::Build(layout);
    const std::string whole = dir.File("x.img");
    nwimage::WriteImageFile(image, whole);
    const std::string bytes = testutil::ReadFile(whole);
    ASSERT_EQ(bytes.size(), 19200u * 512);
    const std::size_t piece = 1u << 20;
    for (std::size_t i = 0; i * piece < bytes.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, ".%03zu", i + 1);
        testutil::WriteFile(whole + name, bytes.substr(i * piece, piece));
    }
    ASSERT_EQ(::unlink((whole + ".008").c_str()), 0);
    ASSERT_EQ(::unlink(whole.c_str()), 0);
    const std::string first = whole + ".001";

    CliRun r = Cli({"--image", first, "disks"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\t" + std::to_string(bytes.size()) + "\t"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(whole + ".008 is missing"), std::string::npos) << r.err;

    // Every file is either whole or damaged, never wrong without a word.
    const nwimage::BuiltVolume& v = image.volumes[0];
    std::size_t inGap = 0;
    for (std::size_t i = 0; i < v.entries.size(); ++i) {
        bool gap = false;
        for (std::uint32_t b : v.entries[i].blocks) {
            const std::uint64_t at = (v.startSector + static_cast<std::uint64_t>(b) * 8) * 512;
            gap |= at + 8 * 512 > 7 * piece && at < 8 * piece;
        }
        inGap += gap;
        const std::string name = "F" + std::to_string(i + 1) + ".BIN";
        r = Cli({"--image", first, "cat", "--volume", "0", name});
        SCOPED_TRACE(name);
        EXPECT_EQ(r.status, gap ? 3 : 0) << r.err;
        if (!gap) {
            EXPECT_TRUE(r.out == std::string(v.entries[i].stored.begin(), v.entries[i].stored.end()));
        }
    }
    EXPECT_GE(inGap, 1u);
    r = Cli({"--image", first, "save", "--volume", "0", "--to", dir.File("to")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("files damaged\t" + std::to_string(inGap) + "\n"), std::string::npos) << r.out;
}

// BIGVOL attached without the disk of its first two segments: the FAT lies
// there, so DET copy 2's chain cannot be followed past its first block and
// what the mount found is not known to be the whole tree.
TEST_F(UnreadSectorsTest, SpannedVolumeWithoutItsFirstSegmentsDiskIsAnIncompleteTree) {
    WriteSpannedSample();
    // blocks 0..1399 lie in the two missing segments; how they divide them is not known
    const CliRun v = Cli({"--image", span1, "volumes"});
    EXPECT_NE(v.out.find("\t?:?:0:?,?:?:?:?,0:2368:1400:1000\n"), std::string::npos) << v.out;
    for (const char* command : {"ls", "save"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {"--image", span1, command, "--volume", "0"};
        if (std::string(command) == "save") args.insert(args.end(), {"--to", dir.File("to")});
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_NE(r.err.find("The directory of volume BIGVOL could not be read in full: its chain could not be "
                             "followed past block 1450"),
                  std::string::npos)
            << r.err;
        // what could be read is still shown and saved
        if (std::string(command) == "ls")
            EXPECT_NE(r.out.find("\tARCHIVE\n"), std::string::npos) << r.out;
        else
            EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("to/ARCHIVE/NOTES.TXT")));
    }
    // with both disks the same volume is whole
    const CliRun r = Cli({"--image", span0, "--image", span1, "ls", "--volume", BigvolNumber()});
    EXPECT_EQ(r.status, 0) << r.err;
}

// One directory block unreadable in both copies while the others read: the
// entries of the readable blocks are listed, and the command exits 3.
TEST_F(UnreadSectorsTest, DirectoryBlockUnreadableInBothCopiesIsAnIncompleteTree) {
    std::string text = "disk seed=5\npartition first=63 count=9000\nvolume SYS spb=8 blocks=1000 det-blocks=3\n";
    for (int i = 1; i <= 70; ++i) text += "file F" + std::to_string(i) + ".TXT text=\"x\"\n";
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(text));
    const std::string path = dir.File("det.img");
    nwimage::WriteImageFile(image, path);
    const nwimage::BuiltVolume& v = image.volumes[0];
    ASSERT_GE(v.det1.size(), 2u);
    ASSERT_GE(v.det2.size(), 2u);
    std::vector<std::uint64_t> bad = {v.startSector + static_cast<std::uint64_t>(v.det1[1]) * 8,
                                      v.startSector + static_cast<std::uint64_t>(v.det2[1]) * 8};
    std::sort(bad.begin(), bad.end());
    char line[160];
    std::snprintf(line, sizeof line, "# Mapfile\n0x0 +\n0x0 0x%llX +\n0x%llX 0x1000 -\n0x%llX 0x%llX +\n",
                  (unsigned long long)bad[0] * 512, (unsigned long long)bad[0] * 512,
                  (unsigned long long)(bad[0] + 8) * 512, (unsigned long long)(bad[1] - bad[0] - 8) * 512);
    std::string map = line;
    std::snprintf(line, sizeof line, "0x%llX 0x1000 -\n0x%llX 0x%llX +\n", (unsigned long long)bad[1] * 512,
                  (unsigned long long)(bad[1] + 8) * 512,
                  (unsigned long long)(image.totalSectors - bad[1] - 8) * 512);
    map += line;
    testutil::WriteFile(dir.File("det.map"), map);
    const CliRun r = Cli({"--image", path, "--badmap", dir.File("det.map"), "--bad-sectors", "skip-all", "ls",
                          "--volume", "0"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("The directory of volume SYS could not be read in full: 8 sectors could not be read in "
                         "either copy"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("\tF1.TXT\n"), std::string::npos) << r.out;
}

// A QCOW2 image of a volume cut at half its length: what lies in the lost
// half is unreadable, never zeros taken as data.
TEST_F(UnreadSectorsTest, QcowImageCutAtHalfCountsWhatIsLostAsUnreadable) {
    if (std::system("command -v qemu-img >/dev/null 2>&1") != 0) GTEST_SKIP() << "qemu-img is not installed";
    std::string text = "disk seed=6\npartition first=63 count=20000\nvolume SYS spb=8 blocks=2000\n";
    for (int i = 1; i <= 8; ++i) text += "file F" + std::to_string(i) + ".BIN size=200000\n";
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(text));
    nwimage::WriteImageFile(image, dir.File("v.img"));
    const std::string qcow = dir.File("v.qcow2");
    ASSERT_EQ(std::system(("qemu-img convert -O qcow2 " + Quote(dir.File("v.img")) + " " + Quote(qcow)).c_str()), 0);
    Truncate(qcow, std::filesystem::file_size(qcow) / 2);
    CliRun r = Cli({"--image", qcow, "ls", "--volume", "0"});
    ASSERT_EQ(r.status, 0) << r.err;  // the directory lies in the first half
    r = Cli({"--image", qcow, "save", "--volume", "0", "--to", dir.File("to")});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_EQ(r.out.find("files damaged\t0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("F8.BIN: damaged: "), std::string::npos) << r.err;
}

// A mapfile marking every sector of both directory copies unread.
TEST_F(UnreadSectorsTest, TreeUnreadableInBothDirectoryCopiesIsAFailure) {
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(
        "disk seed=4\npartition first=63 count=9000\nvolume SYS spb=8 blocks=1000\nfolder DOCS\n"
        "file A.TXT in=DOCS text=\"a\"\nfile B.BIN size=20000\n"));
    const std::string path = dir.File("det.img");
    nwimage::WriteImageFile(image, path);
    const nwimage::BuiltVolume& v = image.volumes[0];
    std::vector<std::uint64_t> bad;  // first sectors of the directory blocks, both copies
    for (std::uint32_t b : v.det1) bad.push_back(v.startSector + static_cast<std::uint64_t>(b) * 8);
    for (std::uint32_t b : v.det2) bad.push_back(v.startSector + static_cast<std::uint64_t>(b) * 8);
    std::sort(bad.begin(), bad.end());
    char line[80];
    std::string map = "# Mapfile\n0x00000000     +               1\n";
    std::uint64_t at = 0;
    for (std::uint64_t s : bad) {
        std::snprintf(line, sizeof line, "0x%llX 0x%llX +\n0x%llX 0x%X -\n", (unsigned long long)at * 512,
                      (unsigned long long)(s - at) * 512, (unsigned long long)s * 512, 8 * 512);
        map += line;
        at = s + 8;
    }
    std::snprintf(line, sizeof line, "0x%llX 0x%llX +\n", (unsigned long long)at * 512,
                  (unsigned long long)(image.totalSectors - at) * 512);
    map += line;
    testutil::WriteFile(dir.File("det.map"), map);

    for (const char* command : {"ls", "save"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {"--image", path, "--badmap", dir.File("det.map"), "--bad-sectors", "skip-all",
                                          command, "--volume", "0"};
        if (std::string(command) == "save") args.insert(args.end(), {"--to", dir.File("to")});
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_NE(r.err.find("could not be read in either copy"), std::string::npos) << r.err;
    }
    // one copy is enough
    const CliRun r = Cli({"--image", path, "ls", "--volume", "0", "-R"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("A.TXT"), std::string::npos) << r.out;
}

}  // namespace
