// Reading a whole container image through the engine (the sector reader,
// the disk's cache and the format's library), as a ratio to the format's
// own tool reading the same file to a sink, measured in the same run:
// `qemu-img convert` to a null target for QCOW2, VMDK, VHD and VHDX,
// `ewfexport` to /dev/null for an EWF set (goal: at least 0.7). The disk is
// read in 1 MiB windows, as the searches and the raw scan read it, and in
// 8-sector requests through the cache, as a mount reads it.
//   bench_container_read [IMAGE_SIZE_MIB [FORMAT]]   (default 256, every format;
//                                                    FORMAT: a part of a name, e.g. VHD)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "disk/SectorReader.h"

namespace {

constexpr std::uint32_t kWindowSectors = 2048;  // 1 MiB
constexpr std::uint32_t kSmallSectors = 8;
constexpr std::uint64_t kPiece = 1 << 20;

struct Format {
    const char* name;
    const char* make;      // shell command: %1 the raw image, %2 the container
    const char* file;      // the container's (first) file, in the bench folder
    const char* baseline;  // shell command reading %2 to a sink (%3: the disk's size)
};

const Format kFormats[] = {
    {"QCOW2", "qemu-img convert -f raw -O qcow2 %1 %2", "disk.qcow2",
     "qemu-img convert -n --target-image-opts %2 driver=null-co,size=%3"},
    {"VMDK sparse", "qemu-img convert -f raw -O vmdk %1 %2", "sparse.vmdk",
     "qemu-img convert -n --target-image-opts %2 driver=null-co,size=%3"},
    {"VMDK stream-optimized", "qemu-img convert -f raw -O vmdk -o subformat=streamOptimized %1 %2", "stream.vmdk",
     "qemu-img convert -n --target-image-opts %2 driver=null-co,size=%3"},
    {"VHD dynamic", "qemu-img convert -f raw -O vpc -o force_size=on %1 %2", "disk.vhd",
     "qemu-img convert -n --target-image-opts %2 driver=null-co,size=%3"},
    {"VHDX", "qemu-img convert -f raw -O vhdx %1 %2", "disk.vhdx",
     "qemu-img convert -n --target-image-opts %2 driver=null-co,size=%3"},
    {"EWF", "ewfacquire -u -q -c deflate:fast -t %2 %1", "evidence",
     "ewfexport -u -q -f raw -t - %2.E01"},
};

std::string Fill(std::string command, const std::string& raw, const std::string& container, std::uint64_t bytes) {
    const std::string values[] = {raw, container, std::to_string(bytes)};
    for (int i = 0; i < 3; ++i) {
        const std::string key = "%" + std::to_string(i + 1);
        for (std::size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, 2, values[i]);
    }
    return command;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1 </dev/null").c_str()) == 0; }

// A disk's worth of bytes as disks hold them: a quarter zeros (left
// unallocated by the sparse formats), a quarter random, half repetitive
// records that compress well.
void WriteRaw(const std::string& path, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> piece(kPiece);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t n = 0; n * kPiece < bytes; ++n) {
        if (n % 4 == 0) {
            std::fill(piece.begin(), piece.end(), 0);
        } else if (n % 4 == 1) {
            for (char& c : piece) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                c = static_cast<char>(state >> 56);
            }
        } else {
            for (std::size_t i = 0; i < piece.size(); i += 64)
                std::snprintf(&piece[i], 64, "record %08llu of piece %06llu: status ok, nothing to report. ",
                              static_cast<unsigned long long>(i / 64 % 100000000), static_cast<unsigned long long>(n % 1000000));
        }
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
}

// Bytes per second reading the whole disk in requests of `count` sectors.
double EngineRead(const disk::SectorReader& reader, std::uint64_t sectors, std::uint32_t count, bool* ok) {
    std::vector<std::uint8_t> buf(std::size_t(count) * disk::kSectorSize);
    const auto t = std::chrono::steady_clock::now();
    for (std::uint64_t s = 0; s < sectors; s += count) {
        const bool read = count == kWindowSectors ? reader.TryRead(0, s, count, buf.data()).Ok()
                                                  : reader.Read(0, s, count, buf.data()).Ok();
        *ok = *ok && read;
        bench::Sink() += buf[s % 512];
    }
    return sectors * disk::kSectorSize / bench::Seconds(t);
}

double ToolRead(const std::string& command, std::uint64_t bytes) {
    const auto t = std::chrono::steady_clock::now();
    if (!Run(command)) return 0;
    return bytes / bench::Seconds(t);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const std::uint64_t bytes = mib << 20;
    const std::string only = argc > 2 ? argv[2] : "";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvine-bench-containers";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string raw = (dir / "disk.raw").string();
    WriteRaw(raw, bytes);

    std::printf("benchmark\tmeasure\tvalue\tbaseline\tratio\tgoal\n");
    int status = 0;
    for (const Format& f : kFormats) {
        if (std::string(f.name).find(only) == std::string::npos) continue;
        const std::string container = (dir / f.file).string();
        if (!Run(Fill(f.make, raw, container, bytes))) {
            std::fprintf(stderr, "%s: could not make the image (is its tool installed?)\n", f.name);
            status = 1;
            continue;
        }
        const std::string first = std::string(f.name) == "EWF" ? container + ".E01" : container;
        disk::DiskSet disks;
        disk::BadSectorPolicy policy;
        const disk::SectorReader reader(disks, policy);
        std::string error;
        if (!disks.Attach(0, first, "", &error) || !disks.At(0)->IsOpen()) {
            std::fprintf(stderr, "%s: %s%s\n", f.name, error.c_str(), disks.At(0) ? disks.At(0)->OpenFailureReason().c_str() : "");
            status = 1;
            continue;
        }
        const std::string baseline = Fill(f.baseline, raw, container, bytes);
        const std::uint64_t sectors = disks.At(0)->SectorCount();
        bool ok = true;
        ToolRead(baseline, bytes);  // warms the page cache
        const double tool1 = ToolRead(baseline, bytes);
        const double window = EngineRead(reader, sectors, kWindowSectors, &ok);
        const double small = EngineRead(reader, sectors, kSmallSectors, &ok);
        const double tool2 = ToolRead(baseline, bytes);
        const double tool = (tool1 + tool2) / 2;
        if (!ok || tool == 0) {
            std::fprintf(stderr, "%s: %s\n", f.name, ok ? "the baseline tool failed" : "a read failed");
            status = 1;
            continue;
        }
        std::printf("container_read\t%s, 1 MiB windows MB/s\t%.0f\t%.0f\t%.2f\t>= 0.70\n", f.name, window / 1e6,
                    tool / 1e6, window / tool);
        std::printf("container_read\t%s, 8-sector requests MB/s\t%.0f\t%.0f\t%.2f\t>= 0.70\n", f.name, small / 1e6,
                    tool / 1e6, small / tool);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(dir);
    return bench::Sink() == 42 ? 1 : status;
}
