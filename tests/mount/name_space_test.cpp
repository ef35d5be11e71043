// Volumes with name spaces beyond DOS: the records of one file found through
// the name list at 0x7C and checked by the primary entry at 0x78, written
// here byte by byte at their literal offsets into a plain built directory.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "MountFixture.h"
#include "netware/EntryMetadata.h"

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

// Names longer than their record holds continue in the extended directory:
// a chain of blocks whose first block the directory's header record (entry
// 0) gives at 0x68 (its mirror at 0x6C). Its 128-byte records are numbered
// from the chain's start; an extent begins with a stamp at 0x00, the byte
// count of the name's rest at 0x04, the entry number of the name-space
// record at 0x08, the name space at 0x0C and the rest from 0x10 (NFS: its
// length at 0x10, the bytes from 0x11), running on into the next records.
// A LONG record gives its extent at 0x5C and its record count at 0x60; an
// NFS record the whole length at 0x34, the count at 0x35, the start at 0x36.
constexpr const char* kExtendedVolume = R"(disk seed=28
partition first=63 count=40000
volume SYS spb=8 blocks=4000 det-blocks=2
file LONG.TXT size=10
file UNIX size=10
file WRONG.TXT size=10
file EXT.DAT size=4096
)";

std::string Letters(std::size_t n, char first) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k) s += static_cast<char>(first + k % 26);
    return s;
}

void WithExtendedNames(nwimage::Image& img) {
    const std::string longName = Letters(200, 'a'), unixName = Letters(100, 'A');
    // LONG.TXT (entry 1): 80 bytes in its record, 120 in extent 1 (two records).
    Record lng = NameRecord(4, longName.substr(0, 80), 1, 0);
    lng[0x0B] = 200;
    Put32(lng, 0x5C, 1);
    lng[0x60] = 2;
    PutRecord(img, 40, lng);
    LinkPrimary(img, 1, 40);
    // UNIX (entry 2): 40 bytes in its NFS record, 60 in extent 3.
    Record nfs = NameRecord(2, unixName.substr(0, 40), 2, 0);
    nfs[0x34] = 100;
    nfs[0x35] = 1;
    Put32(nfs, 0x36, 3);
    PutRecord(img, 41, nfs);
    LinkPrimary(img, 2, 41);
    // WRONG.TXT (entry 3): its extent names another record; the 80 bytes stay.
    Record wrong = NameRecord(4, longName.substr(0, 80), 3, 0);
    wrong[0x0B] = 150;
    Put32(wrong, 0x5C, 4);
    wrong[0x60] = 1;
    PutRecord(img, 42, wrong);
    LinkPrimary(img, 3, 42);

    const nwimage::BuiltVolume& v = img.volumes[0];
    const std::uint32_t extBlock = v.entries[3].blocks.at(0);
    Patch(img, 0, [&](std::uint8_t* e) {
        for (int k = 0; k < 4; ++k) e[0x68 + k] = e[0x6C + k] = static_cast<std::uint8_t>(extBlock >> (8 * k));
    });
    std::vector<std::uint8_t> block(4096, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int k = 0; k < 4; ++k) block[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    };
    put32(128 + 0x00, 0xABA12190);
    put32(128 + 0x04, 120);
    put32(128 + 0x08, 40);
    block[128 + 0x0C] = 4;
    std::memcpy(block.data() + 128 + 0x10, longName.data() + 80, 120);  // runs on into record 2
    put32(384 + 0x00, 0x554E4958);
    put32(384 + 0x08, 41);
    block[384 + 0x0C] = 2;
    block[384 + 0x10] = 60;
    std::memcpy(block.data() + 384 + 0x11, unixName.data() + 40, 60);
    put32(512 + 0x00, 0xABA12190);
    put32(512 + 0x04, 70);
    put32(512 + 0x08, 99);
    block[512 + 0x0C] = 4;
    const std::uint64_t first = v.startSector + std::uint64_t(extBlock) * v.sectorsPerBlock;
    for (std::size_t s = 0; s < 8; ++s) {
        std::array<std::uint8_t, 512> sector{};
        std::memcpy(sector.data(), block.data() + 512 * s, 512);
        img.sectors[first + s] = sector;
    }
}

TEST_F(MountTest, LongAndNfsNamesContinueInTheExtendedDirectory) {
    UseAltered(kExtendedVolume, WithExtendedNames);
    MountVolume(0);
    EXPECT_NE(FindRecord(Letters(200, 'a')), nullptr);
    EXPECT_NE(FindRecord(Letters(80, 'a')), nullptr);  // WRONG.TXT: the extent is not its own
    const nw::EntryRecord* unix = FindRecord(Letters(100, 'A'));
    ASSERT_NE(unix, nullptr);
    EXPECT_EQ(volume.nameSpaces.Find(*unix)->names[0], "UNIX");
}

// Trustee records (0xFFFFFFFE at 0x00; the next record's entry number at
// 0x10, sixteen trustee IDs high byte first at 0x18, their masks at 0x58)
// reached from a file's 0x38 and a folder's 0x2C: each record once, however
// the chain loops, and a chain into a record of another kind ends there.
Record TrusteeRecord(std::uint32_t next, std::uint32_t firstId, unsigned count) {
    Record r{};
    Put32(r, 0x00, 0xFFFFFFFE);
    Put32(r, 0x10, next);
    for (unsigned k = 0; k < count; ++k) {
        const std::uint32_t id = firstId + k;
        for (int b = 0; b < 4; ++b) r[0x18 + 4 * k + b] = static_cast<std::uint8_t>(id >> (24 - 8 * b));
        r[0x58 + 2 * k] = static_cast<std::uint8_t>(k + 1);
    }
    return r;
}

TEST_F(MountTest, TrusteeRecordsOfTheEntrysChainAddTheirTrusteesOnce) {
    UseAltered(kVolume, [](nwimage::Image& img) {
        PutRecord(img, 40, TrusteeRecord(41, 0x100, 16));
        PutRecord(img, 41, TrusteeRecord(40, 0x200, 2));  // back to the first: a loop
        PutRecord(img, 42, TrusteeRecord(4, 0x300, 1));   // on to C.TXT, no trustee record
        Patch(img, 3, [](std::uint8_t* e) { e[0x38] = 40; });  // B.TXT
        Patch(img, 1, [](std::uint8_t* e) { e[0x2C] = 42; });  // DOCS
    });
    MountVolume(0);
    const nw::EntryMetadata b = nw::ReadEntryMetadata(reader, *FindRecord("B.TXT"), &volume);
    ASSERT_EQ(b.trustees.size(), 18u);
    EXPECT_EQ(b.trustees[0], std::make_pair(0x100u, std::uint16_t{1}));
    EXPECT_EQ(b.trustees[15], std::make_pair(0x10Fu, std::uint16_t{16}));
    EXPECT_EQ(b.trustees[17], std::make_pair(0x201u, std::uint16_t{2}));
    const nw::EntryMetadata docs = nw::ReadEntryMetadata(reader, *FindRecord("DOCS"), &volume);
    ASSERT_EQ(docs.trustees.size(), 1u);
    EXPECT_EQ(docs.trustees[0].first, 0x300u);
    EXPECT_FALSE(b.trusteesUnreadable);
}

}  // namespace
}  // namespace mounttest
