// Bad sectors (ddrescue mapfiles) in the hot-fix area, the volume tables,
// the FAT, the directory and file data. What a correct recovery shows is
// worked out by the builder from the image with the bad sectors read as
// zeros; each answer to "Bad Sector Encountered" must lead to exactly that,
// and nothing else may be lost.
#include "HardeningFixture.h"
#include "tools/nwimage/Mount.h"

namespace hardening {
namespace {

// Three FAT blocks, a three-block directory, files of every placement.
constexpr const char* kDisk = R"(disk seed=5
partition first=63 count=10000 hotfix=1
volume SYS spb=8 blocks=1200 det-blocks=3
folder PUBLIC long="Public area"
folder DOCS in=PUBLIC
file ONE.TXT in=PUBLIC text="one" sub=whole
file TWO.BIN in=PUBLIC/DOCS size=30000
file THREE.BIN in=PUBLIC size=9000 sub=tail
file FOUR.BIN size=100000 blocks=520-544
file FIVE.BIN long="The fifth file.bin" size=5000
file SIX.BIN in=PUBLIC/DOCS size=2000 deleted
)";

// The image as a reader sees it when the bad sectors read as zeros.
nwimage::Image Zeroed(const nwimage::Image& image) {
    nwimage::Image out = image;
    for (const nwimage::BadRange& r : image.bad)
        for (std::uint64_t s = r.sector; s < r.sector + r.count; ++s) out.sectors.erase(s);
    return out;
}

std::vector<Shown> ExpectedZeroed(const nwimage::Image& image, int fatChoice) {
    nwimage::Image zeroed = Zeroed(image);
    zeroed.manifest = nwimage::ComputeManifest(zeroed, {fatChoice});
    return ManifestListing(zeroed, image.volumes[0].name);
}

class FaultTest : public HardeningTest {
protected:
    const nwimage::Image& Use(const std::string& extra) {
        image = nwimage::Build(nwimage::ParseDescription(std::string(kDisk) + extra));
        Attach(image, true);
        return image;
    }
    std::vector<Shown> MountBuilt() { return MountAndList(DescriptorOf(image.volumes[0])); }
    nwimage::Image image;
};

TEST_F(FaultTest, UnreadableFileDataReadsAsZerosUnderEveryAnswer) {
    Use("bad file=PUBLIC/DOCS/TWO.BIN offset=3 count=2\nbad file=FOUR.BIN offset=17\n");
    const std::vector<Shown> expected = ExpectedZeroed(image, 1);
    ASSERT_NE(expected, Expected(image, "SYS")) << "the damage must change what is delivered";
    for (std::int32_t answer : {disk::kRetry, disk::kSkip, disk::kRetryAll, disk::kSkipAll}) {
        SCOPED_TRACE(answer);
        session.policy.BadSectorDecision = disk::kRetry;
        badPrompt.answer = answer;
        badPrompt.asked = 0;
        EXPECT_EQ(MountBuilt(), expected);
        // One question per failed request (one sector each) until an "All" answer.
        const bool all = answer == disk::kRetryAll || answer == disk::kSkipAll;
        EXPECT_EQ(badPrompt.asked, all ? 1 : 3);
    }
}

TEST_F(FaultTest, UnreadableDirectorySectorLosesNothingWhileCopy2HoldsIt) {
    // The bad sector of copy 1 is read from copy 2: nothing is lost.
    Use("bad det=SYS block=0 offset=1\n");
    EXPECT_LT(ExpectedZeroed(image, 1).size(), Expected(image, "SYS").size());
    EXPECT_EQ(MountBuilt(), Expected(image, "SYS"));
    // The same sector of the second block holds nothing: nothing is lost.
    Use("bad det=SYS block=1 offset=1\n");
    EXPECT_EQ(MountBuilt(), Expected(image, "SYS"));
}

TEST_F(FaultTest, UnreadableFatSectorCutsOnlyTheChainsItHolds) {
    // FAT block 1, sector 0 holds the entries of blocks 512..575 (FOUR.BIN).
    Use("bad fat=SYS block=1 offset=0\n");
    const std::vector<Shown> expected = ExpectedZeroed(image, 1);
    ASSERT_NE(expected, Expected(image, "SYS"));
    EXPECT_EQ(MountBuilt(), expected);
    EXPECT_TRUE(fatPrompt.asked.empty());
}

TEST_F(FaultTest, UnreadableFirstFatSectorOffersTheSecondCopy) {
    // The FAT's own chain lies in the bad sector: the copies' chains differ
    // in length and the user is asked; the second copy gives everything back.
    Use("bad fat=SYS block=0 offset=0\n");
    fatPrompt.answer = 2;
    EXPECT_EQ(MountBuilt(), ExpectedZeroed(image, 2));
    EXPECT_EQ(MountBuilt(), Expected(image, "SYS"));
    ASSERT_EQ(fatPrompt.asked.size(), 2u);
    fatPrompt.answer = 1;
    EXPECT_EQ(MountBuilt(), ExpectedZeroed(image, 1));
}

TEST_F(FaultTest, UnreadableHotFixProbeBeforeTheRealOneIsPassedOver) {
    // hotfix=1: the sector is at partition sector 64; partition sector 32 is bad.
    Use("bad sector=95\n");
    ASSERT_TRUE(QuickSearch());
    ASSERT_EQ(Found().size(), 1u);
    EXPECT_EQ(Found()[0].startSector, image.volumes[0].startSector);
    EXPECT_EQ(MountAndList(Found()[0]), Expected(image, "SYS"));
}

TEST_F(FaultTest, UnreadableHotFixSectorLeavesTheAdvancedSearch) {
    Use("bad sector=127\n");
    ASSERT_TRUE(QuickSearch());
    EXPECT_TRUE(Found().empty());
    AdvancedSearch();
    ASSERT_EQ(Found().size(), 1u);
    EXPECT_EQ(Found()[0].startSector, image.volumes[0].startSector);
    EXPECT_EQ(MountAndList(Found()[0]), Expected(image, "SYS"));
}

TEST_F(FaultTest, UnreadableVolumeTableCopiesAreSkipped) {
    const std::uint64_t v = 63 + 32 + 128;  // the volume-definition area
    Use("bad sector=" + std::to_string(v) + "\n");
    ASSERT_TRUE(QuickSearch());
    ASSERT_EQ(Found().size(), 1u);
    EXPECT_EQ(Found()[0].startSector, image.volumes[0].startSector);
    EXPECT_EQ(Found()[0].fat2FirstBlock, image.volumes[0].fat2.at(0));

    Use("bad sector=" + std::to_string(v) + " count=97\n");
    ASSERT_TRUE(QuickSearch());
    EXPECT_TRUE(Found().empty());
}

TEST_F(FaultTest, BadSectorBesideTheDirectorySignatureDependsOnTheAnswer) {
    // A bad sector in the 8-sector scan group of DET copy 1's first sector.
    Use("");
    const nwimage::BuiltVolume v = image.volumes[0];  // a copy: Use() below builds anew
    const std::uint64_t d1 = v.startSector + static_cast<std::uint64_t>(v.det1[0]) * v.sectorsPerBlock;
    const std::uint64_t bad = d1 % 8 == 7 ? d1 - 1 : d1 + 1;
    Use("bad sector=" + std::to_string(bad) + "\n");

    // Retry reads the group sector by sector: the signature is seen.
    session.policy.BadSectorDecision = disk::kRetryAll;
    AdvancedSearch();
    ASSERT_EQ(Found().size(), 1u);
    EXPECT_EQ(Found()[0].startSector, v.startSector);

    // Skip gives up the whole group: copy 1 is not seen, and the volume is
    // found through copy 2 alone, where it really starts.
    session.policy.BadSectorDecision = disk::kSkipAll;
    AdvancedSearch();
    ASSERT_EQ(Found().size(), 1u);
    EXPECT_EQ(Found()[0].startSector, v.startSector);
    EXPECT_EQ(Found()[0].sectorsPerBlock, v.sectorsPerBlock);
}

}  // namespace
}  // namespace hardening
