#include "recovery/CompressedMarking.h"

#include <cstring>
#include <mutex>

#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Records.h"

namespace recovery {

namespace {

constexpr std::size_t kEntryBytes = 128;
constexpr unsigned kEntriesPerSector = disk::kSectorSize / kEntryBytes;

std::atomic<std::uint64_t> gWorker{0};
std::mutex gViewMutex;
MarkingView* gView = nullptr;  // the view of the pass started by StartMarkingPass

// Goes to the pass's own view, or to the started dialog while it is open.
class ViewGate {
public:
    explicit ViewGate(MarkingView* direct) : direct_(direct) {}
    void Status(const std::string& text) {
        if (direct_) return direct_->SetStatusText(text);
        std::lock_guard<std::mutex> lock(gViewMutex);
        if (gView) gView->SetStatusText(text);
    }
    void Close() {
        if (direct_) return direct_->EnableClose();
        std::lock_guard<std::mutex> lock(gViewMutex);
        if (gView) gView->EnableClose();
    }

private:
    MarkingView* direct_;
};

bool ReadOne(std::uint64_t sector, std::uint8_t* buffer) {
    job::WizardState& w = job::Wizard();
    return disk::ReadSectors(disk::MakeRequest(w.selectedDiskNumber, w.selectedDiskLabel, sector, 1, buffer)) ==
           disk::kReadOk;
}

// Writes the sector and reads it back. Empty on success, else the reason.
std::string WriteVerified(std::uint64_t sector, const std::uint8_t* data) {
    job::WizardState& w = job::Wizard();
    std::uint8_t copy[disk::kSectorSize];
    std::memcpy(copy, data, sizeof copy);
    if (!disk::WriteSectors(disk::MakeRequest(w.selectedDiskNumber, w.selectedDiskLabel, sector, 1, copy)))
        return "writing sector " + std::to_string(sector) + " failed";
    std::uint8_t back[disk::kSectorSize];
    if (!ReadOne(sector, back)) return "sector " + std::to_string(sector) + " could not be read back";
    if (std::memcmp(back, data, sizeof back) != 0)
        return "sector " + std::to_string(sector) + " does not hold what was written";
    return {};
}

std::string Describe(const MarkingCandidate& c) { return "Not marked: " + c.name + " (" + c.failure + ")"; }

}  // namespace

bool HasCompressedHeader(const std::uint8_t* sector, std::uint32_t entrySize, std::uint32_t* markedSize) {
    if (sector[0] != 1 || sector[1] != 1 || sector[2] != 0 || sector[3] != 0) return false;
    if (nw::LoadLe32(sector + 8) != entrySize) return false;
    if (markedSize) *markedSize = nw::LoadLe32(sector + 4);
    return true;
}

MarkingResult RunMarkingPass(bool write, MarkingView* view) {
    ViewGate gate(view);
    MarkingResult result;
    auto& files = job::Wizard().FileList;
    for (std::size_t i = 0; i < files.Size(); ++i) {
        const nw::EntryRecord r = files[i];
        gate.Status(r.name);
        if (r.attributesHigh & 0x04) continue;  // already marked
        if (r.det1Sector == 0) continue;        // no directory sector known (a loaded log)
        const std::optional<std::uint64_t> first = nw::FirstDataSector(r.firstBlock);
        if (!first) continue;
        std::uint8_t data[disk::kSectorSize];
        ReadOne(*first, data);
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

        // The sector must hold this very entry; a sector that cannot be read
        // or no longer holds it is left alone rather than rewritten blind.
        std::uint8_t det[disk::kSectorSize];
        if (r.slot >= kEntriesPerSector) {
            c.failure = "bad entry position";
        } else if (!ReadOne(r.det1Sector, det)) {
            c.failure = "directory sector " + std::to_string(r.det1Sector) + " could not be read";
        } else {
            std::uint8_t* entry = det + kEntryBytes * r.slot;
            const std::uint32_t entrySize = nw::LoadLe32(entry + nw::det::kFileSize);
            if (nw::LoadLe32(entry + nw::det::kFirstBlock) != r.firstBlock ||
                (entrySize != r.size && entrySize != marked)) {
                c.failure = "directory sector " + std::to_string(r.det1Sector) + " no longer holds the entry";
            } else if (write) {
                nw::StoreLe32(entry + nw::det::kFileSize, marked);
                entry[nw::det::kAttributesTop] = 4;
                std::string failure = WriteVerified(r.det1Sector, det);
                if (r.det2Sector != 0) {
                    const std::string second = WriteVerified(r.det2Sector, det);
                    if (failure.empty()) failure = second;
                    else if (!second.empty()) failure += "; " + second;
                }
                c.failure = failure;
                c.changed = failure.empty();
            }
        }
        if (!c.failure.empty()) {
            ++result.failures;
            gate.Status(Describe(c));
        }
        result.candidates.push_back(std::move(c));
    }
    std::string done = kMarkingCompletedText;
    if (result.failures) done += "\n" + std::to_string(result.failures) + " entries could not be marked";
    gate.Status(done);
    gate.Close();
    return result;
}

std::atomic<std::uint64_t>& MarkingWorker() { return gWorker; }

bool StartMarkingPass(MarkingView* view) {
    if (job::Wizard().currentStep != 2) return false;
    {
        std::lock_guard<std::mutex> lock(gViewMutex);
        gView = view;
    }
    job::StartWorker(gWorker, [] { RunMarkingPass(true, nullptr); });
    return true;
}

void DetachMarkingView() {
    std::lock_guard<std::mutex> lock(gViewMutex);
    gView = nullptr;
}

}  // namespace recovery
