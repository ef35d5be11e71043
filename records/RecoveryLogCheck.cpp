#include "records/RecoveryLogCheck.h"

#include <algorithm>
#include <array>
#include <vector>

#include "disk/BadSectorPolicy.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/FolderTree.h"
#include "netware/Records.h"

namespace records {

namespace {

// Where the directory walk stands in one of the log's lists.
struct ListCursor {
    const std::vector<nw::EntryRecord>* records = nullptr;
    std::size_t count = 0;     // records the directory walk must account for
    std::size_t position = 0;  // entries of this kind walked so far
};

constexpr std::uint8_t kCompressedMark = 0x04;

// Whether the DET entry at `slot` of `sector` is the logged record, as a
// mount would have taken it. Two differences are the disk's own later
// changes, not the log's: a record the mount placed under LOST (its parent
// is not a folder of the volume, or it sits in a parent cycle), and the
// compressed mark with its size, which marking sets after a log was saved.
bool SameEntry(const std::uint8_t* sector, unsigned slot, const nw::EntryRecord& logged) {
    const std::uint8_t* e = sector + nw::kDetEntrySize * slot;
    std::string name = nw::LongNameFor(sector, slot);
    if (name.empty()) name.assign(reinterpret_cast<const char*>(e + nw::det::kName), e[nw::det::kNameLength]);
    if (name.size() > nw::kMaxEntryNameLength) name.resize(nw::kMaxEntryNameLength);
    const std::uint32_t parent = nw::LoadLe32(e + nw::det::kParent);
    const bool parentAgrees = logged.parentNumber == parent ||
                              (logged.parentNumber == nw::kLostFolderNumber && parent != nw::kRootFolderNumber);
    const std::uint8_t top = e[nw::det::kAttributesTop];
    const bool markedSince = (top & kCompressedMark) && !(logged.attributesHigh & kCompressedMark);
    const bool sizeAgrees =
        markedSince || (logged.attributesHigh == top && nw::LoadLe32(e + nw::det::kFileSize) == logged.size);
    return name == logged.name && parentAgrees && sizeAgrees &&
           static_cast<std::uint8_t>(nw::LoadLe32(e + nw::det::kAttributes)) == logged.attributes &&
           nw::LoadLe32(e + nw::det::kFolderNumber) == logged.ownNumber &&
           nw::LoadLe32(e + nw::det::kFirstBlock) == logged.firstBlock &&
           nw::LoadLe32(e + nw::det::kDateTime) == logged.timestamp &&
           nw::LoadLe32(e + nw::det::kDeleted) == logged.deletedMarker;
}

// The folder a mount adds after the directory walk.
bool IsLostFolderRecord(const nw::EntryRecord& r) {
    return r.ownNumber == nw::kLostFolderNumber && r.parentNumber == nw::kRootFolderNumber &&
           r.name == nw::kLostFolderName && r.attributes == nw::kAttrFolder && r.attributesHigh == 0 &&
           r.size == 0 && r.firstBlock == 0 && r.timestamp == 0 && r.deletedMarker == 0;
}

std::vector<std::uint32_t> Blocks(const nw::BlockList& list) {
    std::vector<std::uint32_t> out;
    out.reserve(list.size());
    for (const nw::BlockNode& node : list) out.push_back(node.block);
    return out;
}

// The log's FAT block list must be one of the chains a mount builds from the
// disk (FAT 1, or FAT 2 when it was chosen). A chain the disk no longer
// gives in full (an unreadable FAT sector cuts it) is compared as far as it
// goes.
bool FatListAgrees(const RecoveryLogContents& log, const nw::VolumeDescriptor& volume,
                   const disk::SectorReader& reader) {
    nw::MountedVolume scratch;
    scratch.currentVolume = volume;
    nw::LoadFatChain(scratch, reader, volume.fat1FirstBlock);
    const nw::BlockList fat1Alone = std::move(scratch.FatBlockList);
    nw::LoadFatChain(scratch, reader, volume.fat2FirstBlock, &fat1Alone);
    const std::vector<std::uint32_t> fat2 = Blocks(scratch.FatBlockList);
    const nw::BlockList fat2List = std::move(scratch.FatBlockList);
    nw::LoadFatChain(scratch, reader, volume.fat1FirstBlock, &fat2List);
    const std::vector<std::uint32_t> fat1 = Blocks(scratch.FatBlockList);
    auto agrees = [&](const std::vector<std::uint32_t>& disk) {
        return disk.size() <= log.fatBlocks.size() && std::equal(disk.begin(), disk.end(), log.fatBlocks.begin());
    };
    return agrees(fat1) || agrees(fat2);
}

}  // namespace

LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, unsigned diskNumber, const disk::SectorReader& reader) {
    nw::VolumeDescriptor placed = log.volume;
    placed.disk = diskNumber;
    return CompareLogWithDisk(log, placed, reader);
}

LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, const nw::VolumeDescriptor& placed,
                                const disk::SectorReader& reader) {
    // The folder a mount made itself (LOST) is not on the disk; it comes
    // after every folder of the directory walk.
    std::size_t walkedFolders = log.folders.size();
    if (walkedFolders > 0 && log.folders[walkedFolders - 1].ownNumber == nw::kLostFolderNumber) {
        if (!IsLostFolderRecord(log.folders[walkedFolders - 1])) return LogDiskMatch::Differs;
        --walkedFolders;
    }
    // The mounted volume, where the log lists it with the same place, has
    // the same name there.
    for (const nw::VolumeDescriptor& listed : log.volumes)
        if (listed.startSector == log.volume.startSector && listed.det1FirstBlock == log.volume.det1FirstBlock &&
            listed.name != log.volume.name)
            return LogDiskMatch::Differs;
    ListCursor folders{&log.folders, walkedFolders};
    ListCursor files{&log.files, log.files.size()};

    // Reads that never ask: a sector that cannot be read is passed over.
    disk::BadSectorPolicy quiet;
    quiet.BadSectorDecision = disk::kSkipAll;
    const disk::SectorReader quietReader(reader.Disks(), quiet);

    nw::MountedVolume volume;
    volume.currentVolume = placed;
    if (!FatListAgrees(log, volume.currentVolume, quietReader)) return LogDiskMatch::Differs;
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
    bool placedNowhere = true;  // no copy's first sector lies where the disk has sectors
    const nw::BlockList* walked = nullptr;
    const nw::BlockList* other = nullptr;
    for (int copy = 0; copy < 2 && !walked; ++copy) {
        const nw::BlockList& list = copy == 0 ? volume.Det1BlockList : volume.Det2BlockList;
        const std::uint32_t first = blockAt(list, 0);
        if (first != nw::kChainEnd) {
            const disk::ReadStatus status = sectors.TryReadBlockSectors(first, 0, 1, sector);
            // Only a sector that may be read another time (a bad one, or one
            // on a disk not attached) leaves the question open; one past the
            // disk's end or in no segment says the log places its directory
            // where this disk has none.
            if (status.Ok() || status.Has(disk::Unread::kBadSector) || status.Has(disk::Unread::kMissingSegment) ||
                status.Has(disk::Unread::kNoDevice))
                placedNowhere = false;
        }
        if (!readSector(first, 0, sector)) continue;
        anyRead = true;
        if (std::equal(nw::kDetSignature.begin(), nw::kDetSignature.end(), sector)) {
            walked = &list;
            other = copy == 0 ? &volume.Det2BlockList : &volume.Det1BlockList;
        }
    }
    if (!walked) {
        // No copy can be walked: a mount finds nothing there either.
        if (folders.count + files.count == 0) return LogDiskMatch::Matches;
        return anyRead || placedNowhere ? LogDiskMatch::Differs : LogDiskMatch::CannotTell;
    }

    // Every entry the mount takes, in the order it takes them, against the
    // log's records at the same places; the suballocation records rebuild
    // the table the log holds. A sector unreadable in both copies leaves
    // the rest unplaced (it may have held any number of entries): the
    // comparison ends there with what it has checked.
    std::array<std::uint32_t, nw::kSuballocChains> suballocation{};
    std::size_t compared = 0;
    bool whole = true;
    for (std::size_t i = 0; i < walked->size() && whole; ++i) {
        const std::uint32_t block = blockAt(*walked, i);
        if (block == nw::kChainEnd) continue;
        std::uint32_t mirror = blockAt(*other, i);
        if (mirror == block) mirror = nw::kChainEnd;
        for (std::uint32_t s = 0; s < S; ++s) {
            if (!readSector(block, s, sector) && !readSector(mirror, s, sector)) {
                whole = false;
                break;
            }
            for (unsigned j = 0; j < nw::kDetEntriesPerSector; ++j) {
                const std::uint8_t* e = sector + nw::kDetEntrySize * j;
                const std::uint32_t marker = nw::LoadLe32(e + nw::det::kParent);
                if (marker == nw::kSuballocMarker) {
                    const nw::SuballocationRecord rec = nw::DecodeSuballocationRecord(e);
                    if (rec.Used())
                        std::copy(rec.firstBlocks.begin(), rec.firstBlocks.end(),
                                  suballocation.begin() + nw::kSuballocChainsPerRecord * rec.group);
                }
                if (marker >= nw::kSuballocMarker) continue;
                const std::uint8_t nameLength = e[nw::det::kNameLength];
                if (e[nw::det::kNameSpace] != nw::kNameSpaceDos || nameLength == 0 ||
                    nameLength > nw::kMaxPrimaryNameLength)
                    continue;
                ListCursor& list = (nw::LoadLe32(e + nw::det::kAttributes) & nw::kAttrFolder) ? folders : files;
                if (list.position >= list.count) return LogDiskMatch::Differs;  // the disk holds more
                if (!SameEntry(sector, j, (*list.records)[list.position])) return LogDiskMatch::Differs;
                ++list.position;
                ++compared;
            }
        }
    }
    if (whole) {
        // The whole directory was read: the log holds exactly its entries
        // and the suballocation table they give.
        if (folders.position != folders.count || files.position != files.count) return LogDiskMatch::Differs;
        if (suballocation != log.suballocationTable) return LogDiskMatch::Differs;
        return LogDiskMatch::Matches;
    }
    return compared ? LogDiskMatch::Matches : LogDiskMatch::CannotTell;
}

}  // namespace records
