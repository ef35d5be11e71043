#include "records/RecoveryLogCheck.h"

#include <algorithm>
#include <vector>

#include "disk/BadSectorPolicy.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace records {

namespace {

constexpr std::size_t kSamplesPerList = 8;

// Positions spread evenly over a list of `n` records (first and last included).
std::vector<std::size_t> Spread(std::size_t n) {
    std::vector<std::size_t> at;
    if (n == 0) return at;
    const std::size_t k = std::min(n, kSamplesPerList);
    for (std::size_t i = 0; i < k; ++i) at.push_back(k == 1 ? 0 : i * (n - 1) / (k - 1));
    at.erase(std::unique(at.begin(), at.end()), at.end());
    return at;
}

// The list a sampled position belongs to and where the walk stands in it.
struct ListCursor {
    const std::vector<nw::EntryRecord>* records = nullptr;
    std::vector<std::size_t> samples;
    std::size_t nextSample = 0;
    std::size_t position = 0;  // entries of this kind walked so far

    bool Done() const { return nextSample >= samples.size(); }
};

// Compares the DET entry at `slot` of `sector` with the logged record.
bool SameEntry(const std::uint8_t* sector, unsigned slot, const nw::EntryRecord& logged) {
    const std::uint8_t* e = sector + nw::kDetEntrySize * slot;
    std::string name = nw::LongNameFor(sector, slot);
    if (name.empty()) name.assign(reinterpret_cast<const char*>(e + nw::det::kName), e[nw::det::kNameLength]);
    if (name.size() > nw::kMaxEntryNameLength) name.resize(nw::kMaxEntryNameLength);
    return name == logged.name && nw::LoadLe32(e + nw::det::kFolderNumber) == logged.ownNumber &&
           nw::LoadLe32(e + nw::det::kFirstBlock) == logged.firstBlock &&
           nw::LoadLe32(e + nw::det::kDateTime) == logged.timestamp;
}

}  // namespace

LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, unsigned diskNumber, const disk::SectorReader& reader) {
    // Folders the mount made itself (LOST) are not on the disk; they come
    // after every folder of the directory walk.
    std::size_t walkedFolders = log.folders.size();
    while (walkedFolders > 0 && log.folders[walkedFolders - 1].ownNumber == nw::kLostFolderNumber) --walkedFolders;
    ListCursor folders{&log.folders, Spread(walkedFolders)};
    ListCursor files{&log.files, Spread(log.files.size())};
    if (folders.Done() && files.Done()) return LogDiskMatch::CannotTell;

    // Reads that never ask: a sector that cannot be read is passed over.
    disk::BadSectorPolicy quiet;
    quiet.BadSectorDecision = disk::kSkipAll;
    const disk::SectorReader quietReader(reader.Disks(), quiet);

    nw::MountedVolume volume;
    volume.currentVolume = log.volume;
    volume.currentVolume.disk = diskNumber;
    for (std::size_t i = 0; i < log.fatBlocks.size(); ++i)
        volume.FatBlockList.push_back({static_cast<std::uint32_t>(i), log.fatBlocks[i]});
    nw::LoadDetChain(volume, quietReader, log.volume.det1FirstBlock, volume.Det1BlockList);
    nw::LoadDetChain(volume, quietReader, log.volume.det2FirstBlock, volume.Det2BlockList);
    const std::uint32_t limit = nw::VolumeBlockLimit(volume, quietReader);
    const nw::VolumeSectors sectors(quietReader, volume.currentVolume);
    const std::uint32_t S = volume.currentVolume.sectorsPerBlock;
    auto blockAt = [&](const nw::BlockList& list, std::size_t i) -> std::uint32_t {
        if (i >= list.size() || nw::IsDetChainEnd(list[i].block) || list[i].block >= limit) return nw::kChainEnd;
        return list[i].block;
    };
    auto readSector = [&](std::uint32_t block, std::uint32_t s, std::uint8_t* out) {
        return block != nw::kChainEnd && sectors.TryReadBlockSectors(block, s, 1, out).Ok();
    };

    // The copy a mount walks: copy 1 when its first sector reads and begins
    // with the directory signature, else copy 2 on the same terms.
    std::uint8_t sector[nw::kSectorSize];
    bool anyRead = false;
    const nw::BlockList* walked = nullptr;
    const nw::BlockList* other = nullptr;
    for (int copy = 0; copy < 2 && !walked; ++copy) {
        const nw::BlockList& list = copy == 0 ? volume.Det1BlockList : volume.Det2BlockList;
        if (!readSector(blockAt(list, 0), 0, sector)) continue;
        anyRead = true;
        if (std::equal(nw::kDetSignature.begin(), nw::kDetSignature.end(), sector)) {
            walked = &list;
            other = copy == 0 ? &volume.Det2BlockList : &volume.Det1BlockList;
        }
    }
    if (!walked) return anyRead ? LogDiskMatch::Differs : LogDiskMatch::CannotTell;

    std::size_t compared = 0;
    for (std::size_t i = 0; i < walked->size() && !(folders.Done() && files.Done()); ++i) {
        const std::uint32_t block = blockAt(*walked, i);
        if (block == nw::kChainEnd) continue;
        std::uint32_t mirror = blockAt(*other, i);
        if (mirror == block) mirror = nw::kChainEnd;
        for (std::uint32_t s = 0; s < S && !(folders.Done() && files.Done()); ++s) {
            if (!readSector(block, s, sector) && !readSector(mirror, s, sector))
                return compared ? LogDiskMatch::Matches : LogDiskMatch::CannotTell;
            // The entries a mount takes, counted as it counts them.
            for (unsigned j = 0; j < nw::kDetEntriesPerSector; ++j) {
                const std::uint8_t* e = sector + nw::kDetEntrySize * j;
                if (nw::LoadLe32(e + nw::det::kParent) >= nw::kSuballocMarker) continue;
                const std::uint8_t nameLength = e[nw::det::kNameLength];
                if (e[nw::det::kNameSpace] != nw::kNameSpaceDos || nameLength == 0 ||
                    nameLength > nw::kMaxPrimaryNameLength)
                    continue;
                ListCursor& list = (nw::LoadLe32(e + nw::det::kAttributes) & nw::kAttrFolder) ? folders : files;
                if (!list.Done() && list.samples[list.nextSample] == list.position) {
                    if (!SameEntry(sector, j, (*list.records)[list.position])) return LogDiskMatch::Differs;
                    ++compared;
                    ++list.nextSample;
                }
                ++list.position;
            }
        }
    }
    // A chain that ends early (a FAT sector that no longer reads) ends the
    // comparison with what it reached.
    return compared ? LogDiskMatch::Matches : LogDiskMatch::CannotTell;
}

}  // namespace records
