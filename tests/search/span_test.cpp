// Volumes extended over several segments: found once across the attached
// disks, read block by block through their segments, and a segment whose
// disk is not attached never read from elsewhere. Sector numbers are worked
// out by hand from the layout below.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/SpannedLayout.h"
#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

const char* const kSpan = testutil::kSpannedDisks;  // see SpannedLayout.h for its sectors

const std::string kMissingText =
    "Segment 2 of volume BIG is missing: attach the disk that holds it to complete the volume.";

struct Seg {
    std::uint32_t number;
    bool present;
    unsigned disk;
    std::uint64_t start;
    std::uint32_t first, count;
};

void ExpectSegments(const nw::VolumeDescriptor& v, const std::vector<Seg>& want) {
    ASSERT_EQ(v.segments.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("segment " + std::to_string(i));
        const nw::VolumeSegment& g = v.segments[i];
        EXPECT_EQ(g.number, want[i].number);
        EXPECT_EQ(g.present, want[i].present);
        if (g.present) {
            EXPECT_EQ(g.disk, want[i].disk);
            EXPECT_EQ(g.startSector, want[i].start);
        }
        EXPECT_EQ(g.firstBlock, want[i].first);
        EXPECT_EQ(g.blockCount, want[i].count);
    }
}

class SpanTest : public ::testing::Test {
protected:
    // Writes the disks of kSpan and attaches the first `attached` of them.
    void Attach(std::size_t attached) {
        built = nwimage::BuildDisks(nwimage::ParseDisks(kSpan));
        for (std::size_t d = 0; d < attached; ++d) {
            const std::string path = dir.File("span" + std::to_string(d) + ".img");
            nwimage::WriteImageFile(built[d], path);
            ASSERT_EQ(disks.Attach(path, "", static_cast<unsigned>(d)), "");
        }
    }
    nw::SearchResult Quick(unsigned disk = 0) { return nw::QuickVolumeSearch({&reader, disk}, found, report); }
    // Finds the volumes on disk 0 and mounts BIG.
    void MountBig() {
        Quick();
        ASSERT_EQ(found.At(0).value().name, "BIG");
        volume.currentVolume = found.At(0).value();
        ASSERT_TRUE(nw::Mount(volume, reader, mountReport).mounted);
    }
    const nw::EntryRecord& File(const std::string& name) {
        for (std::size_t i = 0; i < volume.FileList.Size(); ++i)
            if (volume.FileList[i].name == name) return volume.FileList[i];
        ADD_FAILURE() << name << " is not listed";
        return volume.FileList[0];
    }
    // The bytes the builder placed for BIG's file k (directory order).
    const std::vector<std::uint8_t>& Stored(std::size_t k) { return built[0].volumes[1].entries.at(k).stored; }

    testutil::TempDir dir;
    std::vector<nwimage::Image> built;
    testutil::TestDisks disks;
    disk::SectorReader reader{disks.disks, disks.policy};
    nw::FoundVolumes found;
    testutil::RecordingSearchReport report;
    testutil::RecordingMountReport mountReport;
    nw::MountedVolume volume;
};

TEST_F(SpanTest, QuickSearchJoinsTheSegmentsOfEveryAttachedDiskIntoOneVolume) {
    Attach(2);
    const nw::SearchResult r = Quick(0);
    EXPECT_TRUE(r.missingSegments.empty());
    // Disk 0's tables: BIG's first entry (segment 1) comes before SMALL.
    ASSERT_EQ(found.Count(), 2u);
    const nw::VolumeDescriptor big = found.At(0).value();
    EXPECT_EQ(big.name, "BIG");
    EXPECT_EQ(big.startSector, 1588u);
    EXPECT_EQ(big.disk, 0u);
    EXPECT_EQ(big.sectorsPerBlock, 8u);  // code 3, not 960 / 300
    EXPECT_EQ(big.blockCount, 300u);
    EXPECT_EQ(big.sizeInSectors, 2400u);
    EXPECT_EQ(big.det1FirstBlock, 119u);
    EXPECT_EQ(big.det2FirstBlock, 250u);
    ExpectSegments(big, {{0, true, 0, 1588, 0, 120}, {1, true, 0, 388, 120, 100}, {2, true, 1, 383, 220, 80}});
    const nw::VolumeDescriptor small = found.At(1).value();
    EXPECT_EQ(small.name, "SMALL");
    EXPECT_EQ(small.startSector, 1188u);
    EXPECT_EQ(small.sectorsPerBlock, 8u);
    EXPECT_FALSE(small.Spanned());

    // From disk 1: BIG (its first entry there) then OLD, whose table gives
    // no segment fields and is read by the running sum as before.
    Quick(1);
    ASSERT_EQ(found.Count(), 2u);
    EXPECT_EQ(found.At(0).value().name, "BIG");
    EXPECT_EQ(found.At(0).value().startSector, 1588u);
    EXPECT_EQ(found.At(0).value().segments.size(), 3u);
    EXPECT_EQ(found.At(1).value().name, "OLD");
    EXPECT_EQ(found.At(1).value().startSector, 1023u);
    EXPECT_EQ(found.At(1).value().sectorsPerBlock, 8u);
    EXPECT_EQ(found.At(1).value().blockCount, 20u);
    EXPECT_FALSE(found.At(1).value().Spanned());
}

