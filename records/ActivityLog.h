// The activity report: a plain-text file that every run appends to, started
// afresh once it has grown past 5 MiB. Callers write their own CR LF.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace records {

constexpr std::uint64_t kActivityLogLimit = 5242880;
constexpr const char* kActivityLogName = "ActivityLog.txt";

// Appends text to the file at WizardState::activityLogPath. False when the
// path is empty or the file cannot be opened or written.
bool AppendActivityLog(const std::string& text);
// Appends to a given file (the rule above, for any path).
bool AppendActivityLogAt(const std::string& path, const std::string& text);

// "9:05 - Monday, December 07, 2026"
std::string FormatDateLine(const std::tm& local);
// The header appended when the main window starts, dated with `now`.
void WriteStartHeader(std::time_t now);

// The per-user folder that holds the files the program writes
// ($XDG_DATA_HOME/tarvine, by default ~/.local/share/tarvine); created when
// missing. Empty when no such folder can be made.
std::string UserDataFolder();

}  // namespace records
