// raw: scans a disk (or a sector range) for Word, Excel, PowerPoint and ZIP
// documents and writes them as numbered files into a folder. The written
// file names go to stdout one a line (escaped as every record is), the
// "Files Recovered" rows to stderr at the end.
#include <array>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "raw/FormatKinds.h"
#include "workflow/Raw.h"
#include "workflow/Search.h"

namespace cli {
namespace {

// The raw panel's status, progress and "Files Recovered" list on a terminal.
class TerminalRawView : public raw::RawScanView {
public:
    explicit TerminalRawView(ProgressLine& line) : line_(line) {}

    void SetRawStatus(const std::string& text) override { line_.SetStatus(text); }
    void SetRawProgress(int percent, const std::string&) override {
        line_.Step();
        line_.SetPercent(percent);
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
        line_.Finish();
        std::fputs((Field(path) + "\n").c_str(), stdout);
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(mutex_);
        ++written_;
    }
    // The rows the list showed last, also when the scan has cleared it.
    std::vector<std::string> FinalRows() {
        std::lock_guard<std::mutex> lock(mutex_);
        return rows_.empty() ? finalRows_ : rows_;
    }
    int Written() {
        std::lock_guard<std::mutex> lock(mutex_);
        return written_;
    }

private:
    ProgressLine& line_;
    std::mutex mutex_;
    std::vector<std::string> rows_, finalRows_;
    int written_ = 0;
};

bool ParseTypes(const std::string& list, std::array<bool, raw::kinds::kCount>& checked) {
    checked = {};
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        std::string t = list.substr(from, comma - from);
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // The kinds' own table names them, as it captions the window's list.
        bool known = false;
        std::string names;
        for (const raw::DocumentKind& kind : raw::DocumentKinds()) {
            if (t == kind.typeName) checked[kind.code] = known = true;
            names += names.empty() ? kind.typeName : std::string(", ") + kind.typeName;
        }
        if (!known) {
            Error("raw: unknown document type '" + t + "' (" + names + ")");
            return false;
        }
        from = comma + 1;
    }
    return true;
}

int RunRaw(const Invocation& inv) {
    const Args& args = inv.parsed;
    raw::RawRequest request;
    request.checked.fill(true);
    const std::string destination = args.Value("--to");
    std::uint64_t diskNumber = 0;
    if (args.Has("--disk") && !ParseNumber(inv.command, "--disk", args.Value("--disk"), diskNumber))
        return kExitBadInput;
    if (args.Has("--types") && !ParseTypes(args.Value("--types"), request.checked)) return kExitBadInput;
    const bool haveStart = args.Has("--start"), haveEnd = args.Has("--end");
    request.startText = args.Value("--start");
    request.endText = args.Value("--end");
    if (destination.empty()) {
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
    request.wholeDisk = !haveStart;
    CommandSession cs(inv.global);
    workflow::Session& session = cs.session;
    if (int r = SelectDisk(cs, static_cast<unsigned>(diskNumber)); r != kExitOk) return r;
    workflow::BeginMode(session, workflow::kModeRaw);

    const workflow::RawStart start = workflow::CheckRawStart(session, request);
    if (!start.ok) {
        if (start.notice) ShowNotice(*start.notice);
        return kExitBadInput;
    }
    if (const workflow::MaybeNotice refused = workflow::PrepareRawDestination(destination)) {
        ShowNotice(*refused);
        return kExitBadInput;
    }

    TerminalRawView view(cs.line);
    raw::RawScan scan;
    raw::RawScanResult result;
    ArmInterrupt();
    // The scan stops at its next read on Ctrl-C; a second one ends the program.
    RunWatched([&] { result = workflow::RunRaw(session, scan, start, request, destination, view); },
               [&] { scan.stopRequested.store(1); });
    cs.line.Finish();
    for (const std::string& row : view.FinalRows()) std::cerr << Shown(row) << '\n';
    int status = OutputWritten("raw") ? kExitOk : kExitBadInput;
    if (result.stopped) {
        Note("raw: stopped; the " + std::to_string(view.Written()) + " documents written so far stay in " +
             destination);
        status = CombineStatus(status, kExitStopped);
    }
    if (result.documentsFailed > 0) {
        Note("raw: " + std::to_string(result.documentsFailed) + " of the documents found could not be written whole");
        status = CombineStatus(status, kExitDamaged);
    }
    if (view.Written() == 0 && !result.stopped) {
        Note("raw: no documents found");
        status = CombineStatus(status, kExitNothingFound);
    }
    return status;
}

}  // namespace

const Command kRawCommand{"raw", "", 0,
                          {{"--disk", "N", "the disk to scan (default 0)"},
                           {"--to", "DIR", "the folder the documents are written into", true},
                           {"--types", "doc,xls,ppt,zip", "the kinds of document to look for (default all)"},
                           {"--start", "S", "the first sector of the range to scan (with --end)"},
                           {"--end", "E", "the last sector of the range to scan (with --start)"}},
                          "scan the disk (or sectors S to E) for Word, Excel, PowerPoint and ZIP documents "
                          "and write them into DIR as numbered files; exit 3 when some could not be "
                          "written whole",
                          RunRaw};

}  // namespace cli
