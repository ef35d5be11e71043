// Hand-laid volumes at sector 0 whose FAT's own chain is as long as the
// proof table allows, and one block longer.
#include <gtest/gtest.h>

#include <cstring>

#include "netware/Records.h"
#include "netware/VolumeSearch.h"
#include "search/SearchFixture.h"

namespace searchtest {
namespace {

// Block size 8; FAT blocks 0 .. fatBlocks-1 chained in order, one-block DET
// copies at fatBlocks+10 and fatBlocks+20.
std::string LayVolume(const std::string& path, std::uint32_t fatBlocks) {
    const std::uint32_t det1 = fatBlocks + 10, det2 = fatBlocks + 20;
    std::string bytes(static_cast<std::size_t>(det2 + 1) * 8 * 512, '\0');
    auto* d = reinterpret_cast<std::uint8_t*>(bytes.data());
    auto entry = [&](std::uint32_t block, std::uint32_t seq, std::uint32_t next) {
        nw::StoreLe32(d + block * 8u, seq);
        nw::StoreLe32(d + block * 8u + 4, next);
    };
    for (std::uint32_t b = 0; b < fatBlocks; ++b) entry(b, b, b + 1 == fatBlocks ? nw::kChainEnd : b + 1);
    entry(det1, 0, nw::kChainEnd);
    entry(det2, 0, nw::kChainEnd);
    for (std::uint32_t blk : {det1, det2}) {
        std::uint8_t* s = d + static_cast<std::size_t>(blk) * 8 * 512;
        std::memcpy(s, nw::kDetSignature.data(), nw::kDetSignature.size());
        std::memcpy(s + 128 + 12, "PUBLIC", 6);
    }
    testutil::WriteFile(path, bytes);
    return path;
}

TEST_F(SearchTest, FatChainFillingTheProofTableIsAcceptedOneMoreIsRejected) {
    for (std::uint32_t fatBlocks : {1999u, 2000u}) {
        SCOPED_TRACE(fatBlocks);
        UseFile(LayVolume(dir.File("hand.img"), fatBlocks));
        const nw::SearchResult r = Advanced();
        EXPECT_TRUE(r.diskOpened);
        EXPECT_FALSE(r.stopped);
        if (fatBlocks == 1999u) {
            ASSERT_EQ(found.Count(), 1u);
            EXPECT_EQ(found.At(0).value().startSector, 0u);
            EXPECT_EQ(found.At(0).value().sectorsPerBlock, 8u);
            EXPECT_EQ(found.At(0).value().det1FirstBlock, fatBlocks + 10);
            EXPECT_EQ(found.At(0).value().det2FirstBlock, fatBlocks + 20);
        } else {
            EXPECT_EQ(found.Count(), 0u);
        }
    }
}

TEST_F(SearchTest, NoDiskSizeMeansNoScanAndNoVolumes) {
    UseFile(LayVolume(dir.File("hand.img"), 3));
    const nw::SearchResult r = nw::AdvancedVolumeSearch(Target(), 0, found, report, stop);
    EXPECT_TRUE(r.diskOpened);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(found.Count(), 0u);
    EXPECT_EQ(report.countTexts, std::vector<std::string>{"Volumes Found : 0"});
    EXPECT_TRUE(report.status.empty());
}

}  // namespace
}  // namespace searchtest
