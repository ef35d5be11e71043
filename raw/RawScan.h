// The raw scan: the "Start &Recovery" button of the raw panel (start checks,
// destination probe, stop), and the worker that reads the chosen sector
// range window by window and hands each window to document carving.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "raw/Carving.h"
#include "raw/RawPanel.h"

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

// The program-wide state of the raw scan; cleared when a scan ends or is
// stopped.
struct RawScanState {
    std::atomic<std::uint64_t> rawWorker{0};      // the running scan, 0 when idle
    std::atomic<std::int32_t> stopRequested{0};   // polled before every read and every chunk written
    std::uint64_t scanStart = 0;
    std::uint64_t scanEnd = 0;
    std::uint64_t scanCursor = 0;                 // next sector to read
    int lastPercent = 0;
    int attemptNumber = 0;                        // documents handed to the writer; next file number - 1
    std::array<int, kKindCount> typeCounts{};     // Word, Excel, PowerPoint, Zip
    CarryOver carry;
    bool sectorRange = false;                     // the running scan covers the range fields
};

RawScanState& RawScan();

enum class StartOutcome {
    Started,
    NoPanel,
    Busy,                // a scan still runs
    NoFileType,
    InvalidEnd,
    InvalidStart,
    StartNotBelowEnd,
    NoDestination,       // "File Saving" was cancelled
    DestinationFailed,
    StopDeclined,
    Stopped,
};

// The "Start &Recovery" button: starts a scan while the button reads
// "&Start Recovery", offers to stop it while it reads "&Stop Searching".
StartOutcome OnStartRecoveryButton();

// The worker routine (started by the button).
void RawScanWorker();

// Stops a running scan after the user agreed: asks the worker to stop, waits
// until it has, and puts the panel back to idle. Files written stay.
void StopRawScan();
// Puts the panel and the scan state back to idle after the worker stopped.
void FinishStoppedScan();

// A range field's text as a signed decimal number (blanks around it allowed).
bool ParseSectorField(const std::string& text, std::int64_t& out);
// The selected disk's size in bytes: the geometry store's Size value, else
// the device's own size.
std::uint64_t SelectedDiskSizeBytes();
// Makes sure files can be created in `path`: probes it, creates it (one
// level) when the probe fails, and probes again.
bool PrepareDestination(const std::string& path);

}  // namespace raw
