// Volumes with name spaces beyond DOS: the records of one file found through
// the name list at 0x7C and checked by the primary entry at 0x78, written
// here byte by byte at their literal offsets into a plain built directory.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "MountFixture.h"

namespace mounttest {
namespace {

using Record = std::array<std::uint8_t, 128>;

void Put32(Record& r, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) r[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// A name-space record: parent at 0x00, name space at 0x0A, name length at
// 0x0B, the name at 0x0C, the primary entry at 0x78, the name list at 0x7C.
Record NameRecord(std::uint8_t nameSpace, const std::string& name, std::uint32_t primary, std::uint32_t next) {
    Record r{};
    r[0x0A] = nameSpace;
    r[0x0B] = static_cast<std::uint8_t>(name.size());
    std::memcpy(r.data() + 0x0C, name.data(), name.size());
    Put32(r, 0x78, primary);
    Put32(r, 0x7C, next);
    return r;
}

// The sector and byte of entry `n` of DET copy `copy` (entry numbers count
// 128-byte records from the table's first block, in chain order).
std::pair<std::uint64_t, std::size_t> EntryPlace(const nwimage::BuiltVolume& v, int copy, std::uint32_t n) {
    const auto& chain = copy == 1 ? v.det1 : v.det2;
    const std::uint32_t perBlock = 4 * v.sectorsPerBlock;
    const std::uint64_t sector = v.startSector + std::uint64_t(chain.at(n / perBlock)) * v.sectorsPerBlock +
                                 (n % perBlock) / 4;
    return {sector, std::size_t(n % 4) * 128};
}

void Patch(nwimage::Image& img, std::uint32_t n, const std::function<void(std::uint8_t*)>& edit) {
    for (int copy : {1, 2}) {
        auto [sector, offset] = EntryPlace(img.volumes[0], copy, n);
        std::array<std::uint8_t, 512> s{};
        img.Read(sector, s.data());
        edit(s.data() + offset);
        img.sectors[sector] = s;
    }
}
void PutRecord(nwimage::Image& img, std::uint32_t n, const Record& r) {
    Patch(img, n, [&](std::uint8_t* e) { std::memcpy(e, r.data(), 128); });
}
// Gives the primary record in entry n its own number at 0x78 and a name list.
void LinkPrimary(nwimage::Image& img, std::uint32_t n, std::uint32_t nameList) {
    Patch(img, n, [&](std::uint8_t* e) {
        for (int k = 0; k < 4; ++k) {
            e[0x78 + k] = static_cast<std::uint8_t>(n >> (8 * k));
            e[0x7C + k] = static_cast<std::uint8_t>(nameList >> (8 * k));
        }
    });
}

// Entry 0 is the table's first record; the described entries take 1..7, the
// first four in sector 0 and the fourth slot (entry 3) held by B.TXT. Block 1
// of the table (entries 32..63) is free for the records laid out by hand.
constexpr const char* kVolume = R"(disk seed=26
partition first=63 count=40000
volume SYS spb=8 blocks=4000 det-blocks=2
folder DOCS
file A.TXT in=DOCS size=100
file B.TXT size=200
file C.TXT size=300
file D.TXT size=400
file E.TXT size=500
file F.TXT size=600
)";

void DosMacLong(nwimage::Image& img) {
    // DOCS (entry 1): MAC in a later sector, LONG in another block.
    LinkPrimary(img, 1, 9);
    PutRecord(img, 9, NameRecord(1, "Docs", 1, 40));
    PutRecord(img, 40, NameRecord(4, "Project Documents", 1, 0));
    // A.TXT (entry 2): LONG in the next sector, after its MAC record.
    LinkPrimary(img, 2, 10);
    PutRecord(img, 10, NameRecord(1, "Annual", 2, 12));
    PutRecord(img, 12, NameRecord(4, "Annual report.txt", 2, 0));
    // B.TXT in the fourth slot (entry 3): its LONG record is in block 1.
    LinkPrimary(img, 3, 33);
    Record mac = NameRecord(1, "Budget Mac", 3, 41);
    Put32(mac, 0x2C, 777);   // resource fork's first block
    Put32(mac, 0x30, 4100);  // resource fork's size
    mac[0x34] = 'T', mac[0x35] = 'E', mac[0x36] = 'X', mac[0x37] = 'T';  // Finder info
    PutRecord(img, 33, mac);
    PutRecord(img, 41, NameRecord(4, "Budget 2007.xls", 3, 0));
    // C.TXT (entry 4): MAC only; its MAC name is preferred to the DOS one.
    LinkPrimary(img, 4, 34);
    PutRecord(img, 34, NameRecord(1, "Cover letter", 4, 0));
    // D.TXT (entry 5): its list leads to a record of another file.
    LinkPrimary(img, 5, 35);
    PutRecord(img, 35, NameRecord(4, "Not mine.txt", 99, 0));
    // E.TXT (entry 6): a record that lists itself.
    LinkPrimary(img, 6, 36);
    PutRecord(img, 36, NameRecord(1, "Loop", 6, 36));
    // F.TXT (entry 7): MAC, then a second MAC record whose LONG must not count.
    LinkPrimary(img, 7, 37);
    PutRecord(img, 37, NameRecord(1, "First", 7, 38));
    PutRecord(img, 38, NameRecord(1, "Second", 7, 39));
    PutRecord(img, 39, NameRecord(4, "Behind a repeated space", 7, 0));
}

TEST_F(MountTest, NameListsGiveEveryEntryItsPreferredNameWhereverTheRecordsLie) {
    UseAltered(kVolume, DosMacLong);
    MountVolume(0);
    // Name-space records are never entries of their own.
    EXPECT_EQ(volume.FolderList.Size(), 2u);  // DOCS and LOST
    EXPECT_EQ(volume.FileList.Size(), 6u);
    std::vector<std::string> paths;
    nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) { paths.push_back(item.path); });
    EXPECT_EQ(paths, (std::vector<std::string>{"Project Documents", "Project Documents\\Annual report.txt", "LOST",
                                               "Budget 2007.xls", "Cover letter", "D.TXT", "Loop", "First"}));

