// The records of a save: one large file of a volume saved with its digests
// and a DFXML report (as `save --hashes --dfxml` does), against the sum of a
// plain save of it and one `openssl dgst -sha256` pass over the saved bytes,
// measured in the same run. Hashing beside the copy costs less than the
// second pass it spares.
//   bench_save_records [FILE_SIZE_MIB]   (default 512, at most 4095)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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
#include "records/SaveRecords.h"

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
    std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    if (mib == 0 || mib > 4095) mib = 512;
    if (std::system("command -v openssl >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "openssl is not installed\n");
        return 2;
    }
    const std::uint32_t dataBlocks = static_cast<std::uint32_t>(mib * 16);
    const std::uint32_t fileSize = static_cast<std::uint32_t>(mib << 20);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvine-bench-save-records";
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
    nw::MountedVolume volume;
    volume.currentVolume.name = "BENCH";
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
    recovery::SaveProgressView quiet;
    recovery::KeepingPrompts prompts;
    WarmCache(image);

    auto save = [&](recovery::SavedFileSink* sink) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        recovery::SaveInput input(volume, reader);
        input.listItems.push_back({false, nw::kNoNode, 0, true});
        input.savedFiles = sink;
        recovery::SaveJob job;
        job.source = recovery::kListSource;
        job.destinationPath = out;
        const auto t = std::chrono::steady_clock::now();
        recovery::RunSave(job, input, quiet, prompts);
        return bench::Seconds(t);
    };

    double bestPlain = 1e30, bestRecords = 1e30;
    bool listed = false;
    for (int round = 0; round < 2; ++round) {
        // The plain save, then one pass of the field's tool over what it wrote.
        double plain = save(nullptr);
        const auto t = std::chrono::steady_clock::now();
        const std::string cmd = "openssl dgst -sha256 '" + out + "/BIG.BIN' >/dev/null";
        if (std::system(cmd.c_str()) != 0) return 2;
        plain += bench::Seconds(t);
        bestPlain = std::min(bestPlain, plain);

        // The save with its hash list and DFXML report, as the command writes them.
        records::SaveRecordsRequest request;
        request.hashListPath = (dir / "saved.sha256").string();
        request.dfxmlPath = (dir / "saved.xml").string();
        request.volume = volume.currentVolume;
        const auto r = std::chrono::steady_clock::now();
        records::SaveRecords records(request);
        if (!records.Open(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        save(&records);
        std::vector<std::string> written;
        if (!records.Finish(&written, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        bestRecords = std::min(bestRecords, bench::Seconds(r));
        listed = written.size() == 2 && std::filesystem::file_size(request.hashListPath) > 64;
    }
    std::filesystem::remove_all(dir);
    if (!listed) {
        std::fprintf(stderr, "the records were not written\n");
        return 1;
    }
    std::printf("file size                                  %llu MiB\n", static_cast<unsigned long long>(mib));
    std::printf("save_records\tsave --hashes --dfxml, s (baseline: plain save + openssl dgst -sha256)\t%.3f\t%.3f\t%.2f\t<= 1.15\n",
                bestRecords, bestPlain, bestRecords / bestPlain);
    return 0;
}
