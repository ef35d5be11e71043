#include "recovery/SaveSettings.h"

#include <algorithm>
#include <cstring>

#include "netware/Timestamps.h"

namespace recovery {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

int DateListItems(DateList list) {
    switch (list) {
        case kEarlierDay:
        case kAfterDay: return kDayItems;
        case kEarlierMonth:
        case kAfterMonth: return kMonthItems;
        case kEarlierYear: return kEarlierYearItems;
        case kAfterYear: return kAfterYearItems;
    }
    return 1;
}

std::uint32_t DateKey(std::uint32_t day, std::uint32_t month, std::uint32_t year) {
    return (day + (month + year * 12u) * 30u) * 24u;
}

bool PassesDateFilter(const SaveSettings& s, std::uint32_t timestamp) {
    if (s.earlierYear == 0 || s.earlierYear < s.afterYear) return true;
    const nw::UnpackedTimestamp t = nw::UnpackTimestamp(timestamp);
    const std::uint32_t year = t.year;
    if (year > static_cast<std::uint32_t>(s.earlierYear) || year < static_cast<std::uint32_t>(s.afterYear))
        return false;
    const std::uint32_t key = DateKey(t.day, t.month, year);
    const std::uint32_t low = DateKey(static_cast<std::uint32_t>(s.afterDay), static_cast<std::uint32_t>(s.afterMonth),
                                      static_cast<std::uint32_t>(s.afterYear));
    const std::uint32_t high =
        DateKey(static_cast<std::uint32_t>(s.earlierDay), static_cast<std::uint32_t>(s.earlierMonth),
                static_cast<std::uint32_t>(s.earlierYear));
    return key >= low && key <= high;
}

bool PassesDeletedFilter(const SaveSettings& s, std::uint32_t deletedMarker) {
    switch (s.deletedMode) {
        case kExcludeDeleted: return deletedMarker == 0;
        case kDeletedOnly: return deletedMarker != 0;
        default: return true;
    }
}

bool PassesExtensionFilter(const SaveSettings& s, const std::string& name) {
    if (s.extensionCount <= 0) return true;
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
    const int count = std::min(s.extensionCount, kMaxExtensions);
    for (int i = 0; i < count; ++i)
        if (EqualIgnoringCase(extension, s.Extension(i))) return true;
    return false;
}

bool RowChosen(const SaveSettings& s, bool selected) {
    switch (s.selectionMode) {
        case kSelectedRows: return selected;
        case kInvertSelection: return !selected;
        default: return true;
    }
}

const char* AddRefusalText(AddResult result) {
    switch (result) {
        case AddResult::TooMany: return kTooManyExtensions;
        case AddResult::TooLong: return kExtensionTooLong;
        case AddResult::HasDot: return kExtensionHasDot;
        case AddResult::HasStar: return kExtensionHasStar;
        case AddResult::Duplicate: return kExtensionExists;
        case AddResult::Added:
        case AddResult::Empty: break;
    }
    return nullptr;
}

// ---- the dialog ------------------------------------------------------------------

void SettingsDialogSession::Open() {
    SaveSettings& s = settings_;
    listed_.clear();
    for (int i = 0; i < std::min(s.extensionCount, kMaxExtensions); ++i) listed_.push_back(s.Extension(i));
    removeEnabled_ = true;

    // An "Earlier" position of 0 shows the last item of its list.
    for (DateList list : {kEarlierDay, kEarlierMonth, kEarlierYear}) {
        int& p = s.datePositions[list];
        if (p == 0) p = DateListItems(list) - 1;
    }
    if (s.earlierDay == 0) s.earlierDay = 31;
    if (s.earlierMonth == 0) s.earlierMonth = 12;
    if (s.earlierYear == 0) s.earlierYear = 2099;
    if (s.afterDay == 0) s.afterDay = 1;
    if (s.afterMonth == 0) s.afterMonth = 1;
    if (s.afterYear == 0) s.afterYear = kFirstListYear;
    noted_ = s;
}

AddResult SettingsDialogSession::Add(const std::string& fieldText) {
    SaveSettings& s = settings_;
    if (s.extensionCount >= kMaxExtensions) return AddResult::TooMany;
    std::string text = fieldText.substr(0, kExtensionFieldMax);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    if (text.size() > kExtensionMaxLength) return AddResult::TooLong;
    if (text.empty()) return AddResult::Empty;
    if (text.find('.') != std::string::npos) return AddResult::HasDot;
    if (text.find('*') != std::string::npos) return AddResult::HasStar;
    if (std::find(listed_.begin(), listed_.end(), text) != listed_.end()) return AddResult::Duplicate;
    auto& slot = s.extensions[static_cast<std::size_t>(s.extensionCount)];
    slot.fill('\0');
    std::memcpy(slot.data(), text.data(), text.size());
    ++s.extensionCount;
    listed_.insert(listed_.begin(), text);
    removeEnabled_ = true;
    return AddResult::Added;
}

bool SettingsDialogSession::Remove(std::size_t listIndex) {
    if (listed_.empty()) {
        removeEnabled_ = false;
        return false;
    }
    if (listIndex >= listed_.size()) return false;
    const std::string text = listed_[listIndex];
    listed_.erase(listed_.begin() + static_cast<std::ptrdiff_t>(listIndex));
    SaveSettings& s = settings_;
    for (int i = 0; i < s.extensionCount; ++i) {
        if (s.Extension(i) != text) continue;
        for (int j = i; j + 1 < s.extensionCount; ++j)
            s.extensions[static_cast<std::size_t>(j)] = s.extensions[static_cast<std::size_t>(j + 1)];
        --s.extensionCount;
        s.extensions[static_cast<std::size_t>(s.extensionCount)].fill('\0');
        break;
    }
    return true;
}

void SettingsDialogSession::SetDeletedMode(int mode) { settings_.deletedMode = Clamp(mode, 0, 2); }
void SettingsDialogSession::SetSelectionMode(int mode) { settings_.selectionMode = Clamp(mode, 0, 2); }
void SettingsDialogSession::SetSavingMode(int mode) { settings_.savingMode = Clamp(mode, 0, 3); }

void SettingsDialogSession::SetDatePosition(DateList list, int position) {
    settings_.datePositions[list] = Clamp(position, 0, DateListItems(list) - 1);
}

int SettingsDialogSession::DatePosition(DateList list) const { return settings_.datePositions[list]; }

void SettingsDialogSession::Apply() {
    SaveSettings& s = settings_;
    const auto& p = s.datePositions;
    s.earlierDay = p[kEarlierDay] + 1;
    s.earlierMonth = p[kEarlierMonth] + 1;
    s.earlierYear = p[kEarlierYear] + kFirstListYear;
    s.afterDay = p[kAfterDay] + 1;
    s.afterMonth = p[kAfterMonth] + 1;
    s.afterYear = p[kAfterYear] + kFirstListYear;
}

void SettingsDialogSession::Cancel() {
    settings_ = noted_;
    listed_.clear();
    for (int i = 0; i < std::min(settings_.extensionCount, kMaxExtensions); ++i) listed_.push_back(settings_.Extension(i));
}

}  // namespace recovery
