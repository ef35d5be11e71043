#include "netware/Mount.h"

#include <algorithm>
#include <array>
#include <new>

#include "disk/SectorReader.h"

namespace nw {

namespace {

constexpr const char* kOutOfMemoryText = "Out Of Memory";

struct WalkCounters {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t sectorsProcessed = 0;
};

// The four entries of one directory sector: suballocation records into the
// table, folders and files appended to their lists.
// `firstEntry` is the entry number of the sector's first record.
void TakeSector(MountedVolume& volume, const std::uint8_t* sector, const SectorPlace& v, const SectorPlace& u,
                std::uint32_t firstEntry, NameSpaceGatherer& nameSpaces, WalkCounters& c) {
    for (unsigned j = 0; j < kDetEntriesPerSector; ++j) {
        const std::uint8_t* e = sector + kDetEntrySize * j;
        const std::uint32_t marker = LoadLe32(e + det::kParent);
        if (marker == kSuballocMarker) {
            const SuballocationRecord rec = DecodeSuballocationRecord(e);
            if (rec.Used())
                std::copy(rec.firstBlocks.begin(), rec.firstBlocks.end(),
                          volume.SuballocationTable.begin() + kSuballocChainsPerRecord * rec.group);
        }
        if (marker == kDetHeaderMarker && firstEntry + j == 0) nameSpaces.AddRoot(e);
        if (marker >= kSuballocMarker) continue;
        const std::uint8_t nameLength = e[det::kNameLength];
        if (e[det::kNameSpace] != kNameSpaceDos) {
            nameSpaces.AddRecord(firstEntry + j, e);
            continue;
        }
        if (e[det::kNameSpace] != kNameSpaceDos || nameLength == 0 || nameLength > kMaxPrimaryNameLength) continue;

        EntryRecord r;
        const std::uint32_t attributes = LoadLe32(e + det::kAttributes);
        r.attributes = static_cast<std::uint8_t>(attributes);
        r.attributesHigh = e[det::kAttributesTop];
        const std::string adjacentLong = LongNameFor(sector, j);
        r.name = adjacentLong;
        if (r.name.empty()) r.name.assign(reinterpret_cast<const char*>(e + det::kName), nameLength);
        r.parentNumber = marker;
        r.ownNumber = LoadLe32(e + det::kFolderNumber);
        r.size = LoadLe32(e + det::kFileSize);
        r.firstBlock = LoadLe32(e + det::kFirstBlock);
        r.timestamp = LoadLe32(e + det::kDateTime);
        r.modified = LoadLe32(e + det::kModified);
        if (!(attributes & kAttrFolder)) r.accessDate = LoadLe16(e + det::kAccessDate);
        r.deletedMarker = LoadLe32(e + det::kDeleted);
        r.det1Sector = v.sector;
        r.det2Sector = u.sector;
        r.det1Disk = static_cast<std::uint8_t>(v.disk);
        r.det2Disk = static_cast<std::uint8_t>(u.disk);
        r.slot = static_cast<std::uint16_t>(j);
        r.ordinal = (attributes & kAttrFolder) ? ++c.folders : ++c.files;
        const EntryRecord& kept = ((attributes & kAttrFolder) ? volume.FolderList : volume.FileList).Append(std::move(r));
        nameSpaces.AddPrimary(firstEntry + j, e, kept, adjacentLong);
    }
}

constexpr std::uint32_t kNoDetBlock = kChainEnd;  // never a block of a DET chain

// The block at position i of a DET block list when it is a block of the
// volume, else kNoDetBlock.
std::uint32_t DetBlockAt(const BlockList& list, std::size_t i, std::uint32_t limit) {
    if (i >= list.size() || IsDetChainEnd(list[i].block) || list[i].block >= limit) return kNoDetBlock;
    return list[i].block;
}

// Reads one sector of a block; false when it could not be read (the buffer
// then holds zeros where it could not).
bool ReadDetSector(const VolumeSectors& sectors, std::uint32_t block, std::uint32_t index, std::uint8_t* out) {
    return sectors.ReadBlockSectors(block, index, 1, out).Ok();
}

// Whether a directory copy can be walked: its first block is a block of the
// volume and the first sector of that block reads and begins with the DET
// signature (an unreadable or overwritten copy does not).
bool DetCopyReadable(const VolumeSectors& sectors, const BlockList& list, std::uint32_t limit) {
    const std::uint32_t first = DetBlockAt(list, 0, limit);
    if (first == kNoDetBlock) return false;
    std::uint8_t sector[kSectorSize];
    return ReadDetSector(sectors, first, 0, sector) && std::equal(kDetSignature.begin(), kDetSignature.end(), sector);
}

// What the directory walk could read.
struct DirectoryWalk {
    bool copyReadable = false;       // a copy could be walked
    std::uint64_t lostSectors = 0;   // sectors unreadable in both copies
    bool chainCut = false;           // the chain reaching furthest was cut by an unreadable FAT entry
    std::uint32_t lastBlock = 0;     // the block past which it could not be followed
};

// Number of leading positions of a DET block list that are blocks of the volume.
std::size_t DetReach(const BlockList& list, std::uint32_t limit) {
    std::size_t n = 0;
    while (DetBlockAt(list, n, limit) != kNoDetBlock) ++n;
    return n;
}

// Reads every sector of one directory copy's blocks, one sector a request:
// copy 1, or copy 2 when copy 1 cannot be walked and copy 2 can. A sector the
// walked copy cannot read is taken from the other copy's block at the same
// position when that one reads. Every record keeps its entry's sector in copy 1 and in copy 2; when only one
// copy's position is known, that one is the first (and the second is 0).
// `cut1`/`cut2`: each copy's chain ended at an FAT entry that could not be read.
DirectoryWalk WalkDirectory(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
                            std::uint32_t det2Links, bool cut1, bool cut2, NameSpaceGatherer& nameSpaces,
                            WalkCounters& c) {
    const VolumeSectors sectors(reader, volume.currentVolume);
    const std::uint32_t S = volume.currentVolume.sectorsPerBlock;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    const bool copy1 = DetCopyReadable(sectors, volume.Det1BlockList, limit);
    const bool copy2 = DetCopyReadable(sectors, volume.Det2BlockList, limit);
    const bool walkCopy2 = !copy1 && copy2;
    const BlockList& walked = walkCopy2 ? volume.Det2BlockList : volume.Det1BlockList;
    const BlockList& other = walkCopy2 ? volume.Det1BlockList : volume.Det2BlockList;
    const std::size_t positions = DetReach(walked, limit);
    const std::uint32_t links = walkCopy2 ? det2Links : volume.detBlockCount;
    const std::uint64_t total = static_cast<std::uint64_t>(links) * S;
    DirectoryWalk out;
    out.copyReadable = copy1 || copy2;
    int shown = -1;
    std::uint8_t sector[kSectorSize], spare[kSectorSize];
    for (std::size_t i = 0; i < positions; ++i) {
        const std::uint32_t block = DetBlockAt(walked, i, limit);
        report.Status("Mounting Volume " + std::to_string(i) + " / " + std::to_string(links) + "....");
        std::uint32_t mirror = DetBlockAt(other, i, limit);
        if (mirror == block) mirror = kNoDetBlock;  // the same block is no second copy
        const bool hasMirror = mirror != kNoDetBlock;
        for (std::uint32_t s = 0; s < S; ++s) {
            const std::uint8_t* taken = sector;
            if (!ReadDetSector(sectors, block, s, sector)) {
                if (hasMirror && ReadDetSector(sectors, mirror, s, spare))
                    taken = spare;
                else
                    ++out.lostSectors;
            }
            // Where the sector lies in each copy (sector 0: nowhere known).
            const SectorPlace here = sectors.Place(block, s).value_or(SectorPlace{});
            const SectorPlace there = hasMirror ? sectors.Place(mirror, s).value_or(SectorPlace{}) : SectorPlace{};
            // Entry numbers count 128-byte records from the table's first block, in chain order.
            const std::uint32_t firstEntry = static_cast<std::uint32_t>((i * S + s) * kDetEntriesPerSector);
            if (!walkCopy2)
                TakeSector(volume, taken, here, there, firstEntry, nameSpaces, c);
            else if (hasMirror)
                TakeSector(volume, taken, there, here, firstEntry, nameSpaces, c);
            else
                TakeSector(volume, taken, here, SectorPlace{}, firstEntry, nameSpaces, c);
            ++c.sectorsProcessed;
            const int pct = base::PercentOf(c.sectorsProcessed, total);
            if (pct != shown) {
                report.Percent(pct);
                shown = pct;
            }
        }
    }
    // The walked chain was cut by an FAT entry that could not be read: the
    // directory may go on past its last block, unless the other copy's
    // chain ends properly at the same place.
    const bool walkedCut = walkCopy2 ? cut2 : cut1, otherCut = walkCopy2 ? cut1 : cut2;
    const std::size_t otherReach = DetReach(other, limit);
    if (positions > 0 && walkedCut && (otherReach != positions || otherCut)) {
        out.chainCut = true;
        out.lastBlock = walked[positions - 1].block;
    }
    return out;
}

// Completes the names that continue in the volume's extended directory
// (copy 1, else its mirror where copy 1 cannot be read).
void ReadExtendedNames(const MountedVolume& volume, const disk::SectorReader& reader, NameSpaceGatherer& nameSpaces) {
    if (!nameSpaces.NeedsExtendedNames()) return;
    const VolumeSectors sectors(reader, volume.currentVolume);
    const std::uint32_t S = volume.currentVolume.sectorsPerBlock;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    std::array<BlockList, 2> chains;
    for (int copy = 0; copy < 2; ++copy) {
        const std::uint32_t first = nameSpaces.ExtendedDirectory(copy);
        if (first != 0) LoadDetChain(volume, reader, first, chains[copy]);
    }
    std::uint8_t sector[kSectorSize];
    nameSpaces.ReadExtendedNames([&](std::uint32_t number, std::uint8_t* out) {
        const std::uint64_t recordsPerBlock = std::uint64_t(S) * kDetEntriesPerSector;
        const std::size_t index = static_cast<std::size_t>(number / recordsPerBlock);
        const auto s = static_cast<std::uint32_t>((number % recordsPerBlock) / kDetEntriesPerSector);
        for (const BlockList& chain : chains) {
            const std::uint32_t block = DetBlockAt(chain, index, limit);
            if (block == kNoDetBlock || !ReadDetSector(sectors, block, s, sector)) continue;
            std::copy_n(sector + kDetEntrySize * (number % kDetEntriesPerSector), kDetEntrySize, out);
            return true;
        }
        return false;
    });
}

std::string DirectoryUnreadableText(const std::string& volumeName) {
    return "The directory tables of volume " + volumeName +
           " could not be read in either copy: no folders or files can be shown.";
}

std::string DirectoryIncompleteText(const std::string& volumeName, const DirectoryWalk& walk) {
    std::string what;
    if (walk.chainCut)
        what = "its chain could not be followed past block " + std::to_string(walk.lastBlock) +
               " (the allocation table entry linking it could not be read)";
    if (walk.lostSectors) {
        if (!what.empty()) what += "; ";
        what += std::to_string(walk.lostSectors) + (walk.lostSectors == 1 ? " sector" : " sectors") +
                " could not be read in either copy";
    }
    return "The directory of volume " + volumeName + " could not be read in full: " + what +
           ". The folders and files shown may not be all it holds.";
}

void MountBody(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
               const base::CancelFlag* stopLostScan, const std::string& rootText, MountResult& result) {
    const VolumeDescriptor& vol = volume.currentVolume;
    volume.ClearContents();
    volume.mountedMark = 1;

    report.Status("Loading FAT 1....");
    LoadFatChain(volume, reader, vol.fat1FirstBlock);
    const BlockList fat1Alone = std::move(volume.FatBlockList);
    report.Status("Loading FAT 2....");
    const std::uint32_t b = LoadFatChain(volume, reader, vol.fat2FirstBlock, &fat1Alone);
    BlockList fat2 = std::move(volume.FatBlockList);
    const std::uint32_t a = LoadFatChain(volume, reader, vol.fat1FirstBlock, &fat2);
    report.Status("Loading FAT ....");
    // Equal chain lengths, or copies that hold the same entries, need no choice.
    if (a != b && FatCopiesDiffer(volume, reader, volume.FatBlockList, fat2)) {
        volume.fatChoice = report.ChooseFat(a, b) == 2 ? 2 : 1;  // Cancel keeps FAT1
        if (volume.fatChoice == 2) volume.FatBlockList = std::move(fat2);
    }

    report.Status("Loading DET ....");
    bool cut1 = false, cut2 = false;
    volume.detBlockCount = LoadDetChain(volume, reader, vol.det1FirstBlock, volume.Det1BlockList, &cut1);
    const std::uint32_t det2Links = LoadDetChain(volume, reader, vol.det2FirstBlock, volume.Det2BlockList, &cut2);

    report.Percent(0);
    WalkCounters c;
    NameSpaceGatherer nameSpaces;
    const DirectoryWalk walk = WalkDirectory(volume, reader, report, det2Links, cut1, cut2, nameSpaces, c);
    ReadExtendedNames(volume, reader, nameSpaces);
    nameSpaces.Resolve(volume.FolderList, volume.FileList, volume.nameSpaces, volume.preferredNameSpace);
    const bool directoryRead = walk.copyReadable && walk.lostSectors == 0;
    if (!directoryRead && c.folders == 0 && c.files == 0) {
        result.directoryUnreadable = true;
        result.warning = DirectoryUnreadableText(vol.name);
    } else if (walk.lostSectors != 0 || walk.chainCut) {
        result.directoryIncomplete = true;
        result.warning = DirectoryIncompleteText(vol.name, walk);
    }

    AppendLostFolder(volume.FolderList, ++c.folders);
    volume.folderCount = c.folders;
    volume.fileCount = c.files;

    report.Status("Searching Lost Folders");
    report.Percent(0);
    report.LostFolderPhase(true);
    int shown = 0;
    result.lostScanStopped = !ResolveLostFolders(
        volume.FolderList, c.folders,
        [&](int pct) {
            if (pct != shown) report.Percent(pct);
            shown = pct;
        },
        [&] { return base::Cancelled(stopLostScan); });
    report.LostFolderPhase(false);

    PopulateFolderTree(volume, rootText);
    report.Status(vol.name + ":\\");

    result.folderCount = c.folders;
    result.fileCount = c.files;
    result.mounted = true;
}

}  // namespace

MountResult Mount(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
                  const base::CancelFlag* stopLostScan, const std::string& rootText) {
    MountResult result;
    try {
        MountBody(volume, reader, report, stopLostScan, rootText, result);
    } catch (const std::bad_alloc&) {
        // Nothing half-built is kept: the memory goes back and the caller
        // shows the reason.
        volume.ClearContents();
        result = MountResult{};
        result.failure = kOutOfMemoryText;
    }
    return result;
}

}  // namespace nw
