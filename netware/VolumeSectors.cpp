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

std::vector<std::string> SegmentLayoutWarnings(const VolumeDescriptor& v) {
    std::vector<std::string> out;
    auto blocks = [&](std::uint64_t first, std::uint64_t end) {
        return "Volume " + v.name + ": blocks " + std::to_string(first) + " to " + std::to_string(end - 1);
    };
    std::uint64_t covered = 0;  // blocks 0 .. covered - 1 lie in the segments so far
    for (const VolumeSegment& s : v.segments) {  // in block order
        const std::uint64_t end = static_cast<std::uint64_t>(s.firstBlock) + s.blockCount;
        if (s.firstBlock > covered)
            out.push_back(blocks(covered, s.firstBlock) + " lie in no segment: they cannot be read.");
        else if (s.firstBlock < covered && s.blockCount > 0)
            out.push_back(blocks(s.firstBlock, std::min(covered, end)) +
                          " are claimed by two segments: the first one's place is read.");
        covered = std::max(covered, end);
    }
    if (!v.segments.empty() && covered < v.blockCount)
        out.push_back(blocks(covered, v.blockCount) + " lie in no segment: they cannot be read.");
    return out;
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

namespace {

// Why a block without a place has none.
disk::Unread NoPlaceReason(const VolumeDescriptor& v, std::uint32_t block) {
    const VolumeSegment* s = v.Spanned() ? SegmentOf(v, block) : nullptr;
    return s && !s->present ? disk::Unread::kMissingSegment : disk::Unread::kNoPlace;
}

disk::ReadStatus Unplaced(void* buffer, std::uint32_t count, disk::Unread reason) {
    std::memset(buffer, 0, static_cast<std::size_t>(count) * kSectorSize);
    return disk::ReadStatus::Nothing(count, reason);
}

// A run that leaves its block may leave its segment too: on a volume of
// several segments each block's part is placed on its own.
template <typename ReadFn>
disk::ReadStatus ReadPlaced(const VolumeSectors& sectors, std::uint32_t block, std::uint32_t sectorIndex,
                            std::uint32_t count, void* buffer, ReadFn&& read) {
    const VolumeDescriptor& v = sectors.Volume();
    const std::uint32_t S = v.sectorsPerBlock;
    if (count == 0) return {};
    if (!v.Spanned() || S == 0) {
        if (const std::optional<SectorPlace> p = sectors.Place(block, sectorIndex))
            return read(p->disk, p->sector, count, buffer);
        return Unplaced(buffer, count, NoPlaceReason(v, block));
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    disk::ReadStatus status;
    std::uint32_t done = 0;
    std::uint64_t at = static_cast<std::uint64_t>(block) * S + sectorIndex;
    while (done < count) {
        const std::uint64_t b = at / S;
        const auto i = static_cast<std::uint32_t>(at % S);
        const std::uint32_t n = std::min(count - done, S - i);
        const std::optional<SectorPlace> p =
            b <= 0xFFFFFFFFu ? sectors.Place(static_cast<std::uint32_t>(b), i) : std::nullopt;
        if (p)
            status.Append(read(p->disk, p->sector, n, out), done);
        else
            status.Append(Unplaced(out, n, b <= 0xFFFFFFFFu ? NoPlaceReason(v, static_cast<std::uint32_t>(b))
                                                            : disk::Unread::kNoPlace),
                          done);
        out += static_cast<std::size_t>(n) * kSectorSize;
        at += n;
        done += n;
    }
    return status;
}

}  // namespace

disk::ReadStatus VolumeSectors::ReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count,
                                                 void* buffer) const {
    return ReadPlaced(*this, block, sectorIndex, count, buffer,
                      [this](unsigned d, std::uint64_t s, std::uint32_t n, void* b) { return reader_->Read(d, s, n, b); });
}

disk::ReadStatus VolumeSectors::TryReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex,
                                                    std::uint32_t count, void* buffer) const {
    return ReadPlaced(*this, block, sectorIndex, count, buffer, [this](unsigned d, std::uint64_t s, std::uint32_t n,
                                                                        void* b) { return reader_->TryRead(d, s, n, b); });
}

disk::ReadStatus VolumeSectors::ReadVolumeSectors(std::uint64_t volumeSector, std::uint32_t count,
                                                  void* buffer) const {
    const std::uint32_t S = volume_->sectorsPerBlock;
    if (S == 0 || volumeSector / S > 0xFFFFFFFFu) {
        if (!volume_->Spanned()) return reader_->Read(volume_->disk, volume_->startSector + volumeSector, count, buffer);
        return Unplaced(buffer, count, disk::Unread::kNoPlace);
    }
    return ReadBlockSectors(static_cast<std::uint32_t>(volumeSector / S), static_cast<std::uint32_t>(volumeSector % S),
                            count, buffer);
}

}  // namespace nw
