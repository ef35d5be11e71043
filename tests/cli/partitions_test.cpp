// What is on a disk, through the command line: `disks --partitions` on an
// MBR disk with NetWare 386, NSS, FAT32 and an extended partition holding
// ext4 (made by the real mkfs tools), and on a GPT disk; the notes after a
// search's result; searches limited to one partition.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "common/PartitionBytes.h"
#include "common/TempDir.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliRun;
using clitest::Quote;
using partbytes::Entry;
constexpr std::size_t kSector = 512;

// The layout of the test disk, in sectors.
constexpr std::uint32_t kNetWareStart = 2048, kNetWareSectors = 61440;
constexpr std::uint32_t kNssStart = 63488, kNssSectors = 4096;
constexpr std::uint32_t kFatStart = 67584, kFatSectors = 69632;
constexpr std::uint32_t kExtStart = 137216, kExtSectors = 10240;
constexpr std::uint32_t kLogicalStart = kExtStart + 2048, kLogicalSectors = 8192;
constexpr std::uint32_t kDiskSectors = kExtStart + kExtSectors;

const char* const kNssNote2 =
    "Partition 2 holds an NSS pool (NetWare 5 and later). This program reads NetWare traditional volumes; raw mode "
    "can still carve documents from it.";

class PartitionsCliTest : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(clitest::CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(dir.File("out"));
        r.err = testutil::ReadFile(dir.File("err"));
        return r;
    }
    // A file system made by `mkfs` (the command, with {} for the file) on a
    // file of `sectors`; "" when the tool is missing.
    std::string Made(const std::string& mkfs, std::uint32_t sectors) {
        const std::string path = dir.File("fs.img");
        testutil::WriteFile(path, std::string(static_cast<std::size_t>(sectors) * kSector, '\0'));
        std::string cmd = mkfs;
        cmd.replace(cmd.find("{}"), 2, Quote(path));
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) return "";
        return testutil::ReadFile(path);
    }
    // The MBR disk of the five partitions; false when a mkfs tool is missing.
    bool WriteMixedDisk(const std::string& path) {
        nwimage::DiskSpec layout;
        layout.totalSectors = kDiskSectors;
        nwimage::PartitionSpec netware;
        netware.slot = 0;
        netware.firstSector = kNetWareStart;
        netware.sectorCount = kNetWareSectors;
        nwimage::VolumeSpec sys;
        sys.name = "SYS";
        sys.blocks = 3000;
        nwimage::EntrySpec file;
        file.name = "README.TXT";
        file.size = 3000;
        sys.entries.push_back(file);
        netware.volumes.push_back(sys);
        layout.partitions.push_back(netware);
        nwimage::PartitionSpec nss;
        nss.slot = 1;
        nss.type = 0x69;
        nss.firstSector = kNssStart;
        nss.sectorCount = kNssSectors;
        layout.partitions.push_back(nss);
        nwimage::DocumentSpec doc;
        doc.sector = kNssStart + 100;
        layout.documents.push_back(doc);
        nwimage::WriteImageFile(nwimage::Build(layout), path);

        const std::string fat = Made("mkfs.vfat -F 32 -s 1 -n FATDATA {}", kFatSectors);
        const std::string ext = Made("mkfs.ext4 -q -F -L backup {}", kLogicalSectors);
        if (fat.empty() || ext.empty()) return false;
        std::string img = testutil::ReadFile(path);
        Entry(img, 0, 2, 0x0c, kFatStart, kFatSectors);
        Entry(img, 0, 3, 0x05, kExtStart, kExtSectors);
        Entry(img, kExtStart, 0, 0x83, kLogicalStart - kExtStart, kLogicalSectors);
        std::memcpy(&img[(kNssStart + 8) * kSector], "SPB5", 4);
        img.replace(static_cast<std::size_t>(kFatStart) * kSector, fat.size(), fat);
        img.replace(static_cast<std::size_t>(kLogicalStart) * kSector, ext.size(), ext);
        testutil::WriteFile(path, img);
        return true;
    }
    testutil::TempDir dir;
};

