// Advanced volume search over a multi-GiB sparse image that holds one volume
// near its end: the scan's throughput as a ratio to a plain sequential read
// of the same image, measured in the same run. Goal: at least 0.5.
//
// Usage: bench_advanced_search [GiB]   (default 4)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "disk/SectorReader.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/NwImage.h"

int main(int argc, char** argv) {
    const std::uint64_t gib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4;
    const std::uint64_t total = gib * (1ull << 30) / 512;

    nwimage::DiskSpec desc;
    desc.totalSectors = total;
    desc.wipeSector0 = true;
    nwimage::PartitionSpec p;
    p.firstSector = static_cast<std::uint32_t>(total - 60000);
    p.sectorCount = 50000;
    p.wipeTables = true;
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
    const nw::SearchTarget target{&reader, 0};
    nw::FoundVolumes volumes;
    nw::SearchReport report;
    const base::CancelFlag stop{false};

    double plain = 1e9, search = 1e9;
    bool found = true;
    for (int round = 0; round < 2; ++round) {
        plain = std::min(plain, bench::PlainReadSeconds(path));
        disks.At(0)->DropCache();
        const auto t0 = std::chrono::steady_clock::now();
        nw::AdvancedVolumeSearch(target, reader.SectorCount(0), volumes, report, stop);
        search = std::min(search, bench::Seconds(t0));
        found = found && volumes.Count() == 1 &&
                volumes.At(0).value().startSector == image.volumes[0].startSector &&
                volumes.At(0).value().sectorsPerBlock == 8;
    }
    std::filesystem::remove(path);

    const double mib = static_cast<double>(total) * 512 / (1 << 20);
    std::printf("image: %.0f MiB sparse, volume at sector %llu, found: %s\n", mib,
                static_cast<unsigned long long>(image.volumes[0].startSector), found ? "yes" : "NO");
    std::printf("plain sequential read: %.3f s (%.0f MiB/s)\n", plain, mib / plain);
    std::printf("advanced search:       %.3f s (%.0f MiB/s)\n", search, mib / search);
    std::printf("ratio (search throughput / plain read throughput): %.2f (goal >= 0.5)\n", plain / search);
    return found ? 0 : 1;
}
