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
#include <string>
#include <vector>

#include "raw/Carving.h"
#include "raw/FormatKinds.h"

namespace disk {
class SectorReader;
}

namespace raw {

// Button texts and messages.
constexpr const char* kStartText = "&Start Recovery";
constexpr const char* kStopText = "&Stop Searching";
constexpr const char* kMsgSelectFileType = "Please select file type for recovery";
constexpr const char* kMsgInvalidEnd = "Invalid End Sector";
constexpr const char* kMsgInvalidStart = "Invalid Start Sector";
constexpr const char* kMsgStartNotBelowEnd = "Start sector should be less than End sector";
constexpr const char* kMsgCreateDirectory = "Unable to Create Directory";
constexpr const char* kMsgTerminate = "Do you want terminate this process ?";

// What the user asked for.
struct RawRequest {
    std::array<bool, kinds::kCount> checked{};  // by type code
    bool wholeDisk = true;
    std::string startText;  // the range fields as typed (sector range only)
    std::string endText;
};

enum class RawCheck { Ok, NoFileType, InvalidEnd, InvalidStart, StartNotBelowEnd };

struct RawCheckResult {
    RawCheck check = RawCheck::Ok;
    const char* message = nullptr;  // the text to show when not Ok
    std::uint64_t start = 0;        // the range to scan when Ok
    std::uint64_t end = 0;
};

// The start checks, in the order the user meets them: a file type, then the
// end and start fields of a sector range, then start below end.
// `diskSectors` is the whole disk's sector count.
RawCheckResult CheckRawRequest(const RawRequest& request, std::uint64_t diskSectors);

// A range field's text as a signed decimal number (blanks around it allowed).
bool ParseSectorField(const std::string& text, std::int64_t& out);
// The "End Sector" text a refused end field is refilled with: the disk's
// sector count in full (a disk beyond 2^32 sectors included).
std::string EndSectorFieldText(std::uint64_t diskSectors);

// Makes sure files can be created in `path`: probes it, creates it (one
// level) when the probe fails, and probes again.
bool PrepareDestination(const std::string& path);

// What a running scan shows; called on the scan's thread. Implementations
// must not wait for the window thread.
class RawScanView : public CarvingOutput {
public:
    virtual void SetRawStatus(const std::string& text) { (void)text; }
    virtual void ShowRawProgress(bool visible) { (void)visible; }
    virtual void SetRawProgress(int percent, const std::string& caption) {
        (void)percent;
        (void)caption;
    }
    void ClearFilesRecovered() override {}
    void AddFilesRecoveredRow(const std::string& text) override { (void)text; }
    void SetFilesRecoveredRow(int row, const std::string& text) override {
        (void)row;
        (void)text;
    }
    void DocumentWritten(const std::string& path, int kind) override {
        (void)path;
        (void)kind;
    }
};

// The state of one scan.
struct RawScan {
    std::atomic<std::int32_t> stopRequested{0};  // polled before every read and every chunk written
    std::uint64_t scanStart = 0;
    std::uint64_t scanEnd = 0;
    std::uint64_t scanCursor = 0;                // next sector to read
    int lastPercent = 0;
    int attemptNumber = 0;                       // documents handed to the writer; next file number - 1
    std::array<int, kinds::kCount> typeCounts{}; // Word, Excel, PowerPoint, Zip
    int failedCount = 0;                         // documents whose file could not be written whole
    CarryOver carry;
};

struct RawScanResult {
    bool stopped = false;
    int documentsWritten = 0;                    // documents of the checked kinds written
    int documentsFailed = 0;                     // of those, not written whole
    std::array<int, kinds::kCount> typeCounts{}; // the counts at the end of the scan
};

// The "Searching Disk - N" status a scan starts with.
std::string SearchingDiskText(unsigned diskNumber);

// Scans sectors [start, end) of disk `diskNumber` for the kinds checked in
// `checked`, writing into `destination`. Runs on the calling thread until the
// range is done or scan.stopRequested is set. At the end the view is put
// back to idle (status and progress cleared, rows cleared) as the panel
// always was.
RawScanResult RunRawScan(RawScan& scan, const disk::SectorReader& reader, unsigned diskNumber, std::uint64_t start,
                         std::uint64_t end, const std::array<bool, kinds::kCount>& checked,
                         const std::string& destination, RawScanView& view);

}  // namespace raw
