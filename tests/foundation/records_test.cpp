#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "netware/Records.h"

namespace {

using Sector = std::vector<std::uint8_t>;
Sector Blank() { return Sector(nw::kSectorSize, 0); }

TEST(PartitionTable, NeedsTheBootSignatureAndDecodesAllFourEntries) {
    Sector s = Blank();
    std::array<nw::PartitionEntry, 4> e{};
    EXPECT_FALSE(nw::DecodePartitionTable(s.data(), e));
    s[510] = 0x55;
    s[511] = 0xAA;
    std::uint8_t* p1 = s.data() + 0x1BE + 16;
    p1[4] = 0x65;
    nw::StoreLe32(p1 + 8, 0xFFFFFF00u);
    nw::StoreLe32(p1 + 12, 1234);
    std::uint8_t* p3 = s.data() + 0x1BE + 48;
    p3[4] = 0x65;  // NetWare type but no sectors
    ASSERT_TRUE(nw::DecodePartitionTable(s.data(), e));
    EXPECT_EQ(e[1].type, 0x65);
    EXPECT_EQ(e[1].firstSector, 0xFFFFFF00u);
    EXPECT_EQ(e[1].sectorCount, 1234u);
    EXPECT_TRUE(nw::IsNetWarePartition(e[1]));
    EXPECT_FALSE(nw::IsNetWarePartition(e[0]));
    EXPECT_FALSE(nw::IsNetWarePartition(e[3]));
}

TEST(HotFixAndVolumeTable, DecodeFieldsAndRejectBadCopies) {
    Sector h = Blank();
    nw::HotFixSector hf;
    EXPECT_FALSE(nw::DecodeHotFixSector(h.data(), hf));
    std::memcpy(h.data(), "HOTFIX00", 8);
    nw::StoreLe32(h.data() + 0x18, 0x1234);
    ASSERT_TRUE(nw::DecodeHotFixSector(h.data(), hf));
    EXPECT_EQ(nw::VolumeAreaSector(1000, hf), 1000u + 32 + 0x1234);
    EXPECT_EQ(nw::HotFixProbeSector(1000, 3), 1128u);

    Sector v = Blank();
    std::memcpy(v.data(), "NetWare Volumes", 15);
    v[15] = 'X';  // byte 15 is not tested
    nw::VolumeTableSector t;
    for (std::uint32_t n : {0u, 9u}) {
        nw::StoreLe32(v.data() + 0x10, n);
        EXPECT_FALSE(nw::DecodeVolumeTableSector(v.data(), t)) << n;
    }
    nw::StoreLe32(v.data() + 0x10, 8);
    for (unsigned k = 0; k < 8; ++k) {
        std::uint8_t* e = v.data() + 0x20 + 60 * k;
        const char* name = k == 7 ? "A_VERY_LONG_VOLUME_NAME_XX" : "SYS";
        e[0] = static_cast<std::uint8_t>(std::strlen(name));
        std::memcpy(e + 1, name, std::strlen(name));
        nw::StoreLe32(e + 0x1C, 65536 * (k + 1));
        nw::StoreLe32(e + 0x20, 8192 * (k + 1));
        nw::StoreLe32(e + 0x28, 0);
        nw::StoreLe32(e + 0x2C, 17 + k);
        nw::StoreLe32(e + 0x30, 40);
        nw::StoreLe32(e + 0x34, 0xFFFFFFF0u);
    }
    ASSERT_TRUE(nw::DecodeVolumeTableSector(v.data(), t));
    EXPECT_EQ(t.count, 8u);
    EXPECT_EQ(t.entries[0].name, "SYS");
    EXPECT_EQ(t.entries[7].name.size(), 19u);  // names are kept to 19 characters
    EXPECT_EQ(t.entries[7].name, "A_VERY_LONG_VOLUME_");
    EXPECT_EQ(t.entries[7].SectorsPerBlock(), 8u);
    EXPECT_EQ(t.entries[3].fat2FirstBlock, 20u);
    EXPECT_EQ(t.entries[3].det2FirstBlock, 0xFFFFFFF0u);
    std::memcpy(v.data(), "NetWare Volumez", 15);
    EXPECT_FALSE(nw::DecodeVolumeTableSector(v.data(), t));
}

TEST(Fat, EntriesAndTheirPositionThroughTheFatChain) {
    Sector s = Blank();
    nw::StoreLe32(s.data() + 8 * 63, 5);
    nw::StoreLe32(s.data() + 8 * 63 + 4, nw::kChainEnd);
    nw::FatEntry e = nw::DecodeFatEntry(s.data(), 63);
    EXPECT_EQ(e.sequence, 5u);
    EXPECT_EQ(e.next, nw::kChainEnd);

    // block 1000 with 8 sectors a block: FAT sector 15, in FAT block 1 at sector 7
    nw::FatPosition p = nw::LocateFatEntry(1000, 8);
    EXPECT_EQ(p.fatSector, 15u);
    EXPECT_EQ(p.entryIndex, 1000u % 64);
    EXPECT_EQ(p.fatBlock, 1u);
    EXPECT_EQ(p.sectorInBlock, 7u);

    EXPECT_EQ(nw::BlockSector(1ull << 33, 10, 128, 3), (1ull << 33) + 1283);
}

TEST(ChainValues, EndMarkersAndSuballocatedPieces) {
    EXPECT_TRUE(nw::IsFileChainEnd(0));
    EXPECT_TRUE(nw::IsFileChainEnd(0xFFFFFFFFu));
    EXPECT_FALSE(nw::IsFileChainEnd(7));
    std::uint32_t v = nw::MakeSuballocValue(127, 0x123456);
    EXPECT_EQ(v, 0xFF123456u);
    EXPECT_TRUE(nw::IsSuballocatedPiece(v));
    EXPECT_EQ(nw::SuballocChainOf(v), 127u);
    EXPECT_EQ(nw::SuballocPieceOf(v), 0x123456u);
    EXPECT_FALSE(nw::IsSuballocatedPiece(0xFFFFFFFFu));
    EXPECT_TRUE(nw::IsDetChainEnd(0));
    EXPECT_TRUE(nw::IsDetChainEnd(0x80000000u));
    EXPECT_FALSE(nw::IsDetChainEnd(0x7FFFFFFFu));
}

// Writes a 128-byte entry into slot `slot` of a sector.
void PutEntry(Sector& s, unsigned slot, std::uint32_t parent, std::uint8_t ns, const std::string& name,
              std::uint32_t attrs = 0) {
    std::uint8_t* e = s.data() + 128 * slot;
    nw::StoreLe32(e, parent);
    nw::StoreLe32(e + 4, attrs);
    e[0x0A] = ns;
    e[0x0B] = static_cast<std::uint8_t>(name.size());
    std::memcpy(e + 0x0C, name.data(), std::min<std::size_t>(name.size(), 116));
}

TEST(Det, EntryFieldsAndKinds) {
    Sector s = Blank();
    PutEntry(s, 0, 7, 0, "REPORT.DOC", 0x04000020u);
    std::uint8_t* e = s.data();
    nw::StoreLe32(e + 0x18, 0x12345678u);
    nw::StoreLe32(e + 0x30, 100000);
    nw::StoreLe32(e + 0x34, 0x81000002u);
    nw::StoreLe32(e + 0x6C, 1);
    nw::StoreLe32(e + 0x78, 99);
    nw::DetEntry d = nw::DecodeDetEntry(e);
    EXPECT_EQ(d.parent, 7u);
    EXPECT_EQ(d.name, "REPORT.DOC");
    EXPECT_EQ(d.dateTime, 0x12345678u);
    EXPECT_EQ(d.fileSize, 100000u);
    EXPECT_EQ(d.firstBlock, 0x81000002u);
    EXPECT_TRUE(d.IsDeleted());
    EXPECT_TRUE(d.IsCompressed());
    EXPECT_FALSE(d.IsFolder());
    EXPECT_EQ(d.folderNumber, 99u);
    EXPECT_EQ(nw::ClassifyDetEntry(d), nw::DetKind::Primary);

    auto kind = [](std::uint32_t parent, std::uint8_t ns, std::uint8_t len) {
        nw::DetEntry x;
        x.parent = parent;
        x.nameSpace = ns;
        x.nameLength = len;
        return nw::ClassifyDetEntry(x);
    };
    EXPECT_EQ(kind(0xFFFFFFFDu, 3, 0), nw::DetKind::DetHeader);
    EXPECT_EQ(kind(0xFFFFFFFBu, 0, 5), nw::DetKind::Suballocation);
    EXPECT_EQ(kind(0xFFFFFFFCu, 0, 5), nw::DetKind::Skipped);
    EXPECT_EQ(kind(0xFFFFFFFEu, 0, 5), nw::DetKind::Skipped);
    EXPECT_EQ(kind(0xFFFFFFFFu, 0, 5), nw::DetKind::Skipped);
    EXPECT_EQ(kind(0, 0, 0), nw::DetKind::Skipped);
    EXPECT_EQ(kind(0, 0, 15), nw::DetKind::Primary);
    EXPECT_EQ(kind(0, 0, 16), nw::DetKind::Skipped);
    EXPECT_EQ(kind(0xFFFFFFFAu, 4, 200), nw::DetKind::LongName);
    EXPECT_EQ(kind(0, 2, 5), nw::DetKind::Skipped);
}

TEST(Det, LongNameFollowerRules) {
    Sector s = Blank();
    PutEntry(s, 0, 0, 0, "LONGNA~1.TXT");
    PutEntry(s, 1, 0xFFFFFFFFu, 4, "A long file name.txt");  // the value at 0x00 is not examined
    PutEntry(s, 2, 0, 0, "SHORT.TXT");
    PutEntry(s, 3, 0, 0, "LAST.TXT");
    EXPECT_EQ(nw::LongNameFor(s.data(), 0), "A long file name.txt");
    EXPECT_EQ(nw::LongNameFor(s.data(), 2), "");  // followed by a primary entry
    EXPECT_EQ(nw::LongNameFor(s.data(), 3), "");  // fourth slot: no follower in this sector
    PutEntry(s, 1, 0, 4, std::string(81, 'x'));
    EXPECT_EQ(nw::LongNameFor(s.data(), 0), "");
    PutEntry(s, 1, 0, 4, std::string(80, 'y'));
    EXPECT_EQ(nw::LongNameFor(s.data(), 0), std::string(80, 'y'));
    PutEntry(s, 1, 0, 4, "");
    EXPECT_EQ(nw::LongNameFor(s.data(), 0), "");
}

TEST(Det, NameLengthBeyondTheEntryIsClipped) {
    Sector s = Blank();
    PutEntry(s, 3, 0, 0, "X");
    s[128 * 3 + 0x0B] = 255;
    nw::DetEntry d = nw::DecodeDetEntry(s.data() + 128 * 3);
    EXPECT_EQ(d.name.size(), 116u);
}

TEST(Det, SuballocationRecordGroups) {
    Sector s = Blank();
    std::uint8_t* e = s.data();
    nw::StoreLe32(e, nw::kSuballocMarker);
    e[0x09] = 2;
    for (unsigned i = 0; i < 28; ++i) nw::StoreLe32(e + 0x10 + 4 * i, 1000 + i);
    nw::SuballocationRecord r = nw::DecodeSuballocationRecord(e);
    EXPECT_EQ(r.group, 2);
    EXPECT_TRUE(r.Used());
    EXPECT_EQ(r.firstBlocks[0], 1000u);
    EXPECT_EQ(r.firstBlocks[27], 1027u);
    e[0x09] = 5;
    EXPECT_FALSE(nw::DecodeSuballocationRecord(e).Used());
}

TEST(PackedDateTime, RoundTripsEveryField) {
    nw::PackedDateTime t;
    t.seconds = 58;
    t.minutes = 59;
    t.hours = 23;
    t.day = 31;
    t.month = 12;
    t.yearField = 127;
    std::uint32_t v = nw::EncodePackedDateTime(t);
    EXPECT_EQ(v, 0xFF9FBF7Du);
    nw::PackedDateTime u = nw::DecodePackedDateTime(v);
    EXPECT_EQ(u.seconds, 58u);
    EXPECT_EQ(u.minutes, 59u);
    EXPECT_EQ(u.hours, 23u);
    EXPECT_EQ(u.day, 31u);
    EXPECT_EQ(u.month, 12u);
    EXPECT_EQ(u.yearField, 127u);
}

}  // namespace
