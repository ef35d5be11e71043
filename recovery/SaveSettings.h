// The save settings: which list rows a list-source save takes and which files
// any save writes (deleted-file filter, last-update date range, extensions),
// with the rules of the "Settings" dialog as plain functions that the dialog
// (and the command-line front end) call. The session holds the settings for
// the program run; nothing is stored on disk.
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
constexpr std::size_t kExtensionFieldMax = 39;  // characters the dialog's edit field holds

// Item positions of the six date lists: day and month lists "01".."31" and
// "01".."12", the "Earlier" year list 1970..2099, the "After" year list 1970..2030.
enum DateList : int { kEarlierDay = 0, kEarlierMonth, kEarlierYear, kAfterDay, kAfterMonth, kAfterYear };
constexpr int kDayItems = 31;
constexpr int kMonthItems = 12;
constexpr int kEarlierYearItems = 130;
constexpr int kAfterYearItems = 61;
constexpr int kFirstListYear = 1970;
int DateListItems(DateList list);

// Every field starts at 0: the selected rows are saved and no file is filtered out.
struct SaveSettings {
    ExtrasSettings extras;  // forks, links, owners
    int deletedMode = 0;
    int selectionMode = 0;
    int savingMode = 0;  // remembered and shown only
    int afterDay = 0, afterMonth = 0, afterYear = 0;
    int earlierDay = 0, earlierMonth = 0, earlierYear = 0;  // earlierYear 0: no date filter
    std::array<int, 6> datePositions{};                     // indexed by DateList
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

// ---- the "Settings" dialog ----------------------------------------------------------

// Fixed texts of the dialog.
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

// One opening of the dialog over the session's settings. Open() applies the
// opening rules to the settings and notes them for Cancel(); the dialog then
// calls the other functions as the user acts and finally Apply() or Cancel().
class SettingsDialogSession {
public:
    explicit SettingsDialogSession(SaveSettings& settings) : settings_(settings) {}

    // Applies the defaults of the opening (the date filter is active from
    // here on, whichever button closes the dialog) and notes the settings.
    void Open();

    // The entries in the order the dialog's list shows them (the newest first).
    const std::vector<std::string>& ListedExtensions() const { return listed_; }

    // "&Add " with the edit field's text. Refusals change nothing; the
    // dialog shows AddRefusalText of the result.
    AddResult Add(const std::string& fieldText);
    // "&Remove" on the list entry at `listIndex`. Returns false when the list
    // is empty (the button then disables itself) or the index is not listed.
    bool Remove(std::size_t listIndex);
    bool RemoveEnabled() const { return removeEnabled_; }

    // Radio buttons: take effect at once.
    void SetDeletedMode(int mode);
    void SetSelectionMode(int mode);
    void SetSavingMode(int mode);
    // A date list's shown position (clamped to the list).
    void SetDatePosition(DateList list, int position);
    int DatePosition(DateList list) const;

    // "&Apply": the six bounds are taken from the six lists.
    void Apply();
    // "Cancel" or closing: everything back to what Open() noted.
    void Cancel();

private:
    SaveSettings& settings_;
    SaveSettings noted_{};
    std::vector<std::string> listed_;
    bool removeEnabled_ = true;
};

}  // namespace recovery

