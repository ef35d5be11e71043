// The description format, determinism of the output, and the files written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/nwimage/Helpers.h"
#include "tools/nwimage/Description.h"

using namespace nwtest;
namespace fs = std::filesystem;

namespace {

const char* kText = R"(disk seed=9
partition first=63 count=10200 hotfix=3 area=0x100 tables=missing,count9
volume SYS spb=16 blocks=600 det1=100,90 det2-length=1 break-det=0 patch-fat2=7:1:2
folder PUBLIC time=2007-03-05T09:04:58
folder DOCS in=PUBLIC long="Project Documents" number=40
folder DEEP in="PUBLIC/Project Documents"
file A.TXT in=PUBLIC\DOCS\DEEP text="line\r\n\"q\"" deleted
file B.BIN blocks=500-502,550 size=20000 sub=tail
file C.DAT size=2K compressed=marked expanded=0x1000
folder GONE parent=0777
bad file=PUBLIC/DOCS/DEEP/A.TXT
)";

fs::path Scratch(const std::string& name) {
    const char* env = std::getenv("TARVINE_TEST_DATA");
    fs::path dir = env ? fs::path(env) : fs::temp_directory_path();
    dir /= "nwimage-" + std::to_string(::getpid());
    fs::create_directories(dir);
    return dir / name;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(NwImageDescription, ParsesEveryKindOfLine) {
    DiskSpec d = ParseDescription(kText);
    EXPECT_EQ(d.seed, 9u);
    ASSERT_EQ(d.partitions.size(), 1u);
    const PartitionSpec& p = d.partitions[0];
    EXPECT_EQ(p.hotFixPosition, 3u);
    EXPECT_EQ(p.volumeAreaDistance, 256u);
    EXPECT_EQ(p.tables[0], TableCopy::Missing);
    EXPECT_EQ(p.tables[1], TableCopy::CountNine);
    EXPECT_EQ(p.tables[2], TableCopy::Good);
    const VolumeSpec& v = p.volumes.at(0);
    EXPECT_EQ(v.sectorsPerBlock, 16u);
    EXPECT_EQ(v.det1Blocks, (std::vector<std::uint32_t>{100, 90}));
    ASSERT_EQ(v.fatPatches.size(), 1u);
    EXPECT_EQ(v.fatPatches[0].copy, 2);
    EXPECT_EQ(v.fatPatches[0].next, 2u);
    ASSERT_EQ(v.entries.size(), 7u);
    EXPECT_EQ(v.entries[0].number, 1u);  // counted up around the explicit 40
    EXPECT_EQ(v.entries[0].dateTime, PackDateTime(2007, 3, 5, 9, 4, 58));
    EXPECT_EQ(v.entries[1].number, 40u);
    EXPECT_EQ(v.entries[1].parent, 1u);
    EXPECT_EQ(v.entries[2].parent, 40u);  // found by its long name
    EXPECT_EQ(v.entries[3].parent, v.entries[2].number);
    EXPECT_EQ(std::string(v.entries[3].data->begin(), v.entries[3].data->end()), "line\r\n\"q\"");
    EXPECT_TRUE(v.entries[3].deleted);
    EXPECT_EQ(v.entries[4].blocks, (std::vector<std::uint32_t>{500, 501, 502, 550}));
    EXPECT_EQ(v.entries[4].placement, Placement::Tail);
    EXPECT_EQ(v.entries[5].size, 2048u);
    EXPECT_EQ(v.entries[5].compression, Compression::Marked);
    EXPECT_EQ(v.entries[5].expandedSize, 0x1000u);
    EXPECT_EQ(v.entries[6].parent, 777u);
    ASSERT_EQ(d.bad.size(), 1u);
    EXPECT_EQ(d.bad[0].target, BadArea::Target::FileData);
    EXPECT_EQ(d.bad[0].entry, 3u);

    Image img = Build(d);
    EXPECT_TRUE(Find(img, "PUBLIC\\Project Documents\\DEEP\\A.TXT"));
    EXPECT_TRUE(Find(img, "LOST\\GONE"));
}

TEST(NwImageDescription, MistakesNameTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"disk\nfrobnicate x=1\n", "line 2: unknown command"},
        {"disk sectors=12Q\n", "line 1: sectors=12Q is not a number"},
        {"partition first=1 count=5 colour=red\n", "line 1: unknown option \"colour\""},
        {"volume SYS blocks=10\n", "line 1: volume before any partition"},
        {"partition first=63 count=9000\nvolume S blocks=100\nfile X in=NOPE\n", "line 3: \"NOPE\" names no folder"},
        {"partition first=63 count=9000\nvolume S blocks=100\nfile X text=\"open\n", "line 3: a quoted text is not closed"},
        {"partition first=63 count=9000 hotfix=4\n", "line 1: hotfix=4 is above 3"},
        {"partition first=63 count=9000\nvolume S blocks=100\nfile X time=2007-13-01\n", "line 3: time=2007-13-01"},
    };
    for (const auto& [text, message] : cases) {
        try {
            ParseDescription(text);
            ADD_FAILURE() << text << " was accepted";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

TEST(NwImageDescription, SameDescriptionGivesTheSameBytes) {
    Image a = Build(ParseDescription(kText));
    Image b = Build(ParseDescription(kText));
    EXPECT_EQ(a.sectors, b.sectors);
    EXPECT_EQ(ManifestText(a), ManifestText(b));
    EXPECT_EQ(MapfileText(a), MapfileText(b));

    const fs::path one = Scratch("one.img"), two = Scratch("two.img");
    WriteImageFile(a, one.string());
    WriteImageFile(b, two.string());
    EXPECT_EQ(ReadAll(one), ReadAll(two));
    EXPECT_EQ(fs::file_size(one), a.totalSectors * 512);

    std::string other = kText;
    other.replace(other.find("seed=9"), 6, "seed=8");
    EXPECT_NE(Build(ParseDescription(other)).sectors, a.sectors);
    fs::remove_all(one.parent_path());
}

TEST(NwImageDescription, ExampleAndSampleDescriptionsBuild) {
    const fs::path dir = fs::path(TARVINE_SOURCE_DIR) / "tools" / "nwimage";
    std::string example = ReadAll(dir / "example.nwd");
    ASSERT_FALSE(example.empty());
    EXPECT_EQ(example.find('#'), std::string::npos);  // the example carries no comments
    EXPECT_GT(Build(ParseDescription(example)).manifest.size(), 5u);

    Image sample = Build(ParseDescription(ReadAll(dir / "sample.nwd")));
    std::set<std::string> volumes;
    bool lost = false, deleted = false, compressed = false;
    for (const ManifestRecord& m : sample.manifest) {
        volumes.insert(m.volume);
        lost |= m.path.rfind("LOST\\", 0) == 0;
        deleted |= m.deleted;
        compressed |= m.compressed;
    }
    EXPECT_EQ(volumes, (std::set<std::string>{"SYS", "DATA", "STUDIO"}));
    EXPECT_TRUE(lost && deleted && compressed);
    EXPECT_FALSE(sample.bad.empty());
    EXPECT_GE(sample.totalSectors * 512, 200ull << 20);
    EXPECT_LT(sample.sectors.size() * 512, 32ull << 20);

    // The spanned sample: BIGVOL over three segments on two disks, with
    // file data in each of them.
    const std::vector<Image> span = BuildDisks(ParseDisks(ReadAll(dir / "sample-span.nwd")));
    ASSERT_EQ(span.size(), 2u);
    ASSERT_EQ(span[0].volumes.size(), 2u);
    EXPECT_TRUE(span[1].volumes.empty());
    const BuiltVolume& big = span[0].volumes[1];
    ASSERT_EQ(big.segments.size(), 3u);
    EXPECT_EQ(big.segments[2].disk, 1u);
    std::set<std::size_t> holding;
    for (const BuiltEntry& e : big.entries)
        for (std::uint32_t b : e.blocks) holding.insert(b >= big.segments[2].firstBlock ? 2 : b >= big.segments[1].firstBlock ? 1 : 0);
    EXPECT_EQ(holding, (std::set<std::size_t>{0, 1, 2}));
}

TEST(NwImageOutput, ImageFileIsSparseEvenPastSector2To32) {
    Image img = Build(HighVolume());
    const fs::path path = Scratch("high.img");
    WriteImageFile(img, path.string());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), img.totalSectors * 512);
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, 8ull << 20);

    const std::uint64_t sector = img.volumes[0].startSector + 3900ull * 8;
    std::vector<std::uint8_t> back(4096);
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, back.data(), back.size(), static_cast<off_t>(sector * 512)), 4096);
    ::close(fd);
    EXPECT_EQ(back, img.volumes[0].entries[0].stored);
    fs::remove_all(path.parent_path());
}

TEST(NwImageOutput, ManifestLinesAreTabSeparated) {
    DiskSpec d = OneVolume();
    EntrySpec f = File("A.TXT", 3);
    f.data = std::vector<std::uint8_t>{'a', 'b', 'c'};
    f.dateTime = 0x0E650483;
    f.deleted = true;
    Vol(d).entries = {Folder("DIR", 3), f};
    Vol(d).entries[1].parent = 3;
    Image img = Build(d);
    EXPECT_EQ(ManifestText(img),
              "D\t0\t0\t0\t00000000\t\tSYS\tDIR\n"
              "F\t1\t0\t3\t0E650483\tba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\tSYS\tDIR\\A.TXT\n"
              "D\t0\t0\t0\t00000000\t\tSYS\tLOST\n");
}
