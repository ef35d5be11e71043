// The raw scan over a disk made of the input: candidates, ends, the
// continuation across windows, structure lengths and writing the documents.
// Everything written must stay in the destination folder.
#include <filesystem>
#include <string>

#include "FuzzFormats.h"
#include "FuzzSupport.h"
#include "raw/RawScan.h"

namespace {

std::size_t CountEntries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(dir); it != std::filesystem::recursive_directory_iterator(); ++it) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t n = std::min(size, fuzz::kCarvingMaxBytes);
    std::vector<std::uint8_t> bytes(data, data + n);
    if (bytes.empty()) bytes.push_back(0);
    fuzz::FuzzDisks disks;
    if (!fuzz::AttachBytes(disks, bytes)) return 0;

    const std::filesystem::path root = fuzz::ScratchDir();
    const std::filesystem::path out = root / "out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const std::size_t before = CountEntries(root);

    raw::RawScan scan;
    raw::RawScanView view;  // shows nothing
    std::array<bool, raw::kinds::kCount> all{};
    all.fill(true);
    const disk::SectorReader reader = disks.Reader();
    const raw::RawScanResult result =
        raw::RunRawScan(scan, reader, 0, 0, (bytes.size() + 511) / 512, all, out.string(), view);

    // New files only inside the destination; the image is still the only file beside it.
    const std::size_t inside = CountEntries(out);
    FUZZ_CHECK(CountEntries(root) == before + inside);
    FUZZ_CHECK(inside <= static_cast<std::size_t>(scan.attemptNumber));
    FUZZ_CHECK(result.documentsFailed <= result.documentsWritten || result.documentsWritten == 0);
    fuzz::Note("%zu documents written", inside);
    std::filesystem::remove_all(out);
    return 0;
}
