// The recovery log's byte layout, its file name rule, and the refusal of
// files that do not hold a log this program wrote.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <cstdlib>
#include <new>
#include <random>

#include "common/TempDir.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "records/RecoveryLog.h"
#include "workflow/RecoveryLogs.h"

namespace {

using records::RecoveryLogContents;

nw::EntryRecord Entry(bool folder, const std::string& name, std::uint32_t parent, std::uint32_t own) {
    nw::EntryRecord r;
    r.attributes = folder ? 0x10 : 0x20;
    r.attributesHigh = folder ? 0 : 0x04;
    r.name = name;
    r.parentNumber = parent;
    r.ownNumber = own;
    r.size = folder ? 0 : 1234;
    r.firstBlock = folder ? 0 : 0x80000003u;
    r.timestamp = 0x36A54896u;
    r.deletedMarker = name == "OLD.TXT" ? 7 : 0;
    return r;
}

nw::VolumeDescriptor Volume(const std::string& name, std::uint32_t seed) {
    nw::VolumeDescriptor d;
    d.name = name;
    d.fat1FirstBlock = seed;
    d.fat2FirstBlock = seed + 1;
    d.det1FirstBlock = seed + 2;
    d.det2FirstBlock = seed + 3;
    d.sizeInSectors = 0x100000000ull + seed;
    d.startSector = 2048 + seed;
    d.blockCount = seed * 10;
    d.sectorsPerBlock = 8;
    return d;
}

RecoveryLogContents SmallLog() {
    RecoveryLogContents log;
    log.diskModel = "ST3500 ATA";
    log.mode = 1;
    log.diskNumber = 2;
    log.volume = Volume("SYS", 10);
    log.mountedMark = 1;
    log.volumes = {Volume("SYS", 10), Volume("VOL1", 20), Volume("DATA", 30)};
    log.folders = {Entry(true, "PUBLIC", 0, 5), Entry(true, "DETACHED", 0xFFFFFFFFu, 9),
                   Entry(true, "LOST", 0, 0xFFFFFFFFu)};
    log.files = {Entry(false, "ABCDEFGH.TXT", 5, 0), Entry(false, "OLD.TXT", 9, 0)};
    for (std::size_t i = 0; i < log.suballocationTable.size(); ++i)
        log.suballocationTable[i] = static_cast<std::uint32_t>(i * 3);
    log.fatBlocks = {1, 2, 77, 0xFFFFFFFFu};
    return log;
}

void ExpectSameDescriptor(const nw::VolumeDescriptor& a, const nw::VolumeDescriptor& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.fat1FirstBlock, b.fat1FirstBlock);
    EXPECT_EQ(a.fat2FirstBlock, b.fat2FirstBlock);
    EXPECT_EQ(a.det1FirstBlock, b.det1FirstBlock);
    EXPECT_EQ(a.det2FirstBlock, b.det2FirstBlock);
    EXPECT_EQ(a.sizeInSectors, b.sizeInSectors);
    EXPECT_EQ(a.startSector, b.startSector);
    EXPECT_EQ(a.blockCount, b.blockCount);
    EXPECT_EQ(a.sectorsPerBlock, b.sectorsPerBlock);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) { return nw::LoadLe32(b.data() + at); }

