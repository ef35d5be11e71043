#include "netware/EntryMetadata.h"

#include "disk/SectorReader.h"
#include "netware/EntryList.h"
#include "netware/Records.h"

namespace nw {

namespace {

std::uint32_t LoadBe32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

EntryMetadata ReadEntryMetadata(const disk::SectorReader& reader, const EntryRecord& entry) {
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
    return m;
}

}  // namespace nw
