// The raw scan: reads a sector range of one disk window by window and hands
// each window to document carving, which writes the documents it finds into
// the destination folder as numbered files. The caller owns the RawScan and
// runs RunRawScan on a worker of its own; it stops the scan by setting
// stopRequested. Before a scan starts, CheckRawRequest and PrepareDestination
// say whether it may.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "raw/Carving.h"
#include "raw/FormatKinds.h"

namespace disk {
class SectorReader;
}

namespace raw {

// What the user asked for.
struct RawRequest {
    std::array<bool, kinds::kCount> checked{};  // by type code
    bool wholeDisk = true;
    // A sector range (when not wholeDisk): its first and its last sector;
    // none when the user gave no number for it.
    std::optional<std::int64_t> startSector;
    std::optional<std::int64_t> endSector;
};

enum class RawCheck { Ok, NoFileType, InvalidEnd, EndPastDisk, InvalidStart, StartNotBelowEnd };

struct RawCheckResult {
    RawCheck check = RawCheck::Ok;
    std::uint64_t start = 0;       // the sectors to scan when Ok: [start, end)
    std::uint64_t end = 0;
    std::uint64_t lastSector = 0;  // the disk's last sector (0 for a disk without sectors)
};

// The start checks, in the order the user meets them: a file type, then the
// end of a sector range (a number, and not past the disk's last sector),
// its start, then start below end. `diskSectors` is the whole disk's sector
// count; a disk of unknown size (0) takes any end.
RawCheckResult CheckRawRequest(const RawRequest& request, std::uint64_t diskSectors);

// Makes sure files can be created in `path`: probes it, creates it (one
// level) when the probe fails, and probes again.
bool PrepareDestination(const std::string& path);

// What a running scan shows; called on the scan's thread. Implementations
// must not wait for the window thread.
class RawScanView : public CarvingOutput {
public:
    virtual void SetRawStatus(const std::string& text) { (void)text; }
    virtual void ShowRawProgress(bool visible) { (void)visible; }
    // The share of the range searched, 0..100; the view words it.
    virtual void SetRawProgress(int percent) { (void)percent; }
    void DocumentCarved(const CarvedDocument& document) override { (void)document; }
};

// The state of one scan.
struct RawScan {
    std::atomic<std::int32_t> stopRequested{0};  // polled before every read and every chunk written
    std::uint64_t scanStart = 0;
    std::uint64_t scanEnd = 0;
    std::uint64_t scanCursor = 0;                // next sector to read
    int lastPercent = 0;
    int attemptNumber = 0;                       // documents handed to the writer; next file number - 1
    std::array<int, kinds::kCount> typeCounts{}; // documents written whole: Word, Excel, PowerPoint, Zip
    std::array<int, kinds::kCount> incompleteCounts{};  // incomplete documents written, per kind
    int failedCount = 0;                         // documents whose file could not be written whole
    CarryOver carry;
};

struct RawScanResult {
    bool stopped = false;
    int documentsWritten = 0;                    // documents of the checked kinds written whole
    int documentsIncomplete = 0;                 // incomplete documents written
    int documentsFailed = 0;                     // documents not written
    std::array<int, kinds::kCount> typeCounts{}; // whole ones per kind at the end of the scan
    std::array<int, kinds::kCount> incompleteCounts{};
    std::uint64_t sectorsSkipped = 0;            // unreadable sectors the scan met, read as zeros
};

// The "Searching Disk - N" status a scan starts with.
std::string SearchingDiskText(unsigned diskNumber);

// Scans sectors [start, end) of disk `diskNumber` for the kinds checked in
// `checked`, writing into `destination`. Runs on the calling thread until the
// range is done or scan.stopRequested is set. At the end the view is put
// back to idle (status and progress cleared).
RawScanResult RunRawScan(RawScan& scan, const disk::SectorReader& reader, unsigned diskNumber, std::uint64_t start,
                         std::uint64_t end, const std::array<bool, kinds::kCount>& checked,
                         const std::string& destination, RawScanView& view);

}  // namespace raw
