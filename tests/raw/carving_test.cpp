// Carving over builder images: names, kinds, counts and bytes of the written
// files for the layouts a raw scan meets.
#include <sys/resource.h>

#include <cerrno>
#include <csignal>

#include "raw/Carving.h"
#include "workflow/Texts.h"
#include "raw/RawScan.h"
#include "tests/raw/RawFixture.h"

namespace rawtest {
namespace {

using nwimage::DocKind;
using nwimage::MakeDocument;

Bytes Prefix(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }

TEST_F(RawTest, EachKindIsWrittenWithItsNumberNameAndBytes) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 4000;
    desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 200, 6144, 2),
                      Doc(DocKind::PowerPoint, 900, 20480, 3), Doc(DocKind::Excel5, 2000, 4096, 4),
                      Doc(DocKind::Zip, 3000, 30720, 5)};
    Use(desc);
    ASSERT_EQ(Scan(), Outcome::Started);

    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "PPT3.PPT", "XLS2.XLS", "XLS4.XLS", "ZIP5.ZIP"}));
    EXPECT_EQ(ReadOut("DOC1.DOC"), MakeDocument(DocKind::Word, 8192, 1));
    EXPECT_EQ(ReadOut("XLS2.XLS"), MakeDocument(DocKind::Excel, 6144, 2));
    EXPECT_EQ(ReadOut("PPT3.PPT"), MakeDocument(DocKind::PowerPoint, 20480, 3));
    EXPECT_EQ(ReadOut("ZIP5.ZIP"), MakeDocument(DocKind::Zip, 30720, 5));
    // An Excel 5 stream has no recorded length: it ends before the sector
    // holding its worksheet marker (its last one).
    EXPECT_EQ(ReadOut("XLS4.XLS"), Prefix(MakeDocument(DocKind::Excel5, 4096, 4), 7 * 512));

    EXPECT_EQ(result.typeCounts, (std::array<int, 4>{1, 2, 1, 1}));
    EXPECT_EQ(result.documentsWritten, 5);
    std::vector<std::string> rows;
    for (int k = 0; k < raw::kinds::kCount; ++k) rows.push_back(workflow::FilesRecoveredRowText(k, result.typeCounts[k]));
    EXPECT_EQ(rows, (std::vector<std::string>{"Total Word File(s) Recovered :  1", "Total Excel File(s) Recovered :  2",
                                              "Total PowerPoint File(s) Recovered :  1",
                                              "Total Zip File(s) Recovered :  1"}));
    // Each document is reported with its number, kind, first sector and size.
    ASSERT_EQ(panel.carved.size(), 5u);
    EXPECT_EQ(panel.carved[2].number, 3);
    EXPECT_EQ(panel.carved[2].kind, raw::kinds::kPowerPoint);
    EXPECT_EQ(panel.carved[2].firstSector, 900u);
    EXPECT_EQ(panel.carved[2].bytes, MakeDocument(DocKind::PowerPoint, 20480, 3).size());
    EXPECT_EQ(panel.carved[2].state, raw::DocumentState::Whole);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(RawTest, TwoDocumentsInOneWindowAreBothWrittenWhole) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Word, 150, 16384, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "DOC2.DOC"}));
    EXPECT_EQ(ReadOut("DOC1.DOC"), MakeDocument(DocKind::Word, 8192, 1));
    EXPECT_EQ(ReadOut("DOC2.DOC"), MakeDocument(DocKind::Word, 16384, 2));
    EXPECT_EQ(result.typeCounts[raw::kinds::kWord], 2);
}

