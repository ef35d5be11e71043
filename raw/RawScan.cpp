#include "raw/RawScan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"

namespace raw {

namespace {

std::atomic<RawPanel*> gPanel{nullptr};
RawScanState gState;

std::string SignedLow32(std::uint64_t value) {
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

void EnableBack(bool on) {
    if (auto* c = job::Wizard().controls) c->EnableBackButton(on);
}

// Tries to create and remove a probe file in `dir`. An existing file of the
// probe's name is left alone: the next free name is tried instead.
bool ProbeWritable(const std::string& dir) {
    std::string base = dir;
    if (base.empty() || base.back() != '/') base += '/';
    base += "tempFile";
    for (int k = 0; k < 100; ++k) {
        const std::string name = k == 0 ? base : base + "." + std::to_string(k);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(name.c_str());
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The disk's sector count for refilling "End Sector".
std::uint64_t DiskSectorCount() {
    const auto& w = job::Wizard();
    if (w.diskSectorCount != 0) return w.diskSectorCount;
    return SelectedDiskSizeBytes() / disk::kSectorSize;
}

// The end of a scan, whichever way it went: the panel back to idle.
void EndOfScan(RawScanState& st) {
    RawPanel* panel = Panel();
    if (panel) {
        panel->SetStartButtonText(kStartText);
        panel->SetRawStatus("");
        panel->SetRawProgress(0, job::ProgressCaption(0));
        panel->ShowRawProgress(false);
    }
    EnableBack(true);
    if (panel) {
        panel->EnableFileTypeList(true);
        panel->EnableRangeButtons(true);
        if (st.sectorRange) panel->EnableRangeFields(true);
        panel->ClearFilesRecovered();
    }
    st.typeCounts = {};
    st.carry.Clear();
}

}  // namespace

void InstallRawPanel(RawPanel* panel) { gPanel = panel; }
RawPanel* Panel() { return gPanel.load(); }
RawScanState& RawScan() { return gState; }

bool ParseSectorField(const std::string& text, std::int64_t& out) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digitsFrom = i;
    std::uint64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > static_cast<std::uint64_t>(INT64_MAX)) return false;
    }
    if (i == digitsFrom) return false;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i != n) return false;
    out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return true;
}

std::uint64_t SelectedDiskSizeBytes() {
    const auto& w = job::Wizard();
    const std::string text =
        job::RegistryTextRead(job::kClassesRoot, disk::kGeometrySize, disk::StoreKey(w.selectedDiskNumber));
    std::uint64_t size = 0;
    bool digits = !text.empty() && text.size() <= 19;
    for (char c : text) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits && size > 0) return size;
    return disk::DeviceSizeBytes(disk::DeviceNameFor(w.selectedDiskNumber, w.selectedDiskLabel));
}

bool PrepareDestination(const std::string& path) {
    if (ProbeWritable(path)) return true;
    ::mkdir(path.c_str(), 0777);
    if (!IsDirectory(path)) return false;
    // A folder that exists but takes no files is no destination either.
    return ProbeWritable(path);
}

StartOutcome OnStartRecoveryButton() {
    RawPanel* panel = Panel();
    if (!panel) return StartOutcome::NoPanel;
    auto& st = RawScan();
    auto& w = job::Wizard();

    if (panel->StartButtonText() == kStopText) {
        if (st.rawWorker == 0) return StartOutcome::StopDeclined;
        if (job::ShowMessage(kMsgTerminate, job::MessageIcon::Question, job::MessageButtons::YesNo) !=
            job::MessageAnswer::Yes)
            return StartOutcome::StopDeclined;
        StopRawScan();
        return StartOutcome::Stopped;
    }
    if (st.rawWorker != 0) return StartOutcome::Busy;

    const int rows = panel->FileTypeRowCount();
    bool anyChecked = false;
    for (int r = 0; r < rows; ++r) anyChecked = anyChecked || panel->FileTypeChecked(r);
    if (!anyChecked) {
        panel->EnableStartButton(false);
        job::ShowMessage(kMsgSelectFileType, job::MessageIcon::Information);
        panel->EnableStartButton(true);
        return StartOutcome::NoFileType;
    }

    const bool sectorRange = w.rangeIsWholeDisk != 1;
    if (sectorRange) {
        std::int64_t end = 0, start = 0;
        if (!ParseSectorField(panel->EndSectorText(), end)) {
            job::ShowMessage(kMsgInvalidEnd, job::MessageIcon::Error);
            panel->SetEndSectorText(SignedLow32(DiskSectorCount()));
            return StartOutcome::InvalidEnd;
        }
        if (!ParseSectorField(panel->StartSectorText(), start)) {
            job::ShowMessage(kMsgInvalidStart, job::MessageIcon::Error);
            return StartOutcome::InvalidStart;
        }
        if (start >= end) {
            job::ShowMessage(kMsgStartNotBelowEnd, job::MessageIcon::Error);
            return StartOutcome::StartNotBelowEnd;
        }
    }

    panel->ShowFileSavingDialog();
    if (w.destinationPath.empty()) return StartOutcome::NoDestination;
    if (!PrepareDestination(w.destinationPath)) {
        job::ShowMessage(kMsgCreateDirectory, job::MessageIcon::Error);
        return StartOutcome::DestinationFailed;
    }

    panel->SetStartButtonText(kStopText);
    panel->EnableFileTypeList(false);
    panel->EnableRangeButtons(false);
    if (sectorRange) panel->EnableRangeFields(false);
    panel->SetRawStatus("Searching Disk - " + std::to_string(w.selectedDiskNumber.load()));

    st.stopRequested = 0;
    st.sectorRange = sectorRange;
    job::StartWorker(st.rawWorker, RawScanWorker);
    return StartOutcome::Started;
}

