// The activity report: a plain-text file that every run appends to, started
// afresh once it has grown past 5 MiB. Callers write their own CR LF.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

namespace records {

constexpr std::uint64_t kActivityLogLimit = 5242880;
constexpr const char* kActivityLogName = "ActivityLog.txt";

// Appends text to the file at `path`, starting the file afresh first when
// it has grown past the limit. False when the path is empty or the file
// cannot be opened or written (an append that finds the file held by
// another append fails).
bool AppendActivityLogAt(const std::string& path, const std::string& text);

// "9:05 - Monday, December 07, 2026"
std::string FormatDateLine(const std::tm& local);

// The activity report of a session: the file it appends to.
class ActivityLog {
public:
    ActivityLog() = default;
    explicit ActivityLog(std::string reportPath) : path(std::move(reportPath)) {}

    std::string path;  // empty: nothing is written

    bool Append(const std::string& text) const { return AppendActivityLogAt(path, text); }
    // The header appended when the main window starts, dated with `now`.
    void WriteStartHeader(std::time_t now) const;
};

// The per-user folder that holds the files the program writes
// ($XDG_DATA_HOME/tarvine, by default ~/.local/share/tarvine); created when
// missing. Empty when no such folder can be made.
std::string UserDataFolder();

}  // namespace records
