#include "recovery/CompressedMarking.h"

#include <cstring>
#include <vector>

#include "disk/Disk.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"
#include "netware/Volume.h"

namespace recovery {

namespace {

constexpr std::uint8_t kCompressedBit = 0x04;  // attribute 0x04000000 in the entry's top attribute byte
// The compressed-file header of a file's first data sector.
constexpr std::size_t kHeaderEntrySize = 4;    // the size the directory entry carries
constexpr std::size_t kHeaderStoredBytes = 8;  // the number of stored bytes

// Reads and writes single sectors of the volume's disks.
class DiskSectors {
public:
    explicit DiskSectors(const disk::SectorReader& reader) : reader_(reader) {}

    bool Read(unsigned disk, std::uint64_t sector, std::uint8_t* buffer) const {
        return reader_.Read(disk, sector, 1, buffer).Ok();
    }

    // Writes the sector and reads it back. Empty on success, else the reason.
    std::string WriteVerified(unsigned disk, std::uint64_t sector, const std::uint8_t* data) const {
        std::string error;
        if (!reader_.Write(disk, sector, 1, data, &error))
            return "writing sector " + std::to_string(sector) + " failed";
        std::uint8_t back[disk::kSectorSize];
        if (!Read(disk, sector, back)) return "sector " + std::to_string(sector) + " could not be read back";
        if (std::memcmp(back, data, sizeof back) != 0)
            return "sector " + std::to_string(sector) + " does not hold what was written";
        return {};
    }

private:
    const disk::SectorReader& reader_;
};

void Status(MarkingView* view, const std::string& text) {
    if (view) view->SetStatusText(text);
}

// One directory copy's sector: as read, and with the entry patched.
struct CopySector {
    nw::SectorPlace at;
    std::uint8_t original[disk::kSectorSize];
    std::uint8_t patched[disk::kSectorSize];
};

// Reads the copy's sector and checks that it holds the entry of `r` (its
// first block, and its size or the size it is to get); fills `copy` with
// the sector as read and as it is to be written: the entry's size set to
// `marked` and the compressed bit added to its top attribute byte, whose
// other bits stay. Empty on success, else the reason.
std::string CheckEntry(const DiskSectors& sectors, const nw::EntryRecord& r, std::uint32_t marked, CopySector& copy) {
    const std::uint64_t sector = copy.at.sector;
    if (!sectors.Read(copy.at.disk, sector, copy.original))
        return "directory sector " + std::to_string(sector) + " could not be read";
    std::memcpy(copy.patched, copy.original, sizeof copy.patched);
    std::uint8_t* entry = copy.patched + nw::kDetEntrySize * r.slot;
    const std::uint32_t entrySize = nw::LoadLe32(entry + nw::det::kFileSize);
    if (nw::LoadLe32(entry + nw::det::kFirstBlock) != r.firstBlock || (entrySize != r.size && entrySize != marked))
        return "directory sector " + std::to_string(sector) + " no longer holds the entry";
    nw::StoreLe32(entry + nw::det::kFileSize, marked);
    entry[nw::det::kAttributesTop] |= kCompressedBit;
    return {};
}

// Checks every copy, then, with `write`, writes them in turn. Nothing is
// written unless every copy passed its check; when a later copy's write
// fails, the copies already written get their old sector back so that the
// copies never disagree. Empty on success, else the reason.
std::string PatchCopies(const DiskSectors& sectors, const nw::EntryRecord& r, std::uint32_t marked,
                        std::vector<CopySector>& copies, bool write) {
    std::string failure;
    for (CopySector& c : copies) {
        const std::string why = CheckEntry(sectors, r, marked, c);
        if (!why.empty()) failure += (failure.empty() ? "" : "; ") + why;
    }
    if (!failure.empty() || !write) return failure;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        failure = sectors.WriteVerified(copies[i].at.disk, copies[i].at.sector, copies[i].patched);
        if (failure.empty()) continue;
        // The failed copy may hold part of the write: it is put back too,
        // as far as it can be.
        (void)sectors.WriteVerified(copies[i].at.disk, copies[i].at.sector, copies[i].original);
        for (std::size_t k = 0; k < i; ++k) {
            const std::string sector = std::to_string(copies[k].at.sector);
            failure += sectors.WriteVerified(copies[k].at.disk, copies[k].at.sector, copies[k].original).empty()
                           ? "; directory sector " + sector + " restored"
                           : "; directory sector " + sector + " could not be restored: the copies differ";
        }
        return failure;
    }
    return {};
}

std::string Describe(const MarkingCandidate& c) { return "Not marked: " + c.name + " (" + c.failure + ")"; }

}  // namespace

