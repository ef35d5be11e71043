// One opening of the "Settings" dialog over the session's save settings: the
// dialog's own state (the extension list in the order it shows it, the
// Remove button's state, the date lists' positions) and what Apply and
// Cancel do. Open() notes the settings for Cancel(); the dialog then calls
// the other functions as the user acts and finally Apply() or Cancel().
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "recovery/SaveSettings.h"

namespace app {

// The six date lists: day and month lists "01".."31" and "01".."12", the
// "Earlier" year list 1970..2099, the "After" year list 1970..2030.
enum DateList : int { kEarlierDay = 0, kEarlierMonth, kEarlierYear, kAfterDay, kAfterMonth, kAfterYear };
constexpr int kDateLists = 6;
int DateListItems(DateList list);
// The value the item at `position` of a list stands for.
int DateListValue(DateList list, int position);

constexpr int kExtensionFieldMax = 39;  // characters the edit field holds

class SaveSettingsSession {
public:
    explicit SaveSettingsSession(recovery::SaveSettings& settings) : settings_(settings) {}

    // Activates the date filter (whichever button closes the dialog), sets
    // the lists to the bounds and notes the settings.
    void Open();

    // The entries in the order the list shows them: those held at the
    // opening as they were added, each added since at the top.
    const std::vector<std::string>& ListedExtensions() const { return listed_; }

    // Add with the edit field's text. Refusals change nothing; the dialog
    // shows AddRefusalText of the result.
    recovery::AddResult Add(const std::string& fieldText);
    // Remove on the list entry at `listIndex`. Returns false when the list
    // is empty (the button then disables itself) or the index is not listed.
    bool Remove(std::size_t listIndex);
    bool RemoveEnabled() const { return removeEnabled_; }

    // Radio buttons: take effect at once.
    void SetDeletedMode(int mode);
    void SetSelectionMode(int mode);
    void SetSavingMode(int mode);
    // A date list's position (clamped to the list).
    void SetDatePosition(DateList list, int position);
    int DatePosition(DateList list) const { return positions_[list]; }

    // Apply: the two bounds are taken from the six lists.
    void Apply();
    // Cancel or closing: everything back to what Open() noted.
    void Cancel();

private:
    recovery::SaveSettings& settings_;
    recovery::SaveSettings noted_{};
    std::vector<std::string> listed_;
    std::array<int, kDateLists> positions_{};
    bool removeEnabled_ = true;
};

}  // namespace app
