#include "app/SaveSettingsSession.h"

#include <algorithm>

namespace app {

namespace {

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

int DateListItems(DateList list) {
    switch (list) {
        case kEarlierDay:
        case kAfterDay: return 31;
        case kEarlierMonth:
        case kAfterMonth: return 12;
        case kEarlierYear: return recovery::kLastEarlierYear - recovery::kFirstFilterYear + 1;
        case kAfterYear: return recovery::kLastAfterYear - recovery::kFirstFilterYear + 1;
    }
    return 1;
}

int DateListValue(DateList list, int position) {
    const bool year = list == kEarlierYear || list == kAfterYear;
    return position + (year ? recovery::kFirstFilterYear : 1);
}

void SaveSettingsSession::Open() {
    recovery::SaveSettings& s = settings_;
    recovery::ActivateDateFilter(s);
    listed_ = recovery::Extensions(s);
    removeEnabled_ = true;

    const recovery::FilterDate earlier = recovery::EarlierBound(s), after = recovery::AfterBound(s);
    const int values[kDateLists] = {earlier.day, earlier.month, earlier.year, after.day, after.month, after.year};
    for (int i = 0; i < kDateLists; ++i) {
        const auto list = static_cast<DateList>(i);
        SetDatePosition(list, values[i] - DateListValue(list, 0));
    }
    // An "Earlier" list at its first item shows its last one.
    for (DateList list : {kEarlierDay, kEarlierMonth, kEarlierYear})
        if (positions_[list] == 0) positions_[list] = DateListItems(list) - 1;
    noted_ = s;
}

recovery::AddResult SaveSettingsSession::Add(const std::string& fieldText) {
    const std::string text = fieldText.substr(0, kExtensionFieldMax);
    const recovery::AddResult result = recovery::AddExtension(settings_, text);
    if (result == recovery::AddResult::Added) {
        listed_.insert(listed_.begin(), recovery::Extensions(settings_).back());
        removeEnabled_ = true;
    }
    return result;
}

bool SaveSettingsSession::Remove(std::size_t listIndex) {
    if (listed_.empty()) {
        removeEnabled_ = false;
        return false;
    }
    if (listIndex >= listed_.size()) return false;
    recovery::RemoveExtension(settings_, listed_[listIndex]);
    listed_.erase(listed_.begin() + static_cast<std::ptrdiff_t>(listIndex));
    return true;
}

void SaveSettingsSession::SetDeletedMode(int mode) { settings_.deletedMode = Clamp(mode, 0, 2); }
void SaveSettingsSession::SetSelectionMode(int mode) { settings_.selectionMode = Clamp(mode, 0, 2); }
void SaveSettingsSession::SetSavingMode(int mode) { settings_.savingMode = Clamp(mode, 0, 3); }

void SaveSettingsSession::SetDatePosition(DateList list, int position) {
    positions_[list] = Clamp(position, 0, DateListItems(list) - 1);
}

void SaveSettingsSession::Apply() {
    auto value = [this](DateList list) { return DateListValue(list, positions_[list]); };
    recovery::SetDateBounds(settings_, {value(kAfterDay), value(kAfterMonth), value(kAfterYear)},
                            {value(kEarlierDay), value(kEarlierMonth), value(kEarlierYear)});
}

void SaveSettingsSession::Cancel() {
    settings_ = noted_;
    listed_ = recovery::Extensions(settings_);
}

}  // namespace app