bool HasCompressedHeader(const std::uint8_t* sector, std::uint32_t entrySize, std::uint32_t* markedSize) {
    if (sector[0] != 1 || sector[1] != 1 || sector[2] != 0 || sector[3] != 0) return false;
    if (nw::LoadLe32(sector + kHeaderStoredBytes) != entrySize) return false;
    if (markedSize) *markedSize = nw::LoadLe32(sector + kHeaderEntrySize);
    return true;
}

MarkingResult RunMarkingPass(const nw::MountedVolume& volume, const disk::SectorReader& reader, bool write,
                             MarkingView* view, const base::CancelFlag* stop) {
    MarkingResult result;
    const DiskSectors sectors(reader);
    nw::FileReader fileReader(volume, reader);
    const nw::EntryList& files = volume.FileList;
    // With a segment missing, a directory copy may lie where it cannot be
    // read or written: marking the other copy alone would leave the two
    // disagreeing, so nothing is written.
    std::string missing;
    for (const nw::VolumeSegment& g : volume.currentVolume.segments)
        if (!g.present && missing.empty())
            missing = "segment " + std::to_string(g.number) + " of the volume is missing; nothing is written";
    for (std::size_t i = 0; i < files.Size(); ++i) {
        if (base::Cancelled(stop)) {
            result.stopped = true;
            break;
        }
        const nw::EntryRecord& r = files[i];
        Status(view, r.name);
        if (r.attributesHigh & kCompressedBit) continue;  // already marked
        if (r.det1Sector == 0) continue;                  // no directory sector known (a loaded log)
        std::uint8_t data[disk::kSectorSize];
        if (!fileReader.ReadFirstDataSector(r.firstBlock, data)) continue;
        std::uint32_t marked = 0;
        if (!HasCompressedHeader(data, r.size, &marked)) continue;

        MarkingCandidate c;
        c.fileIndex = i;
        c.name = r.name;
        c.size = r.size;
        c.markedSize = marked;
        c.det1Sector = r.det1Sector;
        c.det2Sector = r.det2Sector;
        c.slot = r.slot;

        // Each directory copy is patched in its own sector: only this entry's
        // size and mark change, the sector's other entries stay as that copy
        // holds them. A sector that cannot be read or no longer holds the
        // entry is left alone rather than rewritten blind.
        std::string failure;
        if (r.slot >= nw::kDetEntriesPerSector) {
            failure = "bad entry position";
        } else if (!missing.empty()) {
            failure = missing;
        } else {
            // Each copy's sector on its own disk (a volume of several
            // segments may keep the copies on different disks).
            std::vector<CopySector> copies(1);
            copies[0].at = nw::SectorPlace{r.det1Disk, r.det1Sector};
            if (r.det2Sector != 0 && (r.det2Sector != r.det1Sector || r.det2Disk != r.det1Disk)) {
                copies.emplace_back();
                copies[1].at = nw::SectorPlace{r.det2Disk, r.det2Sector};
            }
            failure = PatchCopies(sectors, r, marked, copies, write);
        }
        c.failure = failure;
        c.changed = write && failure.empty();
        if (!c.failure.empty()) {
            ++result.failures;
            Status(view, Describe(c));
        }
        result.candidates.push_back(std::move(c));
    }
    std::string done = kMarkingCompletedText;
    if (result.failures) done += "\n" + std::to_string(result.failures) + " entries could not be marked";
    Status(view, done);
    if (view) view->EnableClose();
    return result;
}

}  // namespace recovery