TEST_F(RawTest, EndInALaterWindowContinuesThenRereadsThatWindow) {
    // An Excel 5 stream (no recorded length) of 1399 sectors from 500: its
    // marker lies in window 1600..2399, which also holds a workbook of its
    // own. The chunked copy runs on one chunk past the marker sector.
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    const Bytes stream = MakeDocument(DocKind::Excel5, 1399 * 512, 1);
    desc.raw = {RawAt(500, stream)};
    desc.documents = {Doc(DocKind::Excel, 2000, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS", "XLS2.XLS"}));
    Bytes expected = stream;
    expected.resize(1416 * 512, 0);
    EXPECT_EQ(ReadOut("XLS1.XLS"), expected);
    EXPECT_EQ(ReadOut("XLS2.XLS"), MakeDocument(DocKind::Excel, 8192, 2));
    EXPECT_EQ(std::count(panel.status.begin(), panel.status.end(), " Searching Sector :- 1600"), 2)
        << "the window that ended the continued document is read again";
}

TEST_F(RawTest, ZipAndExcel5BelowACompoundHeaderOfTheSameWindowAreFoundToo) {
    // Every header at a sector start is a candidate, whatever its record:
    // an archive or an Excel 5 stream in front of a compound document of
    // the same window is not lost.
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Zip, 100, 4096, 1), Doc(DocKind::Excel5, 200, 4096, 4),
                      Doc(DocKind::Word, 300, 8192, 2), Doc(DocKind::Zip, 1000, 4096, 3)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC3.DOC", "XLS2.XLS", "ZIP1.ZIP", "ZIP4.ZIP"}));
    EXPECT_EQ(ReadOut("ZIP1.ZIP"), MakeDocument(DocKind::Zip, 4096, 1));
    EXPECT_EQ(ReadOut("XLS2.XLS"), Prefix(MakeDocument(DocKind::Excel5, 4096, 4), 7 * 512));
    EXPECT_EQ(ReadOut("DOC3.DOC"), MakeDocument(DocKind::Word, 8192, 2));
    EXPECT_EQ(ReadOut("ZIP4.ZIP"), MakeDocument(DocKind::Zip, 4096, 3));
}

TEST_F(RawTest, ArchiveMemberStartingASectorStaysInItsArchive) {
    // The second member's local header lands on sector start + 2, the third
    // one's on start + 4: the archive is written whole, once, and its members
    // are no documents of their own. A compound document planted inside a
    // second archive's extent is another document: that archive keeps the
    // marker rule's end.
    std::vector<std::size_t> at;
    const Bytes zip = StoredZip({1024 - 32, 1024 - 32, 3000}, "", false, &at);
    ASSERT_EQ(at[1], 1024u);
    ASSERT_EQ(at[2], 2048u);
    Bytes foreign = StoredZip({1024 - 32, 20000});
    const Bytes word = MakeDocument(DocKind::Word, 8192, 9);
    std::copy(word.begin(), word.end(), foreign.begin() + 4 * 512);  // inside the second member's body
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    desc.raw = {RawAt(100, zip), RawAt(1000, foreign)};
    desc.documents = {Doc(DocKind::Excel, 300, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC5.DOC", "XLS2.XLS", "ZIP1.ZIP", "ZIP3.ZIP", "ZIP4.ZIP"}));
    EXPECT_EQ(ReadOut("ZIP1.ZIP"), zip);
    EXPECT_EQ(ReadOut("XLS2.XLS"), MakeDocument(DocKind::Excel, 8192, 2));
    EXPECT_EQ(ReadOut("DOC5.DOC"), word);
    // The marker rule: each piece ends before the next header.
    EXPECT_EQ(ReadOut("ZIP3.ZIP"), Prefix(foreign, 512));
    EXPECT_EQ(ReadOut("ZIP4.ZIP"), Bytes(foreign.begin() + 2 * 512, foreign.begin() + 3 * 512));
    EXPECT_EQ(result.typeCounts[raw::kinds::kZip], 3);
}

TEST_F(RawTest, ArchiveWithAMemberInItsWindowAndItsEndInTheNextIsWrittenWhole) {
    // Starts at sector 795 of window 0..799, members at 797 and 799, end
    // record in the next window, which also holds a workbook.
    std::vector<std::size_t> at;
    const Bytes zip = StoredZip({1024 - 32, 1024 - 32, 6000}, "", false, &at);
    ASSERT_EQ(at[2], 2048u);
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    desc.raw = {RawAt(795, zip)};
    desc.documents = {Doc(DocKind::Excel, 900, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS2.XLS", "ZIP1.ZIP"}));
    EXPECT_EQ(ReadOut("ZIP1.ZIP"), zip);
    EXPECT_EQ(ReadOut("XLS2.XLS"), MakeDocument(DocKind::Excel, 8192, 2));
}

TEST_F(RawTest, DocumentAtSectorZeroIsNeverWrittenNorNumbered) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 0, 8192, 1), Doc(DocKind::Excel, 300, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
    EXPECT_EQ(ReadOut("XLS1.XLS"), MakeDocument(DocKind::Excel, 8192, 2));
}

TEST_F(RawTest, UncheckedKindUsesUpItsNumber) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Excel, 100, 8192, 1), Doc(DocKind::Word, 300, 8192, 2),
                      Doc(DocKind::Excel5, 1000, 4096, 3)};
    Use(desc);
    panel.checked = {true, false, false, false};
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC2.DOC"}));
    EXPECT_EQ(result.typeCounts, (std::array<int, 4>{1, 0, 0, 0}));
}

TEST_F(RawTest, OnlyCheckedKindsAreWrittenAndCounted) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 300, 8192, 2),
                      Doc(DocKind::Excel5, 1000, 4096, 3)};
    Use(desc);
    panel.checked = {false, true, false, true};
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS2.XLS", "XLS3.XLS"}));
    EXPECT_EQ(result.typeCounts, (std::array<int, 4>{0, 2, 0, 0}));
}

