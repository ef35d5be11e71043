// Time zones as values. The server kept its dates as local wall-clock time
// without a zone; a zone read from the TZ database (a TZif file under
// /usr/share/zoneinfo) turns them into absolute times. No process-wide state
// (TZ, localtime) is read or changed, so conversions run on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nw {

// Rules for the years past a zone file's last transition (its POSIX TZ
// footer, "CET-1CEST,M3.5.0,M10.5.0/3").
struct ZoneRule {
    std::int32_t standardOffset = 0;  // seconds east of UTC
    std::int32_t daylightOffset = 0;
    bool hasDaylight = false;
    // A rule day: kind 'J' (1..365, no 29 February), 'N' (0..365) or 'M'
    // (month, week 1..5 with 5 the last, weekday 0 = Sunday), then the local
    // time of day in seconds at which it applies.
    struct Day {
        char kind = 'M';
        int a = 0, b = 0, c = 0;
        std::int32_t time = 7200;
        bool operator==(const Day&) const = default;
    };
    Day start, end;
    bool operator==(const ZoneRule&) const = default;
};
// Parses a POSIX TZ rule string; nothing when it is not one.
std::optional<ZoneRule> ParseZoneRule(const std::string& text);

class TimeZone {
public:
    TimeZone() = default;  // UTC
    // The zone NAME of the TZ database ("Europe/Berlin", "UTC") under
    // `zoneDir`; nothing when there is no such zone or its file is damaged.
    static std::optional<TimeZone> Load(const std::string& name,
                                        const std::string& zoneDir = "/usr/share/zoneinfo");
    // A zone from the bytes of a TZif file.
    static std::optional<TimeZone> FromTzif(const std::string& name, const std::string& bytes);
    // The machine's zone: `tzVariable` (the value of TZ, the caller reads it;
    // a zone name, optionally after ':') when it names a zone, else
    // /etc/localtime, else UTC.
    static TimeZone Machine(const char* tzVariable, const std::string& zoneDir = "/usr/share/zoneinfo",
                            const std::string& localtimeFile = "/etc/localtime");

    const std::string& Name() const { return name_; }
    // Seconds east of UTC at the instant `utc` (Unix seconds).
    std::int32_t OffsetAt(std::int64_t utc) const;
    // The instant at which the wall clock showed `local` (the wall-clock
    // time counted as Unix seconds). A time the clocks skipped takes the
    // offset before the change; a time shown twice, the earlier instant.
    std::int64_t FromLocal(std::int64_t local) const;

    bool operator==(const TimeZone&) const = default;

private:
    std::string name_ = "UTC";
    std::vector<std::int64_t> transitions_;  // ascending instants
    std::vector<std::int32_t> offsets_;      // offset from each transition on
    std::int32_t initialOffset_ = 0;         // before the first transition
    std::optional<ZoneRule> rule_;           // after the last transition
};

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar
// (days past the month's end run on into the next month).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

// A packed NetWare date and time (date in the high 16 bits) as Unix seconds
// in `zone`; nothing when it is not a date (0, month or day out of range,
// hour, minute or second out of range).
std::optional<std::int64_t> PackedUnixTime(std::uint32_t packed, const TimeZone& zone);

}  // namespace nw
