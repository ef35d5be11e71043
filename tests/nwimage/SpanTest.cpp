// Volumes extended over several segments, in one partition and onto a second
// disk. The layouts are checked against sector numbers worked out by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/common/SpannedLayout.h"
#include "tests/nwimage/Helpers.h"
#include "tools/nwimage/Description.h"

using namespace nwtest;

namespace {

const char* const kSpan = testutil::kSpannedDisks;  // see SpannedLayout.h for its sectors

// BIG's block b: the disk and sector, from the layout in SpannedLayout.h.
std::pair<std::size_t, std::uint64_t> BigBlock(std::uint32_t b) {
    if (b < 120) return {0, 1588 + b * 8ull};
    if (b < 220) return {0, 388 + (b - 120) * 8ull};
    return {1, 383 + (b - 220) * 8ull};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& s, std::size_t at) { return nw::LoadLe32(s.data() + at); }

// A file of BIG read the way a recovery would: its DET copy 1 entry (slot k
// of the first DET block), then its chain in FAT copy 1 (block 0).
std::vector<std::uint8_t> ReadBigFile(const std::vector<Image>& disks, unsigned slot) {
    auto [dd, ds] = BigBlock(119);
    const auto det = disks[dd].ReadBytes(ds + slot / 4, 1);
    const std::uint8_t* e = det.data() + 128 * (slot % 4);
    const std::uint32_t size = nw::LoadLe32(e + 0x30);
    std::vector<std::uint8_t> out;
    for (std::uint32_t b = nw::LoadLe32(e + 0x34), seq = 0; out.size() < size; ++seq) {
        auto [d, s] = BigBlock(b);
        const auto data = disks[d].ReadBytes(s, 8);
        out.insert(out.end(), data.begin(), data.end());
        auto [fd, fs] = BigBlock(0);
        const auto fat = disks[fd].ReadBytes(fs + b / 64, 1);
        EXPECT_EQ(Le32(fat, (b % 64) * 8), seq);
        b = Le32(fat, (b % 64) * 8 + 4);
        if (b == 0xFFFFFFFFu) break;
    }
    out.resize(std::min<std::size_t>(out.size(), size));
    return out;
}

}  // namespace

