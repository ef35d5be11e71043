#include "mountfs/FileLayout.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "disk/Disk.h"
#include "disk/DiskSet.h"
#include "disk/RescueMap.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace mountfs {

namespace {

constexpr std::uint64_t kSector = nw::kSectorSize;

// The missing segment that holds the FAT entry of `block` (nullptr when
// that entry can be read or lies elsewhere).
const nw::VolumeSegment* MissingFatSegment(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                           std::uint32_t block) {
    const nw::VolumeDescriptor& v = volume.currentVolume;
    if (!v.Spanned() || v.sectorsPerBlock == 0) return nullptr;
    std::uint64_t offset = 0;
    unsigned slot = 0;
    if (!nw::LocateFatEntryInList(volume.FatBlockList, block, v.sectorsPerBlock, &offset, &slot)) return nullptr;
    return nw::VolumeSectors(reader, v).MissingSegmentOf(static_cast<std::uint32_t>(offset / v.sectorsPerBlock));
}

// Whether the reader's chain stopped at a FAT entry in a missing segment
// (the reader ends a chain there; its blocks past that point are unknown).
const nw::VolumeSegment* ChainCut(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                  const std::vector<std::uint32_t>& chain) {
    if (chain.empty()) return nullptr;
    const std::uint32_t last = chain.back();
    if (last >= nw::kFirstNonBlockValue || (chain.size() > 1 && last == 0)) return nullptr;
    if (last >= nw::VolumeBlockLimit(volume, reader)) return nullptr;
    nw::FatEntry e;
    if (nw::ReadFatEntry(volume, reader, last, &e)) return nullptr;
    return MissingFatSegment(volume, reader, last);
}

struct Builder {
    const nw::MountedVolume& volume;
    const disk::SectorReader& reader;
    FileLayout& layout;
    std::uint64_t byteCount;

    bool Done() const { return layout.length >= byteCount; }
    void NoteMissing(const nw::VolumeSegment* s) {
        if (s && !layout.missingSegment) layout.missingSegment = *s;
    }
    void Run(std::uint32_t block, std::uint32_t first, std::uint32_t count) {
        const std::uint64_t sectorsLeft = (byteCount - layout.length + kSector - 1) / kSector;
        const auto need = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectorsLeft));
        if (need == 0) return;
        NoteMissing(nw::VolumeSectors(reader, volume.currentVolume).MissingSegmentOf(block));
        layout.runs.push_back({layout.length, block, first, need, true});
        layout.length = std::min<std::uint64_t>(byteCount, layout.length + need * kSector);
    }
    void UnknownRest(const nw::VolumeSegment* cut) {
        NoteMissing(cut);
        const std::uint64_t sectors = (byteCount - layout.length + kSector - 1) / kSector;
        layout.runs.push_back({layout.length, 0, 0, static_cast<std::uint32_t>(sectors), false});
        layout.length = byteCount;
    }
    void Piece(nw::FileReader& fileReader, std::uint32_t pieceValue, std::uint32_t S) {
        const nw::PieceLocation loc = fileReader.LocatePiece(pieceValue);
        const nw::VolumeSegment* cut = ChainCut(volume, reader, fileReader.BlockChain);
        if (!loc.found) {
            if (cut) UnknownRest(cut);
            return;
        }
        Run(loc.block, loc.sectorIndex, loc.sectorsLeft);
        if (Done()) return;
        if (!loc.hasFollowingBlock) {
            if (cut) UnknownRest(cut);
            return;
        }
        Run(loc.followingBlock, 0, S);
    }
};

}  // namespace

FileLayout LayOutFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstValue,
                      std::uint32_t byteCount) {
    FileLayout layout;
    const std::uint32_t S = volume.currentVolume.sectorsPerBlock;
    if (firstValue == nw::kChainEnd || S == 0 || byteCount == 0) return layout;
    Builder b{volume, reader, layout, byteCount};
    nw::FileReader fileReader(volume, reader);
    if (nw::IsSuballocatedPiece(firstValue)) {
        if (byteCount > static_cast<std::uint64_t>(S) * kSector) return layout;
        b.Piece(fileReader, firstValue, S);
        return layout;
    }
    fileReader.BuildBlockChain(firstValue);
    const std::vector<std::uint32_t> chain = fileReader.BlockChain;
    const nw::VolumeSegment* const cut = ChainCut(volume, reader, chain);
    const std::uint32_t limit = nw::VolumeBlockLimit(volume, reader);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint32_t e = chain[i];
        if (i > 0 && nw::IsFileChainEnd(e)) return layout;
        if (e >= nw::kFirstNonBlockValue) {
            b.Piece(fileReader, e, S);
            return layout;
        }
        if (e >= limit || b.Done()) return layout;
        const bool wholeBlock = byteCount - layout.length >= static_cast<std::uint64_t>(S) * kSector;
        b.Run(e, 0, S);
        if (!wholeBlock) return layout;
    }
    if (cut && !b.Done()) b.UnknownRest(cut);
    return layout;
}

