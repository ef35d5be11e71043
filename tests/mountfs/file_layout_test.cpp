// A file's layout serves any range of it exactly as the save's file reader
// delivers the whole file: the same length, the same bytes, the same
// unreadable sectors, whatever the range.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "mount/MountFixture.h"
#include "mountfs/FileLayout.h"
#include "mountfs/MountTree.h"
#include "netware/MountedVolume.h"
#include "recovery/SaveEngine.h"

namespace {

class FileLayoutTest : public mounttest::MountTest {
protected:
    struct Whole {
        std::vector<std::uint8_t> bytes;
        std::uint64_t unreadable = 0;
    };
    Whole ReadWhole(const nw::EntryRecord& r, std::uint32_t byteCount) {
        struct Collect : nw::FileDataConsumer {
            std::vector<std::uint8_t> bytes;
            void Deliver(const std::uint8_t* d, std::uint32_t n) override { bytes.insert(bytes.end(), d, d + n); }
        } collect;
        nw::FileReader fileReader(volume, reader);
        fileReader.ReadFileData(r.firstBlock, byteCount, collect);
        return {collect.bytes, fileReader.UnreadableBytes()};
    }
};

TEST_F(FileLayoutTest, EveryRangeReadsAsTheWholeFileDoes) {
    Use(R"(partition first=63 count=40000
volume V spb=8 blocks=4000
file BIG.BIN size=70000
file ONE.BIN size=4096
file WHOLE.TXT size=300 sub=whole
file TAIL.BIN size=9000 sub=tail
file PACK.DAT size=9000 compressed=marked expanded=30000
file BAD.BIN size=10000
file EMPTY.TXT size=0
bad file=BAD.BIN offset=2 count=3
bad file=BIG.BIN offset=70 count=1
)",
        true);
    MountVolume(0);
    std::size_t checked = 0;
    for (const nw::EntryRecord& r : volume.FileList) {
        SCOPED_TRACE(r.name);
        bool checksumFailed = false;
        const std::uint32_t byteCount =
            r.firstBlock == nw::kChainEnd ? 0 : recovery::BytesToRead(volume, reader, r, &checksumFailed);
        const Whole whole = ReadWhole(r, byteCount);
        const mountfs::FileLayout layout = mountfs::LayOutFile(volume, reader, r.firstBlock, byteCount);
        ASSERT_EQ(layout.length, whole.bytes.size());

        // Ranges of many sizes from many offsets, past the end included.
        std::set<std::uint64_t> unreadable;
        for (std::uint64_t size : {1ull, 511ull, 512ull, 4096ull, 5000ull, 1ull << 20}) {
            for (std::uint64_t offset = 0; offset <= layout.length + 1; offset += 777) {
                std::vector<std::uint8_t> out(size, 0xEE);
                const mountfs::RangeRead got = mountfs::ReadRange(volume, reader, layout, offset, size, out.data());
                const std::uint64_t expect =
                    offset >= whole.bytes.size() ? 0 : std::min<std::uint64_t>(size, whole.bytes.size() - offset);
                ASSERT_EQ(got.bytes, expect) << offset << "+" << size;
                ASSERT_TRUE(std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expect),
                                       whole.bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(offset, whole.bytes.size()))))
                    << offset << "+" << size;
                unreadable.insert(got.unreadableSectors.begin(), got.unreadableSectors.end());
            }
        }
        std::uint64_t unreadableBytes = 0;
        for (std::uint64_t s : unreadable) unreadableBytes += std::min<std::uint64_t>(512, layout.length - s * 512);
        EXPECT_EQ(unreadableBytes, whole.unreadable);
        // The mapfile tells the same sectors before any read.
        const std::vector<std::uint64_t> known = mountfs::KnownUnreadableSectors(volume, reader, layout);
        EXPECT_EQ(std::set<std::uint64_t>(known.begin(), known.end()), unreadable);
        ++checked;
    }
    EXPECT_EQ(checked, 7u);
    const nw::EntryRecord* bad = FindRecord("BAD.BIN");
    ASSERT_NE(bad, nullptr);
    const mountfs::FileLayout badLayout = mountfs::LayOutFile(volume, reader, bad->firstBlock, bad->size);
    EXPECT_EQ(mountfs::KnownUnreadableSectors(volume, reader, badLayout), (std::vector<std::uint64_t>{2, 3, 4}));
}

// The tree holds the save's names: a deleted file beside a live one of its
// name, and no entry lost to a clash.
TEST_F(FileLayoutTest, TheTreeTakesTheSavesNamesAndDeletedFilter) {
    Use(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder DOCS
file NOTE.TXT in=DOCS text="live"
file NOTE.TXT in=DOCS text="gone" deleted
file note.txt in=DOCS text="other"
)");
    MountVolume(0);
    auto names = [&](int deletedMode) {
        mountfs::TreeSettings settings;
        settings.deletedMode = deletedMode;
        mountfs::MountTree tree(volume, reader, settings);
        const std::uint32_t docs = tree.Child(mountfs::kTreeRoot, "DOCS");
        EXPECT_NE(docs, mountfs::kNoTreeNode);
        std::vector<std::string> out;
        if (docs == mountfs::kNoTreeNode) return out;
        for (std::uint32_t c : tree.Node(docs).children) out.push_back(tree.Node(c).name);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(recovery::kIncludeDeleted),
              (std::vector<std::string>{"NOTE (deleted).TXT", "NOTE.TXT", "note (2).txt"}));
    EXPECT_EQ(names(recovery::kExcludeDeleted), (std::vector<std::string>{"NOTE.TXT", "note (2).txt"}));
    EXPECT_EQ(names(recovery::kDeletedOnly), (std::vector<std::string>{"NOTE (deleted).TXT"}));
}

}  // namespace