TEST(NwImageSpan, VolumeTableEntriesOfEverySegment) {
    const std::vector<Image> disks = BuildDisks(ParseDisks(kSpan));
    ASSERT_EQ(disks.size(), 2u);
    struct Expect {
        std::size_t disk;
        std::uint64_t table;
        unsigned slot;
        const char* name;
        std::uint32_t last, code, count, number, start, sectors, blocks, first;
    };
    const Expect expect[] = {
        {0, 260, 0, "BIG", 2, 3, 3, 1, 160, 800, 300, 120},
        {0, 260, 1, "SMALL", 0, 3, 1, 0, 960, 400, 50, 0},
        {0, 260, 2, "BIG", 2, 3, 3, 0, 1360, 960, 300, 0},
        {1, 255, 0, "BIG", 2, 3, 3, 2, 160, 640, 300, 220},
        {1, 255, 1, "OLD", 0, 0, 0, 0, 0, 160, 20, 0},  // codes=none: the old fields only
    };
    for (const Expect& x : expect) {
        const auto s = disks[x.disk].ReadBytes(x.table, 1);
        ASSERT_EQ(std::memcmp(s.data(), "NetWare Volumes", 15), 0);
        EXPECT_EQ(Le32(s, 0x10), x.disk == 0 ? 3u : 2u);
        const std::size_t e = 0x20 + 60 * x.slot;
        SCOPED_TRACE(std::string(x.name) + " in slot " + std::to_string(x.slot));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&s[e + 1]), s[e]), x.name);
        EXPECT_EQ(Le32(s, e + 0x10), x.last);
        EXPECT_EQ(s[e + 0x14], x.code);
        EXPECT_EQ(s[e + 0x15], x.count);
        EXPECT_EQ(s[e + 0x16], x.number);
        EXPECT_EQ(Le32(s, e + 0x18), x.start);
        EXPECT_EQ(Le32(s, e + 0x1C), x.sectors);
        EXPECT_EQ(Le32(s, e + 0x20), x.blocks);
        EXPECT_EQ(Le32(s, e + 0x24), x.first);
        if (std::string(x.name) == "BIG") {
            EXPECT_EQ(Le32(s, e + 0x28), 0u);    // FAT copy 1
            EXPECT_EQ(Le32(s, e + 0x30), 119u);  // DET copy 1
            EXPECT_EQ(Le32(s, e + 0x34), 250u);  // DET copy 2
        }
    }
    // The structures where the segments put them: FAT copy 1's first entry
    // at BIG's block 0, DET copy 1 from the end of segment 0 into segment 1,
    // DET copy 2 on the second disk.
    const auto fat = disks[0].ReadBytes(1588, 8);
    EXPECT_EQ(Le32(fat, 0), 0u);
    EXPECT_EQ(Le32(fat, 4), 0xFFFFFFFFu);
    const std::uint8_t signature[8] = {0xFD, 0xFF, 0xFF, 0xFF, 0x10, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(disks[0].ReadBytes(1588 + 119 * 8, 1).data(), signature, 8), 0);
    EXPECT_EQ(std::memcmp(disks[1].ReadBytes(383 + 30 * 8, 1).data(), signature, 8), 0);
    EXPECT_EQ(Le32(fat, 120 * 8), 1u);  // DET copy 1's second block: 120, sequence 1
    EXPECT_EQ(Le32(fat, 119 * 8 + 4), 120u);
    // Segment 0's partition is the volume's home: disk 1 lists only OLD.
    ASSERT_EQ(disks[0].volumes.size(), 2u);
    EXPECT_EQ(disks[0].volumes[1].segments.size(), 3u);
    ASSERT_EQ(disks[1].volumes.size(), 1u);
    EXPECT_EQ(disks[1].volumes[0].name, "OLD");
}

TEST(NwImageSpan, FilesAcrossSegmentEdgesAndDisks) {
    const std::vector<Image> disks = BuildDisks(ParseDisks(kSpan));
    const BuiltVolume& big = disks[0].volumes[1];
    // Slots 1.. in directory order: CROSS.BIN, EDGE.BIN, ONE.TXT, FAR, FAR.DAT.
    const unsigned slots[] = {1, 2, 3, 5};
    const std::size_t entries[] = {0, 1, 2, 4};
    for (int k = 0; k < 4; ++k) {
        const BuiltEntry& b = big.entries[entries[k]];
        EXPECT_EQ(ReadBigFile(disks, slots[k]), b.stored) << "entry " << entries[k];
    }
    // Block 118 ends segment 0, 121 lies in segment 1; 219 ends segment 1
    // on disk 0 and 220 starts segment 2 on disk 1.
    const auto& cross = big.entries[0].stored;
    EXPECT_EQ(disks[0].ReadBytes(1588 + 118 * 8, 8), std::vector<std::uint8_t>(cross.begin() + 4 * 4096, cross.begin() + 5 * 4096));
    EXPECT_EQ(disks[0].ReadBytes(388 + 1 * 8, 1), std::vector<std::uint8_t>(cross.begin() + 5 * 4096, cross.begin() + 5 * 4096 + 512));
    const auto& edge = big.entries[1].stored;
    EXPECT_EQ(disks[1].ReadBytes(383, 1), std::vector<std::uint8_t>(edge.begin() + 2 * 4096, edge.begin() + 2 * 4096 + 512));

    // The manifest lists the volume once, with every file's full content.
    const std::string text = ManifestText(disks);
    EXPECT_EQ(text.find("\tBIG\tCROSS.BIN\n"), text.rfind("\tBIG\tCROSS.BIN\n"));
    int files = 0;
    for (const Image& img : disks)
        for (const ManifestRecord& m : img.manifest) files += m.volume == "BIG" && !m.folder;
    EXPECT_EQ(files, 4);
    const char* paths[] = {"CROSS.BIN", "EDGE.BIN", "ONE.TXT", "FAR\\FAR.DAT"};
    for (int k = 0; k < 4; ++k) {
        const ManifestRecord* m = Find(disks[0], paths[k], "BIG");
        ASSERT_TRUE(m) << paths[k];
        EXPECT_EQ(m->sha256, Hash(big.entries[entries[k]].stored)) << paths[k];
    }
    EXPECT_TRUE(Find(disks[1], "O.TXT", "OLD"));
}