RangeRead ReadRange(const nw::MountedVolume& volume, const disk::SectorReader& reader, const FileLayout& layout,
                    std::uint64_t offset, std::uint64_t size, std::uint8_t* out) {
    RangeRead result;
    // `out` holds `size` bytes; the read may fill all of them.
    if (offset >= layout.length || size == 0) return result;
    const std::uint64_t end = std::min(layout.length, offset + size);
    result.bytes = end - offset;
    const nw::VolumeSectors sectors(reader, volume.currentVolume);
    // The first run that reaches past `offset`.
    auto it = std::upper_bound(layout.runs.begin(), layout.runs.end(), offset,
                               [](std::uint64_t o, const FileRun& r) { return o < r.offset; });
    if (it != layout.runs.begin()) --it;
    std::vector<std::uint8_t> buffer;
    for (; it != layout.runs.end() && it->offset < end; ++it) {
        const FileRun& run = *it;
        const std::uint64_t runEnd = std::min(run.offset + run.count * kSector, layout.length);
        if (runEnd <= offset) continue;
        // The sectors of the run the request touches.
        const std::uint64_t from = std::max(offset, run.offset), to = std::min(end, runEnd);
        const auto firstIndex = static_cast<std::uint32_t>((from - run.offset) / kSector);
        const auto lastIndex = static_cast<std::uint32_t>((to - run.offset + kSector - 1) / kSector);
        const std::uint32_t count = lastIndex - firstIndex;
        const std::uint64_t bufferStart = run.offset + firstIndex * kSector;
        // Whole sectors that fit the caller's buffer are read straight into it.
        const bool direct = bufferStart == from && from + count * kSector <= offset + size;
        std::uint8_t* into = out + (from - offset);
        if (!direct) {
            buffer.resize(static_cast<std::size_t>(count) * kSector);
            into = buffer.data();
        }
        if (!run.placed) {
            std::memset(into, 0, static_cast<std::size_t>(count) * kSector);
            for (std::uint32_t k = 0; k < count; ++k) result.unreadableSectors.push_back(bufferStart / kSector + k);
        } else if (!sectors.TryReadBlockSectors(run.block, run.first + firstIndex, count, into).Ok()) {
            for (std::uint32_t k = 0; k < count; ++k)
                if (!sectors.ReadBlockSectors(run.block, run.first + firstIndex + k, 1,
                                              into + static_cast<std::size_t>(k) * kSector)
                         .Ok())
                    result.unreadableSectors.push_back(bufferStart / kSector + k);
        }
        if (!direct) std::memcpy(out + (from - offset), buffer.data() + (from - bufferStart), static_cast<std::size_t>(to - from));
    }
    return result;
}

std::vector<std::uint64_t> KnownUnreadableSectors(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                                  const FileLayout& layout) {
    std::vector<std::uint64_t> known;
    const nw::VolumeSectors sectors(reader, volume.currentVolume);
    std::map<unsigned, std::unique_ptr<disk::RescueMap>> maps;  // by disk; null: none
    auto mapOf = [&](unsigned d) -> const disk::RescueMap* {
        auto it = maps.find(d);
        if (it == maps.end()) {
            std::unique_ptr<disk::RescueMap> map;
            const std::shared_ptr<disk::Disk> attached = reader.Disks().At(d);
            std::string error;
            if (attached && !attached->MapfilePath().empty()) {
                map = std::make_unique<disk::RescueMap>();
                if (!map->Load(attached->MapfilePath(), &error)) map.reset();
            }
            it = maps.emplace(d, std::move(map)).first;
        }
        return it->second.get();
    };
    for (const FileRun& run : layout.runs) {
        const std::uint64_t runSectors = (std::min(run.offset + run.count * kSector, layout.length) - run.offset +
                                          kSector - 1) / kSector;
        for (std::uint64_t k = 0; k < runSectors; ++k) {
            bool bad = !run.placed;
            if (!bad) {
                const std::optional<nw::SectorPlace> place =
                    sectors.Place(run.block, run.first + static_cast<std::uint32_t>(k));
                if (!place) bad = true;
                else if (const disk::RescueMap* map = mapOf(place->disk))
                    bad = !map->IsGood(place->sector * kSector, kSector);
            }
            if (bad) known.push_back(run.offset / kSector + k);
        }
    }
    return known;
}

}  // namespace mountfs