TEST_F(SpanTest, BlocksMapThroughTheirSegmentAtEveryEdge) {
    Attach(2);
    Quick();
    const nw::VolumeDescriptor big = found.At(0).value();
    const nw::VolumeSectors sectors(reader, big);
    struct Case {
        std::uint32_t block, index;
        unsigned disk;
        std::uint64_t sector;
    };
    for (const Case& c : {Case{0, 0, 0, 1588}, Case{119, 7, 0, 2547}, Case{120, 0, 0, 388}, Case{219, 7, 0, 1187},
                          Case{220, 0, 1, 383}, Case{299, 7, 1, 1022}}) {
        const auto p = sectors.Place(c.block, c.index);
        ASSERT_TRUE(p) << c.block;
        EXPECT_EQ(p->disk, c.disk) << c.block;
        EXPECT_EQ(p->sector, c.sector) << c.block;
    }
    EXPECT_FALSE(sectors.Place(300));

    // A segment past 2^32 sectors, on a disk of its own.
    nw::VolumeDescriptor far;
    far.sectorsPerBlock = 64;
    far.blockCount = 1500;
    far.segments = {{0, true, 0, 100, 0, 1000}, {1, true, 3, 5000000000ull, 1000, 500}};
    const nw::VolumeSectors farSectors(reader, far);
    EXPECT_EQ(farSectors.Place(999, 63)->sector, 64099u);
    EXPECT_EQ(farSectors.Place(1000, 5)->disk, 3u);
    EXPECT_EQ(farSectors.Place(1000, 5)->sector, 5000000005ull);
    EXPECT_EQ(farSectors.Place(1499, 63)->sector, 5000031999ull);
}

TEST_F(SpanTest, EveryFileReadsByteForByteAcrossSegmentsAndDisks) {
    Attach(2);
    MountBig();
    nw::FileReader reader2(volume, reader);
    const char* names[] = {"CROSS.BIN", "EDGE.BIN", "ONE.TXT", "FAR.DAT"};
    const std::size_t entries[] = {0, 1, 2, 4};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(reader2.ReadFileBytes(File(names[k])), Stored(entries[k])) << names[k];
        EXPECT_EQ(reader2.UnreadableBytes(), 0u) << names[k];
        EXPECT_FALSE(reader2.MissingSegment()) << names[k];
    }
}

