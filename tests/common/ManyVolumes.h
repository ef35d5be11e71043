// A disk of 40 small volumes, more than a single disk's tables can list: a
// partition table of four partitions with eight volumes each, followed by
// the sectors of a second built disk with eight more. The advanced search
// finds every one of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/nwimage/NwImage.h"

namespace testutil {

inline nwimage::PartitionSpec EightSmallVolumes(const std::string& prefix, std::uint32_t firstSector) {
    nwimage::PartitionSpec p;
    p.firstSector = firstSector;
    p.sectorCount = 3000;
    for (int k = 0; k < 8; ++k) {
        nwimage::VolumeSpec v;
        v.name = prefix + std::to_string(k);
        v.blocks = 40;
        nwimage::EntrySpec folder;
        folder.folder = true;
        folder.name = "PUBLIC";
        folder.number = 5;
        v.entries.push_back(folder);
        p.volumes.push_back(v);
    }
    return p;
}

// The image; its volumes list all 40 in disk order (those of the appended
// disk with their start moved to where they lie).
inline nwimage::Image FortyVolumeDisk() {
    nwimage::DiskSpec tail;
    tail.partitions.push_back(EightSmallVolumes("T", 63));
    const nwimage::Image second = nwimage::Build(tail);
    nwimage::DiskSpec desc;
    for (std::uint32_t p = 0; p < 4; ++p)
        desc.partitions.push_back(EightSmallVolumes("P" + std::to_string(p), 63 + p * 3000));
    nwimage::Image image = nwimage::Build(desc);
    const std::uint64_t offset = image.totalSectors;
    for (const auto& [sector, bytes] : second.sectors) image.sectors[offset + sector] = bytes;
    image.totalSectors = offset + second.totalSectors;
    for (nwimage::BuiltVolume v : second.volumes) {
        v.startSector += offset;
        image.volumes.push_back(v);
    }
    return image;
}

}  // namespace testutil
