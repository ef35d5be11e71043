#include "netware/SearchSteps.h"

#include <cstring>
#include <string>

#include "disk/SectorReader.h"

namespace nw {

namespace search {

namespace {

// Reads FAT entries of a candidate volume, keeping the last sector read.
class CandidateFat {
public:
    CandidateFat(const SearchTarget& t, std::uint64_t start, std::uint32_t h) : t_(t), start_(start), h_(h) {}
    FatEntry Entry(std::uint32_t fatBlock, std::uint32_t sectorInBlock, std::uint32_t index) {
        const std::uint64_t at = BlockSector(start_, fatBlock, h_, sectorInBlock);
        if (!valid_ || at != cached_) {
            ReadOne(t_, at, sector_);
            cached_ = at;
            valid_ = true;
        }
        return DecodeFatEntry(sector_.data(), index);
    }

private:
    const SearchTarget& t_;
    std::uint64_t start_;
    std::uint32_t h_;
    Sector sector_{};
    std::uint64_t cached_ = 0;
    bool valid_ = false;
};

}  // namespace

std::string VolumeCountText(std::uint32_t n) { return "Volumes Found : " + std::to_string(n); }

void ReadSectors(const SearchTarget& t, std::uint64_t start, std::uint32_t count, void* buffer) {
    t.reader->Read(t.disk, start, count, buffer);
}

bool BeginsWithDetSignature(const std::uint8_t* sector) {
    return std::memcmp(sector, kDetSignature.data(), kDetSignature.size()) == 0;
}

std::optional<std::uint32_t> FatStartNext(const std::uint8_t* sector) {
    const FatEntry e0 = DecodeFatEntry(sector, 0);
    if (e0.sequence != 0) return std::nullopt;
    if (e0.next != kChainEnd && (e0.next < 1 || e0.next > kMaxFirstFatNext)) return std::nullopt;
    return e0.next;
}

bool ProveFatChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, std::uint32_t firstNext,
                   std::vector<std::uint32_t>& fat) {
    fat.assign(1, 0);
    if (firstNext == kChainEnd) return true;  // a FAT of one block
    std::vector<std::uint32_t> chain{0, firstNext};
    CandidateFat reader(t, p, h);
    for (;;) {
        const std::uint32_t b = chain.back();
        const std::uint32_t s = b / kFatEntriesPerSector;
        const std::uint32_t q = s / h;
        if (q > chain.size() - 1) return false;  // that FAT block is not proven yet
        const FatEntry e = reader.Entry(chain[q], s - q * h, b % kFatEntriesPerSector);
        if (e.sequence != chain.size() - 1 || e.next == 0) return false;
        if (chain.size() >= kChainTableSize) return false;  // longer than the proof table
        chain.push_back(e.next);
        if (e.next == kChainEnd) break;
    }
    chain.pop_back();  // the end marker
    fat = std::move(chain);
    return true;
}

bool ProveDetChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& fat,
                   std::uint32_t first, std::vector<std::uint32_t>& chain) {
    chain.clear();
    // Blocks the proven FAT describes: anything beyond has no entry.
    const std::uint64_t described = static_cast<std::uint64_t>(fat.size()) * h * kFatEntriesPerSector;
    CandidateFat reader(t, p, h);
    std::uint32_t b = first;
    for (;;) {
        if (b >= described || chain.size() >= described) return false;
        const std::uint32_t s = b / kFatEntriesPerSector;
        const std::uint32_t q = s / h;
        const FatEntry e = reader.Entry(fat[q], s - q * h, b % kFatEntriesPerSector);
        if (e.sequence != chain.size() || e.next == 0) return false;
        chain.push_back(b);
        if (IsDetChainEnd(e.next)) return true;
        b = e.next;
    }
}

bool SameBlocks(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& c1,
                const std::vector<std::uint32_t>& c2) {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(h) * kSectorSize), b(a.size());
    for (std::size_t i = 0; i < c1.size(); ++i) {
        if (c1[i] == c2[i]) continue;
        ReadSectors(t, BlockSector(p, c1[i], h), h, a.data());
        ReadSectors(t, BlockSector(p, c2[i], h), h, b.data());
        if (a != b) return false;
    }
    return true;
}

std::uint32_t AddVolume(FoundVolumes& found, const VolumeDescriptor& d, SearchReport& report) {
    const std::uint32_t n = found.Add(d);
    report.VolumeFound(d, n);
    return n;
}

StartResult AddProvenVolume(const SearchTarget& t, std::uint64_t p, std::uint32_t h, std::uint32_t det1Block,
                            std::uint32_t det2Block, FoundVolumes& found, SearchReport& report) {
    VolumeDescriptor d;
    d.name = "Volume " + std::to_string(found.Count());
    d.det1FirstBlock = det1Block;
    d.det2FirstBlock = det2Block;
    d.startSector = p;
    d.sectorsPerBlock = h;
    d.disk = t.disk;
    report.VolumeCountText(VolumeCountText(AddVolume(found, d, report)));
    return StartResult::Added;
}

}  // namespace search

std::optional<StartProof> ProveVolumeStart(const SearchTarget& target, std::uint64_t p, std::uint64_t d1,
                                           std::uint64_t d2) {
    using namespace search;
    if (d1 < p || d2 < p) return std::nullopt;
    Sector first{};
    ReadOne(target, p, first);
    const std::optional<std::uint32_t> firstNext = FatStartNext(first.data());
    if (!firstNext) return std::nullopt;

    for (std::uint32_t h : kBlockSizes) {
        if ((d1 - p) % h != 0 || (d2 - p) % h != 0) continue;
        const std::uint64_t b1 = (d1 - p) / h, b2 = (d2 - p) / h;
        if (b1 > 0xFFFFFFFFull || b2 > 0xFFFFFFFFull) continue;
        StartProof proof;
        if (!ProveFatChain(target, p, h, *firstNext, proof.fatBlocks)) continue;
        std::vector<std::uint32_t> c1, c2;
        if (!ProveDetChain(target, p, h, proof.fatBlocks, static_cast<std::uint32_t>(b1), c1)) continue;
        if (!ProveDetChain(target, p, h, proof.fatBlocks, static_cast<std::uint32_t>(b2), c2)) continue;
        if (c1.size() != c2.size() || !SameBlocks(target, p, h, c1, c2)) continue;
        proof.sectorsPerBlock = h;
        proof.det1Block = static_cast<std::uint32_t>(b1);
        proof.det2Block = static_cast<std::uint32_t>(b2);
        return proof;
    }
    return std::nullopt;
}

}  // namespace nw
