// Damaged images: an acquisition's error list and chunks whose checksum
// fails read as bad sectors through the policy, a set missing a segment
// says so, and a truncated or corrupted container of any format either
// fails to open with its reason or reads without ever passing bytes it
// does not have off as good; nothing crashes.
#include <gtest/gtest.h>
#include <libewf.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ContainerTools.h"
#include "common/VolumeTestHelpers.h"
#include "disk/SectorReader.h"

namespace {

using conttest::kSector;

// Writes `bytes` as an EWF set through libewf, with `errors` (first sector,
// count) as the acquisition's error list; the path of its first file.
std::string WriteEwf(const std::string& base, const std::string& bytes,
                     const std::vector<std::pair<std::uint64_t, std::uint64_t>>& errors) {
    libewf_handle_t* handle = nullptr;
    libewf_error_t* error = nullptr;
    char* name = const_cast<char*>(base.c_str());
    bool ok = libewf_handle_initialize(&handle, &error) == 1 &&
              libewf_handle_open(handle, &name, 1, LIBEWF_OPEN_WRITE, &error) == 1 &&
              libewf_handle_set_media_size(handle, bytes.size(), &error) == 1;
    for (const auto& [first, count] : errors)
        ok = ok && libewf_handle_append_acquiry_error(handle, first, count, &error) == 1;
    ok = ok && libewf_handle_write_buffer(handle, const_cast<char*>(bytes.data()), bytes.size(), &error) ==
                   static_cast<ssize_t>(bytes.size());
    ok = ok && libewf_handle_write_finalize(handle, &error) >= 0;
    if (handle) {
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
    }
    if (error) libewf_error_free(&error);
    return ok ? base + ".E01" : "";
}

struct Disks {
    Disks() { policy.SetPrompt(&prompt); }
    disk::DiskSet set;
    disk::BadSectorPolicy policy;
    testutil::CountingBadSectorPrompt prompt;
    disk::SectorReader reader{set, policy};
};

bool SameAsRaw(const std::vector<std::uint8_t>& buf, std::uint32_t i, const std::string& raw, std::uint64_t sector) {
    return std::memcmp(buf.data() + std::size_t(i) * kSector, raw.data() + sector * kSector, kSector) == 0;
}
bool IsZero(const std::vector<std::uint8_t>& buf, std::uint32_t i) {
    for (std::uint32_t b = 0; b < kSector; ++b)
        if (buf[std::size_t(i) * kSector + b] != 0) return false;
    return true;
}

TEST(EwfDamageTest, AcquisitionErrorsReadAsBadSectors) {
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(2048, 0, 0);
    const std::string first = WriteEwf(dir.File("errors"), raw, {{100, 10}});
    ASSERT_FALSE(first.empty());
    Disks disks;
    ASSERT_TRUE(disks.set.Attach(0, first, "", nullptr));
    ASSERT_TRUE(disks.set.At(0)->IsOpen()) << disks.set.At(0)->OpenFailureReason();

    std::vector<std::uint8_t> buf(16 * kSector, 0xEE);
    EXPECT_TRUE(disks.reader.TryRead(0, 0, 96, std::vector<std::uint8_t>(96 * kSector).data()).Ok());
    EXPECT_FALSE(disks.reader.TryRead(0, 96, 16, buf.data()).Ok());
    disks.prompt.answer = disk::kRetry;
    const disk::ReadStatus status = disks.reader.Read(0, 96, 16, buf.data());
    EXPECT_EQ(disks.prompt.asked, 1);
    EXPECT_EQ(status.Count(disk::Unread::kBadSector), 10u);
    EXPECT_EQ(status.Unreadable(), 10u);
    for (std::uint32_t i = 0; i < 16; ++i) {
        const bool bad = 96 + i >= 100 && 96 + i < 110;
        EXPECT_TRUE(bad ? IsZero(buf, i) : SameAsRaw(buf, i, raw, 96 + i)) << "sector " << 96 + i;
    }
}

TEST(EwfDamageTest, ChunkWhoseChecksumFailsReadsAsBadSectors) {
    if (!conttest::HasTool("ewfacquire")) GTEST_SKIP() << "ewfacquire is not installed";
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(2048, 0, 0);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    ASSERT_TRUE(conttest::Run("ewfacquire -u -q -c none -t " + dir.File("plain") + " " + dir.File("disk.raw")));
    // stored as it is: find sector 1000 in the segment file and damage it
    constexpr std::uint64_t kDamaged = 1000;
    std::string file = testutil::ReadFile(dir.File("plain.E01"));
    const std::size_t at = file.find(raw.substr(kDamaged * kSector, kSector));
    ASSERT_NE(at, std::string::npos);
    file[at + 17] = static_cast<char>(file[at + 17] ^ 0x40);
    testutil::WriteFile(dir.File("plain.E01"), file);

    Disks disks;
    disks.prompt.answer = disk::kRetryAll;
    ASSERT_TRUE(disks.set.Attach(0, dir.File("plain.E01"), "", nullptr));
    std::vector<std::uint8_t> buf(2048 * kSector);
    const std::uint32_t unreadable = disks.reader.Read(0, 0, 2048, buf.data()).Unreadable();
    EXPECT_GT(unreadable, 0u);
    EXPECT_TRUE(IsZero(buf, kDamaged));
    std::uint32_t zeros = 0;
    for (std::uint32_t s = 0; s < 2048; ++s) {
        if (IsZero(buf, s)) ++zeros;
        else EXPECT_TRUE(SameAsRaw(buf, s, raw, s)) << "sector " << s;  // never the damaged bytes
    }
    EXPECT_EQ(zeros, unreadable);  // the damaged chunk only
}

TEST(EwfDamageTest, SetMissingASegmentSaysSoAndReadsOnlyWhatItHas) {
    if (!conttest::HasTool("ewfacquire")) GTEST_SKIP() << "ewfacquire is not installed";
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(9216, 4096, 2048);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    const std::string first = conttest::EwfAcquire(dir, dir.File("disk.raw"), "set");
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(std::filesystem::remove(dir.File("set.E03")));
    Disks disks;
    disks.policy.BadSectorDecision = disk::kSkipAll;
    ASSERT_TRUE(disks.set.Attach(0, first, "", nullptr));
    const auto d = disks.set.At(0);
    ASSERT_TRUE(d->IsOpen()) << d->OpenFailureReason();
    EXPECT_EQ(d->Facts()[1], (std::pair<std::string, std::string>{"Segment files", "2 (damaged or incomplete set)"}));
    std::vector<std::uint8_t> buf(64 * kSector);
    std::uint64_t good = 0;
    for (std::uint64_t s = 0; s < 9216; s += 64) {
        if (!disks.reader.Read(0, s, 64, buf.data()).Ok()) continue;
        for (std::uint32_t i = 0; i < 64; ++i) ASSERT_TRUE(SameAsRaw(buf, i, raw, s + i)) << "sector " << s + i;
        good += 64;
    }
    EXPECT_GT(good, 1000u);   // the first segments still read
    EXPECT_LT(good, 9216u);   // the rest does not pass for data
}

// Every container kind, cut short and with bytes of its head changed.
TEST(DamagedContainerTest, TruncatedOrCorruptContainersFailWithTheirReasonOrReadSafely) {
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(9216, 4096, 2048);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    for (const conttest::Kind& kind : conttest::Kinds()) {
        if (!*kind.tool || !conttest::HasTool(kind.tool)) continue;
        SCOPED_TRACE(kind.name);
        testutil::TempDir own;
        const std::string first = kind.make(own, dir.File("disk.raw"));
        ASSERT_FALSE(first.empty());
        const std::string whole = testutil::ReadFile(first);
        std::vector<std::pair<std::string, std::string>> variants;  // name, first file's bytes
        for (std::size_t cut : {std::size_t(100), std::size_t(700), std::size_t(5000), whole.size() / 2,
                                whole.size() - 700})
            if (cut < whole.size()) variants.emplace_back("cut at " + std::to_string(cut), whole.substr(0, cut));
        std::uint32_t x = 7;
        for (int round = 0; round < 4; ++round) {
            std::string bytes = whole;
            for (int k = 0; k < 24; ++k) {
                x = x * 1103515245u + 12345u;
                bytes[(x >> 8) % std::min<std::size_t>(bytes.size(), 65536)] ^= static_cast<char>(1 + (x & 0x7F));
            }
            variants.emplace_back("changed head " + std::to_string(round), bytes);
        }
        for (const auto& [name, bytes] : variants) {
            SCOPED_TRACE(name);
            testutil::WriteFile(first, bytes);
            Disks disks;
            disks.policy.BadSectorDecision = disk::kSkipAll;
            ASSERT_TRUE(disks.set.Attach(0, first, "", nullptr));
            const auto d = disks.set.At(0);
            if (!d->IsOpen()) {
                EXPECT_NE(d->OpenFailureReason().find(own.path()), std::string::npos) << d->OpenFailureReason();
                continue;
            }
            std::vector<std::uint8_t> buf(64 * kSector);
            const std::uint64_t sectors = std::min<std::uint64_t>(d->SectorCount(), 1u << 16);
            for (std::uint64_t s = 0; s < sectors; s += 64) {
                const bool ok = disks.reader.Read(0, s, 64, buf.data()).Ok();
                // bytes cut off never read as good
                if (ok && name.rfind("cut", 0) == 0) {
                    for (std::uint32_t i = 0; i < 64 && s + i < std::min<std::uint64_t>(sectors, 9216); ++i)
                        ASSERT_TRUE(SameAsRaw(buf, i, raw, s + i)) << "sector " << s + i;
                }
            }
        }
    }
}

}  // namespace
