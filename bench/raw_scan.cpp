// Raw scan throughput over a page-cached image filled with random bytes and
// a few hundred documents, as a ratio to a plain sequential read of the same
// image measured in the same run (goal: at least 0.3).
//   bench_raw_scan [IMAGE_SIZE_MIB] [DOCUMENTS]   (default 2048 MiB, 300)
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "disk/SectorReader.h"
#include "raw/RawScan.h"
#include "tools/nwimage/NwImage.h"

namespace {

struct CountingView : raw::RawScanView {
    int written = 0;
    void DocumentCarved(const raw::CarvedDocument& d) override {
        if (d.state != raw::DocumentState::Failed) ++written;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;
    const unsigned documents = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 300;
    const std::uint64_t bytes = mib << 20;
    const auto tmp = std::filesystem::temp_directory_path();
    const std::string path = (tmp / "tarvine-bench-raw.img").string();
    const std::string out = (tmp / "tarvine-bench-raw-out").string();
    std::filesystem::remove_all(out);

    // Random bytes in 1 MiB pieces, with a document laid at a sector start
    // in every (bytes / documents) stretch.
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return 2;
        }
        std::vector<std::uint8_t> piece(1 << 20);
        std::uint64_t state = 0x1234567;
        for (std::uint64_t off = 0; off < bytes; off += piece.size()) {
            for (std::size_t i = 0; i < piece.size(); i += 8) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                const std::uint64_t r = state ^ (state >> 29);
                for (int k = 0; k < 8; ++k) piece[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
            }
            if (::pwrite(fd, piece.data(), piece.size(), static_cast<off_t>(off)) != static_cast<ssize_t>(piece.size())) {
                std::perror("write");
                return 2;
            }
        }
        const nwimage::DocKind kinds[] = {nwimage::DocKind::Word, nwimage::DocKind::Excel,
                                          nwimage::DocKind::PowerPoint, nwimage::DocKind::Excel5,
                                          nwimage::DocKind::Zip};
        const std::uint64_t stretch = bytes / (documents + 1) / 512 * 512;
        for (unsigned d = 0; d < documents; ++d) {
            const std::uint32_t size = 8192 + (d * 7919) % 50000;
            const auto doc = nwimage::MakeDocument(kinds[d % 5], size, d + 1);
            const std::uint64_t at = stretch * (d + 1) + (d * 104729ull % 1000) * 512;
            if (::pwrite(fd, doc.data(), doc.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(doc.size())) {
                std::perror("write");
                return 2;
            }
        }
        ::close(fd);
    }

    std::string error;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    if (!disks.Attach(0, path, "", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const disk::SectorReader reader(disks, policy);
    std::array<bool, raw::kinds::kCount> all{};
    all.fill(true);
    CountingView view;

    bench::PlainReadSeconds(path, bytes);  // warm the page cache
    double plain = 1e9, scan = 1e9;
    for (int round = 0; round < 3; ++round) {
        plain = std::min(plain, bench::PlainReadSeconds(path, bytes));
        std::filesystem::remove_all(out);
        view.written = 0;
        std::filesystem::create_directories(out);
        raw::RawScan state;
        auto t = std::chrono::steady_clock::now();
        raw::RunRawScan(state, reader, 0, 0, bytes / disk::kSectorSize, all, out, view);
        scan = std::min(scan, bench::Seconds(t));
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("image %llu MiB, %u documents laid, %d written\n", static_cast<unsigned long long>(mib), documents,
                view.written);
    std::printf("plain sequential read: %8.1f MB/s\n", mb / plain);
    std::printf("raw scan:              %8.1f MB/s\n", mb / scan);
    std::printf("ratio raw scan / plain read: %.2f (goal >= 0.30)\n", plain / scan);
    std::filesystem::remove(path);
    std::filesystem::remove_all(out);
    return bench::Sink() == 42 ? 1 : 0;
}