TEST(RecoveryLogBytes, FieldsFollowEachOtherWithoutPadding) {
    const RecoveryLogContents log = SmallLog();
    const std::vector<std::uint8_t> b = records::EncodeRecoveryLog(log);

    EXPECT_EQ(std::string(b.begin(), b.begin() + 30), "Kelmora Tarvine Novell 2.06.04");
    EXPECT_EQ(Le32(b, 30), 10u);
    EXPECT_EQ(std::string(b.begin() + 34, b.begin() + 44), "ST3500 ATA");
    EXPECT_EQ(b[44], 1);  // mode
    EXPECT_EQ(b[45], 2);  // disk number
    EXPECT_EQ(b[46], 3);  // name length
    EXPECT_EQ(std::string(b.begin() + 47, b.begin() + 50), "SYS");
    EXPECT_EQ(Le32(b, 50), 10u);
    EXPECT_EQ(Le32(b, 62), 13u);
    EXPECT_EQ(nw::LoadLe64(b.data() + 66), 0x10000000Aull);
    EXPECT_EQ(nw::LoadLe64(b.data() + 74), 2058u);
    EXPECT_EQ(Le32(b, 82), 100u);
    EXPECT_EQ(Le32(b, 86), 8u);
    EXPECT_EQ(nw::LoadLe16(b.data() + 90), 1u);
    EXPECT_EQ(b[92], 3);  // volume count

    // Volume records are M + 41 bytes.
    std::size_t at = 93;
    for (const auto& v : log.volumes) {
        EXPECT_EQ(b[at], v.name.size());
        at += v.name.size() + 41;
    }
    EXPECT_EQ(Le32(b, at), 3u);  // folders
    at += 4;
    for (int i = 0; i < 3; ++i) at += 4 + Le32(b, at);
    EXPECT_EQ(Le32(b, at), 2u);  // files
    at += 4;
    // A 12-character name: R = 38, the stored record 42 bytes.
    EXPECT_EQ(Le32(b, at), 38u);
    EXPECT_EQ(b[at + 4], 0x20);
    EXPECT_EQ(b[at + 5], 0x04);
    EXPECT_EQ(std::string(b.begin() + at + 6, b.begin() + at + 18), "ABCDEFGH.TXT");
    EXPECT_EQ(Le32(b, at + 18), 5u);           // parent
    EXPECT_EQ(Le32(b, at + 26), 1234u);        // size
    EXPECT_EQ(Le32(b, at + 30), 0x80000003u);  // first block
    EXPECT_EQ(Le32(b, at + 34), 0x36A54896u);  // timestamp
    at += 42;
    at += 4 + Le32(b, at);
    EXPECT_EQ(Le32(b, at), 0u);  // suballocation entry 0
    EXPECT_EQ(Le32(b, at + 4 * 139), 139u * 3);
    at += 560;
    EXPECT_EQ(Le32(b, at), 4u);
    EXPECT_EQ(Le32(b, at + 16), 0xFFFFFFFFu);
    EXPECT_EQ(at + 20, b.size());
}

TEST(RecoveryLogBytes, DecodingAndEncodingAgainGivesTheSameBytes) {
    const std::vector<std::uint8_t> first = records::EncodeRecoveryLog(SmallLog());
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::DecodeRecoveryLog(first.data(), first.size(), &back, &reason)) << reason;
    EXPECT_EQ(records::EncodeRecoveryLog(back), first);
    ASSERT_EQ(back.volumes.size(), 3u);
    ExpectSameDescriptor(back.volumes[1], Volume("VOL1", 20));
    EXPECT_EQ(back.folders[1].parentNumber, 0xFFFFFFFFu);
    EXPECT_EQ(back.files[1].deletedMarker, 7u);
}

TEST(RecoveryLogBytes, OverlongNamesAreCutSoLengthsMatchTheBytes) {
    RecoveryLogContents log = SmallLog();
    log.volumes[0].name = std::string(300, 'V');
    log.files[0].name = std::string(400, 'f');
    const std::vector<std::uint8_t> bytes = records::EncodeRecoveryLog(log);
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::DecodeRecoveryLog(bytes.data(), bytes.size(), &back, &reason)) << reason;
    EXPECT_EQ(back.volumes[0].name, std::string(255, 'V'));
    EXPECT_EQ(back.files[0].name, std::string(254, 'f'));
    EXPECT_EQ(back.files[1].name, "OLD.TXT");
}

TEST(RecoveryLogName, UpperCasesTheFileNameAndAddsSav) {
    EXPECT_EQ(records::LogFileNameFor("/home/ann/logs/job"), "/home/ann/logs/JOB.SAV");
    EXPECT_EQ(records::LogFileNameFor("/tmp/Mixed/job.sav"), "/tmp/Mixed/JOB.SAV");
    EXPECT_EQ(records::LogFileNameFor("/tmp/jobxsav"), "/tmp/JOBXSAV");
    EXPECT_EQ(records::LogFileNameFor("job.txt"), "JOB.TXT.SAV");
    EXPECT_EQ(records::LogFileNameFor("sa"), "SA.SAV");
}

// ---- refusals ----------------------------------------------------------------

std::string RefusalOf(std::vector<std::uint8_t> bytes) {
    RecoveryLogContents back;
    std::string reason;
    if (records::DecodeRecoveryLog(bytes.data(), bytes.size(), &back, &reason)) return "accepted";
    EXPECT_FALSE(reason.empty());
    return reason;
}

TEST(RecoveryLogRefusal, EveryTruncationIsRefused) {
    const std::vector<std::uint8_t> full = records::EncodeRecoveryLog(SmallLog());
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_NE(RefusalOf(std::vector<std::uint8_t>(full.begin(), full.begin() + n)), "accepted") << n;
    std::vector<std::uint8_t> longer = full;
    longer.push_back(0);
    EXPECT_NE(RefusalOf(longer), "accepted");
}

