// The save settings: which list rows a list-source save takes and which files
// any save writes (deleted-file filter, last-update date range, extensions),
// with the rules for changing them as plain functions that both front ends
// call. The session holds the settings for the program run; nothing is
// stored on disk.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/EntryExtras.h"

namespace recovery {

enum DeletedMode : int { kIncludeDeleted = 0, kExcludeDeleted = 1, kDeletedOnly = 2 };
enum SelectionMode : int { kSelectedRows = 0, kAllRows = 1, kInvertSelection = 2 };
enum SavingMode : int { kSavingAuto = 0, kSavingFat1 = 1, kSavingFat2 = 2, kSavingContiguous = 3 };

constexpr int kMaxExtensions = 100;
constexpr std::size_t kExtensionMaxLength = 4;  // characters of one entry
constexpr std::size_t kExtensionSlotBytes = 6;  // up to 4 characters, zero-terminated

// The years a date bound may take: "After" from 1970 to 2030, "Earlier"
// (the upper bound) from 1970 to 2099.
constexpr int kFirstFilterYear = 1970;
constexpr int kLastAfterYear = 2030;
constexpr int kLastEarlierYear = 2099;

// A day of the last-update filter's bounds.
struct FilterDate {
    int day = 0, month = 0, year = 0;
    bool operator==(const FilterDate&) const = default;
};

// Every field starts at 0: the selected rows are saved and no file is filtered out.
struct SaveSettings {
    ExtrasSettings extras;  // forks, links, owners
    int deletedMode = 0;
    int selectionMode = 0;
    int savingMode = 0;  // remembered and shown only
    int afterDay = 0, afterMonth = 0, afterYear = 0;
    int earlierDay = 0, earlierMonth = 0, earlierYear = 0;  // earlierYear 0: no date filter
    std::array<std::array<char, kExtensionSlotBytes>, kMaxExtensions> extensions{};
    int extensionCount = 0;
    // "DFXML report": a save from the window writes a hash list and a DFXML
    // report of what it saved beside its destination folder.
    bool dfxmlReport = false;

    std::string Extension(int index) const { return std::string(extensions[static_cast<std::size_t>(index)].data()); }
    bool operator==(const SaveSettings&) const = default;
};

// The three filter tests, called in this order for every file a save meets.
bool PassesDateFilter(const SaveSettings& settings, std::uint32_t timestamp);
bool PassesDeletedFilter(const SaveSettings& settings, std::uint32_t deletedMarker);
bool PassesExtensionFilter(const SaveSettings& settings, const std::string& name);

// Whether a row of the list is taken by a list-source save: the selected
// rows, all rows, or the rows not selected.
bool RowChosen(const SaveSettings& settings, bool selected);

// The date key: every month counts as 30 days, so the 31st of a month and
// the 1st of the next one compare equal.
std::uint32_t DateKey(std::uint32_t day, std::uint32_t month, std::uint32_t year);

// ---- changing the settings ------------------------------------------------------------

// The date filter becomes active: bounds not set yet take the widest range,
// 01-01-1970 to 31-12-2099. Once active it stays so for the session.
void ActivateDateFilter(SaveSettings& settings);
// Both bounds, inclusive; the filter is active from here on.
void SetDateBounds(SaveSettings& settings, FilterDate after, FilterDate earlier);
FilterDate AfterBound(const SaveSettings& settings);
FilterDate EarlierBound(const SaveSettings& settings);

// Messages an extension entry is refused with.
inline constexpr const char* kTooManyExtensions = "Cannot add more extensions";
inline constexpr const char* kExtensionTooLong = "Extension should not exceed more than 4 characters";
inline constexpr const char* kExtensionHasDot =
    "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr const char* kExtensionHasStar =
    "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr const char* kExtensionExists = "This extension already exist. Enter different extension";

enum class AddResult { Added, Empty, TooMany, TooLong, HasDot, HasStar, Duplicate };

// The message a refused entry is answered with (nullptr for Added and
// Empty); the duplicate one carries the information icon, the others the
// error icon.
const char* AddRefusalText(AddResult result);
inline bool AddRefusalIsInformation(AddResult result) { return result == AddResult::Duplicate; }

// Adds an extension (the text up to a NUL). A refusal changes nothing; an
// entry differing from a held one only in case is a new one.
AddResult AddExtension(SaveSettings& settings, const std::string& text);
// Removes the extension with exactly this text; false when none has it.
bool RemoveExtension(SaveSettings& settings, const std::string& text);
// The extensions in the order they were added.
std::vector<std::string> Extensions(const SaveSettings& settings);

}  // namespace recovery