TEST(NwImageSpan, SingleSegmentEntriesCarryTheSegmentFields) {
    Image img = Build(OneVolume(32, 500));
    const auto s = SectorOf(img, 63 + 32 + 128);
    EXPECT_EQ(Le32(s, 0x20 + 0x10), 0u);
    EXPECT_EQ(s[0x20 + 0x14], 5);  // 16 KiB blocks
    EXPECT_EQ(s[0x20 + 0x15], 1);
    EXPECT_EQ(s[0x20 + 0x16], 0);
    EXPECT_EQ(Le32(s, 0x20 + 0x18), 160u);
    EXPECT_EQ(Le32(s, 0x20 + 0x1C), 16000u);
    EXPECT_EQ(Le32(s, 0x20 + 0x20), 500u);
    EXPECT_EQ(Le32(s, 0x20 + 0x24), 0u);
}

TEST(NwImageSpan, ImpossibleSegmentsAreRefused) {
    auto with = [](const std::string& from, const std::string& to) {
        std::string text = kSpan;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {with("volume SMALL blocks=50", "volume SMALL blocks=50 start=1000"), "overlapping allocations: volume BIG segment 1 and volume SMALL"},
        {with("segment BIG 2 blocks=80", "segment BIG 2 blocks=300"), "volume larger than its partition"},
        {with("segment BIG 2 blocks=80", "segment BIG 3 blocks=80"), "segment 2 is missing"},
        {with("segment BIG 2 blocks=80", "segment BIG 1 blocks=80"), "segment 1 is listed twice"},
        {with("segment BIG 2 blocks=80", "segment BIGGER 2 blocks=80"), "line 14: segment of \"BIGGER\": no volume line"},
        {with("segment BIG 1 blocks=100", "segment BIG 1 blocks=100 start=300"), "before the end of the volume tables"},
        {with("disk 1", "disk 2"), "line 12: disk 2 out of order"},
        {with("segment BIG 2 blocks=80", "segment BIG 0 blocks=80"), "segment 0 is the volume line itself"},
    };
    for (const auto& [text, message] : cases) {
        try {
            BuildDisks(ParseDisks(text));
            ADD_FAILURE() << message << ": was built";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    // Names over 15 characters reach into the segment fields.
    std::string longName = kSpan;
    for (std::size_t at; (at = longName.find(" BIG ")) != std::string::npos;) longName.replace(at, 5, " A_LONG_VOLUME_NAME ");
    EXPECT_THROW(BuildDisks(ParseDisks(longName)), BuildError);
    EXPECT_THROW(ParseDescription(kSpan), BuildError);  // two disks
}

TEST(NwImageSpan, FileNamesOfLaterDisks) {
    EXPECT_EQ(DiskFileName("out/set.img", 0), "out/set.img");
    EXPECT_EQ(DiskFileName("out/set.img", 1), "out/set.1.img");
    EXPECT_EQ(DiskFileName("a.b/c.d.img", 2), "a.b/c.d.2.img");
    EXPECT_EQ(DiskFileName("out.d/disk", 1), "out.d/disk.1");
    EXPECT_EQ(DiskFileName(".img", 1), ".img.1");
}
