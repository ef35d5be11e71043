// Shared helpers of the image writer tests: small specs and FAT walks done
// with the record decoders.
#pragma once

#include <string>
#include <vector>

#include "netware/Records.h"
#include "tools/nwimage/NwImage.h"

namespace nwtest {

using namespace nwimage;

inline EntrySpec Folder(const std::string& name, std::uint32_t number, std::uint32_t parent = 0) {
    EntrySpec e;
    e.folder = true;
    e.name = name;
    e.number = number;
    e.parent = parent;
    return e;
}

inline EntrySpec File(const std::string& name, std::uint32_t size, std::uint32_t parent = 0) {
    EntrySpec e;
    e.name = name;
    e.size = size;
    e.parent = parent;
    return e;
}

// One NetWare partition at sector 63 holding one volume.
inline DiskSpec OneVolume(std::uint32_t spb = 8, std::uint32_t blocks = 2000) {
    DiskSpec d;
    PartitionSpec p;
    p.firstSector = 63;
    p.sectorCount = 400 + blocks * spb;
    VolumeSpec v;
    v.name = "SYS";
    v.sectorsPerBlock = spb;
    v.blocks = blocks;
    p.volumes.push_back(v);
    d.partitions.push_back(p);
    return d;
}

// One volume "HIGH" in a partition starting at sector 0xFFFFF000, with a
// file whose block lies past sector 2^32.
inline DiskSpec HighVolume() {
    DiskSpec d;
    PartitionSpec p;
    p.firstSector = 0xFFFFF000u;
    p.sectorCount = 0x10000;
    VolumeSpec v;
    v.name = "HIGH";
    v.blocks = 4000;
    EntrySpec f = File("TOP.BIN", 4096);
    f.blocks = {3900};
    v.entries = {f};
    p.volumes = {v};
    d.partitions = {p};
    return d;
}

inline VolumeSpec& Vol(DiskSpec& d, std::size_t p = 0, std::size_t v = 0) { return d.partitions[p].volumes[v]; }

inline std::vector<std::uint8_t> SectorOf(const Image& img, std::uint64_t s) { return img.ReadBytes(s, 1); }

// The FAT entry of `block`, located through the given FAT block list.
inline nw::FatEntry FatEntryOf(const Image& img, const BuiltVolume& v, const std::vector<std::uint32_t>& fat,
                               std::uint32_t block) {
    nw::FatPosition pos = nw::LocateFatEntry(block, v.sectorsPerBlock);
    if (pos.fatBlock >= fat.size()) return {0xDEADu, 0xDEADu};
    auto s = SectorOf(img, nw::BlockSector(v.startSector, fat[pos.fatBlock], v.sectorsPerBlock, pos.sectorInBlock));
    return nw::DecodeFatEntry(s.data(), pos.entryIndex);
}

// Follows a chain from `first` while sequences match, collecting blocks; the
// terminal value that ended it is stored in *end.
inline std::vector<std::uint32_t> Walk(const Image& img, const BuiltVolume& v, const std::vector<std::uint32_t>& fat,
                                       std::uint32_t first, std::uint32_t* end = nullptr) {
    std::vector<std::uint32_t> out{first};
    std::uint32_t b = first;
    for (std::uint32_t seq = 0; seq < 100000; ++seq) {
        nw::FatEntry e = FatEntryOf(img, v, fat, b);
        if (e.sequence != seq) {
            if (end) *end = 0xBADu;
            return out;
        }
        if (e.next == 0 || (e.next & 0x80000000u)) {
            if (end) *end = e.next;
            return out;
        }
        out.push_back(e.next);
        b = e.next;
    }
    return out;
}

inline const ManifestRecord* Find(const Image& img, const std::string& path, const std::string& volume = "SYS") {
    for (const ManifestRecord& m : img.manifest)
        if (m.path == path && m.volume == volume) return &m;
    return nullptr;
}

inline std::string Hash(const std::vector<std::uint8_t>& v) { return Sha256Hex(v.data(), v.size()); }

}  // namespace nwtest