TEST_F(RawTest, CompoundDocumentOverFiveMiBIsWrittenWhole) {
    const Bytes book = LargeCompound(DocKind::Excel, 12288);
    ASSERT_GT(book.size(), 6u * 1024 * 1024);
    nwimage::DiskSpec desc;
    desc.totalSectors = 16000;
    desc.raw = {RawAt(1000, book)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
    EXPECT_EQ(ReadOut("XLS1.XLS"), book);
}

TEST_F(RawTest, DocumentOfUnknownLengthIsCutPastFiveMiB) {
    const std::uint32_t size = 6 * 1024 * 1024;
    nwimage::DiskSpec desc;
    desc.totalSectors = 16000;
    desc.documents = {Doc(DocKind::Excel5, 1000, size, 9)};
    Use(desc);
    Scan();
    const Bytes got = ReadOut("XLS1.XLS");
    ASSERT_EQ(got.size(), 5242880u + 10240u);
    EXPECT_EQ(got, Prefix(MakeDocument(DocKind::Excel5, size, 9), got.size()));
}

TEST_F(RawTest, LongExcel5StreamIsCopiedInChunksThroughItsMarkerSector) {
    // 30 sectors: the chunked copy runs on from the marker sector for one
    // more chunk of the last chunk's length (here into zeros).
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Excel5, 100, 30 * 512, 4)};
    Use(desc);
    Scan();
    Bytes expected = MakeDocument(DocKind::Excel5, 30 * 512, 4);
    expected.resize(38 * 512, 0);
    EXPECT_EQ(ReadOut("XLS1.XLS"), expected);
}

TEST_F(RawTest, DirectoryNearTheStartDoesNotCutTheDocument) {
    const Bytes small = DirectoryFirstCompound("Workbook", 60);
    const Bytes large = DirectoryFirstCompound("PowerPoint Document", 40, 4096);
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    desc.raw = {RawAt(100, small), RawAt(1000, large)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"PPT2.PPT", "XLS1.XLS"}));
    EXPECT_EQ(ReadOut("XLS1.XLS"), small);
    EXPECT_EQ(ReadOut("PPT2.PPT"), large);
}

