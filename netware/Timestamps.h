// The packed date and time of directory entries as this program shows them.
#pragma once

#include <cstdint>
#include <string>

namespace nw {

struct UnpackedTimestamp {
    unsigned second = 0;  // already doubled
    unsigned minute = 0;
    unsigned hour = 0;
    unsigned day = 0;
    unsigned month = 0;
    unsigned year = 0;    // calendar year
};
// Year field below 80: 1980 + field; 80 and above: 1920 + field.
unsigned ExpandYearField(unsigned yearField);
UnpackedTimestamp UnpackTimestamp(std::uint32_t timestamp);
// "05-Mar-2007" (month 0 and 13..15 print "Err").
std::string FormatDateText(std::uint32_t timestamp);
// "09:04:58".
std::string FormatTimeText(std::uint32_t timestamp);

}  // namespace nw
