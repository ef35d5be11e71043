// The window rules on their own: the single-pass marker search against a
// plain byte-by-byte search, the end choice, and the length readers.
#include <random>

#include "base/Bytes.h"
#include "raw/Format.h"
#include "raw/Carving.h"
#include "raw/CompoundLength.h"
#include "raw/ZipLength.h"
#include "tests/raw/RawFixture.h"

namespace rawtest {
namespace {

using raw::kWindowBytes;

void Plant(Bytes& w, std::size_t at, int record) {
    const auto& r = raw::SignatureRecords()[record];
    std::memcpy(w.data() + at, r.marker, r.markerLength);
}

TEST(MarkerSearch, FindsWhatAByteByByteSearchFinds) {
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        Bytes w(kWindowBytes);
        // Letters the markers are made of, so near-misses are common.
        const char alphabet[] = "WMPKorkbWordMicrosoft Excel\x05\x06";
        for (auto& b : w) b = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : alphabet[rng() % (sizeof alphabet - 1)]);
        for (int k = 0; k < 40; ++k) {
            const int record = static_cast<int>(rng() % raw::kRecordCount);
            const std::size_t len = raw::SignatureRecords()[record].markerLength;
            Plant(w, rng() % (kWindowBytes - len + 1), record);
        }
        // The last offsets of the window (never matched, the bound is strict).
        Plant(w, kWindowBytes - 5, 5);
        Plant(w, kWindowBytes - 6, 5);
        raw::MarkerMatches got;
        raw::FindMarkers(w.data(), got);
        for (int r = 0; r < raw::kRecordCount; ++r) {
            const auto& rec = raw::SignatureRecords()[r];
            std::vector<std::uint32_t> want;
            for (std::size_t off = 0; off < kWindowBytes - rec.markerLength; ++off)
                if (std::memcmp(w.data() + off, rec.marker, rec.markerLength) == 0)
                    want.push_back(static_cast<std::uint32_t>(off));
            ASSERT_EQ(got.offsets[r], want) << "record " << r << " round " << round;
        }
        ASSERT_FALSE(got.offsets[5].empty());
        EXPECT_EQ(got.offsets[5].back(), kWindowBytes - 6);
    }
}

TEST(CandidateSearch, TakesEveryHeaderAtASectorStartInSectorOrder) {
    Bytes w(kWindowBytes, 0);
    const std::uint8_t cdh[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(w.data() + 512 * 10, cdh, 8);
    std::memcpy(w.data() + 512 * 50, cdh, 8);
    std::memcpy(w.data() + 512 * 20, "PK\x03\x04\x14", 5);    // below the last compound header: still one
    std::memcpy(w.data() + 512 * 60, "PK\x03\x04\x2D", 5);
    std::memcpy(w.data() + 512 * 70, "PK\x03\x04\x40", 5);    // not a version byte
    std::memcpy(w.data() + 512 * 55, "Microsoft Excel 5.0", 19);
    std::memcpy(w.data() + 512 * 5, "Microsoft Excel 5.0", 19);  // below every compound header
    std::memcpy(w.data() + 512 * 30 + 1, cdh, 8);               // not at a sector start
    std::memcpy(w.data() + 512 * 799, cdh, 8);                  // the window's last sector
    std::vector<raw::Candidate> c;
    ASSERT_EQ(raw::FindCandidates(w.data(), 1000, c), 7u);
    const std::vector<std::pair<std::uint64_t, int>> want{{1005, 4}, {1010, 0}, {1020, 5}, {1050, 0},
                                                          {1055, 4}, {1060, 5}, {1799, 0}};
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(c[i].sector, want[i].first) << i;
        EXPECT_EQ(c[i].record, want[i].second) << i;
    }
}

TEST(EndSearch, LaterMatchesBoundsAndOrderOfChoice) {
    raw::MarkerMatches m;
    const std::uint64_t base = 800;
    std::vector<raw::Candidate> c{{810, 0}, {900, 0}};
    raw::CarryOver carry;
    // Record 1 in sector 830 and again in 950 (past the next document, so
    // that document's: it neither replaces 830 nor bounds this end); record
    // 0 in 870. The earlier end wins.
    m.offsets[1] = {30 * 512, 150 * 512 + 7};
    m.offsets[0] = {70 * 512 + 3};
    raw::EndResult e = raw::FindEnd(m, base, c, 0, carry);
    EXPECT_EQ(e.end, 830u);
    EXPECT_EQ(e.record, 1);
    EXPECT_EQ(carry.lastWrittenEnd, 830u);
    // A marker in the next document's first sector is that document's too.
    raw::MarkerMatches at;
    at.offsets[0] = {100 * 512 + 9};
    raw::CarryOver fresh;
    EXPECT_EQ(raw::FindEnd(at, base, c, 0, fresh).end, 0u);
    // For the second candidate only matches above the last written end and
    // at or above it count.
    e = raw::FindEnd(m, base, c, 1, carry);
    EXPECT_EQ(e.end, 950u);
    EXPECT_EQ(e.record, 1);
    // Records 3 to 5 only count when none of 0 to 2 gave an end.
    raw::MarkerMatches z;
    z.offsets[5] = {20 * 512};
    z.offsets[3] = {40 * 512};
    carry.Clear();
    e = raw::FindEnd(z, base, {{810, 5}}, 0, carry);
    EXPECT_EQ(e.end, 840u);
    EXPECT_EQ(e.record, 3);
}