TEST_F(RawTest, StructureRunningIntoTheNextDocumentIsIncomplete) {
    // Each directory-first document claims 62 sectors but only 12 are laid
    // down before the next document begins: inside the window, and past its
    // end (the following header is then read ahead). Each is written up to
    // the next document, under the kind its directory names.
    const Bytes claimed = DirectoryFirstCompound("Workbook", 60);
    const Bytes laid = Prefix(claimed, 12 * 512);
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    desc.raw = {RawAt(100, laid), RawAt(1580, laid)};
    desc.documents = {Doc(DocKind::Word, 130, 8192, 1), Doc(DocKind::Word, 1610, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(),
              (std::vector<std::string>{"DOC2.DOC", "DOC4.DOC", "XLS1-incomplete.XLS", "XLS3-incomplete.XLS"}));
    EXPECT_EQ(ReadOut("DOC2.DOC"), MakeDocument(DocKind::Word, 8192, 1));
    Bytes found = laid;
    found.resize(30 * 512, 0);  // the free sectors up to the next document
    EXPECT_EQ(ReadOut("XLS1-incomplete.XLS"), found);
    EXPECT_EQ(ReadOut("XLS3-incomplete.XLS"), found);
    EXPECT_EQ(ReadOut("DOC4.DOC"), MakeDocument(DocKind::Word, 8192, 2));
}

template <std::size_t N>
Bytes ToBytes(const char (&literal)[N]) {
    return Bytes(literal, literal + N - 1);
}

// The first 512 bytes of two archives of four stored text members written
// by Python's zipfile: one with its sizes in the local headers, one written
// to a stream (sizes in data descriptors). Both end inside a member's data.
const Bytes kZipFirstSector = ToBytes(
        "\x50\x4b\x03\x04\x14\x00\x00\x00\x00\x00\x00\x48\x82\x36\x46\x67\x8f\x3a\x6c\x00\x00\x00\x6c\x00"
        "\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65\x30\x2e\x74\x78\x74\x4c\x69\x6e\x65\x20\x30\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x31\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20"
        "\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x32\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e"
        "\x65\x20\x33\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x34\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x35\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20"
        "\x30\x2e\x0a\x50\x4b\x03\x04\x14\x00\x00\x00\x00\x00\x00\x48\x82\x36\xa6\x8a\x24\x5f\x6c\x00\x00"
        "\x00\x6c\x00\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65\x31\x2e\x74\x78\x74\x4c\x69\x6e\x65\x20\x30"
        "\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x31\x20\x6f\x66\x20\x6e\x6f"
        "\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x32\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a"
        "\x4c\x69\x6e\x65\x20\x33\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x34"
        "\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x35\x20\x6f\x66\x20\x6e\x6f"
        "\x74\x65\x20\x31\x2e\x0a\x50\x4b\x03\x04\x14\x00\x00\x00\x00\x00\x00\x48\x82\x36\x86\xbc\xd8\xf1"
        "\x6c\x00\x00\x00\x6c\x00\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65\x32\x2e\x74\x78\x74\x4c\x69\x6e"
        "\x65\x20\x30\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x31\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x32\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20"
        "\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x33\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e"
        "\x65\x20\x34\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x35\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x50\x4b\x03\x04\x14\x00\x00\x00\x00\x00\x00\x48\x82\x36\x66"
        "\x51\x73\x94\x6c\x00\x00\x00\x6c\x00\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65\x33\x2e\x74\x78\x74"
        "\x4c\x69\x6e\x65\x20\x30\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x33\x2e\x0a\x4c\x69\x6e\x65\x20\x31"
        "\x20\x6f\x66\x20\x6e\x6f\x74\x65");
const Bytes kStreamedZipFirstSector = ToBytes(
        "\x50\x4b\x03\x04\x14\x00\x08\x00\x00\x00\x00\x48\x82\x36\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65\x30\x2e\x74\x78\x74\x4c\x69\x6e\x65\x20\x30\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x31\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20"
        "\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x32\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e"
        "\x65\x20\x33\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x34\x20\x6f\x66"
        "\x20\x6e\x6f\x74\x65\x20\x30\x2e\x0a\x4c\x69\x6e\x65\x20\x35\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20"
        "\x30\x2e\x0a\x50\x4b\x07\x08\x46\x67\x8f\x3a\x6c\x00\x00\x00\x6c\x00\x00\x00\x50\x4b\x03\x04\x14"
        "\x00\x08\x00\x00\x00\x00\x48\x82\x36\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x09\x00\x00"
        "\x00\x6e\x6f\x74\x65\x31\x2e\x74\x78\x74\x4c\x69\x6e\x65\x20\x30\x20\x6f\x66\x20\x6e\x6f\x74\x65"
        "\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x31\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69"
        "\x6e\x65\x20\x32\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x33\x20\x6f"
        "\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x34\x20\x6f\x66\x20\x6e\x6f\x74\x65"
        "\x20\x31\x2e\x0a\x4c\x69\x6e\x65\x20\x35\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x31\x2e\x0a\x50\x4b"
        "\x07\x08\xa6\x8a\x24\x5f\x6c\x00\x00\x00\x6c\x00\x00\x00\x50\x4b\x03\x04\x14\x00\x08\x00\x00\x00"
        "\x00\x48\x82\x36\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x09\x00\x00\x00\x6e\x6f\x74\x65"
        "\x32\x2e\x74\x78\x74\x4c\x69\x6e\x65\x20\x30\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c"
        "\x69\x6e\x65\x20\x31\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x32\x20"
        "\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x33\x20\x6f\x66\x20\x6e\x6f\x74"
        "\x65\x20\x32\x2e\x0a\x4c\x69\x6e\x65\x20\x34\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x4c"
        "\x69\x6e\x65\x20\x35\x20\x6f\x66\x20\x6e\x6f\x74\x65\x20\x32\x2e\x0a\x50\x4b\x07\x08\x86\xbc\xd8"
        "\xf1\x6c\x00\x00\x00\x6c\x00\x00\x00\x50\x4b\x03\x04\x14\x00\x08\x00\x00\x00\x00\x48\x82\x36\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00");

TEST_F(RawTest, CutArchivesAreIncompleteAndEndBeforeTheNextDocumentOrTheDiskEnd) {
    ASSERT_EQ(kZipFirstSector.size(), 512u);
    ASSERT_EQ(kStreamedZipFirstSector.size(), 512u);
    nwimage::DiskSpec desc;
    desc.totalSectors = 3000;
    desc.raw = {RawAt(100, kZipFirstSector), RawAt(1200, kStreamedZipFirstSector), RawAt(2999, kZipFirstSector)};
    desc.documents = {Doc(DocKind::Word, 101, 8192, 1), Doc(DocKind::Excel, 1201, 8192, 2)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC2.DOC", "XLS4.XLS", "ZIP1-incomplete.ZIP",
                                                    "ZIP3-incomplete.ZIP", "ZIP5-incomplete.ZIP"}));
    // what was found, never the next document's start, never padded
    EXPECT_EQ(ReadOut("ZIP1-incomplete.ZIP"), kZipFirstSector);
    EXPECT_EQ(ReadOut("ZIP3-incomplete.ZIP"), kStreamedZipFirstSector);
    EXPECT_EQ(ReadOut("ZIP5-incomplete.ZIP"), kZipFirstSector);
    EXPECT_EQ(ReadOut("DOC2.DOC"), MakeDocument(DocKind::Word, 8192, 1));
    EXPECT_EQ(ReadOut("XLS4.XLS"), MakeDocument(DocKind::Excel, 8192, 2));
    EXPECT_EQ(result.incompleteCounts[raw::kinds::kZip], 3);
    EXPECT_EQ(result.typeCounts[raw::kinds::kZip], 0);
}