TEST(RecoveryLogRefusal, ForeignAndOversizedFieldsAreRefused) {
    const std::vector<std::uint8_t> good = records::EncodeRecoveryLog(SmallLog());
    auto patched = [&](std::size_t at, std::uint32_t value, int width) {
        std::vector<std::uint8_t> b = good;
        for (int i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    EXPECT_NE(RefusalOf(patched(0, 'k', 1)), "accepted");               // header
    EXPECT_NE(RefusalOf(patched(30, 0xFFFFFFF0u, 4)), "accepted");      // model length
    EXPECT_NE(RefusalOf(patched(44, 3, 1)), "accepted");                // raw mode
    EXPECT_NE(RefusalOf(patched(46, 200, 1)), "accepted");              // volume name length
    EXPECT_NE(RefusalOf(patched(92, 34, 1)), "accepted");               // 34 volumes, more than follow

    // Counts and record lengths, located by walking the records.
    std::size_t at = 93;
    for (int i = 0; i < 3; ++i) at += good[at] + 41;
    const std::size_t folderCount = at;
    EXPECT_NE(RefusalOf(patched(folderCount, 0x7FFFFFFFu, 4)), "accepted");
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 25, 4)), "accepted");   // shorter than 26
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 281, 4)), "accepted");  // 255-byte name
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 0xFFFFFFFFu, 4)), "accepted");
    const std::size_t fatCount = good.size() - 4 - 16;
    EXPECT_NE(RefusalOf(patched(fatCount, 5, 4)), "accepted");
    EXPECT_NE(RefusalOf(patched(fatCount, 3, 4)), "accepted");  // leaves bytes over
    EXPECT_EQ(RefusalOf(good), "accepted");
}

// A list of more than 33 volumes: the count byte says how many records
// follow, and a count the file cannot hold is still refused.
TEST(RecoveryLogBytes, FortyVolumesRoundTripAndCountsBeyondTheFileAreRefused) {
    RecoveryLogContents log = SmallLog();
    log.volumes.clear();
    for (std::uint32_t i = 0; i < 40; ++i) log.volumes.push_back(Volume("V" + std::to_string(i), i));
    const std::vector<std::uint8_t> b = records::EncodeRecoveryLog(log);
    ASSERT_GT(b.size(), 93u);
    EXPECT_EQ(b[92], 40);
    std::size_t at = 93;
    for (std::uint32_t i = 0; i < 40; ++i) {
        const std::string name = "V" + std::to_string(i);
        ASSERT_EQ(b[at], name.size()) << i;
        EXPECT_EQ(std::string(b.begin() + at + 1, b.begin() + at + 1 + name.size()), name);
        EXPECT_EQ(Le32(b, at + 1 + name.size()), i);                            // fat1
        EXPECT_EQ(nw::LoadLe64(b.data() + at + 1 + name.size() + 24), 2048u + i);  // start sector
        at += name.size() + 41;
    }
    EXPECT_EQ(Le32(b, at), 3u);  // the folder count follows the last record

    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::DecodeRecoveryLog(b.data(), b.size(), &back, &reason)) << reason;
    ASSERT_EQ(back.volumes.size(), 40u);
    ExpectSameDescriptor(back.volumes[33], Volume("V33", 33));
    ExpectSameDescriptor(back.volumes[39], Volume("V39", 39));
    EXPECT_EQ(records::EncodeRecoveryLog(back), b);

    std::vector<std::uint8_t> more = b;
    more[92] = 41;  // one record more than the list holds
    EXPECT_NE(RefusalOf(more), "accepted");
    std::vector<std::uint8_t> small = records::EncodeRecoveryLog(SmallLog());
    small[92] = 255;
    EXPECT_EQ(RefusalOf(small), "the volume count is larger than the file can hold");
}

TEST(RecoveryLogRefusal, RandomDamageNeverCrashes) {
    const std::vector<std::uint8_t> good = records::EncodeRecoveryLog(SmallLog());
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> b = good;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        if (rng() % 4 == 0) b.resize(rng() % b.size());
        RecoveryLogContents back;
        std::string reason;
        if (records::DecodeRecoveryLog(b.data(), b.size(), &back, &reason)) {
            // Whatever is accepted re-encodes to the same bytes.
            EXPECT_EQ(records::EncodeRecoveryLog(back), b);
        }
    }
}

