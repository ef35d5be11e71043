// Opening a disk image from fuzzed bytes: the format is told by content and
// its library opens it. Whatever the bytes, the open ends with a readable
// disk or with the reason it cannot be read, and the disk's reads end.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "disk/Disk.h"

namespace {

constexpr std::uint32_t kHeadSectors = 256;     // read from the start, 8 at a time
constexpr std::uint32_t kWindowSectors = 2048;  // one 1 MiB window further on

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchFile("container.img");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
        std::fclose(f);
    }
    std::string error;
    const std::unique_ptr<disk::Disk> d = disk::Disk::Open(path, "", &error);
    FUZZ_CHECK(d != nullptr);
    if (!d->IsOpen()) {
        FUZZ_CHECK(d->OpenFailureReason().rfind(path + ": ", 0) == 0);
        fuzz::Note("not opened: %s", d->OpenFailureReason().c_str());
        return 0;
    }
    fuzz::Note("%s of %llu bytes", d->SourceName().c_str(), static_cast<unsigned long long>(d->SizeBytes()));
    const disk::FactRows facts = d->Facts();
    FUZZ_CHECK(d->SourceName() == "raw image" || (!facts.empty() && facts[0].first == "Format"));
    std::vector<std::uint8_t> buf(std::size_t(kWindowSectors) * disk::kSectorSize);
    unsigned good = 0;
    for (std::uint32_t s = 0; s < kHeadSectors; s += 8) good += d->TryRead(s, 8, buf.data()).Ok();
    good += d->TryRead(d->SectorCount() / 2, kWindowSectors, buf.data()).Ok();
    if (d->SectorCount() > 0) good += d->ReadOneSector(d->SectorCount() - 1, buf.data());
    fuzz::Note("%u reads succeeded", good);
    std::string why;
    FUZZ_CHECK(d->SourceName() == "raw image" || !d->Write(0, 1, buf.data(), &why));
    return 0;
}
