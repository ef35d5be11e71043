#include "netware/FileReader.h"

#include <algorithm>
#include <unordered_set>

#include "app/job/WizardState.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace nw {

namespace {

constexpr std::uint32_t kLargestBlockValue = 0x80000000u;

std::vector<std::uint32_t> gBlockChain;

// Reads one sector of the current volume and hands min(512, N - W) bytes to
// the consumer.
struct SectorPump {
    FileDataConsumer& consumer;
    std::uint32_t byteCount;
    std::uint64_t written = 0;
    std::uint8_t buffer[disk::kSectorSize];

    bool Done() const { return written >= byteCount; }
    void Take(std::uint64_t sector) {
        job::WizardState& w = job::Wizard();
        disk::SectorReadRequest r = disk::MakeRequest(w.selectedDiskNumber, w.selectedDiskLabel, sector, 1, buffer);
        disk::ReadSectors(r);
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(disk::kSectorSize, byteCount - written));
        consumer.Deliver(buffer, n);
        written += n;
    }
};

std::uint64_t BlockStart(std::uint32_t block) {
    const VolumeDescriptor& v = job::Wizard().currentVolume;
    return v.startSector + static_cast<std::uint64_t>(block) * v.sectorsPerBlock;
}

// Number of leading chain elements that are blocks (the terminal value, if
// the chain has one, is not).
std::size_t ChainBlocks(const std::vector<std::uint32_t>& chain) {
    std::size_t n = 0;
    for (; n < chain.size(); ++n) {
        const std::uint32_t e = chain[n];
        if (e >= kLargestBlockValue || (n > 0 && e == 0)) break;
    }
    return n;
}

void ReadPiece(std::uint32_t pieceValue, SectorPump& pump) {
    const std::uint32_t S = job::Wizard().currentVolume.sectorsPerBlock;
    const PieceLocation loc = LocatePiece(pieceValue);
    if (!loc.found) return;
    for (std::uint32_t i = 0; i < loc.sectorsLeft; ++i) {
        if (pump.Done()) return;
        pump.Take(loc.firstSector + i);
    }
    if (pump.Done() || !loc.hasFollowingBlock) return;
    const std::uint64_t next = BlockStart(loc.followingBlock);
    for (std::uint32_t i = 0; i < S; ++i) {
        if (pump.Done()) return;
        pump.Take(next + i);
    }
}

}  // namespace

std::vector<std::uint32_t>& BlockChain() { return gBlockChain; }

void BuildBlockChain(std::uint32_t firstValue) {
    gBlockChain.clear();
    gBlockChain.push_back(firstValue);
    const std::uint32_t limit = VolumeBlockLimit();
    if (firstValue >= limit) return;  // a piece, the end marker, or outside the volume
    std::unordered_set<std::uint32_t> seen{firstValue};
    std::uint32_t v = firstValue;
    while (gBlockChain.size() <= limit) {
        FatEntry e;
        if (!ReadFatEntry(v, &e)) return;  // the mount did not load that part of the FAT
        const std::uint32_t w = e.next;
        if (w == 0 || (w & kLargestBlockValue)) {
            gBlockChain.push_back(w);
            return;
        }
        if (w >= limit || !seen.insert(w).second) return;  // outside the volume, or a loop
        gBlockChain.push_back(w);
        v = w;
    }
}

PieceLocation LocatePiece(std::uint32_t pieceValue) {
    PieceLocation loc;
    const VolumeDescriptor& vol = job::Wizard().currentVolume;
    const std::uint32_t S = vol.sectorsPerBlock;
    if (S == 0 || !IsSuballocatedPiece(pieceValue)) return loc;
    const std::uint32_t P = SuballocChainOf(pieceValue);
    const std::uint32_t n = SuballocPieceOf(pieceValue);
    if (P >= kSuballocChains) return loc;
    BuildBlockChain(Mounted().SuballocationTable[P]);
    const std::uint64_t o = static_cast<std::uint64_t>(n) * P;
    const std::uint64_t j = o / S;
    const std::uint32_t r = static_cast<std::uint32_t>(o % S);
    const std::size_t blocks = ChainBlocks(gBlockChain);
    if (j >= blocks || gBlockChain[j] >= VolumeBlockLimit()) return loc;
    loc.found = true;
    loc.firstSector = BlockStart(gBlockChain[j]) + r;
    loc.sectorsLeft = S - r;
    if (j + 1 < blocks) {
        loc.hasFollowingBlock = true;
        loc.followingBlock = gBlockChain[j + 1];
    }
    return loc;
}

std::optional<std::uint64_t> FirstDataSector(std::uint32_t firstBlock) {
    if (firstBlock == kChainEnd) return std::nullopt;
    if (IsSuballocatedPiece(firstBlock)) {
        const PieceLocation loc = LocatePiece(firstBlock);
        if (!loc.found) return std::nullopt;
        return loc.firstSector;
    }
    if (firstBlock >= VolumeBlockLimit()) return std::nullopt;
    return BlockStart(firstBlock);
}

std::uint64_t ReadFileData(std::uint32_t firstBlock, std::uint32_t byteCount, FileDataConsumer& consumer) {
    SectorPump pump{consumer, byteCount, 0, {}};
    const std::uint32_t S = job::Wizard().currentVolume.sectorsPerBlock;
    if (firstBlock == kChainEnd || S == 0) return 0;

    if (IsSuballocatedPiece(firstBlock)) {
        // A whole file in one piece cannot be larger than a block.
        if (byteCount > static_cast<std::uint64_t>(S) * disk::kSectorSize) return 0;
        ReadPiece(firstBlock, pump);
        return pump.written;
    }

    BuildBlockChain(firstBlock);
    // Reading a piece replaces the current chain, so walk a copy.
    const std::vector<std::uint32_t> chain = gBlockChain;
    const std::uint32_t limit = VolumeBlockLimit();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (consumer.ShouldStop()) return pump.written;
        const std::uint32_t e = chain[i];
        if (i > 0 && IsFileChainEnd(e)) return pump.written;
        if (e < kLargestBlockValue) {
            if (e >= limit) return pump.written;
            const std::uint64_t start = BlockStart(e);
            for (std::uint32_t s = 0; s < S; ++s) {
                if (pump.Done()) return pump.written;
                pump.Take(start + s);
            }
            consumer.BlockFinished();
        } else {
            ReadPiece(e, pump);
            return pump.written;
        }
    }
    return pump.written;
}

std::vector<std::uint8_t> ReadFileBytes(const EntryRecord& file) {
    struct Collect : FileDataConsumer {
        std::vector<std::uint8_t> bytes;
        void Deliver(const std::uint8_t* data, std::uint32_t n) override { bytes.insert(bytes.end(), data, data + n); }
    } collect;
    ReadFileData(file.firstBlock, file.size, collect);
    return std::move(collect.bytes);
}

}  // namespace nw