// The largest single allocation made while `counting` is set (operator new
// is replaced for this test program).
std::atomic<bool> counting{false};
std::atomic<std::size_t> largestAllocation{0};

}  // namespace

// (malloc and free pair up here; GCC cannot see that through the replacement.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
        while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Runs `load` and gives the largest allocation it made.
template <typename Fn>
std::size_t LargestAllocationOf(Fn&& load) {
    largestAllocation = 0;
    counting = true;
    load();
    counting = false;
    return largestAllocation.load();
}

// ---- loading into a session's objects ---------------------------------------------

class LoadLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.File("JOB.SAV");
        std::string reason;
        ASSERT_TRUE(records::WriteRecoveryLogFile(path, SmallLog(), &reason)) << reason;
    }
    std::vector<std::string> ChildTexts(std::uint32_t node) const {
        std::vector<std::string> out;
        for (std::uint32_t c = mounted.tree.FirstChild(node); c != nw::kNoNode; c = mounted.tree.NextSibling(c))
            out.push_back(nw::NodeText(mounted, c));
        return out;
    }
    testutil::TempDir dir;
    std::string path;
    nw::FoundVolumes found;
    nw::MountedVolume mounted;
};

// Counts and sizes in a small file are never trusted beyond what the file
// can hold: a 1 KB log claiming huge counts, a record longer than the file,
// or a volume with blocks larger than any volume has (a file read through it
// would take gigabytes a block) is refused, with no large allocation on the
// way; and a large log is read in pieces, never whole.
TEST_F(LoadLogTest, HugeClaimsAreRefusedWithoutLargeAllocations) {
    const std::vector<std::uint8_t> good = records::EncodeRecoveryLog(SmallLog());
    auto patched = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        b.resize(1024, 0);
        return b;
    };
    std::size_t folderCount = 93;
    for (int i = 0; i < 3; ++i) folderCount += good[folderCount] + 41;
    const std::size_t sectorsPerBlock = 47 + 3 + 4 * 4 + 8 + 8 + 4;  // the mounted volume's
    RecoveryLogContents big = SmallLog();
    big.volume.sectorsPerBlock = 0x400000;
    std::vector<std::uint8_t> bigBlocks = records::EncodeRecoveryLog(big);
    ASSERT_EQ(Le32(bigBlocks, sectorsPerBlock), 0x400000u);
    big = SmallLog();
    big.volumes[1].sectorsPerBlock = 256;
    const std::vector<std::uint8_t> bigListedBlocks = records::EncodeRecoveryLog(big);
    const std::vector<std::vector<std::uint8_t>> claims = {
        patched(30, 0xFFFFFFF0u),              // the model's length
        patched(folderCount, 0xFFFFFFFFu),     // folders
        patched(folderCount + 4, 0xFFFFFFF0u), // one record's length
        patched(good.size() - 4 - 16, 0x3FFFFFFFu),  // FAT blocks (inside the 1 KB)
        bigBlocks, bigListedBlocks};
    for (std::size_t i = 0; i < claims.size(); ++i) {
        SCOPED_TRACE(i);
        testutil::WriteFile(path, std::string(claims[i].begin(), claims[i].end()));
        std::filesystem::remove(records::LogChecksumPathFor(path));
        records::LoadLogResult r;
        const std::size_t largest = LargestAllocationOf([&] { r = records::LoadMounted(path, mounted); });
        EXPECT_FALSE(r.taken);
        EXPECT_LT(largest, 256u * 1024);
        EXPECT_FALSE(records::LoadVolumeList(path, found).taken);
    }

    // 200,000 files (about 7 MB) are read in pieces: no allocation near the
    // file's size.
    RecoveryLogContents many = SmallLog();
    for (std::uint32_t i = 0; i < 200000; ++i) many.files.push_back(Entry(false, "F" + std::to_string(i), 5, 0));
    std::string reason;
    ASSERT_TRUE(records::WriteRecoveryLogFile(path, many, &reason)) << reason;
    many = RecoveryLogContents{};
    ASSERT_GT(std::filesystem::file_size(path), 6u << 20);
    records::LoadLogResult r;
    EXPECT_LT(LargestAllocationOf([&] { r = records::CheckLog(path); }), 256u * 1024);
    EXPECT_TRUE(r.taken) << r.message;
}

