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

}  // namespace

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

void ActivateDateFilter(SaveSettings& s) {
    if (s.earlierDay == 0) s.earlierDay = 31;
    if (s.earlierMonth == 0) s.earlierMonth = 12;
    if (s.earlierYear == 0) s.earlierYear = kLastEarlierYear;
    if (s.afterDay == 0) s.afterDay = 1;
    if (s.afterMonth == 0) s.afterMonth = 1;
    if (s.afterYear == 0) s.afterYear = kFirstFilterYear;
}

void SetDateBounds(SaveSettings& s, FilterDate after, FilterDate earlier) {
    s.afterDay = after.day;
    s.afterMonth = after.month;
    s.afterYear = after.year;
    s.earlierDay = earlier.day;
    s.earlierMonth = earlier.month;
    s.earlierYear = earlier.year;
    ActivateDateFilter(s);
}

FilterDate AfterBound(const SaveSettings& s) { return {s.afterDay, s.afterMonth, s.afterYear}; }
FilterDate EarlierBound(const SaveSettings& s) { return {s.earlierDay, s.earlierMonth, s.earlierYear}; }

AddResult AddExtension(SaveSettings& s, const std::string& entry) {
    if (s.extensionCount >= kMaxExtensions) return AddResult::TooMany;
    std::string text = entry;
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    if (text.size() > kExtensionMaxLength) return AddResult::TooLong;
    if (text.empty()) return AddResult::Empty;
    if (text.find('.') != std::string::npos) return AddResult::HasDot;
    if (text.find('*') != std::string::npos) return AddResult::HasStar;
    for (int i = 0; i < s.extensionCount; ++i)
        if (s.Extension(i) == text) return AddResult::Duplicate;
    auto& slot = s.extensions[static_cast<std::size_t>(s.extensionCount)];
    slot.fill('\0');
    std::memcpy(slot.data(), text.data(), text.size());
    ++s.extensionCount;
    return AddResult::Added;
}

bool RemoveExtension(SaveSettings& s, const std::string& text) {
    for (int i = 0; i < s.extensionCount; ++i) {
        if (s.Extension(i) != text) continue;
        for (int j = i; j + 1 < s.extensionCount; ++j)
            s.extensions[static_cast<std::size_t>(j)] = s.extensions[static_cast<std::size_t>(j + 1)];
        --s.extensionCount;
        s.extensions[static_cast<std::size_t>(s.extensionCount)].fill('\0');
        return true;
    }
    return false;
}

std::vector<std::string> Extensions(const SaveSettings& s) {
    std::vector<std::string> list;
    for (int i = 0; i < std::min(s.extensionCount, kMaxExtensions); ++i) list.push_back(s.Extension(i));
    return list;
}

}  // namespace recovery
