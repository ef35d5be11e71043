// The activity report: a plain-text file that every run appends to. Each
// part of a session's record is a section built as a whole and written with
// one checked write. Once the file has grown past 5 MiB it is moved aside
// as the previous report (ActivityLog.1.txt beside ActivityLog.txt,
// replacing an older one) and a new file is begun, so nothing of a running
// session's record is lost.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace records {

constexpr std::uint64_t kActivityLogLimit = 5242880;
constexpr const char* kActivityLogName = "ActivityLog.txt";

// The previous report's name: "ActivityLog.txt" -> "ActivityLog.1.txt"
// (".1" before the extension, or at the end of a name without one).
std::string PreviousReportPath(const std::string& path);

// Appends text to the file at `path`, moving a file grown past the limit
// aside first (PreviousReportPath). False, with the reason, when the path
// is empty or the file cannot be moved, opened or written in full (an
// append that finds the file held by another append fails).
bool AppendActivityLogAt(const std::string& path, const std::string& text, std::string* reason = nullptr);

// One section of the report: its lines in order, each begun with CR LF
// (the report's lines end where the next section begins).
class ReportSection {
public:
    ReportSection& Blank() { return Line(std::string()); }
    // "label : value"
    ReportSection& Field(const std::string& label, const std::string& value) { return Line(label + " : " + value); }
    ReportSection& Line(const std::string& text) {
        lines_.push_back(text);
        return *this;
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Empty() const { return lines_.empty(); }
    std::string Text() const;

private:
    std::vector<std::string> lines_;
};

// What a raw scan did, as the report tells it (the workflow fills it from
// the scan's outcome).
struct RawScanRecord {
    std::uint64_t startSector = 0;  // the range scanned, [start, end)
    std::uint64_t endSector = 0;
    struct Kind {
        std::string name;  // "DOC"
        std::uint64_t found = 0;
    };
    std::vector<Kind> kinds;  // the kinds looked for, with the documents found of each
    std::uint64_t incomplete = 0;
    std::uint64_t failed = 0;
    std::uint64_t skippedSectors = 0;  // sectors that could not be read
    bool stopped = false;
    std::string dfxmlReport;   // the DFXML report written; empty: none
    std::string dfxmlFailure;  // why the one asked for was not written
};
// "Raw Range : S - E", "Documents Found : N", one "K Found : n" a kind,
// "Incomplete Documents : n", "Failed Documents : n", "Skipped Sectors : n",
// "DFXML Report : PATH" (or "DFXML Report : not written: REASON"),
// and "Raw Scan : Stopped" or "Raw Scan : Completed".
ReportSection RawScanSection(const RawScanRecord& record);

// "9:05 - Monday, December 07, 2026"
std::string FormatDateLine(const std::tm& local);

// The activity report of a session: the file it appends to.
class ActivityLog {
public:
    ActivityLog() = default;
    explicit ActivityLog(std::string reportPath) : path(std::move(reportPath)) {}

    std::string path;  // empty: nothing is written

    // Writes the section with one checked write. True when written or when
    // the session keeps no report (empty path); false, with the reason, when
    // the write failed.
    bool Write(const ReportSection& section, std::string* reason = nullptr) const;
    // Raw text as it is (the save's lines, each begun with its own CR LF).
    // False when not written (also when no report is kept).
    bool Append(const std::string& text) const { return AppendActivityLogAt(path, text); }
    // The header written when the main window starts, dated with `now`.
    bool WriteStartHeader(std::time_t now, std::string* reason = nullptr) const;
};

// The per-user folder that holds the files the program writes
// ($XDG_DATA_HOME/tarvine, by default ~/.local/share/tarvine); created when
// missing. Empty when no such folder can be made.
std::string UserDataFolder();

}  // namespace records