std::string Row(std::initializer_list<std::string> fields) {
    std::string row;
    for (const std::string& f : fields) row += (row.empty() ? "" : "\t") + f;
    return row + "\n";
}

TEST_F(PartitionsCliTest, MixedDiskListsEveryPartitionAndFindsOnlyTheNetWareVolume) {
    const std::string img = dir.File("mixed.img");
    if (!WriteMixedDisk(img)) GTEST_SKIP() << "mkfs.vfat (dosfstools) or mkfs.ext4 (e2fsprogs) is not installed";
    CliRun r = Cli({"--image", img, "disks", "--partitions"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto n = [](std::uint32_t v) { return std::to_string(v); };
    ASSERT_EQ(r.out, Row({"0", "1", n(kNetWareStart), n(kNetWareSectors), "0x65", "netware386", ""}) +
                         Row({"0", "2", n(kNssStart), n(kNssSectors), "0x69", "nss", ""}) +
                         Row({"0", "3", n(kFatStart), n(kFatSectors), "0x0c", "vfat", "FATDATA"}) +
                         Row({"0", "4", n(kExtStart), n(kExtSectors), "0x05", "", ""}) +
                         Row({"0", "5", n(kLogicalStart), n(kLogicalSectors), "0x83", "ext4", "backup"}));

    // The quick search finds the one NetWare volume and names the NSS pool after it.
    r = Cli({"--image", img, "volumes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("0\tSYS\t", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_EQ(r.err, std::string(kNssNote2) + "\n");
    const std::string start = r.out.substr(0, r.out.find('\t', 6));  // "0\tSYS\t<start sector>"

    // The advanced search of partition 1 alone finds it too; of the NSS
    // pool's partition nothing, the note after its own result.
    r = Cli({"--image", img, "volumes", "--advanced", "--partition", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("0\tVolume 0\t" + start.substr(6) + "\t", 0), 0u) << r.out << start;
    r = Cli({"--image", img, "volumes", "--advanced", "--partition", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No volume found, use raw mode\n" + std::string(kNssNote2) + "\n");

    // Raw mode carves from the pool's partition only.
    r = Cli({"--image", img, "raw", "--partition", "2", "--to", dir.File("carved")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
}

TEST_F(PartitionsCliTest, NotesForADiskWithoutNetWareVolumes) {
    // Only the NSS pool: nothing found (exit 1) and the note after the search's text.
    std::string nss(8192 * kSector, '\0');
    Entry(nss, 0, 0, 0x83, 2048, 4096);
    std::memcpy(&nss[(2048 + 8) * kSector], "SPB5", 4);
    const std::string nssPath = dir.File("nss.img");
    testutil::WriteFile(nssPath, nss);
    CliRun r = Cli({"--image", nssPath, "volumes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No volume found, use advance mode\nPartition 1 holds an NSS pool (NetWare 5 and later). This program "
              "reads NetWare traditional volumes; raw mode can still carve documents from it.\n");

    // Only other file systems: one line each, by their readable names.
    std::string other(90000 * kSector, '\0');
    const std::string fat = Made("mkfs.vfat -F 32 -s 1 {}", 69632);
    const std::string ext = Made("mkfs.ext4 -q -F {}", 8192);
    if (fat.empty() || ext.empty()) GTEST_SKIP() << "mkfs.vfat (dosfstools) or mkfs.ext4 (e2fsprogs) is not installed";
    Entry(other, 0, 0, 0x0c, 2048, 69632);
    Entry(other, 0, 1, 0x83, 71680, 8192);
    other.replace(2048 * kSector, fat.size(), fat);
    other.replace(71680 * kSector, ext.size(), ext);
    const std::string otherPath = dir.File("other.img");
    testutil::WriteFile(otherPath, other);
    r = Cli({"--image", otherPath, "volumes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No volume found, use advance mode\nPartition 1 holds a FAT32 file system, not a NetWare volume\n"
              "Partition 2 holds an ext4 file system, not a NetWare volume\n");
}

// Tables written by sfdisk (util-linux) are listed as sfdisk's own dump
// gives them: numbers, starts and sizes, and the GPT types by name.
TEST_F(PartitionsCliTest, TablesWrittenBySfdiskReadAsSfdiskDumpsThem) {
    const std::string mbr = dir.File("mbr.img"), gpt = dir.File("gpt.img");
    testutil::WriteFile(mbr, std::string(16 << 20, '\0'));
    testutil::WriteFile(gpt, std::string(8 << 20, '\0'));
    const std::string script = "printf 'label: dos\\n,1M,65\\n,1M,69\\n,8M,5\\n,1M,83\\n,1M,7\\n,1M,c\\n' | sfdisk -q " +
                               Quote(mbr) + " && sfdisk -d " + Quote(mbr) + " > " + Quote(dir.File("dump")) +
                               " && printf 'label: gpt\\n,1M,U\\n,2M,L\\n' | sfdisk -q " + Quote(gpt);
    if (std::system(("(" + script + ") >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "sfdisk (fdisk) is not installed";
    // "NAME5 : start=        8192, size=        2048, type=7"
    std::string want;
    std::istringstream dump(testutil::ReadFile(dir.File("dump")));
    for (std::string line; std::getline(dump, line);) {
        unsigned long number = 0, start = 0, size = 0;
        char type[8] = {};
        const std::size_t colon = line.find(" : start=");
        if (colon == std::string::npos) continue;
        std::size_t digits = colon;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1]))) --digits;
        number = std::stoul(line.substr(digits, colon - digits));
        ASSERT_EQ(std::sscanf(line.c_str() + colon, " : start= %lu, size= %lu, type=%7s", &start, &size, type), 3);
        char code[8];
        std::snprintf(code, sizeof code, "0x%02lx", std::strtoul(type, nullptr, 16));
        want += Row({"0", std::to_string(number), std::to_string(start), std::to_string(size), code,
                     number == 1 ? "netware386" : number == 2 ? "nss" : "", ""});
    }
    CliRun r = Cli({"--image", mbr, "disks", "--partitions"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::count(want.begin(), want.end(), '\n'), 6);
    EXPECT_EQ(r.out, want);
    r = Cli({"--image", gpt, "disks", "--partitions"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // both checksums right
    EXPECT_EQ(r.out, Row({"0", "1", "2048", "2048", "EFI system", "", ""}) +
                         Row({"0", "2", "4096", "4096", "Linux filesystem", "", ""}));
}

TEST_F(PartitionsCliTest, GptDiskAndRefusedPartitionOptions) {
    const std::string gpt = dir.File("gpt.img");
    testutil::WriteFile(gpt, partbytes::GptDisk());
    CliRun r = Cli({"--image", gpt, "disks", "--partitions"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Row({"0", "1", "34", "1024", "EFI system", "", ""}) +
                         Row({"0", "3", "2048", "1953", "13121110-1514-1716-1819-1A1B1C1D1E1F", "", ""}));

    struct Refused {
        std::vector<std::string> args;
        const char* message;
    };
    const Refused refused[] = {
        {{"volumes", "--partition", "1"}, "--partition limits the advanced search"},
        {{"volumes", "--advanced", "--partition", "2"}, "disk 0 has no partition 2"},
        {{"raw", "--to", dir.File("r"), "--partition", "1", "--start", "0", "--end", "9"},
         "--partition and --start/--end cannot be given together"},
        {{"raw", "--to", dir.File("r"), "--partition", "x"}, "--partition needs a number"},
    };
    for (const Refused& c : refused) {
        std::vector<std::string> args = {"--image", gpt};
        args.insert(args.end(), c.args.begin(), c.args.end());
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

}  // namespace
