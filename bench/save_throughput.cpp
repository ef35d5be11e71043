// Save throughput: one large file of a volume on a page-cached image, saved
// by a whole save job (one list row; a block per request, one sector per delivery), as a ratio to
// `cp` copying the image in the same run.
//   bench_save_throughput [FILE_SIZE_MIB]   (default 1024, at most 4095)
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
#include "netware/MountedVolume.h"
#include "netware/Records.h"
#include "recovery/SaveEngine.h"

namespace {

constexpr std::uint32_t kSpb = 128;  // 64 KiB blocks
constexpr std::uint64_t kBlockBytes = kSpb * 512ull;
constexpr std::uint32_t kEntriesPerFatBlock = 64 * kSpb;

bool WriteAll(int fd, const void* data, std::size_t n, std::uint64_t offset) {
    return ::pwrite(fd, data, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

// Blocks 0..fatBlocks-1 hold the FAT; the file's chain runs through the
// following blocks in order.
bool MakeImage(const std::string& path, std::uint32_t dataBlocks, std::uint32_t* fatBlocks) {
    std::uint32_t f = 1;
    while (static_cast<std::uint64_t>(f) * kEntriesPerFatBlock < f + dataBlocks) ++f;
    *fatBlocks = f;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<std::uint8_t> fat(static_cast<std::size_t>(f) * kBlockBytes, 0);
    for (std::uint32_t b = 0; b < f + dataBlocks; ++b) {
        std::uint8_t* e = fat.data() + static_cast<std::size_t>(b) * 8;
        nw::StoreLe32(e, b);
        std::uint32_t next = b + 1;
        if (b < f) next = (b + 1 < f) ? b + 1 : nw::kChainEnd;
        else if (b + 1 == f + dataBlocks) next = nw::kChainEnd;
        nw::StoreLe32(e + 4, next);
    }
    bool ok = WriteAll(fd, fat.data(), fat.size(), 0);
    std::vector<std::uint64_t> chunk(kBlockBytes * 16 / 8);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::uint32_t b = 0; ok && b < dataBlocks; b += 16) {
        for (auto& w : chunk) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        const std::uint32_t n = std::min<std::uint32_t>(16, dataBlocks - b);
        ok = WriteAll(fd, chunk.data(), n * kBlockBytes, (static_cast<std::uint64_t>(f) + b) * kBlockBytes);
    }
    return ::close(fd) == 0 && ok;
}

void WarmCache(const std::string& path) {
    std::vector<char> buf(1 << 20);
    const int fd = ::open(path.c_str(), O_RDONLY);
    while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
    }
    if (fd >= 0) ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    if (mib == 0 || mib > 4095) mib = 1024;
    const std::uint32_t dataBlocks = static_cast<std::uint32_t>(mib * 16);
    const std::uint32_t fileSize = static_cast<std::uint32_t>(mib << 20);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvine-bench-save";
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "volume.img").string();
    const std::string out = (dir / "out").string();

    std::uint32_t fatBlocks = 0;
    if (!MakeImage(image, dataBlocks, &fatBlocks)) {
        std::perror(image.c_str());
        return 2;
    }
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    const disk::SectorReader reader(disks, policy);
    std::string error;
    if (!disks.Attach(0, image, "", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    // The volume as a mount would leave it: the FAT's blocks and one file in
    // the root folder.
    nw::MountedVolume volume;
    volume.currentVolume.startSector = 0;
    volume.currentVolume.sectorsPerBlock = kSpb;
    volume.currentVolume.blockCount = fatBlocks + dataBlocks;
    volume.currentVolume.sizeInSectors = static_cast<std::uint64_t>(fatBlocks + dataBlocks) * kSpb;
    for (std::uint32_t k = 0; k < fatBlocks; ++k) volume.FatBlockList.push_back({k, k});
    nw::EntryRecord file;
    file.name = "BIG.BIN";
    file.size = fileSize;
    file.firstBlock = fatBlocks;
    file.ordinal = 1;
    volume.FileList.Append(file);
    volume.tree.Reset("BENCH");
    recovery::SaveInput input(volume, reader);
    input.listItems.push_back({false, nw::kNoNode, 0, true});
    recovery::SaveProgressView quiet;
    recovery::KeepingPrompts prompts;
    WarmCache(image);

    double best_cp = 0, best_save = 0;
    std::uint64_t savedSize = 0;
    for (int round = 0; round < 2; ++round) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        auto t = std::chrono::steady_clock::now();
        const std::string cmd = "cp '" + image + "' '" + out + "/copy.img'";
        if (std::system(cmd.c_str()) != 0) return 2;
        const double cp = static_cast<double>(std::filesystem::file_size(image)) / bench::Seconds(t);
        std::filesystem::remove(out + "/copy.img");

        recovery::SaveJob job;
        job.source = recovery::kListSource;
        job.destinationPath = out;
        t = std::chrono::steady_clock::now();
        recovery::RunSave(job, input, quiet, prompts);
        const double save = static_cast<double>(fileSize) / bench::Seconds(t);
        savedSize = std::filesystem::file_size(out + "/BIG.BIN");
        if (cp > best_cp) best_cp = cp;
        if (save > best_save) best_save = save;
    }
    std::filesystem::remove_all(dir);
    if (savedSize != fileSize) {
        std::fprintf(stderr, "saved %llu bytes instead of %u\n", static_cast<unsigned long long>(savedSize), fileSize);
        return 1;
    }
    std::printf("file size               %llu MiB\n", static_cast<unsigned long long>(mib));
    std::printf("cp                      %8.1f MB/s\n", best_cp / 1e6);
    std::printf("save job                %8.1f MB/s   ratio %.2f (goal >= 0.5)\n", best_save / 1e6,
                best_save / best_cp);
    return 0;
}
