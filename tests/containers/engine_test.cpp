// A NetWare disk stored in each format gives the engine what the raw disk
// gives it: the quick and the advanced search find the same volumes, and
// the mounted volume lists the same tree with the same file contents.
#include <gtest/gtest.h>

#include "ContainerTools.h"
#include "mount/MountFixture.h"
#include "tools/nwimage/Description.h"

namespace {

using conttest::Kind;

constexpr const char* kDisk = R"(disk seed=7
partition first=63 count=8000
volume SYS spb=8 blocks=900
folder PUBLIC
folder DOCS in=PUBLIC long="Project Documents"
file REPORT.DOC in=PUBLIC/DOCS doc=word size=20K
file NOTES.TXT in=PUBLIC text="Hello, NetWare.\r\n" sub=whole
file TAIL.BIN in=PUBLIC size=9000 sub=tail
file OLD.TXT in=PUBLIC size=100 deleted
file BIG.BIN size=300K
)";

class EngineTest : public mounttest::MountTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(EngineTest, SearchesAndMountSeeTheRawDisk) {
    const Kind& kind = GetParam();
    if (*kind.tool && !conttest::HasTool(kind.tool))
        GTEST_SKIP() << kind.tool << " is not installed (tools/install-deps.sh installs it)";
    image = nwimage::Build(nwimage::ParseDescription(kDisk));
    const std::string raw = dir.File("netware.img");
    nwimage::WriteImageFile(image, raw);
    const std::string first = kind.make(dir, raw);
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(disks.Attach(first), "");
    ASSERT_TRUE(disks.disks.At(0)->IsOpen()) << disks.disks.At(0)->OpenFailureReason();
    EXPECT_EQ(reader.SectorCount(0), image.totalSectors);

    const nw::SearchTarget target{&reader, 0};
    nw::FoundVolumes found;
    testutil::RecordingSearchReport searchReport;
    ASSERT_TRUE(nw::QuickVolumeSearch(target, found, searchReport).diskOpened);
    ASSERT_EQ(found.Count(), 1u);
    const nw::VolumeDescriptor expected = testutil::DescriptorOf(image.volumes[0]);
    EXPECT_EQ(found.At(0).value().name, expected.name);
    EXPECT_EQ(found.At(0).value().startSector, expected.startSector);
    base::CancelFlag stop{false};
    ASSERT_TRUE(nw::AdvancedVolumeSearch(target, reader.SectorCount(0), found, searchReport, stop).diskOpened);
    ASSERT_EQ(found.Count(), 1u);
    EXPECT_EQ(found.At(0).value().startSector, expected.startSector);

    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineTest, ::testing::ValuesIn(conttest::Kinds()),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

}  // namespace
