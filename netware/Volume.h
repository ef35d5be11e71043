// A found volume: where its blocks lie and what its tables are called; the
// table of found volumes a search fills; and the mapping from volume blocks
// to disk sectors that every read of the volume goes through.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace disk {
class SectorReader;
}

namespace nw {

struct VolumeDescriptor {
    std::string name;                  // at most 19 characters
    std::uint32_t fat1FirstBlock = 0;
    std::uint32_t fat2FirstBlock = 0;
    std::uint32_t det1FirstBlock = 0;
    std::uint32_t det2FirstBlock = 0;
    std::uint64_t sizeInSectors = 0;
    std::uint64_t startSector = 0;     // absolute sector of block 0
    std::uint32_t blockCount = 0;
    std::uint32_t sectorsPerBlock = 0;
    unsigned disk = 0;                 // the disk number the volume was found on
};

constexpr unsigned kVolumeListCapacity = 33;
using VolumeListTable = std::array<VolumeDescriptor, kVolumeListCapacity>;

// The volumes one search found, in the order found. A search owns it while
// it runs; the window reads it once the search has ended.
struct FoundVolumes {
    std::atomic<std::uint32_t> volumeCount{0};
    VolumeListTable VolumeList{};

    void Clear() {
        volumeCount = 0;
        VolumeList = VolumeListTable{};
    }
    // Appends at index volumeCount; false when the table is full (the
    // volume is not stored).
    bool Add(const VolumeDescriptor& d) {
        const std::uint32_t n = volumeCount.load();
        if (n >= kVolumeListCapacity) return false;
        VolumeList[n] = d;
        volumeCount = n + 1;
        return true;
    }
};

// Reads sectors of one volume by block number through the session's reader.
class VolumeSectors {
public:
    VolumeSectors(const disk::SectorReader& reader, const VolumeDescriptor& volume)
        : reader_(&reader), volume_(&volume) {}
    // Disk sector of sector `sectorIndex` of block `block` (64-bit; see
    // BlockSector in Records.h).
    std::uint64_t SectorOf(std::uint32_t block, std::uint32_t sectorIndex = 0) const;
    // Reads sectors of the volume's disk through the bad-sector policy
    // (disk::kReadOk, kReadFailed, kReadNoDevice); `unreadable` as
    // disk::SectorReader::Read gives it.
    int Read(std::uint64_t diskSector, std::uint32_t count, void* buffer,
             std::uint32_t* unreadable = nullptr) const;
    // Reads without any prompt: true when every sector could be read (see
    // disk::SectorReader::TryRead).
    bool TryRead(std::uint64_t diskSector, std::uint32_t count, void* buffer) const;
    int ReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count, void* buffer,
                         std::uint32_t* unreadable = nullptr) const {
        return Read(SectorOf(block, sectorIndex), count, buffer, unreadable);
    }
    const VolumeDescriptor& Volume() const { return *volume_; }
    const disk::SectorReader& Reader() const { return *reader_; }

private:
    const disk::SectorReader* reader_;
    const VolumeDescriptor* volume_;
};

}  // namespace nw
