// The quick search over a fuzzed partition table, hot-fix sectors and volume
// tables, and the advanced search's mirror search and start proof over
// fuzzed directory and allocation sectors.
#include <string>

#include "FuzzFormats.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "disk/DiskCatalogue.h"
#include "netware/Records.h"
#include "netware/VolumeSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::SparseSectors sectors = fuzz::DecodeSectorRecords(data, size, fuzz::kTableDiskSectors);
    fuzz::FreshJobState();
    fuzz::AttachSparse(sectors, fuzz::kTableDiskSectors);
    auto& w = job::Wizard();

    FUZZ_CHECK(nw::QuickVolumeSearch());
    const std::uint32_t found = w.volumeCount.load();
    FUZZ_CHECK(found <= nw::kVolumeListCapacity);
    for (std::uint32_t k = 0; k < found; ++k) {
        FUZZ_CHECK(w.VolumeList[k].sectorsPerBlock != 0);
        FUZZ_CHECK(w.VolumeList[k].name.size() <= nw::kVolumeNameKeep);
    }

    // The advanced search's steps for the first directory signature on the
    // disk: the whole scan would spend most of its time past the disk's end
    // in every mirror window.
    job::Settings().Write(job::kClassesRoot, disk::kGeometrySize, disk::StoreKey(0),
                          std::to_string(fuzz::kTableDiskSectors * 512));
    fuzz::Note("quick search: %u volumes", found);
    w.volumeCount = 0;
    for (const auto& [n, s] : sectors) {
        if (!std::equal(nw::kDetSignature.begin(), nw::kDetSignature.end(), s.begin())) continue;
        if (const auto d2 = nw::FindDetMirror(n)) {
            FUZZ_CHECK(*d2 > n && *d2 < n + nw::kMirrorWindow);
            const nw::StartResult r = nw::FindVolumeStart(n, *d2);
            fuzz::Note("directory at %llu, mirror at %llu, start %s", static_cast<unsigned long long>(n),
                       static_cast<unsigned long long>(*d2), r == nw::StartResult::Added ? "proven" : "not proven");
            if (r == nw::StartResult::Added) {
                const nw::VolumeDescriptor& v = w.VolumeList[0];
                FUZZ_CHECK(v.startSector <= n);
                FUZZ_CHECK(v.startSector + static_cast<std::uint64_t>(v.det1FirstBlock) * v.sectorsPerBlock == n);
            }
        }
        break;
    }
    return 0;
}