TEST_F(LoadLogTest, DiskStageRestoresTheVolumeListOnTheLogsDisk) {
    const records::LoadLogResult r = records::LoadVolumeList(path, found);
    ASSERT_TRUE(r.taken) << r.message;
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.mode, 1);  // Quick
    EXPECT_EQ(r.diskNumber, 2);
    EXPECT_EQ(r.diskModel, "ST3500 ATA");
    ASSERT_EQ(found.Count(), 3u);
    ExpectSameDescriptor(found.At(2).value(), Volume("DATA", 30));
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < found.Count(); ++i) {
        names.push_back(found.At(i).value().name);
        EXPECT_EQ(found.At(i).value().disk, 2u);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"SYS", "VOL1", "DATA"}));
    EXPECT_FALSE(found.At(3));
}

TEST_F(LoadLogTest, VolumeStageRestoresListsWithZeroBasedOrdinalsTablesAndTree) {
    const records::LoadLogResult r = records::LoadMounted(path, mounted);
    ASSERT_TRUE(r.taken) << r.message;
    EXPECT_EQ(r.mode, 1);
    ExpectSameDescriptor(mounted.currentVolume, Volume("SYS", 10));
    EXPECT_EQ(mounted.currentVolume.disk, 2u);
    EXPECT_EQ(mounted.mountedMark, 1);
    ASSERT_EQ(mounted.FolderList.Size(), 3u);
    ASSERT_EQ(mounted.FileList.Size(), 2u);
    EXPECT_EQ(mounted.folderCount, 3u);
    EXPECT_EQ(mounted.fileCount, 2u);
    EXPECT_EQ(mounted.FileList[0].ordinal, 0u);
    EXPECT_EQ(mounted.FileList[1].ordinal, 1u);
    EXPECT_EQ(mounted.FolderList[2].ordinal, 2u);
    EXPECT_EQ(mounted.FileList[0].det1Sector, 0u);
    // No lost-folder pass: the detached folder keeps its stored parent.
    EXPECT_EQ(mounted.FolderList[1].parentNumber, 0xFFFFFFFFu);

    EXPECT_EQ(mounted.SuballocationTable[139], 139u * 3);
    ASSERT_EQ(mounted.FatBlockList.size(), 4u);
    EXPECT_EQ(mounted.FatBlockList[2].block, 77u);
    EXPECT_EQ(mounted.FatBlockList[3].sequence, 3u);

    // Tree: SYS > PUBLIC, LOST > DETACHED.
    EXPECT_EQ(mounted.tree.RootText(), "SYS");
    EXPECT_EQ(mounted.tree.FolderNodeCount(), 3u);
    EXPECT_EQ(ChildTexts(nw::kRootNode), (std::vector<std::string>{"PUBLIC", "LOST"}));
    EXPECT_EQ(nw::ShownPath(mounted, nw::kRootNode), "SYS:\\");
    nw::PathMatch detached;
    ASSERT_TRUE(nw::FindEntryByPath(mounted, "LOST\\DETACHED", &detached));
    EXPECT_EQ(mounted.FolderList[1].treeNode, detached.node);

    // Loading again replaces what the first load took.
    ASSERT_TRUE(records::LoadMounted(path, mounted).taken);
    EXPECT_EQ(mounted.FolderList.Size(), 3u);
    EXPECT_EQ(mounted.tree.FolderNodeCount(), 3u);
}

TEST_F(LoadLogTest, RefusedFilesChangeNothing) {
    const std::string good = testutil::ReadFile(path);
    testutil::WriteFile(dir.File("cut.sav"), good.substr(0, good.size() - 3));
    testutil::WriteFile(dir.File("foreign.sav"), "Some other program's saved state, not ours.");

    nw::VolumeDescriptor other = Volume("OTHER", 99);
    found.Add(other);
    nw::EntryRecord keep = Entry(true, "KEEP", 0, 3);
    mounted.currentVolume = other;
    mounted.FolderList.Append(keep);
    nw::PopulateFolderTree(mounted);
    std::string last;
    for (const char* name : {"cut.sav", "foreign.sav", "missing.sav"}) {
        for (int stage = 0; stage < 3; ++stage) {
            const records::LoadLogResult r = stage == 0   ? records::LoadVolumeList(dir.File(name), found)
                                             : stage == 1 ? records::LoadMounted(dir.File(name), mounted)
                                                          : records::CheckLog(dir.File(name));
            EXPECT_FALSE(r.taken) << name;
            EXPECT_FALSE(r.outOfMemory);
            EXPECT_EQ(r.message.rfind("Unable to open file", 0), 0u) << r.message;
            last = r.message;
        }
        ASSERT_EQ(found.Count(), 1u);
        EXPECT_EQ(found.At(0).value().name, "OTHER");
        EXPECT_EQ(mounted.currentVolume.name, "OTHER");
        ASSERT_EQ(mounted.FolderList.Size(), 1u);
        EXPECT_EQ(mounted.FolderList[0].name, "KEEP");
        EXPECT_EQ(mounted.tree.FolderNodeCount(), 1u);
    }
    // A file that is not there: its path and the system's reason.
    EXPECT_EQ(last, "Unable to open file: " + dir.File("missing.sav") + ": No such file or directory");
    const records::LoadLogResult checked = records::CheckLog(path);
    EXPECT_TRUE(checked.taken);
    EXPECT_EQ(checked.diskNumber, 2);
}