TEST_F(RawTest, ZipIsFoundWithAnyVersionAndWrittenToItsExactLength) {
    const Bytes zip = StoredZip({13}, "made by a test");
    Bytes noise = nwimage::SeededBytes(4096, 77);
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    Bytes sector0 = zip;
    // Random bytes share the zip's last sector and follow it.
    sector0.insert(sector0.end(), noise.begin(), noise.end());
    desc.raw = {RawAt(100, sector0)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"ZIP1.ZIP"}));
    EXPECT_EQ(ReadOut("ZIP1.ZIP"), zip);
}

TEST_F(RawTest, ShortRangeStillReadsAWholeWindow) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 500, 8192, 1), Doc(DocKind::Word, 1200, 8192, 2)};
    Use(desc);
    SetRange(100, 199);
    ASSERT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC"}));
}

TEST_F(RawTest, ProbesReclassifyTheDocument) {
    // A Word-marked compound document whose directory cannot be read (the
    // header points past it) and that carries "Microsoft Excel" at 4768 is
    // written as a workbook.
    Bytes doc = MakeDocument(DocKind::Word, 8192, 3);
    Put32(doc, 0x30, 0x7FFFFFF0);
    std::memcpy(doc.data() + 4768, "Microsoft Excel", 15);
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.raw = {RawAt(100, doc)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
}

TEST_F(RawTest, TightlyPackedDocumentsAreEachWrittenWholeWithTheirKind) {
    // Documents back to back, as small files lie on a suballocated volume:
    // two archives both ways round (one of a single sector, whose end record
    // lies in its first sector; one with members starting sectors), archives
    // beside compound documents both ways round, a presentation before a
    // Word document, Word / Excel / Word across a window's end, and a Word
    // document whose stream holds an archive (an embedded package) from
    // its first sector on.
    const Bytes zipA = StoredZip({60}, "archive one");
    ASSERT_LE(zipA.size(), 512u);
    const Bytes zipB = StoredZip({1024 - 32, 1024 - 32, 3000});
    const Bytes zipC = MakeDocument(DocKind::Zip, 6000, 5);
    const Bytes word1 = MakeDocument(DocKind::Word, 8192, 1);
    const Bytes book = MakeDocument(DocKind::Excel, 6144, 2);
    const Bytes word2 = MakeDocument(DocKind::Word, 12288, 3);
    const Bytes deck = MakeDocument(DocKind::PowerPoint, 10240, 4);
    Bytes wrapper = LargeCompound(DocKind::Word, 12);
    const Bytes inner = StoredZip({3000});
    std::copy(inner.begin(), inner.end(), wrapper.begin() + 512);
    struct Group {
        std::uint64_t sector;
        std::vector<std::pair<const Bytes*, const char*>> docs;  // bytes and name prefix
    };
    const std::vector<Group> groups{
        {100, {{&zipA, "ZIP"}, {&zipB, "ZIP"}}},
        {900, {{&zipB, "ZIP"}, {&zipA, "ZIP"}}},
        {1700, {{&zipC, "ZIP"}, {&word1, "DOC"}, {&book, "XLS"}, {&zipA, "ZIP"}}},
        {2500, {{&deck, "PPT"}, {&word2, "DOC"}}},
        {3190, {{&word1, "DOC"}, {&book, "XLS"}, {&word2, "DOC"}}},
        {4000, {{&wrapper, "DOC"}, {&zipA, "ZIP"}}},
    };
    nwimage::DiskSpec desc;
    desc.totalSectors = 5000;
    std::vector<std::pair<std::string, const Bytes*>> want;
    for (const Group& g : groups) {
        std::uint64_t at = g.sector;
        for (const auto& [bytes, prefix] : g.docs) {
            desc.raw.push_back(RawAt(at, *bytes));
            at += (bytes->size() + 511) / 512;
            const std::string n = std::to_string(want.size() + 1);
            want.emplace_back(prefix + n + "." + prefix, bytes);
        }
    }
    Use(desc);
    Scan();
    std::vector<std::string> names;
    for (const auto& w : want) names.push_back(w.first);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(OutFiles(), names);
    for (const auto& [name, bytes] : want) EXPECT_EQ(ReadOut(name), *bytes) << name;
}

TEST_F(RawTest, DirectoryTellsTheKindWhateverMarkerLiesBeyond) {
    // An Excel 95 workbook (its stream is "Book": no marker of its own) with
    // a Word document later in its window is a workbook.
    const Bytes book = DirectoryFirstCompound("Book", 20);
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.raw = {RawAt(100, book)};
    desc.documents = {Doc(DocKind::Word, 300, 8192, 1)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC2.DOC", "XLS1.XLS"}));
    EXPECT_EQ(ReadOut("XLS1.XLS"), book);
}

TEST_F(RawTest, ExistingFilesAreNeverReplaced) {
    // XLS3.XLS is already there: the third document takes the next number
    // no file of the destination has, and numbering goes on from it.
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 200, 8192, 2),
                      Doc(DocKind::Word, 300, 8192, 3), Doc(DocKind::Zip, 1000, 4096, 4)};
    Use(desc);
    std::filesystem::create_directory(panel.destination);
    testutil::WriteFile(Out("XLS3.XLS"), "kept");
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "DOC4.DOC", "XLS2.XLS", "XLS3.XLS", "ZIP5.ZIP"}));
    EXPECT_EQ(testutil::ReadFile(Out("XLS3.XLS")), "kept");
    EXPECT_EQ(ReadOut("DOC4.DOC"), MakeDocument(DocKind::Word, 8192, 3));
    EXPECT_EQ(ReadOut("ZIP5.ZIP"), MakeDocument(DocKind::Zip, 4096, 4));
}