TEST(EndSearch, ContinuationEndsAtAMarkerOrBeforeTheFirstHeader) {
    raw::CarryOver carry;
    carry.continuation = true;
    carry.continuedStart = 100;
    carry.continuedRecord = 1;
    raw::MarkerMatches m;
    m.offsets[0] = {500 * 512};  // sector 2100, past the first candidate: not the continued document's
    raw::EndResult e = raw::FindEnd(m, 1600, {{2000, 0}}, 0, carry);
    EXPECT_EQ(e.end, 1999u);
    EXPECT_EQ(e.record, 1);
    carry.lastWrittenEnd = 0;
    m.offsets[0] = {100 * 512};  // sector 1700, below it
    e = raw::FindEnd(m, 1600, {{2000, 0}}, 0, carry);
    EXPECT_EQ(e.end, 1700u);
    // No marker: a window with a header ends the document before it (the
    // last written end stays); one without gives no end yet.
    carry.lastWrittenEnd = 5;
    e = raw::FindEnd(raw::MarkerMatches{}, 1600, {{2000, 0}}, 0, carry);
    EXPECT_EQ(e.end, 1999u);
    EXPECT_EQ(e.record, 1);
    EXPECT_EQ(carry.lastWrittenEnd, 5u);
    EXPECT_EQ(raw::FindEnd(raw::MarkerMatches{}, 1600, {}, 0, carry).end, 0u);
}

// ---- lengths from structure ------------------------------------------------------

raw::DocumentReader Over(const Bytes& b) {
    return [&b](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        std::memset(out, 0, count);
        if (offset < b.size()) std::memcpy(out, b.data() + offset, std::min<std::uint64_t>(count, b.size() - offset));
        return true;
    };
}

TEST(CompoundLength, HeaderAndTableGiveTheLength) {
    const Bytes a = DirectoryFirstCompound("Workbook", 30);
    EXPECT_EQ(raw::CompoundDocumentLength(Over(a), 1u << 30), a.size());
    const Bytes b = DirectoryFirstCompound("Workbook", 30, 4096);
    EXPECT_EQ(raw::CompoundDocumentLength(Over(b), 1u << 30), b.size());
    const Bytes c = LargeCompound(nwimage::DocKind::Word, 3000);
    EXPECT_EQ(raw::CompoundDocumentLength(Over(c), 1u << 30), c.size());
    EXPECT_FALSE(raw::CompoundDocumentLength(Over(c), c.size() - 512));
}

TEST(CompoundLength, ExtraTableChainIsFollowed) {
    // 110 table sectors: the 110th is listed in an extra list sector.
    const std::uint32_t fats = 110, difat = 110, dir = 111, last = 111;
    Bytes d((last + 2) * 512, 0);
    const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(d.data(), sig, 8);
    Put16(d, 0x1A, 3);
    Put16(d, 0x1C, 0xFFFE);
    Put16(d, 0x1E, 9);
    Put32(d, 0x2C, fats);
    Put32(d, 0x30, dir);
    Put32(d, 0x44, difat);
    Put32(d, 0x48, 1);
    for (std::uint32_t i = 0; i < 109; ++i) Put32(d, 0x4C + 4 * i, i);
    auto at = [](std::uint32_t s) { return (s + 1) * 512u; };
    for (std::uint32_t i = 0; i < 127; ++i) Put32(d, at(difat) + 4 * i, 0xFFFFFFFF);
    Put32(d, at(difat), 109);
    Put32(d, at(difat) + 508, 0xFFFFFFFE);
    for (std::uint32_t s = 0; s < fats; ++s)
        for (std::uint32_t i = 0; i < 128; ++i) Put32(d, at(s) + 4 * i, 0xFFFFFFFF);
    for (std::uint32_t s = 0; s < fats; ++s) Put32(d, at(s / 128) + 4 * (s % 128), 0xFFFFFFFD);
    Put32(d, at(0) + 4 * difat, 0xFFFFFFFC);
    Put32(d, at(0) + 4 * dir, 0xFFFFFFFE);
    EXPECT_EQ(raw::CompoundDocumentLength(Over(d), 1u << 30), d.size());
    // Without the extra list the table is incomplete.
    Put32(d, 0x48, 0);
    EXPECT_FALSE(raw::CompoundDocumentLength(Over(d), 1u << 30));
}

