#include "netware/FileReader.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace nw {

namespace {

// Hands the file's bytes to the consumer one sector at a time, min(512,
// N - W) bytes of each. A run of sectors (a block, or the rest of one after
// a piece's start) is read with one request when every sector of it can be
// read; otherwise sector by sector through the bad-sector policy, so that
// a bad sector costs only itself.
struct SectorPump {
    const VolumeSectors& sectors;
    FileDataConsumer& consumer;
    std::uint32_t byteCount;
    std::uint64_t written = 0;
    std::uint64_t unreadableBytes = 0;
    std::uint8_t buffer[kSectorSize] = {};
    std::vector<std::uint8_t> run;

    bool Done() const { return written >= byteCount; }
    void Deliver(const std::uint8_t* data, bool unreadable) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kSectorSize, byteCount - written));
        consumer.Deliver(data, n);
        written += n;
        if (unreadable) unreadableBytes += n;
    }
    const VolumeSegment* missing = nullptr;  // the first missing segment a read needed
    // Tells the consumer where the next `sectorCount` sectors' bytes lie.
    void Announce(std::uint32_t block, std::uint32_t index, std::uint64_t sectorCount, bool unreadable) {
        FileByteRun r;
        r.fileOffset = written;
        r.length = std::min<std::uint64_t>(sectorCount * kSectorSize, byteCount - written);
        if (const std::optional<SectorPlace> place = sectors.Place(block, index)) {
            r.placed = true;
            r.disk = place->disk;
            r.diskOffset = place->sector * kSectorSize;
        }
        r.unreadable = unreadable;
        consumer.RunPlaced(r);
    }
    void Take(std::uint32_t block, std::uint32_t index) {
        const disk::ReadStatus status = sectors.ReadBlockSectors(block, index, 1, buffer);
        if (status.Has(disk::Unread::kMissingSegment) && !missing) missing = sectors.MissingSegmentOf(block);
        Announce(block, index, 1, !status.Ok());
        Deliver(buffer, !status.Ok());
    }
    // Sectors `first` .. first + count - 1 of one block.
    void TakeRun(std::uint32_t block, std::uint32_t first, std::uint32_t count) {
        const std::uint64_t sectorsLeft = (byteCount - written + kSectorSize - 1) / kSectorSize;
        const auto need = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectorsLeft));
        if (need == 0) return;
        if (need > 1) {
            run.resize(static_cast<std::size_t>(need) * kSectorSize);
            if (sectors.TryReadBlockSectors(block, first, need, run.data()).Ok()) {
                Announce(block, first, need, false);
                for (std::uint32_t i = 0; i < need; ++i)
                    Deliver(run.data() + static_cast<std::size_t>(i) * kSectorSize, false);
                return;
            }
        }
        for (std::uint32_t i = 0; i < need && !Done(); ++i) Take(block, first + i);
    }
    // The rest of the file as zeros counted unreadable: its blocks cannot
    // be known because the FAT part that chains them lies in a missing
    // segment.
    void TakeUnknownRest() {
        std::memset(buffer, 0, sizeof buffer);
        if (Done()) return;
        FileByteRun r;
        r.fileOffset = written;
        r.length = byteCount - written;
        r.unreadable = true;
        consumer.RunPlaced(r);
        while (!Done()) Deliver(buffer, true);
    }
};

// Number of leading chain elements that are blocks (the terminal value, if
// the chain has one, is not).
std::size_t ChainBlocks(const std::vector<std::uint32_t>& chain) {
    std::size_t n = 0;
    for (; n < chain.size(); ++n) {
        const std::uint32_t e = chain[n];
        if (e >= kFirstNonBlockValue || (n > 0 && e == 0)) break;
    }
    return n;
}

}  // namespace

void AddByteRun(std::vector<FileByteRun>& runs, const FileByteRun& run) {
    if (run.length == 0) return;
    if (!runs.empty()) {
        FileByteRun& last = runs.back();
        if (last.fileOffset + last.length == run.fileOffset && last.placed == run.placed &&
            last.unreadable == run.unreadable &&
            (!run.placed || (last.disk == run.disk && last.diskOffset + last.length == run.diskOffset))) {
            last.length += run.length;
            return;
        }
    }
    runs.push_back(run);
}

