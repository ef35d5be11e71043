// Deep folder chains and large descriptions: built without deep recursion
// and with paths resolved through an index.
#include <gtest/gtest.h>

#include <string>

#include "tests/nwimage/Helpers.h"
#include "tools/nwimage/Description.h"

using namespace nwtest;

TEST(NwImageScale, FolderChainTwentyThousandDeep) {
    constexpr int kDepth = 20000;
    std::string text = "partition first=63 count=80000\nvolume DEEP blocks=9000\n";
    for (int i = 1; i <= kDepth; ++i) text += "folder D number=" + std::to_string(i) + " parent=" + std::to_string(i - 1) + "\n";
    text += "file LAST.TXT parent=" + std::to_string(kDepth) + " text=bottom\n";
    Image img = Build(ParseDescription(text));

    ASSERT_EQ(img.manifest.size(), kDepth + 2u);  // the chain, the file, LOST
    const std::size_t last = kDepth;
    const ManifestRecord& file = img.manifest[last];
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(file.sha256, Sha256Hex(reinterpret_cast<const std::uint8_t*>("bottom"), 6));
    // 20,000 paths of up to 40,000 characters are more than the records keep.
    EXPECT_TRUE(file.path.empty());
    std::string expected;
    for (int i = 0; i < kDepth; ++i) expected += "D\\";
    EXPECT_EQ(ManifestPath(img.manifest, last), expected + "LAST.TXT");
    EXPECT_EQ(ManifestPath(img.manifest, last + 1), "LOST");
}

TEST(NwImageScale, FiftyThousandFilesFoundByPath) {
    std::string text = "partition first=63 count=900000\nvolume WIDE blocks=110000\n";
    for (int g = 0; g < 10; ++g) {
        text += "folder G" + std::to_string(g) + "\n";
        for (int f = 0; f < 10; ++f) text += "folder F" + std::to_string(f) + " in=G" + std::to_string(g) + "\n";
    }
    for (int i = 0; i < 50000; ++i)
        text += "file N" + std::to_string(i) + " in=G" + std::to_string(i / 10 % 10) + "/F" + std::to_string(i % 10) +
                " size=" + std::to_string(1 + i % 700) + "\n";
    Image img = Build(ParseDescription(text));
    EXPECT_EQ(img.manifest.size(), 50000u + 110 + 1);
    const ManifestRecord* m = Find(img, "G3\\F7\\N49937", "WIDE");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->size, 1u + 49937 % 700);
}