TEST_F(SpanTest, AMissingSegmentIsListedAndItsBlocksAreNeverReadFromElsewhere) {
    Attach(1);
    const nw::SearchResult r = Quick();
    ASSERT_EQ(found.Count(), 2u);
    ExpectSegments(found.At(0).value(),
                   {{0, true, 0, 1588, 0, 120}, {1, true, 0, 388, 120, 100}, {2, false, 0, 0, 220, 80}});
    EXPECT_EQ(r.missingSegments, std::vector<std::string>{kMissingText});
    EXPECT_NE(std::find(report.status.begin(), report.status.end(), kMissingText), report.status.end());
    EXPECT_FALSE(nw::VolumeSectors(reader, found.At(0).value()).Place(220));

    // The first two segments are browsed as usual.
    MountBig();
    EXPECT_EQ(volume.fileCount, 4u);
    nw::FileReader files(volume, reader);
    EXPECT_EQ(files.ReadFileBytes(File("CROSS.BIN")), Stored(0));
    EXPECT_EQ(files.UnreadableBytes(), 0u);
    // EDGE.BIN: blocks 218 and 219 on disk 0, 220 and 221 in segment 2.
    const std::vector<std::uint8_t> edge = files.ReadFileBytes(File("EDGE.BIN"));
    ASSERT_EQ(edge.size(), 16000u);
    EXPECT_TRUE(std::equal(edge.begin(), edge.begin() + 8192, Stored(1).begin()));
    EXPECT_TRUE(std::all_of(edge.begin() + 8192, edge.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(files.UnreadableBytes(), 7808u);
    ASSERT_TRUE(files.MissingSegment());
    EXPECT_EQ(files.MissingSegment()->number, 2u);
    files.ReadFileBytes(File("FAR.DAT"));
    EXPECT_EQ(files.UnreadableBytes(), 3000u);
    EXPECT_EQ(files.MissingSegment()->number, 2u);
}

TEST_F(SpanTest, SegmentsThatLeaveBlocksOutOrOverlapAreNamedAndTheBlocksLeftOutHaveNoPlace) {
    // Segment 1's first block moved from 120 to 130 in every copy of disk
    // 0's tables (V = 260, its entry the first): blocks 120..129 lie in no
    // segment, 220..229 in segment 1 and segment 2.
    built = nwimage::BuildDisks(nwimage::ParseDisks(kSpan));
    for (std::uint64_t copy = 0; copy < nw::kVolumeTableCopies; ++copy) {
        auto& sector = built[0].sectors.at(260 + copy * nw::kVolumeTableSpacing);
        ASSERT_EQ(sector[0x20 + 0x24], 120);
        sector[0x20 + 0x24] = 130;
    }
    for (unsigned d = 0; d < 2; ++d) {
        const std::string path = dir.File("span" + std::to_string(d) + ".img");
        nwimage::WriteImageFile(built[d], path);
        ASSERT_EQ(disks.Attach(path, "", d), "");
    }
    const nw::SearchResult r = Quick();
    EXPECT_EQ(r.missingSegments,
              (std::vector<std::string>{"Volume BIG: blocks 120 to 129 lie in no segment: they cannot be read.",
                                        "Volume BIG: blocks 220 to 229 are claimed by two segments: the first "
                                        "one's place is read."}));
    const nw::VolumeDescriptor big = found.At(0).value();
    const nw::VolumeSectors sectors(reader, big);
    EXPECT_FALSE(sectors.Place(125));
    std::vector<std::uint8_t> buf(16 * 512, 0xEE);
    // a run from block 119 (segment 0) into block 120 (none)
    const disk::ReadStatus status = sectors.ReadBlockSectors(119, 4, 8, buf.data());
    ASSERT_EQ(status.Runs().size(), 1u);
    EXPECT_EQ(status.Runs()[0].offset, 4u);
    EXPECT_EQ(status.Runs()[0].count, 4u);
    EXPECT_EQ(status.Runs()[0].reason, disk::Unread::kNoPlace);
    EXPECT_TRUE(std::all_of(buf.begin() + 4 * 512, buf.begin() + 8 * 512, [](std::uint8_t b) { return b == 0; }));
    // a file with a block in the gap is damaged by that block's bytes
    MountBig();
    nw::FileReader files(volume, reader);
    files.ReadFileBytes(File("CROSS.BIN"));  // blocks 114..118, 121..125
    EXPECT_EQ(files.UnreadableBytes(), 40000u - 5 * 4096u);
    EXPECT_FALSE(files.FirstDataSector(125).has_value());  // no place: no sector, not sector 0
    ASSERT_TRUE(files.FirstDataSector(114).has_value());
    EXPECT_EQ(*files.FirstDataSector(114), 1588u + 114 * 8);
}

// Segment 1 on a second disk whose partition starts at 4294967000: V =
// 4294967192, the segment at V + 128 = 4294967320, past 2^32.
TEST_F(SpanTest, ASegmentPast2To32SectorsIsFoundAndRead) {
    built = nwimage::BuildDisks(nwimage::ParseDisks(R"(disk 0 seed=5
partition first=100 count=4000
volume BIG blocks=120 det1=119,120 det2=250,251
file FAR.DAT size=3000 blocks=260
disk 1 sectors=4295100000
partition first=4294967000 count=100000 hotfix=1 area=160
segment BIG 1 blocks=180
)"));
    for (unsigned d = 0; d < 2; ++d) {
        const std::string path = dir.File("far" + std::to_string(d) + ".img");
        nwimage::WriteImageFile(built[d], path);
        ASSERT_EQ(disks.Attach(path, "", d), "");
    }
    MountBig();
    ExpectSegments(volume.currentVolume, {{0, true, 0, 388, 0, 120}, {1, true, 1, 4294967320ull, 120, 180}});
    EXPECT_EQ(nw::VolumeSectors(reader, volume.currentVolume).Place(260, 1)->sector, 4294968441ull);
    nw::FileReader files(volume, reader);
    EXPECT_EQ(files.ReadFileBytes(File("FAR.DAT")), built[0].volumes[0].entries[0].stored);
    EXPECT_EQ(files.UnreadableBytes(), 0u);
}

TEST_F(SpanTest, ALogsVolumeFindsItsSegmentsAgain) {
    Attach(2);
    Quick();
    nw::VolumeDescriptor stored = found.At(0).value();
    stored.segments.clear();  // what a recovery log keeps
    ASSERT_TRUE(nw::FindVolumeSegments({&reader, 0}, stored));
    ExpectSegments(stored, {{0, true, 0, 1588, 0, 120}, {1, true, 0, 388, 120, 100}, {2, true, 1, 383, 220, 80}});
    nw::VolumeDescriptor small = found.At(1).value();
    EXPECT_FALSE(nw::FindVolumeSegments({&reader, 0}, small));
    EXPECT_FALSE(small.Spanned());
}

}  // namespace