void FileReader::BuildBlockChain(std::uint32_t firstValue) {
    BlockChain.clear();
    chainCutByMissingSegment_ = nullptr;
    BlockChain.push_back(firstValue);
    const std::uint32_t limit = VolumeBlockLimit(*volume_, *reader_);
    if (firstValue >= limit) return;  // a piece, the end marker, or outside the volume
    std::unordered_set<std::uint32_t> seen{firstValue};
    std::uint32_t v = firstValue;
    while (BlockChain.size() <= limit) {
        FatEntry e;
        if (!ReadFatEntry(*volume_, *reader_, v, &e)) {
            // The mount did not load that part of the FAT, or it lies in a
            // segment whose disk is not attached.
            chainCutByMissingSegment_ = MissingFatSegment(v);
            return;
        }
        const std::uint32_t w = e.next;
        if (w == 0 || w >= kFirstNonBlockValue) {
            BlockChain.push_back(w);
            return;
        }
        if (w >= limit || !seen.insert(w).second) return;  // outside the volume, or a loop
        BlockChain.push_back(w);
        v = w;
    }
}

PieceLocation FileReader::LocatePiece(std::uint32_t pieceValue) {
    PieceLocation loc;
    const VolumeSectors sectors(*reader_, volume_->currentVolume);
    const std::uint32_t S = volume_->currentVolume.sectorsPerBlock;
    if (S == 0 || !IsSuballocatedPiece(pieceValue)) return loc;
    const std::uint32_t P = SuballocChainOf(pieceValue);
    const std::uint32_t n = SuballocPieceOf(pieceValue);
    if (P >= kSuballocChains) return loc;
    BuildBlockChain(volume_->SuballocationTable[P]);
    const std::uint64_t o = static_cast<std::uint64_t>(n) * P;
    const std::uint64_t j = o / S;
    const auto r = static_cast<std::uint32_t>(o % S);
    const std::size_t blocks = ChainBlocks(BlockChain);
    if (j >= blocks || BlockChain[j] >= VolumeBlockLimit(*volume_, *reader_)) return loc;
    const std::optional<SectorPlace> place = sectors.Place(BlockChain[j], r);
    loc.found = true;
    loc.placed = place.has_value();
    loc.firstSector = place ? place->sector : 0;
    loc.block = BlockChain[j];
    loc.sectorIndex = r;
    loc.sectorsLeft = S - r;
    if (j + 1 < blocks) {
        loc.hasFollowingBlock = true;
        loc.followingBlock = BlockChain[j + 1];
    }
    return loc;
}

std::optional<std::uint64_t> FileReader::FirstDataSector(std::uint32_t firstBlock) {
    if (firstBlock == kChainEnd) return std::nullopt;
    if (IsSuballocatedPiece(firstBlock)) {
        const PieceLocation loc = LocatePiece(firstBlock);
        if (!loc.found || !loc.placed) return std::nullopt;
        return loc.firstSector;
    }
    if (firstBlock >= VolumeBlockLimit(*volume_, *reader_)) return std::nullopt;
    const std::optional<SectorPlace> place = VolumeSectors(*reader_, volume_->currentVolume).Place(firstBlock);
    if (!place) return std::nullopt;
    return place->sector;
}

bool FileReader::ReadFirstDataSector(std::uint32_t firstBlock, std::uint8_t* out) {
    std::uint32_t block = firstBlock, index = 0;
    if (firstBlock == kChainEnd) return false;
    if (IsSuballocatedPiece(firstBlock)) {
        const PieceLocation loc = LocatePiece(firstBlock);
        if (!loc.found) return false;
        block = loc.block;
        index = loc.sectorIndex;
    } else if (firstBlock >= VolumeBlockLimit(*volume_, *reader_)) {
        return false;
    }
    const VolumeSectors sectors(*reader_, volume_->currentVolume);
    if (!sectors.Place(block, index)) return false;
    sectors.ReadBlockSectors(block, index, 1, out);
    return true;
}

