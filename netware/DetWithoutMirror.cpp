// The search around a DET that did not prove out as copy 1 of the mirror
// found above it: it may be copy 2 of a volume, or the only readable copy.
#include <algorithm>
#include <utility>
#include <vector>

#include "disk/SectorReader.h"
#include "netware/SearchSteps.h"

namespace nw {

namespace {

using namespace search;

constexpr std::uint32_t kPassWindow = 2048;  // sectors per read of a pass (1 MiB), a multiple of the group

// Hands fn(position, sector) every eighth sector from `from` on, below `to`,
// read a window at a time; a window that cannot be read whole is read one
// sector at a time through the bad-sector policy. fn returns false to end
// the pass. False when the pass was stopped by `stop`.
template <typename Fn>
bool EveryEighthSector(const SearchTarget& t, std::uint64_t from, std::uint64_t to, SearchReport& report,
                       const base::CancelFlag* stop, Fn&& fn) {
    std::vector<std::uint8_t> window(static_cast<std::size_t>(kPassWindow) * kSectorSize);
    Sector single{};
    for (std::uint64_t start = from; start < to; start += kPassWindow) {
        if (base::Cancelled(stop)) return false;
        report.Status("Validating a possible volume " + std::to_string(start) + " / " +
                      std::to_string(to));
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPassWindow, to - start));
        const bool whole = t.reader->TryRead(t.disk, start, count, window.data()).Ok();
        for (std::uint32_t k = 0; k < count; k += kScanGroup) {
            const std::uint8_t* sector = window.data() + static_cast<std::size_t>(k) * kSectorSize;
            if (!whole) {
                ReadOne(t, start + k, single);
                sector = single.data();
            }
            if (!fn(start + k, sector)) return true;
        }
    }
    return true;
}

// A volume start proven from the FAT and one DET chain only.
struct OneCopyProof {
    std::uint64_t p = 0;
    std::uint32_t h = 0;
    std::vector<std::uint32_t> fat;
};

}  // namespace

StartResult FindVolumeWithoutMirror(const SearchTarget& target, std::uint64_t d, FoundVolumes& found,
                                    SearchReport& report, const base::CancelFlag* stop) {
    // The starts a pair (copy 1 below d, d) can have, as the start search
    // has them, and the DETs below d that can be its copy 1: less than the
    // mirror window away. Both lie 8-aligned with d.
    const std::uint64_t low = d > kMirrorWindow ? d - kMirrorWindow : 0;
    std::vector<std::uint64_t> dets;                              // ascending
    std::vector<std::pair<std::uint64_t, std::uint32_t>> starts;  // sector, block 0's next value
    const bool passed = EveryEighthSector(target, low + (d - low) % kScanGroup, d, report, stop,
                                          [&](std::uint64_t x, const std::uint8_t* sector) {
                                              if (BeginsWithDetSignature(sector)) {
                                                  if (d - x < kMirrorWindow) dets.push_back(x);
                                              } else if (const auto next = FatStartNext(sector)) {
                                                  starts.emplace_back(x, *next);
                                              }
                                              return true;
                                          });
    if (!passed) return StartResult::None;

    // 1. d as copy 2: the lowest start, the largest block size, then the
    //    nearest copy 1 for which the pair proves as ProveVolumeStart has it.
    std::optional<OneCopyProof> alone;
    unsigned counter = 0;
    for (const auto& [p, firstNext] : starts) {
        if (base::Cancelled(stop)) return StartResult::None;
        if (++counter >= kStartReportEvery) {
            report.Status("Searching FAT " + std::to_string(p));
            counter = 0;
        }
        for (std::uint32_t h : kBlockSizes) {
            if ((d - p) % h != 0 || (d - p) / h > 0xFFFFFFFFull) continue;
            const auto b2 = static_cast<std::uint32_t>((d - p) / h);
            std::vector<std::uint32_t> fat, c1, c2;
            if (!ProveFatChain(target, p, h, firstNext, fat)) continue;
            if (!ProveDetChain(target, p, h, fat, b2, c2)) continue;
            for (auto j = dets.rbegin(); j != dets.rend() && *j > p; ++j) {
                if ((*j - p) % h != 0) continue;
                const auto b1 = static_cast<std::uint32_t>((*j - p) / h);
                if (ProveDetChain(target, p, h, fat, b1, c1) && c1.size() == c2.size() &&
                    SameBlocks(target, p, h, c1, c2))
                    return AddProvenVolume(target, p, h, b1, b2, found, report);
            }
            if (!alone) alone = OneCopyProof{p, h, std::move(fat)};
        }
    }
    if (!alone) return StartResult::None;

    // 2. d as the only copy left: the lowest start at which the FAT and d's
    //    own chain prove stands, unless another DET within the mirror window
    //    either side starts a chain that proves through that FAT at a block
    //    start of that volume. Such a DET is a readable copy that does not
    //    pair with d (copies that differ), or d is a file's data that
    //    begins like a DET; neither proves a volume. Without one, the other
    //    copy has lost its first sector (overwritten or unreadable), and
    //    both directory positions of the volume name d's block.
    const auto provesHere = [&](std::uint64_t x) {
        if (x <= alone->p || (x - alone->p) % alone->h != 0 || (x - alone->p) / alone->h > 0xFFFFFFFFull) return false;
        std::vector<std::uint32_t> chain;
        return ProveDetChain(target, alone->p, alone->h, alone->fat,
                             static_cast<std::uint32_t>((x - alone->p) / alone->h), chain);
    };
    if (std::any_of(dets.begin(), dets.end(), provesHere)) return StartResult::None;
    bool rival = false;
    if (!EveryEighthSector(target, d + kScanGroup, d + kMirrorWindow, report, stop,
                           [&](std::uint64_t x, const std::uint8_t* sector) {
                               rival = BeginsWithDetSignature(sector) && provesHere(x);
                               return !rival;
                           }) ||
        rival)
        return StartResult::None;
    const auto b = static_cast<std::uint32_t>((d - alone->p) / alone->h);
    return AddProvenVolume(target, alone->p, alone->h, b, b, found, report);
}

}  // namespace nw
