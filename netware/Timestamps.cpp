#include "netware/Timestamps.h"

#include "netware/Records.h"

namespace nw {

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string TwoDigits(unsigned v) {
    std::string s = std::to_string(v);
    return s.size() == 1 ? "0" + s : s;
}

}  // namespace

unsigned ExpandYearField(unsigned yearField) { return yearField < 80 ? 1980 + yearField : 1920 + yearField; }

UnpackedTimestamp UnpackTimestamp(std::uint32_t timestamp) {
    const PackedDateTime t = DecodePackedDateTime(timestamp);
    UnpackedTimestamp u;
    u.second = t.seconds;
    u.minute = t.minutes;
    u.hour = t.hours;
    u.day = t.day;
    u.month = t.month;
    u.year = ExpandYearField(t.yearField);
    return u;
}

std::string FormatDateText(std::uint32_t timestamp) {
    const UnpackedTimestamp u = UnpackTimestamp(timestamp);
    const char* month = (u.month >= 1 && u.month <= 12) ? kMonthNames[u.month - 1] : "Err";
    return TwoDigits(u.day) + "-" + month + "-" + std::to_string(u.year);
}

std::string FormatTimeText(std::uint32_t timestamp) {
    const UnpackedTimestamp u = UnpackTimestamp(timestamp);
    return TwoDigits(u.hour) + ":" + TwoDigits(u.minute) + ":" + TwoDigits(u.second);
}

}  // namespace nw