TEST_F(RawTest, DocumentWhoseWriteFailsIsCountedAsFailed) {
    // Files may not grow past 6 KiB: the 8 KiB document fails part-way, the
    // 5.5 KiB one after it is written.
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 300, 4096, 2)};
    const nwimage::Image disk = nwimage::Build(desc);
    ASSERT_EQ(MakeDocument(DocKind::Excel, 4096, 2).size(), 5632u);
    ImageCarver carver(disk, dir.File("carved"));
    std::filesystem::create_directory(carver.destination);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 6144;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    carver.Run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(carver.failed, 1);
    // Only the whole document is listed and lies under a final name; the
    // failed one leaves nothing behind, not even its temporary.
    EXPECT_EQ(carver.written, (std::vector<std::string>{"XLS2.XLS"}));
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(carver.destination))
        files.push_back(e.path().filename().string());
    ASSERT_EQ(carver.carved.size(), 2u);
    EXPECT_EQ(carver.carved[0].fileName, "DOC1.DOC");
    EXPECT_EQ(carver.carved[0].state, raw::DocumentState::Failed);
    EXPECT_EQ(carver.carved[0].error, EFBIG);
    EXPECT_EQ(carver.counts, (std::array<int, 4>{0, 1, 0, 0}));
    EXPECT_EQ(files, (std::vector<std::string>{"XLS2.XLS"}));
    const std::string book = testutil::ReadFile(carver.destination + "/XLS2.XLS");
    EXPECT_EQ(Bytes(book.begin(), book.end()), MakeDocument(DocKind::Excel, 4096, 2));
}

}  // namespace
}  // namespace rawtest

