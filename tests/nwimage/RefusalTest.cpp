// Descriptions that cannot be built are refused with a message naming why.
#include <gtest/gtest.h>

#include <functional>

#include "tests/nwimage/Helpers.h"

using namespace nwtest;

namespace {

struct Refusal {
    const char* what;
    std::function<void(DiskSpec&)> change;
    const char* message;  // a part of the expected message
};

}  // namespace

TEST(NwImageRefusal, ImpossibleDescriptions) {
    const std::vector<Refusal> cases = {
        {"volume larger than its partition", [](DiskSpec& d) { d.partitions[0].sectorCount = 1000; },
         "volume larger than its partition"},
        {"block size not dividing the segment", [](DiskSpec& d) { Vol(d).blocks = 0; Vol(d).segmentSectors = 1004; },
         "does not divide the segment"},
        {"unknown block size", [](DiskSpec& d) { Vol(d).sectorsPerBlock = 12; }, "8, 16, 32, 64 or 128"},
        {"primary name of 16", [](DiskSpec& d) { Vol(d).entries[0].name = "ABCDEFGHIJKLMNOP"; }, "1..15 characters"},
        {"empty name", [](DiskSpec& d) { Vol(d).entries[0].name = ""; }, "1..15 characters"},
        {"long name of 81", [](DiskSpec& d) { Vol(d).entries[0].longName = std::string(81, 'x'); }, "more than 80"},
        {"backslash in a name", [](DiskSpec& d) { Vol(d).entries[0].name = "A\\B"; }, "backslash"},
        {"volume name of 28", [](DiskSpec& d) { Vol(d).name = std::string(28, 'V'); }, "1..27 characters"},
        {"file larger than its chain", [](DiskSpec& d) { Vol(d).entries[1].blocks = {700}; Vol(d).entries[1].size = 4097; },
         "but its chain of 1 blocks holds 4096"},
        {"whole-file piece larger than a block", [](DiskSpec& d) { Vol(d).entries[1].placement = Placement::Whole; Vol(d).entries[1].size = 4097; },
         "cannot be a whole-file piece"},
        {"data over the FAT", [](DiskSpec& d) { Vol(d).entries[1].blocks = {0}; }, "block 0 is used by both"},
        {"block beyond the volume", [](DiskSpec& d) { Vol(d).entries[1].blocks = {5000}; }, "names block 5000"},
        {"two chains sharing a block", [](DiskSpec& d) { Vol(d).det1Blocks = {300}; Vol(d).det2Blocks = {300}; }, "block 300 is used by both"},
        {"FAT copy 1 too short", [](DiskSpec& d) { Vol(d).blocks = 3000; d.partitions[0].sectorCount = 30000; Vol(d).fat1Blocks = {0, 1}; },
         "FAT needs 6 blocks"},
        {"DET copy 2 longer than copy 1", [](DiskSpec& d) { Vol(d).det2Length = 2; }, "cannot be longer"},
        {"break past the chain", [](DiskSpec& d) { Vol(d).breakDetAt = 1; }, "cannot break at block 1"},
        {"compressed file without room for its header", [](DiskSpec& d) { Vol(d).entries[1].size = 8; Vol(d).entries[1].compression = Compression::Marked; },
         "at least 12 bytes"},
        {"special parent number", [](DiskSpec& d) { Vol(d).entries[1].parent = 0xFFFFFFFD; }, "special entry"},
        {"nine volumes", [](DiskSpec& d) { for (int i = 0; i < 8; ++i) d.partitions[0].volumes.push_back(Vol(d)); }, "at most 8 volumes"},
        {"five partitions", [](DiskSpec& d) { for (int i = 0; i < 4; ++i) { PartitionSpec p; p.type = 6; p.firstSector = 100000 + i * 10; p.sectorCount = 5; d.partitions.push_back(p); } },
         "at most 4 partitions"},
        {"overlapping partitions", [](DiskSpec& d) { PartitionSpec p; p.type = 6; p.firstSector = 500; p.sectorCount = 100; d.partitions.push_back(p); },
         "overlap"},
        {"volume tables over the hot-fix sector", [](DiskSpec& d) { d.partitions[0].volumeAreaDistance = 0; }, "overlapping allocations"},
        {"raw bytes over a used block", [](DiskSpec& d) { d.raw.push_back({d.partitions[0].firstSector + 288 + 2, {1, 2, 3}}); },
         "used block"},
        {"raw bytes over the partition table", [](DiskSpec& d) { d.raw.push_back({0, {1}}); }, "partition table"},
        {"disk too small", [](DiskSpec& d) { d.totalSectors = 100; }, "contents reach"},
    };
    for (const Refusal& c : cases) {
        DiskSpec d = OneVolume();
        Vol(d).entries = {Folder("DIR", 5), File("FILE.TXT", 1000)};
        c.change(d);
        try {
            Build(d);
            ADD_FAILURE() << c.what << ": was built";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
        }
    }
}

TEST(NwImageRefusal, RawBytesMayUseFreeBlocksOfAVolume) {
    DiskSpec d = OneVolume();
    const std::uint64_t freeSector = 63 + 288 + 1500 * 8;
    d.raw.push_back({freeSector, {'P', 'K', 3, 4, 10}});
    Image img = Build(d);
    EXPECT_EQ(img.ReadBytes(freeSector, 1)[4], 10);
}
