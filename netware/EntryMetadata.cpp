#include "netware/EntryMetadata.h"

#include "disk/SectorReader.h"
#include <algorithm>
#include <unordered_set>

#include "netware/EntryList.h"
#include "netware/MountedVolume.h"
#include "netware/Volume.h"
#include "netware/Records.h"

namespace nw {

namespace {

std::uint32_t LoadBe32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

constexpr std::uint32_t kTrusteeMarker = 0xFFFFFFFEu;
constexpr std::size_t kFileTrusteeChain = 0x38;
constexpr std::size_t kFolderTrusteeChain = 0x2C;
constexpr std::size_t kTrusteeNext = 0x10;
constexpr std::size_t kTrusteeIds = 0x18;
constexpr std::size_t kTrusteeMasks = 0x58;
constexpr std::size_t kTrusteesPerRecord = 16;
constexpr unsigned kMaxTrusteeRecords = 4096;

// Record n of the directory (copy 1, else copy 2) into `out`.
bool ReadDirectoryRecord(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t n,
                         std::uint8_t* out) {
    const std::uint32_t perBlock = volume.currentVolume.sectorsPerBlock * kDetEntriesPerSector;
    if (perBlock == 0) return false;
    const std::size_t index = n / perBlock;
    const std::uint32_t s = (n % perBlock) / kDetEntriesPerSector;
    const VolumeSectors sectors(reader, volume.currentVolume);
    std::uint8_t sector[kSectorSize];
    for (const BlockList* list : {&volume.Det1BlockList, &volume.Det2BlockList}) {
        if (index >= list->size() || IsDetChainEnd((*list)[index].block)) continue;
        if (!sectors.ReadBlockSectors((*list)[index].block, s, 1, sector).Ok()) continue;
        std::copy_n(sector + kDetEntrySize * (n % kDetEntriesPerSector), kDetEntrySize, out);
        return true;
    }
    return false;
}

// The trustees of the records the chain starting at `next` leads to: each
// record once, the chain ending at 0, at a number that is no trustee record,
// or at a record already visited.
void ReadTrusteeChain(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t next,
                      EntryMetadata& m) {
    std::unordered_set<std::uint32_t> seen;
    std::uint8_t r[kDetEntrySize];
    while (next != 0 && next != kChainEnd && seen.size() < kMaxTrusteeRecords && seen.insert(next).second) {
        if (!ReadDirectoryRecord(volume, reader, next, r)) {
            m.trusteesUnreadable = true;
            return;
        }
        if (LoadLe32(r + det::kParent) != kTrusteeMarker) return;
        for (std::size_t k = 0; k < kTrusteesPerRecord; ++k) {
            const std::uint32_t id = LoadBe32(r + kTrusteeIds + 4 * k);
            if (id != 0) m.trustees.emplace_back(id, LoadLe16(r + kTrusteeMasks + 2 * k));
        }
        next = LoadLe32(r + kTrusteeNext);
    }
}

}  // namespace

EntryMetadata ReadEntryMetadata(const disk::SectorReader& reader, const EntryRecord& entry,
                                const MountedVolume* volume) {
    EntryMetadata m;
    if (entry.ownNumber == kLostFolderNumber || entry.slot >= kDetEntriesPerSector) return m;
    std::uint8_t sector[kSectorSize];
    auto readCopy = [&](unsigned diskIndex, std::uint64_t at) {
        return at != 0 && reader.Read(diskIndex, at, 1, sector).Ok();
    };
    const bool ok = readCopy(entry.det1Disk, entry.det1Sector) || readCopy(entry.det2Disk, entry.det2Sector);
    if (!ok) return m;
    const std::uint8_t* e = sector + kDetEntrySize * entry.slot;
    m.read = true;
    m.attributes = LoadLe32(e + det::kAttributes);
    const bool folder = (m.attributes & kAttrFolder) != 0;
    m.created = LoadLe32(e + 0x18);
    m.owner = LoadBe32(e + 0x1C);
    m.archived = LoadLe32(e + 0x20);
    m.modified = LoadLe32(e + 0x28);
    m.deleted = LoadLe32(e + 0x68);
    m.deleter = LoadBe32(e + 0x6C);
    const std::size_t ids = folder ? 0x30 : 0x3C, masks = folder ? 0x50 : 0x54, count = folder ? 8 : 4;
    if (!folder) {
        m.archiver = LoadBe32(e + 0x24);
        m.updater = LoadBe32(e + 0x2C);
        m.accessDate = LoadLe16(e + 0x62);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t id = LoadBe32(e + ids + 4 * k);
        if (id != 0) m.trustees.emplace_back(id, LoadLe16(e + masks + 2 * k));
    }
    if (volume) ReadTrusteeChain(*volume, reader, LoadLe32(e + (folder ? kFolderTrusteeChain : kFileTrusteeChain)), m);
    return m;
}

}  // namespace nw