namespace rawtest {
namespace {

// A workbook as spreadsheet programs lay it out: its stream (opening with
// the workbook's BOF record) first, the allocation table and the directory
// behind it.
Bytes RealShapedWorkbook(std::uint32_t streamSectors, std::uint64_t seed) {
    Bytes book = LargeCompound(DocKind::Excel, streamSectors, seed);
    static const std::uint8_t kBof[8] = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00};
    std::memcpy(book.data() + 512, kBof, sizeof kBof);
    return book;
}

TEST_F(RawTest, FirstHalvesOfWorkbooksAreWrittenAsIncompleteWorkbooks) {
    // Seven workbooks of which only the first half (header and the start of
    // the stream) was left, each followed by another document: in the middle
    // of a window, across a window's end, before a workbook whose table is
    // whole, and at the disk's end.
    const Bytes book = RealShapedWorkbook(40, 11);
    const Bytes half = Prefix(book, 21 * 512);
    const Bytes word = MakeDocument(DocKind::Word, 8192, 1);
    const Bytes zip = MakeDocument(DocKind::Zip, 6000, 2);
    const Bytes whole = RealShapedWorkbook(30, 12);
    nwimage::DiskSpec desc;
    desc.totalSectors = 3021;
    desc.raw = {RawAt(100, half), RawAt(121, word),  RawAt(300, half), RawAt(321, zip),
                RawAt(790, half), RawAt(811, word),  RawAt(1200, half), RawAt(1221, whole),
                RawAt(2000, half), RawAt(2021, half), RawAt(2042, word), RawAt(3000, half)};
    Use(desc);
    Scan();
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC11.DOC", "DOC2.DOC", "DOC6.DOC", "XLS1-incomplete.XLS",
                                                    "XLS10-incomplete.XLS", "XLS12-incomplete.XLS",
                                                    "XLS3-incomplete.XLS", "XLS5-incomplete.XLS",
                                                    "XLS7-incomplete.XLS", "XLS8.XLS", "XLS9-incomplete.XLS",
                                                    "ZIP4.ZIP"}));
    // Each holds what was found of it: never the next document's start, never
    // padded.
    for (const char* name : {"XLS1-incomplete.XLS", "XLS3-incomplete.XLS", "XLS5-incomplete.XLS",
                             "XLS7-incomplete.XLS", "XLS9-incomplete.XLS", "XLS10-incomplete.XLS",
                             "XLS12-incomplete.XLS"})
        EXPECT_EQ(ReadOut(name), half) << name;
    EXPECT_EQ(ReadOut("DOC2.DOC"), word);
    EXPECT_EQ(ReadOut("ZIP4.ZIP"), zip);
    EXPECT_EQ(ReadOut("DOC6.DOC"), word);
    EXPECT_EQ(ReadOut("XLS8.XLS"), whole);
    EXPECT_EQ(ReadOut("DOC11.DOC"), word);
    EXPECT_EQ(result.documentsIncomplete, 7);
    EXPECT_EQ(result.incompleteCounts, (std::array<int, 4>{0, 7, 0, 0}));
    EXPECT_EQ(result.typeCounts, (std::array<int, 4>{3, 1, 0, 1}));
    const auto incomplete = std::count_if(panel.carved.begin(), panel.carved.end(), [](const raw::CarvedDocument& d) {
        return d.state == raw::DocumentState::Incomplete && d.kind == raw::kinds::kExcel && d.bytes == 21 * 512;
    });
    EXPECT_EQ(incomplete, 7);
}

}  // namespace
}  // namespace rawtest
