// raw: scans a disk (or a sector range) for Word, Excel, PowerPoint and ZIP
// documents and writes them as numbered files into a folder. The written
// file names go to stdout one a line, the "Files Recovered" rows to stderr at
// the end.
#include <array>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "cli/Cli.h"
#include "raw/RawScan.h"

namespace cli {
namespace {

class TerminalRawPanel : public raw::RawPanel {
public:
    std::array<bool, raw::kKindCount> checked{true, true, true, true};
    std::string startText, endText, destination;
    ProgressLine* line = nullptr;

    int FileTypeRowCount() override { return raw::kKindCount; }
    bool FileTypeChecked(int row) override { return row >= 0 && row < raw::kKindCount && checked[row]; }
    std::string StartSectorText() override { return startText; }
    std::string EndSectorText() override { return endText; }
    void SetEndSectorText(const std::string& text) override { endText = text; }
    std::string StartButtonText() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return button_;
    }
    void SetStartButtonText(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        button_ = text;
    }
    void ShowFileSavingDialog() override { job::Wizard().destinationPath = destination; }
    void SetRawStatus(const std::string& text) override {
        if (line) line->SetStatus(text);
    }
    void SetRawProgress(int percent, const std::string&) override {
        if (line) line->SetPercent(percent);
    }
    void ClearFilesRecovered() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!rows_.empty()) finalRows_ = rows_;
        rows_.clear();
    }
    void AddFilesRecoveredRow(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        rows_.push_back(text);
    }
    void SetFilesRecoveredRow(int row, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (row >= 0 && static_cast<std::size_t>(row) < rows_.size()) rows_[row] = text;
    }
    void DocumentWritten(const std::string& path, int) override {
        if (line) line->Finish();
        std::fputs((path + "\n").c_str(), stdout);
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(mutex_);
        ++written_;
    }
    std::vector<std::string> FinalRows() {
        std::lock_guard<std::mutex> lock(mutex_);
        return rows_.empty() ? finalRows_ : rows_;
    }
    int Written() {
        std::lock_guard<std::mutex> lock(mutex_);
        return written_;
    }

private:
    std::mutex mutex_;
    std::string button_ = raw::kStartText;
    std::vector<std::string> rows_, finalRows_;
    int written_ = 0;
};

bool ParseTypes(const std::string& list, std::array<bool, raw::kKindCount>& checked) {
    checked = {false, false, false, false};
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        std::string t = list.substr(from, comma - from);
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (t == "doc") checked[raw::kWord] = true;
        else if (t == "xls") checked[raw::kExcel] = true;
        else if (t == "ppt") checked[raw::kPowerPoint] = true;
        else if (t == "zip") checked[raw::kZip] = true;
        else {
            Error("raw: unknown document type '" + t + "' (doc, xls, ppt, zip)");
            return false;
        }
        from = comma + 1;
    }
    return true;
}

int RunRaw(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    TerminalRawPanel panel;
    std::uint64_t diskNumber = 0;
    bool haveStart = false, haveEnd = false;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        std::string value;
        if (arg == "--disk") {
            if (!reader.Value(arg, value) || !reader.Number(arg, value, diskNumber)) return kExitBadInput;
        } else if (arg == "--to") {
            if (!reader.Value(arg, panel.destination)) return kExitBadInput;
        } else if (arg == "--types") {
            if (!reader.Value(arg, value) || !ParseTypes(value, panel.checked)) return kExitBadInput;
        } else if (arg == "--start") {
            if (!reader.Value(arg, panel.startText)) return kExitBadInput;
            haveStart = true;
        } else if (arg == "--end") {
            if (!reader.Value(arg, panel.endText)) return kExitBadInput;
            haveEnd = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    if (panel.destination.empty()) {
        Error("raw: where to? (--to DIR is missing)");
        return kExitBadInput;
    }
    if (haveStart != haveEnd) {
        Error("raw: a sector range needs both --start and --end");
        return kExitBadInput;
    }
    if (diskNumber > 0xFFFF) {
        Error("raw: there is no disk " + std::to_string(diskNumber));
        return kExitBadInput;
    }
    CommandSession cs(inv.global);
    panel.line = &cs.line;
    if (int r = SelectDisk(cs, static_cast<unsigned>(diskNumber)); r != kExitOk) return r;

    // The raw scan still reads the chosen disk and range from the job state.
    auto& w = job::Wizard();
    w.selectedDiskNumber = cs.session.selectedDiskNumber;
    w.selectedDiskLabel = cs.session.selectedDiskLabel;
    w.recoveryMode = job::kModeRaw;
    w.rangeIsWholeDisk = haveStart ? 0 : 1;
    w.rangeIsSectorRange = haveStart ? 1 : 0;
    raw::InstallRawPanel(&panel);
    ArmInterrupt();

    const raw::StartOutcome outcome = raw::OnStartRecoveryButton();
    if (outcome != raw::StartOutcome::Started) {
        raw::InstallRawPanel(nullptr);
        return kExitBadInput;
    }
    // The scan stops at its next read on Ctrl-C; a second one ends the program.
    RunWatched([] { job::WaitForWorker(raw::RawScan().rawWorker); },
               [] { raw::RawScan().stopRequested.store(1); });
    const bool stopped = raw::RawScan().stopRequested.load() != 0;
    if (stopped) raw::FinishStoppedScan();
    cs.line.Finish();
    for (const std::string& row : panel.FinalRows()) std::cerr << row << '\n';
    if (stopped) Note("raw: stopped; the files written so far stay in " + panel.destination);
    const int written = panel.Written();
    raw::InstallRawPanel(nullptr);
    if (written == 0) {
        Note("raw: no documents found");
        return kExitNothingFound;
    }
    return kExitOk;
}

}  // namespace

const Command kRawCommand{"raw", "[--disk N] --to DIR [--types doc,xls,ppt,zip] [--start S --end E]",
                          "scan the disk (or sectors S to E) for Word, Excel, PowerPoint and ZIP documents "
                          "and write them into DIR as numbered files",
                          RunRaw};

}  // namespace cli
