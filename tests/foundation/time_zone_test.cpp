// Zones read from the TZ database turn the server's local dates into
// instants; checked against instants worked out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "netware/TimeZone.h"
#include "netware/Timestamps.h"

namespace {

std::uint32_t Packed(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
    const unsigned yearField = y >= 2000 && y < 2048 ? y - 1920 : y - 1980;
    return (((yearField << 9) | (mo << 5) | d) << 16) | (h << 11) | (mi << 5) | (s / 2);
}

nw::TimeZone Zone(const std::string& name) {
    const std::optional<nw::TimeZone> zone = nw::TimeZone::Load(name);
    if (!zone) ADD_FAILURE() << "zone " << name << " not loaded";
    return zone.value_or(nw::TimeZone());
}

TEST(TimeZone, LocalDatesBecomeTheInstantsOfTheirZone) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no TZ database installed";
    const std::uint32_t winter = Packed(2007, 3, 5, 9, 4, 58);  // 2007-03-05 09:04:58
    EXPECT_EQ(nw::PackedUnixTime(winter, nw::TimeZone()), 1173085498);
    EXPECT_EQ(nw::PackedUnixTime(winter, Zone("UTC")), 1173085498);
    EXPECT_EQ(nw::PackedUnixTime(winter, Zone("Europe/Berlin")), 1173085498 - 3600);
    EXPECT_EQ(nw::PackedUnixTime(winter, Zone("Asia/Tokyo")), 1173085498 - 9 * 3600);
    EXPECT_EQ(nw::PackedUnixTime(winter, Zone("America/New_York")), 1173085498 + 5 * 3600);
    // Summer time, and summer time after the zone file's last transition
    // (2045-07-01 12:00 in Berlin is 10:00 UTC), and the southern hemisphere.
    EXPECT_EQ(nw::PackedUnixTime(Packed(2007, 7, 1, 12, 0, 0), Zone("Europe/Berlin")), 1183291200 - 7200);
    EXPECT_EQ(nw::PackedUnixTime(Packed(2045, 7, 1, 12, 0, 0), Zone("Europe/Berlin")), 2382523200 - 7200);
    EXPECT_EQ(nw::PackedUnixTime(Packed(2045, 1, 15, 12, 0, 0), Zone("Australia/Sydney")), 2368094400 - 11 * 3600);
    // 02:30 on 2007-03-25 never was in Berlin: the offset before the change;
    // 02:30 on 2007-10-28 was twice: the first.
    EXPECT_EQ(nw::PackedUnixTime(Packed(2007, 3, 25, 2, 30, 0), Zone("Europe/Berlin")), 1174789800 - 3600);
    EXPECT_EQ(nw::PackedUnixTime(Packed(2007, 10, 28, 2, 30, 0), Zone("Europe/Berlin")), 1193538600 - 7200);
    // Not dates.
    EXPECT_FALSE(nw::PackedUnixTime(0, Zone("UTC")));
    EXPECT_FALSE(nw::PackedUnixTime(Packed(2007, 13, 1, 0, 0, 0), Zone("UTC")));
    EXPECT_FALSE(nw::PackedUnixTime(Packed(2007, 1, 1, 25, 0, 0), Zone("UTC")));
}

TEST(TimeZone, OnlyZonesOfTheDatabaseAreTaken) {
    for (const char* name : {"Nowhere/Zone", "", "/etc/passwd", "../../../etc/passwd", "Europe/../../etc/passwd",
                             "Europe", "Europe/"})
        EXPECT_FALSE(nw::TimeZone::Load(name)) << name;
    // A file that is not a zone file, or a cut short one.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tz-test-zones";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Text") << "not a zone";
    std::string berlin;
    if (std::ifstream in{"/usr/share/zoneinfo/Europe/Berlin", std::ios::binary})
        berlin.assign(std::istreambuf_iterator<char>(in), {});
    std::ofstream(dir / "Short", std::ios::binary) << berlin.substr(0, berlin.size() / 2);
    EXPECT_FALSE(nw::TimeZone::Load("Text", dir.string()));
    EXPECT_FALSE(nw::TimeZone::Load("Short", dir.string()));
    // The machine's zone: TZ when it names a zone or a rule, else the
    // localtime file, else UTC.
    std::ofstream(dir / "Berlin", std::ios::binary) << berlin;
    if (!berlin.empty()) {
        EXPECT_EQ(nw::TimeZone::Machine(":Berlin", dir.string()).OffsetAt(1173085498), 3600);
        EXPECT_EQ(nw::TimeZone::Machine(nullptr, dir.string(), (dir / "Berlin").string()).OffsetAt(1183291200), 7200);
    }
    EXPECT_EQ(nw::TimeZone::Machine("JST-9", dir.string()).OffsetAt(0), 9 * 3600);
    EXPECT_EQ(nw::TimeZone::Machine(nullptr, dir.string(), (dir / "None").string()).OffsetAt(0), 0);
    std::filesystem::remove_all(dir);
}

TEST(TimeZone, PosixRulesGiveTheirOffsets) {
    const std::optional<nw::ZoneRule> eu = nw::ParseZoneRule("CET-1CEST,M3.5.0,M10.5.0/3");
    ASSERT_TRUE(eu);
    EXPECT_EQ(eu->standardOffset, 3600);
    EXPECT_EQ(eu->daylightOffset, 7200);
    EXPECT_EQ(eu->start, (nw::ZoneRule::Day{'M', 3, 5, 0, 7200}));
    EXPECT_EQ(eu->end, (nw::ZoneRule::Day{'M', 10, 5, 0, 10800}));
    const std::optional<nw::ZoneRule> named = nw::ParseZoneRule("<-03>3");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->standardOffset, -3 * 3600);
    EXPECT_FALSE(named->hasDaylight);
    const std::optional<nw::ZoneRule> julian = nw::ParseZoneRule("AAA-5:30BBB-6:30,J60/0,300/25");
    ASSERT_TRUE(julian);
    EXPECT_EQ(julian->standardOffset, 5 * 3600 + 1800);
    EXPECT_EQ(julian->end, (nw::ZoneRule::Day{'N', 300, 0, 0, 25 * 3600}));
    for (const char* bad : {"", "C1", "CET", "CET-1CEST,M13.1.0,M10.5.0", "CET-1CEST,M3.5.0", "CET-1CEST,M3.5.0,J0"})
        EXPECT_FALSE(nw::ParseZoneRule(bad)) << bad;
    EXPECT_EQ(nw::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(nw::DaysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(nw::DaysFromCivil(1969, 12, 31), -1);
}

}  // namespace
