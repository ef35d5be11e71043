// Damage the writer can apply, and what a correct recovery then shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tests/nwimage/Helpers.h"

using namespace nwtest;

TEST(NwImageDamage, BrokenDetChainLosesLaterBlocksAndOrphansTheirChildren) {
    DiskSpec d = OneVolume();
    VolumeSpec& v = Vol(d);
    v.entries.push_back(Folder("SUBF", 91, 90));  // slot 1, its parent lies in a later block
    for (int i = 0; i < 40; ++i) v.entries.push_back(File("F" + std::to_string(i), 100));
    v.entries.push_back(Folder("PARENT", 90));
    v.breakDetAt = 1;
    Image img = Build(d);
    const BuiltVolume& b = img.volumes[0];
    ASSERT_GE(b.det1.size(), 2u);
    for (const auto* fat : {&b.fat1, &b.fat2}) EXPECT_EQ(Walk(img, b, *fat, b.det1[0]).size(), 1u);

    EXPECT_TRUE(Find(img, "F29"));  // slot 31, the last of block 0
    EXPECT_FALSE(Find(img, "F30"));
    EXPECT_FALSE(Find(img, "PARENT"));
    EXPECT_TRUE(Find(img, "LOST\\SUBF"));
}

TEST(NwImageDamage, BrokenFatChainAndTheMountedCopy) {
    DiskSpec d = OneVolume(8, 3000);  // FAT of 6 blocks
    VolumeSpec& v = Vol(d);
    EntrySpec far = File("FAR.BIN", 8192);
    far.blocks = {1500, 1501};  // entries in FAT block 2
    v.entries = {far};
    v.breakFat1At = 2;
    Image one = Build(d);
    const BuiltVolume& b = one.volumes[0];
    EXPECT_EQ(Walk(one, b, b.fat1, b.fat1[0]).size(), 2u);
    EXPECT_EQ(Walk(one, b, b.fat2, b.fat2[0]).size(), 6u);
    // Mounted with copy 1 the file's chain cannot be followed past its first block.
    EXPECT_EQ(Find(one, "FAR.BIN")->deliveredBytes, 4096u);

    v.mountFat = 2;
    Image two = Build(d);
    EXPECT_EQ(Find(two, "FAR.BIN")->deliveredBytes, 8192u);
    EXPECT_EQ(Find(two, "FAR.BIN")->sha256, Hash(two.volumes[0].entries[0].stored));
}

// FAT copy 2 at blocks 1000..1005: the entries of its own chain lie in FAT
// sector 15, its second block, which a walk through copy 2 alone cannot
// reach first. As in a mount, copy 1's record of that chain leads the way.
TEST(NwImageDamage, Fat2WhoseOwnEntriesLieInItsSecondBlockIsWalkedThroughCopy1) {
    DiskSpec d = OneVolume(8, 3000);
    VolumeSpec& v = Vol(d);
    EntrySpec far = File("FAR.BIN", 8192);
    far.blocks = {1500, 1501};  // entries in FAT block 2
    v.entries = {far};
    v.fat2Blocks = {1000, 1001, 1002, 1003, 1004, 1005};
    v.breakFat1At = 2;
    v.mountFat = 2;
    Image img = Build(d);
    EXPECT_EQ(Find(img, "FAR.BIN")->deliveredBytes, 8192u);
    EXPECT_EQ(Find(img, "FAR.BIN")->sha256, Hash(img.volumes[0].entries[0].stored));
}

TEST(NwImageDamage, EntrySizeBeyondItsChainDeliversWhatTheChainHolds) {
    DiskSpec d = OneVolume();
    EntrySpec f = File("SHORT", 8192);
    f.blocks = {5, 9};
    f.directorySize = 8192 + 100;
    Vol(d).entries = {f};
    Image img = Build(d);
    const ManifestRecord* m = Find(img, "SHORT");
    EXPECT_EQ(m->size, 8292u);
    EXPECT_EQ(m->deliveredBytes, 8192u);
}

TEST(NwImageDamage, WipedSectorZeroAndVolumeTables) {
    DiskSpec d = OneVolume();
    Vol(d).entries = {File("KEPT", 100)};
    d.wipeSector0 = true;
    d.partitions[0].wipeTables = true;
    Image img = Build(d);
    std::array<nw::PartitionEntry, 4> parts;
    EXPECT_FALSE(nw::DecodePartitionTable(SectorOf(img, 0).data(), parts));
    nw::HotFixSector hf;
    EXPECT_TRUE(nw::DecodeHotFixSector(SectorOf(img, 63 + 32).data(), hf));
    nw::VolumeTableSector t;
    for (unsigned j = 0; j < 4; ++j)
        EXPECT_FALSE(nw::DecodeVolumeTableSector(SectorOf(img, img.volumes[0].volumeAreaSector + 32 * j).data(), t));
    // The volume itself is intact: the advanced search can still find it.
    EXPECT_TRUE(Find(img, "KEPT"));
}

TEST(NwImageDamage, BadSectorsInAFileADetBlockAndAFatBlock) {
    DiskSpec d = OneVolume(8, 3000);
    EntrySpec f = File("HURT.BIN", 8000);
    f.blocks = {900, 950};
    Vol(d).entries = {f};
    BadArea inFile;
    inFile.target = BadArea::Target::FileData;
    inFile.offset = 9;
    inFile.count = 2;
    BadArea inDet;
    inDet.target = BadArea::Target::Det1Block;
    inDet.offset = 3;
    BadArea inFat;
    inFat.target = BadArea::Target::Fat1Block;
    inFat.block = 1;
    BadArea absolute;
    absolute.sector = 10;
    absolute.count = 3;
    d.bad = {inFile, inDet, inFat, absolute};
    Image img = Build(d);
    const BuiltVolume& b = img.volumes[0];
    const std::uint64_t s = b.startSector;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> got;
    for (const BadRange& r : img.bad) got.emplace_back(r.sector, r.count);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> want = {
        {10, 3}, {s + b.fat1[1] * 8, 1}, {s + b.det1[0] * 8 + 3, 1}, {s + 950 * 8 + 1, 2}};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);

    // The mapfile covers the whole image in order, good and bad areas alternating.
    std::string map = MapfileText(img);
    EXPECT_NE(map.find("\n0x00000000  0x00001400  +\n0x00001400  0x00000600  -\n0x00001A00  "), std::string::npos) << map;
    std::uint64_t pos = 0;
    std::size_t lines = 0;
    std::istringstream in(map);
    std::string line;
    bool statusSeen = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (!statusSeen) {
            statusSeen = true;
            continue;
        }
        unsigned long long at = 0, size = 0;
        char status = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%llx %llx %c", &at, &size, &status), 3) << line;
        EXPECT_EQ(at, pos);
        pos += size;
        ++lines;
    }
    EXPECT_EQ(pos, img.totalSectors * 512);
    EXPECT_EQ(lines, 9u);
}