    const nw::EntryRecord* b = FindRecord("Budget 2007.xls");
    ASSERT_NE(b, nullptr);
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(*b);
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->names[0], "B.TXT");
    EXPECT_EQ(ns->names[1], "Budget Mac");
    EXPECT_EQ(ns->names[4], "Budget 2007.xls");
    EXPECT_EQ(ns->present, 0x13);
    EXPECT_EQ(ns->forkFirstBlock, 777u);
    EXPECT_EQ(ns->forkSize, 4100u);
    EXPECT_TRUE(ns->HasFinderInfo());
    const nw::EntryNameSpaces* d = volume.nameSpaces.Find(*FindRecord("D.TXT"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->present, 0x01);
}

TEST_F(MountTest, AChosenNameSpaceNamesEntriesThatHaveItAndOthersKeepThePreference) {
    UseAltered(kVolume, DosMacLong);
    volume.preferredNameSpace = nw::NameSpaceFromText("mac");
    MountVolume(0);
    std::vector<std::string> paths;
    nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) { paths.push_back(item.path); });
    EXPECT_EQ(paths, (std::vector<std::string>{"Docs", "Docs\\Annual", "LOST", "Budget Mac", "Cover letter", "D.TXT", "Loop",
                                               "First"}));
    volume.preferredNameSpace = nw::NameSpaceFromText("dos");
    MountVolume(0);
    EXPECT_NE(FindRecord("B.TXT"), nullptr);
    EXPECT_NE(FindRecord("DOCS"), nullptr);
}

TEST_F(MountTest, AnAdjacentLongNameIsKeptAndAnEmptyNameListAddsNothing) {
    UseAltered(R"(disk seed=27
partition first=63 count=40000
volume SYS spb=8 blocks=4000
file NEAR.TXT long="Adjacent long.txt" size=10
file LAST.TXT long="Long name in the next sector.txt" slot3 size=10
)",
               [](nwimage::Image& img) {
                   // A name list that leads to another LONG record does not
                   // replace the one in the next slot.
                   LinkPrimary(img, 1, 20);
                   PutRecord(img, 20, NameRecord(4, "Listed long.txt", 1, 0));
               });
    MountVolume(0);
    EXPECT_NE(FindRecord("Adjacent long.txt"), nullptr);
    // The fourth slot with an empty name list keeps its short name.
    EXPECT_NE(FindRecord("LAST.TXT"), nullptr);
    EXPECT_EQ(volume.FileList.Size(), 2u);
}

}  // namespace
}  // namespace mounttest