const VolumeSegment* FileReader::MissingFatSegment(std::uint32_t block) const {
    const VolumeDescriptor& v = volume_->currentVolume;
    if (!v.Spanned() || v.sectorsPerBlock == 0) return nullptr;
    std::uint64_t offset = 0;
    unsigned slot = 0;
    if (!LocateFatEntryInList(volume_->FatBlockList, block, v.sectorsPerBlock, &offset, &slot)) return nullptr;
    return VolumeSectors(*reader_, v).MissingSegmentOf(static_cast<std::uint32_t>(offset / v.sectorsPerBlock));
}

std::uint64_t FileReader::ReadFileData(std::uint32_t firstBlock, std::uint32_t byteCount,
                                       FileDataConsumer& consumer) {
    const VolumeSectors sectors(*reader_, volume_->currentVolume);
    SectorPump pump{sectors, consumer, byteCount, 0, 0, {}, {}, nullptr};
    unreadableBytes_ = 0;
    missingSegment_.reset();
    const std::uint32_t S = volume_->currentVolume.sectorsPerBlock;
    if (firstBlock == kChainEnd || S == 0) return 0;

    // The rest of a block after a piece's start, then at most one following block.
    auto readPiece = [&](std::uint32_t pieceValue) {
        const PieceLocation loc = LocatePiece(pieceValue);
        if (!loc.found) {
            if (chainCutByMissingSegment_) {
                if (!pump.missing) pump.missing = chainCutByMissingSegment_;
                pump.TakeUnknownRest();
            }
            return;
        }
        pump.TakeRun(loc.block, loc.sectorIndex, loc.sectorsLeft);
        if (pump.Done()) return;
        if (!loc.hasFollowingBlock) {
            if (chainCutByMissingSegment_) {
                if (!pump.missing) pump.missing = chainCutByMissingSegment_;
                pump.TakeUnknownRest();
            }
            return;
        }
        pump.TakeRun(loc.followingBlock, 0, S);
    };
    auto finish = [&] {
        unreadableBytes_ = pump.unreadableBytes;
        if (pump.missing) missingSegment_ = *pump.missing;
        return pump.written;
    };

    if (IsSuballocatedPiece(firstBlock)) {
        // A whole file in one piece cannot be larger than a block.
        if (byteCount > static_cast<std::uint64_t>(S) * kSectorSize) return 0;
        readPiece(firstBlock);
        return finish();
    }

    BuildBlockChain(firstBlock);
    // Reading a piece replaces the current chain, so walk a copy.
    const std::vector<std::uint32_t> chain = BlockChain;
    const VolumeSegment* const cut = chainCutByMissingSegment_;
    const std::uint32_t limit = VolumeBlockLimit(*volume_, *reader_);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (consumer.ShouldStop()) return finish();
        const std::uint32_t e = chain[i];
        if (i > 0 && IsFileChainEnd(e)) return finish();
        if (e >= kFirstNonBlockValue) {
            readPiece(e);
            return finish();
        }
        if (e >= limit) return finish();
        if (pump.Done()) return finish();
        const bool wholeBlock = pump.byteCount - pump.written >= static_cast<std::uint64_t>(S) * kSectorSize;
        pump.TakeRun(e, 0, S);
        if (!wholeBlock) return finish();
        consumer.BlockFinished();
    }
    if (cut && !pump.Done() && !consumer.ShouldStop()) {
        if (!pump.missing) pump.missing = cut;
        pump.TakeUnknownRest();
    }
    return finish();
}

std::vector<std::uint8_t> FileReader::ReadFileBytes(const EntryRecord& file) {
    struct Collect : FileDataConsumer {
        std::vector<std::uint8_t> bytes;
        void Deliver(const std::uint8_t* data, std::uint32_t n) override { bytes.insert(bytes.end(), data, data + n); }
    } collect;
    ReadFileData(file.firstBlock, file.size, collect);
    return std::move(collect.bytes);
}

}  // namespace nw