TEST(CompoundLength, InconsistentTablesGiveNoLength) {
    const Bytes good = DirectoryFirstCompound("Workbook", 30);
    auto with = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        Put32(b, at, v);
        return raw::CompoundDocumentLength(Over(b), 1u << 30);
    };
    EXPECT_FALSE(with(512 + 4 * 5, 400));           // a link past the last used sector
    EXPECT_FALSE(with(512, 0xFFFFFFFE));            // the table sector not marked as such
    EXPECT_FALSE(with(512 + 4, 0xFFFFFFFF));        // the directory sector free
    EXPECT_FALSE(with(0x2C, 0));                     // no table sectors
    EXPECT_FALSE(with(0x4C, 5000));                 // a table sector outside the table
    Bytes v = good;
    Put16(v, 0x1E, 12);                              // version 3 with 4096-byte sectors
    EXPECT_FALSE(raw::CompoundDocumentLength(Over(v), 1u << 30));
    EXPECT_FALSE(raw::CompoundDocumentLength(Over(Bytes(4096, 0)), 1u << 30));
}

TEST(ZipLength, EndRecordGivesTheLengthWithItsComment) {
    const Bytes z = StoredZip({1}, "a comment");
    const std::uint64_t eocd = z.size() - 22 - 9;
    EXPECT_EQ(raw::ZipArchiveLength(Over(z), eocd), z.size());
    Bytes bad = z;
    Put32(bad, eocd + 16, base::LoadLe32(z.data() + eocd + 16) + 1);  // directory offset off by one
    EXPECT_FALSE(raw::ZipArchiveLength(Over(bad), eocd));
    bad = z;
    Put16(bad, eocd + 4, 1);   // a part of a split archive
    EXPECT_FALSE(raw::ZipArchiveLength(Over(bad), eocd));
    EXPECT_FALSE(raw::ZipArchiveLength(Over(z), eocd - 1));
}

TEST(ZipLength, Zip64RecordsAreFollowed) {
    Bytes z;
    auto u16 = [&](std::uint16_t v) { z.push_back(v & 0xFF); z.push_back(v >> 8); };
    auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) z.push_back((v >> (8 * i)) & 0xFF); };
    auto u64 = [&](std::uint64_t v) { u32(static_cast<std::uint32_t>(v)); u32(static_cast<std::uint32_t>(v >> 32)); };
    u32(0x04034B50); for (int i = 0; i < 13; ++i) u16(0);
    const std::uint64_t cd = z.size();
    u32(0x02014B50); for (int i = 0; i < 21; ++i) u16(0);
    const std::uint64_t cdSize = z.size() - cd;
    const std::uint64_t rec = z.size();
    u32(0x06064B50); u64(44); u16(45); u16(45); u32(0); u32(0); u64(1); u64(1); u64(cdSize); u64(cd);
    u32(0x07064B50); u32(0); u64(rec); u32(1);
    const std::uint64_t eocd = z.size();
    u32(0x06054B50); u16(0); u16(0); u16(0xFFFF); u16(0xFFFF); u32(0xFFFFFFFF); u32(0xFFFFFFFF); u16(0);
    EXPECT_EQ(raw::ZipArchiveLength(Over(z), eocd), z.size());
    Put32(z, static_cast<std::size_t>(rec + 48), static_cast<std::uint32_t>(cd + 1));
    EXPECT_FALSE(raw::ZipArchiveLength(Over(z), eocd));
}

TEST(ZipLength, CentralDirectoryListsTheMembersLocalHeaders) {
    for (bool zip64 : {false, true}) {
        std::vector<std::size_t> want;
        const Bytes z = StoredZip({100, 989, 5}, "", zip64, &want);
        const std::uint64_t eocd = z.size() - 22;
        const std::optional<raw::ZipLayout> layout = raw::ReadZipLayout(Over(z), eocd);
        ASSERT_TRUE(layout) << zip64;
        EXPECT_EQ(layout->length, z.size());
        EXPECT_EQ(layout->entries, 3u);
        std::vector<std::uint64_t> got;
        ASSERT_TRUE(raw::ZipMemberOffsets(Over(z), *layout, got)) << zip64;
        EXPECT_EQ(got, std::vector<std::uint64_t>(want.begin(), want.end()));

        raw::ZipLayout fewer = *layout;
        fewer.entries = 2;  // the end record and the directory disagree
        EXPECT_FALSE(raw::ZipMemberOffsets(Over(z), fewer, got));
        Bytes bad = z;
        Put32(bad, static_cast<std::size_t>(layout->directoryOffset) + 46 + 2 + (zip64 ? 12 : 0), 0x12345678);
        EXPECT_FALSE(raw::ZipMemberOffsets(Over(bad), *layout, got)) << "second entry's signature broken";
    }
}

}  // namespace
}  // namespace rawtest

namespace rawtest {
namespace {

TEST(FormatRegistry, FormatsDefineExactlyTheNumberedRecords) {
    EXPECT_EQ(raw::DefinedRecordCount(), raw::kRecordCount);
    for (const raw::SignatureRecord& r : raw::SignatureRecords()) EXPECT_NE(r.header, nullptr);
}

}  // namespace
}  // namespace rawtest
