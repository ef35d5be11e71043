#include "netware/TimeZone.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "netware/Timestamps.h"

namespace nw {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::size_t kTzifHeader = 44;

std::uint32_t Be32(const std::string& b, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

std::int64_t Be64(const std::string& b, std::size_t at) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(Be32(b, at)) << 32) | Be32(b, at + 4));
}

// A zone file's bytes; false for a folder, a device or what cannot be read.
bool ReadFile(const std::string& path, std::string& out) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > (1u << 20))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    out = bytes.str();
    return !in.bad();
}

// A zone name as the TZ database spells it: no absolute path, no "..".
bool PlainZoneName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.size() > 255) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

// ---- POSIX TZ rules ---------------------------------------------------------

class RuleParser {
public:
    explicit RuleParser(const std::string& text) : s_(text) {}

    bool Name() {
        if (pos_ < s_.size() && s_[pos_] == '<') {
            const std::size_t close = s_.find('>', pos_);
            if (close == std::string::npos || close - pos_ < 4) return false;
            pos_ = close + 1;
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < s_.size() && ((s_[pos_] >= 'A' && s_[pos_] <= 'Z') || (s_[pos_] >= 'a' && s_[pos_] <= 'z')))
            ++pos_;
        return pos_ - start >= 3;
    }
    // [+-]hh[:mm[:ss]], hours up to `maxHours`.
    bool Time(std::int32_t& out, int maxHours) {
        int sign = 1;
        if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) sign = s_[pos_++] == '-' ? -1 : 1;
        int parts[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            if (k > 0) {
                if (pos_ >= s_.size() || s_[pos_] != ':') break;
                ++pos_;
            }
            int digits = 0, v = 0;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && digits < 3) {
                v = v * 10 + (s_[pos_++] - '0');
                ++digits;
            }
            if (digits == 0) return false;
            parts[k] = v;
        }
        if (parts[0] > maxHours || parts[1] > 59 || parts[2] > 59) return false;
        out = sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
        return true;
    }
    bool Number(int& out) {
        const std::size_t start = pos_;
        out = 0;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && pos_ - start < 4)
            out = out * 10 + (s_[pos_++] - '0');
        return pos_ > start;
    }
    bool Char(char c) {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool AtEnd() const { return pos_ == s_.size(); }
    bool Peek(char c) const { return pos_ < s_.size() && s_[pos_] == c; }

    bool Day(ZoneRule::Day& d) {
        if (Char('M')) {
            d.kind = 'M';
            if (!Number(d.a) || !Char('.') || !Number(d.b) || !Char('.') || !Number(d.c)) return false;
            if (d.a < 1 || d.a > 12 || d.b < 1 || d.b > 5 || d.c > 6) return false;
        } else if (Char('J')) {
            d.kind = 'J';
            if (!Number(d.a) || d.a < 1 || d.a > 365) return false;
        } else {
            d.kind = 'N';
            if (!Number(d.a) || d.a > 365) return false;
        }
        d.time = 7200;
        if (Char('/')) return Time(d.time, 167);
        return true;
    }

private:
    const std::string& s_;
    std::size_t pos_ = 0;
};

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The first second (local, as Unix seconds) of a rule day in `year`.
std::int64_t RuleDayStart(const ZoneRule::Day& d, std::int64_t year) {
    if (d.kind == 'J') {
        std::int64_t day = d.a - 1;
        if (IsLeap(year) && d.a >= 60) ++day;
        return (DaysFromCivil(year, 1, 1) + day) * kDay;
    }
    if (d.kind == 'N') return (DaysFromCivil(year, 1, 1) + d.a) * kDay;
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const std::int64_t first = DaysFromCivil(year, static_cast<unsigned>(d.a), 1);
    const int firstWeekday = static_cast<int>(((first % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    std::int64_t day = first + (d.c - firstWeekday + 7) % 7 + 7 * (d.b - 1);
    const int length = kMonthDays[d.a - 1] + (d.a == 2 && IsLeap(year) ? 1 : 0);
    while (day >= first + length) day -= 7;
    return day * kDay;
}

std::int64_t YearOf(std::int64_t unixSeconds) {
    std::int64_t days = unixSeconds / kDay - (unixSeconds % kDay < 0 ? 1 : 0);
    // Inverse of DaysFromCivil (civil_from_days).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return yoe + era * 400 + (month <= 2 ? 1 : 0);
}

std::int32_t RuleOffsetAt(const ZoneRule& rule, std::int64_t utc) {
    if (!rule.hasDaylight) return rule.standardOffset;
    const std::int64_t year = YearOf(utc + rule.standardOffset);
    // The change to daylight time is given in standard time, the change back in daylight time.
    const std::int64_t start = RuleDayStart(rule.start, year) + rule.start.time - rule.standardOffset;
    const std::int64_t end = RuleDayStart(rule.end, year) + rule.end.time - rule.daylightOffset;
    const bool daylight = start < end ? (utc >= start && utc < end) : !(utc >= end && utc < start);
    return daylight ? rule.daylightOffset : rule.standardOffset;
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t mp = month > 2 ? month - 3 : month + 9;
    const std::int64_t doy = (153 * mp + 2) / 5 + static_cast<std::int64_t>(day) - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<ZoneRule> ParseZoneRule(const std::string& text) {
    RuleParser p(text);
    ZoneRule rule;
    std::int32_t west = 0;
    if (!p.Name() || !p.Time(west, 24)) return std::nullopt;
    rule.standardOffset = -west;
    if (p.AtEnd()) return rule;
    if (!p.Name()) return std::nullopt;
    rule.hasDaylight = true;
    rule.daylightOffset = rule.standardOffset + 3600;
    if (!p.Peek(',') && !p.AtEnd()) {
        if (!p.Time(west, 24)) return std::nullopt;
        rule.daylightOffset = -west;
    }
    if (p.AtEnd()) {
        // No rule given: the United States' rules, as the C library assumes.
        rule.start = {'M', 3, 2, 0, 7200};
        rule.end = {'M', 11, 1, 0, 7200};
        return rule;
    }
    if (!p.Char(',') || !p.Day(rule.start) || !p.Char(',') || !p.Day(rule.end) || !p.AtEnd()) return std::nullopt;
    return rule;
}

// ---- zone files -------------------------------------------------------------------

std::optional<TimeZone> TimeZone::FromTzif(const std::string& name, const std::string& b) {
    if (b.size() < kTzifHeader || b.compare(0, 4, "TZif") != 0) return std::nullopt;
    const char version = b[4];
    struct Counts {
        std::uint64_t isut, isstd, leap, time, type, chars;
    };
    auto countsAt = [&b](std::size_t at) {
        return Counts{Be32(b, at + 20), Be32(b, at + 24), Be32(b, at + 28),
                      Be32(b, at + 32), Be32(b, at + 36), Be32(b, at + 40)};
    };
    auto blockSize = [](const Counts& c, std::uint64_t timeBytes) {
        return c.time * timeBytes + c.time + c.type * 6 + c.chars + c.leap * (timeBytes + 4) + c.isstd + c.isut;
    };
    std::size_t at = 0;
    std::uint64_t timeBytes = 4;
    Counts c = countsAt(0);
    if (c.type == 0 || c.type > 256 || c.time > 100000 || c.chars > 100000 || c.leap > 100000 ||
        c.isstd > 256 || c.isut > 256)
        return std::nullopt;
    if (version >= '2') {
        const std::uint64_t skip = kTzifHeader + blockSize(c, 4);
        if (b.size() < skip + kTzifHeader || b.compare(skip, 4, "TZif") != 0) return std::nullopt;
        at = skip;
        timeBytes = 8;
        c = countsAt(at);
        if (c.type == 0 || c.type > 256 || c.time > 100000 || c.chars > 100000 || c.leap > 100000 ||
            c.isstd > 256 || c.isut > 256)
            return std::nullopt;
    }
    const std::size_t data = at + kTzifHeader;
    if (b.size() < data + blockSize(c, timeBytes)) return std::nullopt;

    TimeZone zone;
    zone.name_ = name;
    const std::size_t indexAt = data + c.time * timeBytes;
    const std::size_t typesAt = indexAt + c.time;
    std::vector<std::int32_t> typeOffsets(c.type);
    std::vector<bool> typeDaylight(c.type);
    for (std::uint64_t k = 0; k < c.type; ++k) {
        typeOffsets[k] = static_cast<std::int32_t>(Be32(b, typesAt + k * 6));
        typeDaylight[k] = b[typesAt + k * 6 + 4] != 0;
        if (typeOffsets[k] <= -89999 || typeOffsets[k] >= 93600) return std::nullopt;
    }
    zone.initialOffset_ = typeOffsets[0];
    for (std::uint64_t k = 0; k < c.time; ++k) {
        const std::int64_t when = timeBytes == 8 ? Be64(b, data + k * 8)
                                                 : static_cast<std::int32_t>(Be32(b, data + k * 4));
        const unsigned type = static_cast<unsigned char>(b[indexAt + k]);
        if (type >= c.type || (!zone.transitions_.empty() && when <= zone.transitions_.back())) return std::nullopt;
        zone.transitions_.push_back(when);
        zone.offsets_.push_back(typeOffsets[type]);
    }
    if (version >= '2') {
        const std::size_t footer = data + blockSize(c, timeBytes);
        if (footer < b.size() && b[footer] == '\n') {
            const std::size_t close = b.find('\n', footer + 1);
            if (close == std::string::npos) return std::nullopt;
            const std::string text = b.substr(footer + 1, close - footer - 1);
            if (!text.empty()) {
                zone.rule_ = ParseZoneRule(text);
                if (!zone.rule_) return std::nullopt;
            }
        }
    }
    return zone;
}

std::optional<TimeZone> TimeZone::Load(const std::string& name, const std::string& zoneDir) {
    if (!PlainZoneName(name)) return std::nullopt;
    std::string bytes;
    if (!ReadFile(zoneDir + "/" + name, bytes)) return std::nullopt;
    return FromTzif(name, bytes);
}

TimeZone TimeZone::Machine(const char* tzVariable, const std::string& zoneDir, const std::string& localtimeFile) {
    if (tzVariable && *tzVariable) {
        const std::string name = tzVariable[0] == ':' ? tzVariable + 1 : tzVariable;
        if (std::optional<TimeZone> zone = Load(name, zoneDir)) return *zone;
        if (std::optional<ZoneRule> rule = ParseZoneRule(name)) {
            TimeZone zone;
            zone.name_ = name;
            zone.initialOffset_ = rule->standardOffset;
            zone.rule_ = rule;
            return zone;
        }
    }
    std::string bytes;
    if (ReadFile(localtimeFile, bytes)) {
        // The zone's name from where the link points ("Etc/UTC"), else the file's.
        std::string name = localtimeFile;
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(localtimeFile, error).string();
        const std::string marker = zoneDir + "/";
        if (!error && target.compare(0, marker.size(), marker) == 0) name = target.substr(marker.size());
        else if (const std::size_t at = target.find("zoneinfo/"); !error && at != std::string::npos)
            name = target.substr(at + 9);
        if (std::optional<TimeZone> zone = FromTzif(name, bytes)) return *zone;
    }
    return TimeZone();
}

std::int32_t TimeZone::OffsetAt(std::int64_t utc) const {
    if (transitions_.empty()) return rule_ ? RuleOffsetAt(*rule_, utc) : initialOffset_;
    if (utc < transitions_.front()) return initialOffset_;
    if (utc >= transitions_.back() && rule_) return RuleOffsetAt(*rule_, utc);
    const auto it = std::upper_bound(transitions_.begin(), transitions_.end(), utc);
    return offsets_[static_cast<std::size_t>(it - transitions_.begin()) - 1];
}

std::int64_t TimeZone::FromLocal(std::int64_t local) const {
    // Zones change their offset at most once within a day around any time.
    const std::int32_t before = OffsetAt(local - kDay);
    const std::int32_t after = OffsetAt(local + kDay);
    const std::int64_t early = local - before, late = local - after;
    const bool earlyValid = OffsetAt(early) == before, lateValid = OffsetAt(late) == after;
    if (earlyValid && lateValid) return std::min(early, late);
    if (earlyValid) return early;
    if (lateValid) return late;
    return early;
}

std::optional<std::int64_t> PackedUnixTime(std::uint32_t packed, const TimeZone& zone) {
    const UnpackedTimestamp u = UnpackTimestamp(packed);
    if (u.month < 1 || u.month > 12 || u.day < 1 || u.day > 31 || u.hour > 23 || u.minute > 59 || u.second > 59)
        return std::nullopt;
    const std::int64_t local = DaysFromCivil(u.year, u.month, u.day) * kDay + u.hour * 3600 + u.minute * 60 + u.second;
    return zone.FromLocal(local);
}

}  // namespace nw
