// The raw scan over a disk made of the input: candidates, ends, the
// continuation across windows, structure lengths and writing the documents.
// Everything written must stay in the destination folder.
#include <filesystem>
#include <string>

#include "FuzzFormats.h"
#include "app/job/WizardState.h"
#include "common/QuietRawPanel.h"
#include "raw/RawScan.h"

namespace {

std::size_t CountEntries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(dir); it != std::filesystem::recursive_directory_iterator(); ++it) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static testutil::QuietRawPanel panel;
    const std::size_t n = std::min(size, fuzz::kCarvingMaxBytes);
    std::vector<std::uint8_t> bytes(data, data + n);
    if (bytes.empty()) bytes.push_back(0);
    fuzz::FreshJobState();
    fuzz::AttachBytes(bytes);

    const std::filesystem::path root = fuzz::ScratchDir();
    const std::filesystem::path out = root / "out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const std::size_t before = CountEntries(root);

    raw::InstallRawPanel(&panel);
    panel.end = std::to_string((bytes.size() + 511) / 512);
    panel.button = raw::kStopText;
    auto& st = raw::RawScan();
    st.stopRequested = 0;
    st.sectorRange = true;
    job::Wizard().destinationPath = out.string();
    raw::RawScanWorker();
    raw::InstallRawPanel(nullptr);

    // New files only inside the destination; the image is still the only file beside it.
    const std::size_t inside = CountEntries(out);
    FUZZ_CHECK(CountEntries(root) == before + inside);
    FUZZ_CHECK(inside <= static_cast<std::size_t>(st.attemptNumber));
    fuzz::Note("%zu documents written", inside);
    std::filesystem::remove_all(out);
    return 0;
}
