// raw: scans a disk (or a sector range) for Word, Excel, PowerPoint and ZIP
// documents and writes them as numbered files into a folder. The written
// file names go to stdout one a line (escaped as every record is), the
// documents that could not be written, the "Files Recovered" rows and what
// was incomplete or skipped to stderr.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "raw/FormatKinds.h"
#include "workflow/Raw.h"
#include "workflow/Search.h"
#include "workflow/Texts.h"

namespace cli {
namespace {

// The raw panel's status and progress on a terminal; each document written
// goes to stdout as it is written, each one that could not be written to
// stderr.
class TerminalRawView : public raw::RawScanView {
public:
    explicit TerminalRawView(ProgressLine& line) : line_(line) {}

    void SetRawStatus(const std::string& text) override { line_.SetStatus(text); }
    void SetRawProgress(int percent) override {
        line_.Step();
        line_.SetPercent(percent);
    }
    void DocumentCarved(const raw::CarvedDocument& document) override {
        line_.Finish();
        if (document.state == raw::DocumentState::Failed) {
            Note("raw: " + Field(document.fileName) + " could not be written: " +
                 (document.error ? std::string(std::strerror(document.error)) : "the disk could not be read"));
            return;
        }
        std::fputs((Field(document.path) + "\n").c_str(), stdout);
        std::fflush(stdout);
    }

private:
    ProgressLine& line_;
};

// A sector number as given; nothing when the text is no number.
std::optional<std::int64_t> SectorValue(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || text.empty()) return std::nullopt;
    return value;
}

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
    if (haveStart) request.startSector = SectorValue(args.Value("--start"));
    if (haveEnd) request.endSector = SectorValue(args.Value("--end"));
    if (destination.empty()) {
        Error("raw: where to? (--to DIR is missing)");
        return kExitBadInput;
    }
    const bool havePartition = args.Has("--partition");
    std::uint64_t partition = 0;
    if (havePartition && !ParseNumber(inv.command, "--partition", args.Value("--partition"), partition))
        return kExitBadInput;
    if (havePartition && (haveStart || haveEnd)) {
        Error("raw: --partition and --start/--end cannot be given together");
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
    if (havePartition) {
        // The partition's sectors, first to last, as a range typed with --start and --end.
        std::uint64_t first = 0, end = 0;
        if (!PartitionSectors(cs, static_cast<unsigned>(std::min<std::uint64_t>(partition, 0xFFFF)), first, end))
            return kExitBadInput;
        request.wholeDisk = false;
        request.startSector = static_cast<std::int64_t>(first);
        request.endSector = static_cast<std::int64_t>(end - 1);
    }
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
    std::string xmlFailure;
    RunWatched([&] { result = workflow::RunRaw(session, scan, start, request, destination, view, nullptr, &xmlFailure); },
               [&] { scan.stopRequested.store(1); });
    cs.line.Finish();
    if (result.documentsWritten > 0)
        for (int k = 0; k < raw::kinds::kCount; ++k)
            if (request.checked[static_cast<std::size_t>(k)])
                std::cerr << workflow::FilesRecoveredRowText(k, result.typeCounts[static_cast<std::size_t>(k)]) << '\n';
    int status = OutputWritten("raw") ? kExitOk : kExitBadInput;
    if (!xmlFailure.empty()) {
        Error("raw: " + std::string(workflow::kRecordNotWrittenText) + ": " + xmlFailure);
        status = CombineStatus(status, kExitBadInput);
    }
    if (result.stopped) {
        Note("raw: stopped; the " + std::to_string(result.documentsWritten) + " documents written so far stay in " +
             destination);
        status = CombineStatus(status, kExitStopped);
    }
    if (result.documentsIncomplete > 0) {
        Note("raw: " + std::to_string(result.documentsIncomplete) +
             " of the documents found are incomplete (written with -incomplete in their names)");
        status = CombineStatus(status, kExitDamaged);
    }
    if (result.documentsFailed > 0) {
        Note("raw: " + std::to_string(result.documentsFailed) + " of the documents found could not be written whole");
        status = CombineStatus(status, kExitDamaged);
    }
    if (result.sectorsSkipped > 0) {
        Note("raw: " + std::to_string(result.sectorsSkipped) + " unreadable sectors were skipped (read as zeros)");
        status = CombineStatus(status, kExitDamaged);
    }
    if (result.documentsWritten == 0 && !result.stopped) {
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
                           {"--end", "E", "the last sector of the range to scan (with --start)"},
                           {"--partition", "N",
                            "scan only partition N's sectors (numbered as 'disks --partitions' lists them; not with "
                            "--start/--end)"}},
                          "scan the disk (or sectors S to E) for Word, Excel, PowerPoint and ZIP documents "
                          "and write them into DIR as numbered files, with a DFXML report DIR/report.xml of "
                          "them (name, size, byte run on the disk, kind, MD5 and SHA-256, whole or incomplete); "
                          "exit 3 when some could not be written whole, some are incomplete or sectors could "
                          "not be read",
                          RunRaw};

}  // namespace cli
