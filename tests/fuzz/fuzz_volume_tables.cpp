// The quick search over a fuzzed partition table, hot-fix sectors and volume
// tables, and the advanced search's mirror search and start proof over
// fuzzed directory and allocation sectors.
#include <string>

#include "FuzzFormats.h"
#include "netware/Records.h"
#include "netware/VolumeSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::SparseSectors sectors = fuzz::DecodeSectorRecords(data, size, fuzz::kTableDiskSectors);
    fuzz::FuzzDisks disks;
    if (!fuzz::AttachSparse(disks, sectors, fuzz::kTableDiskSectors)) return 0;
    const disk::SectorReader reader = disks.Reader();
    const nw::SearchTarget target{&reader, 0};
    nw::FoundVolumes found;
    nw::SearchReport report;

    FUZZ_CHECK(nw::QuickVolumeSearch(target, found, report).diskOpened);
    // One disk: four partitions of at most eight table entries each.
    const std::uint32_t count = found.Count();
    FUZZ_CHECK(count <= 4 * nw::kMaxVolumeTableEntries);
    for (const nw::VolumeDescriptor& v : found.Snapshot()) {
        FUZZ_CHECK(v.sectorsPerBlock != 0);
        FUZZ_CHECK(v.name.size() <= nw::kVolumeNameKeep);
    }
    fuzz::Note("quick search: %u volumes", count);

    // The advanced search's steps for the first directory signature on the
    // disk: the whole scan would spend most of its time past the disk's end
    // in every mirror window.
    found.Clear();
    for (const auto& [n, s] : sectors) {
        if (!std::equal(nw::kDetSignature.begin(), nw::kDetSignature.end(), s.begin())) continue;
        if (const auto d2 = nw::FindDetMirror(target, n, report, nullptr)) {
            FUZZ_CHECK(*d2 > n && *d2 < n + nw::kMirrorWindow);
            const nw::StartResult r = nw::FindVolumeStart(target, n, *d2, found, report, nullptr);
            fuzz::Note("directory at %llu, mirror at %llu, start %s", static_cast<unsigned long long>(n),
                       static_cast<unsigned long long>(*d2), r == nw::StartResult::Added ? "proven" : "not proven");
            if (r == nw::StartResult::Added) {
                const nw::VolumeDescriptor v = found.At(0).value();
                FUZZ_CHECK(v.startSector <= n);
                FUZZ_CHECK(v.startSector + static_cast<std::uint64_t>(v.det1FirstBlock) * v.sectorsPerBlock == n);
            }
        }
        break;
    }
    return 0;
}
