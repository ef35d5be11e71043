// The advanced search limited to one partition against the same search of
// the whole disk: a sparse image of several GiB whose one NetWare partition
// (listed in the MBR) takes a sixteenth of it. The time ratio should follow
// the share of the sectors scanned, plus the fixed cost of proving the
// volume found (its mirror window is read whatever the range): goal at most
// the share + 0.1.
//
// Usage: bench_partition_scan [GiB]   (default 8)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchCommon.h"
#include "disk/PartitionTable.h"
#include "disk/SectorReader.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/NwImage.h"

int main(int argc, char** argv) {
    const std::uint64_t gib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 8;
    const std::uint64_t total = gib * (1ull << 30) / 512;

    nwimage::DiskSpec desc;
    desc.totalSectors = total;
    nwimage::PartitionSpec p;
    p.firstSector = static_cast<std::uint32_t>(total / 2);
    p.sectorCount = static_cast<std::uint32_t>(total / 16);
    nwimage::VolumeSpec v;
    v.name = "SYS";
    v.sectorsPerBlock = 8;
    v.blocks = 5000;
    nwimage::EntrySpec f;
    f.name = "FILE.BIN";
    f.size = 100000;
    v.entries.push_back(f);
    p.volumes.push_back(v);
    desc.partitions.push_back(p);
    const nwimage::Image image = nwimage::Build(desc);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tarvine-bench-" + std::to_string(::getpid()) + ".img")).string();
    nwimage::WriteImageFile(image, path);

    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    std::string error;
    if (!disks.Attach(0, path, "", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const disk::SectorReader reader(disks, policy);
    const disk::PartitionTable table = disk::ReadPartitionTable(reader, 0);
    if (table.partitions.size() != 1) {
        std::fprintf(stderr, "the image's partition table was not read\n");
        std::filesystem::remove(path);
        return 2;
    }
    const std::uint64_t first = table.partitions[0].start, end = first + table.partitions[0].sectors;
    const nw::SearchTarget target{&reader, 0};
    nw::SearchReport report;
    const base::CancelFlag stop{false};
    double whole = 1e9, part = 1e9;
    bool found = true;
    for (int round = 0; round < 2; ++round) {
        nw::FoundVolumes volumes;
        disks.At(0)->DropCache();
        auto t0 = std::chrono::steady_clock::now();
        nw::AdvancedVolumeSearch(target, reader.SectorCount(0), volumes, report, stop);
        whole = std::min(whole, bench::Seconds(t0));
        found = found && volumes.Count() == 1;
        disks.At(0)->DropCache();
        t0 = std::chrono::steady_clock::now();
        nw::AdvancedVolumeSearch(target, end, volumes, report, stop, first);
        part = std::min(part, bench::Seconds(t0));
        found = found && volumes.Count() == 1 &&
                volumes.At(0).value().startSector == image.volumes[0].startSector;
    }
    std::filesystem::remove(path);

    const double share = static_cast<double>(end - first) / static_cast<double>(total);
    std::printf("image: %llu GiB sparse, partition of %.1f%% of its sectors, found in both: %s\n",
                static_cast<unsigned long long>(gib), share * 100, found ? "yes" : "NO");
    std::printf("advanced search of the whole disk:   %.3f s\n", whole);
    std::printf("advanced search of the partition:    %.3f s\n", part);
    std::printf("partition scan time / whole-disk scan time ratio: %.3f (goal <= %.3f)\n", part / whole,
                share + 0.1);
    return found ? 0 : 1;
}