TEST_F(LoadLogTest, RawModeIsRefused) {
    workflow::MemorySettingsStore store;
    workflow::Session session(store);
    session.recoveryMode = workflow::kModeRaw;
    const workflow::LogLoaded r = workflow::LoadVolumeList(session, path);
    EXPECT_FALSE(r.loaded);
    ASSERT_TRUE(r.notice.has_value());
    EXPECT_EQ(r.notice->text, "This feature can not be used while running under raw recovery");
    EXPECT_EQ(session.found.Count(), 0u);
    EXPECT_EQ(session.recoveryMode.load(), workflow::kModeRaw);
}

// Every found volume is saved up to the 255 the count byte holds; a longer
// list is refused without touching any file rather than saved in part.
TEST_F(LoadLogTest, SaveKeepsEveryVolumeUpTo255AndRefusesMore) {
    nw::VolumeDescriptor d = Volume("V", 1);
    for (int i = 0; i < 40; ++i) found.Add(d);
    records::SaveLogResult saved = records::SaveLog(dir.File("forty"), "MODEL", 2, 1, found, mounted);
    ASSERT_TRUE(saved.written) << saved.message;
    nw::FoundVolumes back;
    ASSERT_TRUE(records::LoadVolumeList(saved.path, back).taken);
    EXPECT_EQ(back.Count(), 40u);

    while (found.Count() < 255) found.Add(d);
    saved = records::SaveLog(dir.File("full"), "MODEL", 2, 1, found, mounted);
    ASSERT_TRUE(saved.written) << saved.message;
    ASSERT_TRUE(records::LoadVolumeList(saved.path, back).taken);
    EXPECT_EQ(back.Count(), 255u);

    found.Add(d);
    saved = records::SaveLog(dir.File("over"), "MODEL", 2, 1, found, mounted);
    EXPECT_FALSE(saved.written);
    EXPECT_EQ(saved.message, "The log can list at most 255 volumes, 256 were found: the log was not saved");
    EXPECT_FALSE(std::filesystem::exists(saved.path));
    RecoveryLogContents log = SmallLog();
    log.volumes.assign(256, d);
    EXPECT_TRUE(records::EncodeRecoveryLog(log).empty());
}

TEST_F(LoadLogTest, SaveNamesTheFileAndKeepsTheOldOneWhenItCannotWrite) {
    mounted.FolderList.Append(Entry(true, "PUBLIC", 0, 5));
    const records::SaveLogResult saved = records::SaveLog(dir.File("next"), "MODEL", 2, 1, found, mounted);
    ASSERT_TRUE(saved.written) << saved.message;
    EXPECT_EQ(saved.path, dir.File("NEXT.SAV"));
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::ReadRecoveryLogFile(saved.path, &back, &reason)) << reason;
    ASSERT_EQ(back.folders.size(), 1u);
    EXPECT_EQ(back.folders[0].name, "PUBLIC");
    EXPECT_EQ(back.diskModel, "MODEL");
    EXPECT_EQ(back.mode, 2);
    EXPECT_EQ(back.diskNumber, 1);
    // The captured form is the same log.
    const std::string bytes = testutil::ReadFile(saved.path);
    EXPECT_EQ(records::EncodeRecoveryLog(records::CaptureRecoveryLog("MODEL", 2, 1, found, mounted)),
              std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

    const records::SaveLogResult refused = records::SaveLog(dir.File("no-such-folder/job"), "", 1, 0, found, mounted);
    EXPECT_FALSE(refused.written);
    EXPECT_EQ(refused.message, "Unable to open file");
    EXPECT_EQ(refused.path, dir.File("no-such-folder/JOB.SAV"));
}

}  // namespace