void RawScanWorker() {
    auto& st = RawScan();
    auto& w = job::Wizard();
    RawPanel* panel = Panel();

    EnableBack(false);
    st.attemptNumber = 0;
    st.lastPercent = 0;
    st.typeCounts = {};
    st.carry.Clear();
    std::vector<std::uint8_t> window(kWindowBytes);

    if (!st.sectorRange) {
        st.scanStart = 0;
        st.scanEnd = SelectedDiskSizeBytes() / disk::kSectorSize;
    } else {
        std::int64_t end = 0, start = 0;
        const bool endOk = panel && ParseSectorField(panel->EndSectorText(), end) && end >= 0;
        if (!endOk) {
            job::ShowMessage(kMsgInvalidEnd, job::MessageIcon::Error);
            EndOfScan(st);
            return;
        }
        if (!ParseSectorField(panel->StartSectorText(), start) || start < 0) {
            job::ShowMessage(kMsgInvalidStart, job::MessageIcon::Error);
            EndOfScan(st);
            return;
        }
        st.scanStart = static_cast<std::uint64_t>(start);
        st.scanEnd = static_cast<std::uint64_t>(end);
    }
    if (st.scanEnd < st.scanStart) {
        job::ShowMessage(kMsgInvalidStart, job::MessageIcon::Error);
        EndOfScan(st);
        return;
    }

    // Carving reads the selected disk and reports to the raw panel.
    struct PanelOutput : CarvingOutput {
        RawPanel* panel;
        explicit PanelOutput(RawPanel* p) : panel(p) {}
        void ClearFilesRecovered() override { if (panel) panel->ClearFilesRecovered(); }
        void AddFilesRecoveredRow(const std::string& t) override { if (panel) panel->AddFilesRecoveredRow(t); }
        void SetFilesRecoveredRow(int r, const std::string& t) override { if (panel) panel->SetFilesRecoveredRow(r, t); }
        void DocumentWritten(const std::string& p, int k) override { if (panel) panel->DocumentWritten(p, k); }
    } output(panel);
    CarvingContext ctx;
    ctx.readSectors = [number = w.selectedDiskNumber.load(), label = std::string(w.selectedDiskLabel)](
                          std::uint64_t start, std::uint32_t count, void* buffer) {
        return disk::ReadSectors(disk::MakeRequest(number, label, start, count, buffer)) != disk::kReadNoDevice;
    };
    ctx.output = &output;
    ctx.destinationPath = w.destinationPath;
    if (panel)
        for (int k = 0; k < kKindCount; ++k)
            ctx.checked[k] = k < panel->FileTypeRowCount() && panel->FileTypeChecked(k);
    ctx.attemptNumber = &st.attemptNumber;
    ctx.typeCounts = &st.typeCounts;
    ctx.carry = &st.carry;
    ctx.stopRequested = &st.stopRequested;

    if (panel) panel->ShowRawProgress(true);
    st.scanCursor = st.scanStart;
    while (st.scanCursor < st.scanEnd) {
        if (ctx.Stopped()) return;
        if (panel) panel->SetRawStatus(" Searching Sector :- " + SignedLow32(st.scanCursor));
        for (std::uint32_t i = 0; i < kReadsPerWindow; ++i) {
            if (ctx.Stopped()) return;
            ctx.readSectors(st.scanCursor, kChunkSectors, window.data() + i * kChunkBytes);
            st.scanCursor += kChunkSectors;
        }
        const std::uint64_t base = st.scanCursor - kWindowSectors;
        bool reread = false;
        ProcessWindow(ctx, window.data(), base, reread);
        if (ctx.Stopped()) return;
        if (reread) st.scanCursor = base;

        const std::uint64_t percent = st.scanCursor * 100 / st.scanEnd;
        if (percent > static_cast<std::uint64_t>(st.lastPercent)) {
            st.lastPercent = static_cast<int>(std::min<std::uint64_t>(percent, 100));
            if (panel) panel->SetRawProgress(st.lastPercent, job::ProgressCaption(st.lastPercent));
        }
        if (percent >= 100) {
            if (panel) panel->SetRawProgress(st.lastPercent, job::ProgressCaption(0));
            st.typeCounts = {};
            st.carry.Clear();
            break;
        }
    }
    EndOfScan(st);
}

void FinishStoppedScan() {
    auto& st = RawScan();
    RawPanel* panel = Panel();
    if (panel) {
        if (st.sectorRange) panel->EnableRangeFields(true);
        panel->ShowRawProgress(false);
        panel->SetRawStatus("");
        panel->SetStartButtonText(kStartText);
    }
    EnableBack(true);
    if (panel) {
        panel->SetRawProgress(0, job::ProgressCaption(0));
        panel->EnableFileTypeList(true);
        panel->EnableRangeButtons(true);
        panel->ClearFilesRecovered();
    }
    st.typeCounts = {};
    st.carry.Clear();
}

void StopRawScan() {
    auto& st = RawScan();
    st.stopRequested = 1;
    if (st.rawWorker != 0) {
        if (RawPanel* panel = Panel()) panel->WaitForScanWorker(st.rawWorker);
        else job::WaitForWorker(st.rawWorker);
    }
    FinishStoppedScan();
}

}  // namespace raw
