// Throughput of the sector reader for 8-sector and 1-sector sequential
// requests over a page-cached image, as a ratio to plain 1 MiB reads of the
// same file measured in the same run.
//   bench_sector_read [IMAGE_SIZE_MIB]   (default 1024)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "disk/SectorReader.h"

namespace {

double SectorRequests(const disk::SectorReader& reader, std::uint64_t bytes, std::uint32_t perRequest) {
    std::vector<std::uint8_t> buf(perRequest * disk::kSectorSize);
    const std::uint64_t sectors = bytes / disk::kSectorSize;
    auto t = std::chrono::steady_clock::now();
    for (std::uint64_t s = 0; s + perRequest <= sectors; s += perRequest) {
        reader.Read(0, s, perRequest, buf.data());
        bench::Sink() += buf[s % 512];
    }
    return bytes / bench::Seconds(t);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t bytes = mib << 20;
    const std::string path = (std::filesystem::temp_directory_path() / "tarvine-bench-sector.img").string();
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return 2;
        }
        std::vector<std::uint8_t> chunk(1 << 20);
        std::uint32_t x = 12345;
        for (auto& b : chunk) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        for (std::uint64_t off = 0; off < bytes; off += chunk.size()) {
            chunk[0] = static_cast<std::uint8_t>(off >> 20);
            if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
                std::perror("write");
                return 2;
            }
        }
        ::close(fd);
    }
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    const disk::SectorReader reader(disks, policy);
    std::string error;
    if (!disks.Attach(0, path, "", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    bench::PlainReadSeconds(path, bytes);  // warm the page cache
    const double plain = bytes / bench::PlainReadSeconds(path, bytes);
    SectorRequests(reader, bytes, 8);  // first pass: allocates the cache
    const double eight = SectorRequests(reader, bytes, 8);
    const double one = SectorRequests(reader, bytes, 1);
    const double plain2 = bytes / bench::PlainReadSeconds(path, bytes);
    const double base = (plain + plain2) / 2;
    std::printf("benchmark\tmeasure\tvalue\tbaseline\tratio\tgoal\n");
    std::printf("sector_read\t8-sector requests MB/s\t%.0f\t%.0f\t%.2f\t>= 0.50\n", eight / 1e6, base / 1e6, eight / base);
    std::printf("sector_read\t1-sector requests MB/s\t%.0f\t%.0f\t%.2f\t>= 0.30\n", one / 1e6, base / 1e6, one / base);
    std::remove(path.c_str());
    return bench::Sink() == 42 ? 1 : 0;
}
