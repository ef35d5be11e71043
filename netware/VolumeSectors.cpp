#include <algorithm>
#include <cstring>

#include "disk/SectorReader.h"
#include "netware/Records.h"
#include "netware/Volume.h"

namespace nw {

const VolumeSegment* VolumeDescriptor::FirstMissingSegment() const {
    for (const VolumeSegment& s : segments)
        if (!s.present) return &s;
    return nullptr;
}

std::string MissingSegmentText(const std::string& volumeName, std::uint32_t segmentNumber) {
    return "Segment " + std::to_string(segmentNumber) + " of volume " + volumeName +
           " is missing: attach the disk that holds it to complete the volume.";
}

namespace {

// The segment holding `block`, present or not (nullptr when none does).
const VolumeSegment* SegmentOf(const VolumeDescriptor& v, std::uint32_t block) {
    for (const VolumeSegment& s : v.segments)
        if (block >= s.firstBlock && block - s.firstBlock < s.blockCount) return &s;
    return nullptr;
}

}  // namespace

std::optional<SectorPlace> VolumeSectors::Place(std::uint32_t block, std::uint32_t sectorIndex) const {
    const VolumeDescriptor& v = *volume_;
    if (!v.Spanned()) return SectorPlace{v.disk, BlockSector(v.startSector, block, v.sectorsPerBlock, sectorIndex)};
    const VolumeSegment* s = SegmentOf(v, block);
    if (!s || !s->present) return std::nullopt;
    return SectorPlace{s->disk, BlockSector(s->startSector, block - s->firstBlock, v.sectorsPerBlock, sectorIndex)};
}

std::uint64_t VolumeSectors::SectorOf(std::uint32_t block, std::uint32_t sectorIndex) const {
    const std::optional<SectorPlace> p = Place(block, sectorIndex);
    return p ? p->sector : 0;
}

const VolumeSegment* VolumeSectors::MissingSegmentOf(std::uint32_t block) const {
    const VolumeSegment* s = volume_->Spanned() ? SegmentOf(*volume_, block) : nullptr;
    return s && !s->present ? s : nullptr;
}

int VolumeSectors::ReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count,
                                    void* buffer, std::uint32_t* unreadable) const {
    const std::uint32_t S = volume_->sectorsPerBlock;
    if (!volume_->Spanned() || S == 0) {
        if (const std::optional<SectorPlace> p = Place(block, sectorIndex))
            return reader_->Read(p->disk, p->sector, count, buffer, unreadable);
        std::memset(buffer, 0, static_cast<std::size_t>(count) * kSectorSize);
        if (unreadable) *unreadable = count;
        return disk::kReadNoDevice;
    }
    // A run that leaves its block may leave its segment too: each block's
    // part is placed on its own.
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t lost = 0;
    int result = disk::kReadOk;
    std::uint64_t at = static_cast<std::uint64_t>(block) * S + sectorIndex;
    while (count > 0) {
        const auto b = static_cast<std::uint32_t>(at / S);
        const auto i = static_cast<std::uint32_t>(at % S);
        const std::uint32_t n = std::min(count, S - i);
        const std::optional<SectorPlace> p = at / S <= 0xFFFFFFFFu ? Place(b, i) : std::nullopt;
        int r = disk::kReadNoDevice;
        std::uint32_t bad = n;
        if (p)
            r = reader_->Read(p->disk, p->sector, n, out, &bad);
        else
            std::memset(out, 0, static_cast<std::size_t>(n) * kSectorSize);
        lost += bad;
        if (result == disk::kReadOk) result = r;
        out += static_cast<std::size_t>(n) * kSectorSize;
        at += n;
        count -= n;
    }
    if (unreadable) *unreadable = lost;
    return result;
}

bool VolumeSectors::TryReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count,
                                        void* buffer) const {
    const std::uint32_t S = volume_->sectorsPerBlock;
    if (volume_->Spanned() && S != 0 && sectorIndex + static_cast<std::uint64_t>(count) > S) {
        std::uint32_t bad = 0;
        return ReadBlockSectors(block, sectorIndex, count, buffer, &bad) == disk::kReadOk && bad == 0;
    }
    const std::optional<SectorPlace> p = Place(block, sectorIndex);
    if (!p) {
        std::memset(buffer, 0, static_cast<std::size_t>(count) * kSectorSize);
        return false;
    }
    return reader_->TryRead(p->disk, p->sector, count, buffer);
}

int VolumeSectors::ReadVolumeSectors(std::uint64_t volumeSector, std::uint32_t count, void* buffer,
                                     std::uint32_t* unreadable) const {
    const std::uint32_t S = volume_->sectorsPerBlock;
    if (S == 0 || volumeSector / S > 0xFFFFFFFFu) {
        if (!volume_->Spanned()) return reader_->Read(volume_->disk, volume_->startSector + volumeSector, count,
                                                      buffer, unreadable);
        std::memset(buffer, 0, static_cast<std::size_t>(count) * kSectorSize);
        if (unreadable) *unreadable = count;
        return disk::kReadNoDevice;
    }
    return ReadBlockSectors(static_cast<std::uint32_t>(volumeSector / S), static_cast<std::uint32_t>(volumeSector % S),
                            count, buffer, unreadable);
}

}  // namespace nw
