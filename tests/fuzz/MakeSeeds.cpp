// Writes the seed inputs of every fuzz target from builder disks:
//   fuzz_make_seeds OUTPUT_FOLDER
// makes OUTPUT_FOLDER/<target>/<seed> for each target.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "BaseVolume.h"
#include "FuzzFormats.h"
#include "FuzzSupport.h"
#include "netware/Mount.h"
#include "records/RecoveryLog.h"
#include "tools/nwimage/Description.h"

void ContainerSeeds(const std::filesystem::path& out);  // ContainerSeeds.cpp

namespace {

std::filesystem::path gOut;

void Write(const std::string& target, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path dir = gOut / target;
    std::filesystem::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
        std::exit(1);
    }
}

void TableSeed(const std::string& name, const std::string& description) {
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(description));
    fuzz::SparseSectors sectors(image.sectors.begin(), image.sectors.end());
    Write("volume_tables", name, fuzz::EncodeSectorRecords(sectors, fuzz::kTableDiskSectors));
}

void TableSeeds() {
    TableSeed("one_volume", R"(disk seed=1
partition first=63 count=1200
volume SYS spb=8 blocks=64
folder PUBLIC
file A.TXT in=PUBLIC text="a" sub=whole
)");
    TableSeed("two_volumes_hotfix2", R"(disk seed=2
partition first=100 count=3000 hotfix=2 tables=bad-text,count9,good,good
volume SYS spb=8 blocks=64
file A.TXT text="a"
volume DATA spb=16 blocks=64
file B.TXT text="b"
)");
    TableSeed("two_partitions", R"(disk seed=3
partition first=63 count=1000 slot=1
volume ONE spb=8 blocks=64
file A.TXT text="a"
partition first=2000 count=1000 slot=3 area=64
volume TWO spb=8 blocks=64
file B.TXT text="b"
)");
    TableSeed("tables_wiped", R"(disk seed=4 wipe-sector0
partition first=63 count=1200 wipe-tables
volume SYS spb=8 blocks=100 det-blocks=2
folder PUBLIC
file A.TXT in=PUBLIC size=3000
)");
    TableSeed("long_fat_spb8", R"(disk seed=5 wipe-sector0
partition first=40 count=7000 wipe-tables
volume BIG spb=8 blocks=800
file A.TXT size=100
)");
}

void MountSeeds() {
    Write("mount", "base", fuzz::BaseSeed({0, 0, 0, 0, 0, 0}));
    Write("mount", "spb16", fuzz::BaseSeed({0, 0, 0, 0, 0, 1}));
    // Both directory positions on copy 1.
    const nw::VolumeDescriptor& d = fuzz::Base().descriptor;
    Write("mount", "same_det", fuzz::BaseSeed({0, 0, 0, d.det1FirstBlock ^ d.det2FirstBlock, 0, 0}));
    Write("mount", "fat2_as_fat1", fuzz::BaseSeed({0, d.fat1FirstBlock ^ d.fat2FirstBlock, 0, 0, 0, 0}));
}

void FileReaderSeeds() {
    const nwimage::BuiltVolume& v = fuzz::Base().image.volumes.at(0);
    for (std::size_t i = 0; i < v.entries.size(); ++i) {
        const nwimage::BuiltEntry& e = v.entries[i];
        Write("file_reader", "entry" + std::to_string(i), fuzz::BaseSeed({e.firstBlock, e.directorySize, 0, 0, 0, 0}));
    }
    Write("file_reader", "end_marker", fuzz::BaseSeed({0xFFFFFFFFu, 100, 0, 0, 0, 0}));
}

void CarvingSeeds() {
    const nwimage::DocKind kinds[] = {nwimage::DocKind::Word, nwimage::DocKind::Excel, nwimage::DocKind::PowerPoint,
                                      nwimage::DocKind::Excel5, nwimage::DocKind::Zip};
    const char* names[] = {"word", "excel", "powerpoint", "excel5", "zip"};
    // Documents start past sector 0: the scan takes only starts above the
    // last kept sector, which begins at 0.
    const std::vector<std::uint8_t> lead(8 * 512, 0);
    for (int k = 0; k < 5; ++k) {
        std::vector<std::uint8_t> disk = lead;
        const std::vector<std::uint8_t> doc = nwimage::MakeDocument(kinds[k], 6000, 10 + k);
        disk.insert(disk.end(), doc.begin(), doc.end());
        Write("carving", names[k], disk);
    }
    // Two documents back to back, the second at a sector start.
    std::vector<std::uint8_t> two = lead;
    const std::vector<std::uint8_t> first = nwimage::MakeDocument(nwimage::DocKind::Word, 5000, 20);
    two.insert(two.end(), first.begin(), first.end());
    two.resize((two.size() + 511) / 512 * 512);
    const std::vector<std::uint8_t> zip = nwimage::MakeDocument(nwimage::DocKind::Zip, 3000, 21);
    two.insert(two.end(), zip.begin(), zip.end());
    Write("carving", "word_then_zip", two);
    // A document that crosses from the first scan window into the second.
    std::vector<std::uint8_t> across(790 * 512, 0);
    const std::vector<std::uint8_t> doc = nwimage::MakeDocument(nwimage::DocKind::Excel, 12000, 22);
    across.insert(across.end(), doc.begin(), doc.end());
    Write("carving", "across_windows", across);
}

void RecoveryLogSeeds() {
    fuzz::FuzzDisks disks;
    if (!fuzz::AttachSparse(disks, fuzz::Base().image.sectors, fuzz::Base().image.totalSectors))
        fuzz::Fail("the base volume's disk does not open");
    nw::FoundVolumes found;
    found.Add(fuzz::Base().descriptor);
    nw::MountedVolume mounted;
    mounted.currentVolume = fuzz::Base().descriptor;
    nw::MountReport report;
    nw::Mount(mounted, disks.Reader(), report);
    records::RecoveryLogContents log = records::CaptureRecoveryLog("", 1, 0, found, mounted);
    Write("recovery_log", "mounted", records::EncodeRecoveryLog(log));
    log.folders.clear();
    log.files.clear();
    log.fatBlocks.clear();
    Write("recovery_log", "volumes_only", records::EncodeRecoveryLog(log));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    gOut = argv[1];
    try {
        TableSeeds();
        MountSeeds();
        FileReaderSeeds();
        CarvingSeeds();
        RecoveryLogSeeds();
        ContainerSeeds(gOut);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
