// Every structure the writer lays out must decode with the record decoders to
// the values that were described.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/nwimage/Helpers.h"

using namespace nwtest;

TEST(NwImageRoundTrip, PartitionTableHotFixAndVolumeTableCopies) {
    DiskSpec d;
    PartitionSpec p;
    p.slot = 1;
    p.firstSector = 2048;
    p.sectorCount = 60000;
    p.hotFixPosition = 2;
    p.volumeAreaDistance = 300;
    p.tables = {TableCopy::CountZero, TableCopy::BadText, TableCopy::CountNine, TableCopy::Good};
    VolumeSpec a;
    a.name = "SYS";
    a.blocks = 1000;
    VolumeSpec b;
    b.name = "A_RATHER_LONG_VOLUME_NAME";  // 25 characters, shown as 19
    b.sectorsPerBlock = 64;
    b.blocks = 200;
    p.volumes = {a, b};
    PartitionSpec other;
    other.slot = 3;
    other.type = 0x07;
    other.firstSector = 100000;
    other.sectorCount = 5000;
    d.partitions = {p, other};
    Image img = Build(d);

    std::array<nw::PartitionEntry, 4> parts;
    ASSERT_TRUE(nw::DecodePartitionTable(SectorOf(img, 0).data(), parts));
    EXPECT_EQ(parts[0].type, 0);
    EXPECT_TRUE(nw::IsNetWarePartition(parts[1]));
    EXPECT_EQ(parts[1].firstSector, 2048u);
    EXPECT_EQ(parts[1].sectorCount, 60000u);
    EXPECT_EQ(parts[3].type, 0x07);
    EXPECT_EQ(parts[3].firstSector, 100000u);

    nw::HotFixSector hf;
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(nw::DecodeHotFixSector(SectorOf(img, nw::HotFixProbeSector(2048, i)).data(), hf), i == 2) << i;
    EXPECT_EQ(hf.volumeAreaDistance, 300u);
    const std::uint64_t V = nw::VolumeAreaSector(2048, hf);

    nw::VolumeTableSector t;
    for (unsigned j = 0; j < 3; ++j) EXPECT_FALSE(nw::DecodeVolumeTableSector(SectorOf(img, V + 32 * j).data(), t)) << j;
    EXPECT_EQ(nw::LoadLe32(SectorOf(img, V).data() + 0x10), 0u);
    EXPECT_EQ(nw::LoadLe32(SectorOf(img, V + 64).data() + 0x10), 9u);
    ASSERT_TRUE(nw::DecodeVolumeTableSector(SectorOf(img, V + 96).data(), t));
    ASSERT_EQ(t.count, 2u);

    std::uint64_t start = V + nw::kVolumeSegmentsOffset;
    for (unsigned k = 0; k < 2; ++k) {
        const BuiltVolume& bv = img.volumes[k];
        const nw::VolumeTableEntry& e = t.entries[k];
        EXPECT_EQ(e.name, bv.name.substr(0, 19));
        EXPECT_EQ(e.SectorsPerBlock(), bv.sectorsPerBlock);
        EXPECT_EQ(e.segmentBlocks, bv.blocks);
        EXPECT_EQ(e.fat1FirstBlock, bv.fat1.front());
        EXPECT_EQ(e.fat2FirstBlock, bv.fat2.front());
        EXPECT_EQ(e.det1FirstBlock, bv.det1.front());
        EXPECT_EQ(e.det2FirstBlock, bv.det2.front());
        EXPECT_EQ(bv.startSector, start);
        start += e.segmentSectors;
    }
    EXPECT_EQ(img.manifest.back().volume, "A_RATHER_LONG_VOLU" "M");
}

TEST(NwImageRoundTrip, EightVolumesWithEveryBlockSizeFillTheTable) {
    DiskSpec d = OneVolume();
    PartitionSpec& p = d.partitions[0];
    p.volumes.clear();
    const std::uint32_t sizes[] = {8, 16, 32, 64, 128, 8, 16, 32};
    for (int k = 0; k < 8; ++k) {
        VolumeSpec v;
        v.name = "V" + std::to_string(k);
        v.sectorsPerBlock = sizes[k];
        v.blocks = 100;
        p.volumes.push_back(v);
    }
    p.sectorCount = 400000;
    Image img = Build(d);
    nw::VolumeTableSector t;
    ASSERT_TRUE(nw::DecodeVolumeTableSector(SectorOf(img, img.volumes[0].volumeAreaSector).data(), t));
    ASSERT_EQ(t.count, 8u);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(t.entries[k].name, "V" + std::to_string(k));
        EXPECT_EQ(t.entries[k].SectorsPerBlock(), sizes[k]);
        EXPECT_EQ(t.entries[k].segmentSectors, 100 * sizes[k]);
    }
    // The advanced search proves a volume start from block 0: FAT copy 1's
    // first entry has sequence 0 and names the FAT's next block.
    for (const BuiltVolume& v : img.volumes) {
        nw::FatEntry first = nw::DecodeFatEntry(SectorOf(img, v.startSector).data(), 0);
        EXPECT_EQ(v.fat1.front(), 0u);
        EXPECT_EQ(first.sequence, 0u);
        EXPECT_EQ(first.next, v.fat1.size() > 1 ? v.fat1[1] : nw::kChainEnd);
    }
}

TEST(NwImageRoundTrip, FatCopiesAreChainsThatMayDiffer) {
    DiskSpec d = OneVolume(8, 3000);  // 47 FAT sectors: 6 blocks
    VolumeSpec& v = Vol(d);
    v.fat1Blocks = {0, 7, 3, 20, 21, 40};
    v.fat2Blocks = {100, 150, 101, 102, 103, 104, 105};
    v.fatPatches = {{2, 2999, 5, 77}};
    EntrySpec f = File("FAR.BIN", 5000);
    f.blocks = {2990, 1200};
    v.entries = {f};
    Image img = Build(d);
    const BuiltVolume& b = img.volumes[0];

    std::uint32_t end = 0;
    EXPECT_EQ(Walk(img, b, b.fat1, b.fat1[0], &end), v.fat1Blocks);
    EXPECT_EQ(end, nw::kChainEnd);
    EXPECT_EQ(Walk(img, b, b.fat2, b.fat2[0], &end), v.fat2Blocks);
    EXPECT_EQ(end, nw::kChainEnd);
    // Both copies describe the file; only the patched entry differs.
    for (const auto* fat : {&b.fat1, &b.fat2}) {
        EXPECT_EQ(Walk(img, b, *fat, 2990, &end), (std::vector<std::uint32_t>{2990, 1200}));
        EXPECT_EQ(end, nw::kChainEnd);
    }
    nw::FatEntry patched = FatEntryOf(img, b, b.fat2, 2999);
    EXPECT_EQ(patched.sequence, 5u);
    EXPECT_EQ(patched.next, 77u);
    EXPECT_EQ(FatEntryOf(img, b, b.fat1, 2999).next, 0u);
}

TEST(NwImageRoundTrip, DetCopiesAreChainsAndCopyTwoMayBeShorter) {
    DiskSpec d = OneVolume();
    VolumeSpec& v = Vol(d);
    v.det1Blocks = {500, 510, 505};
    v.det2Blocks = {600, 620};
    for (int i = 0; i < 80; ++i) v.entries.push_back(File("F" + std::to_string(i), 0));
    Image img = Build(d);
    const BuiltVolume& b = img.volumes[0];

    for (std::uint32_t first : {500u, 600u}) {
        auto s = SectorOf(img, b.startSector + first * 8);
        EXPECT_EQ(0, std::memcmp(s.data(), nw::kDetSignature.data(), 8));
    }
    EXPECT_EQ(Walk(img, b, b.fat1, 500), v.det1Blocks);
    EXPECT_EQ(Walk(img, b, b.fat1, 600), v.det2Blocks);

    for (std::size_t i = 0; i < 80; ++i) {
        const BuiltEntry& e = b.entries[i];
        auto s1 = SectorOf(img, e.det1Sector);
        nw::DetEntry de = nw::DecodeDetEntry(s1.data() + 128 * e.slot);
        ASSERT_EQ(nw::ClassifyDetEntry(de), nw::DetKind::Primary);
        EXPECT_EQ(de.name, "F" + std::to_string(i));
        EXPECT_EQ(de.firstBlock, nw::kChainEnd);
        const bool inCopy2 = (i + 1) / 32 < 2;  // slot i + 1, 32 slots a block
        if (inCopy2) {
            ASSERT_NE(e.det2Sector, 0u);
            EXPECT_EQ(SectorOf(img, e.det2Sector), s1);
        } else {
            EXPECT_EQ(e.det2Sector, 0u);
        }
    }
}

TEST(NwImageRoundTrip, NamesLongNamesTimesAndDeletedMarks) {
    DiskSpec d = OneVolume();
    const std::uint32_t t1 = PackDateTime(2007, 3, 5, 9, 4, 58);
    EntrySpec pub = Folder("PUBLIC", 7);
    pub.longName = "Public Files";
    pub.dateTime = t1;
    pub.deleted = true;
    EntrySpec a = File("A.TXT", 10, 7);  // would start in slot 3: moves to the next sector
    a.longName = "A long name.txt";
    EntrySpec b = File("B.TXT", 10, 7);
    b.slot3 = true;
    b.longName = "Never shown";
    EntrySpec bad = File("NOLEN", 10);
    bad.nameLengthOverride = 0;
    Vol(d).entries = {pub, a, b, bad};
    Image img = Build(d);
    const BuiltVolume& v = img.volumes[0];

    auto sector = SectorOf(img, v.entries[0].det1Sector);
    nw::DetEntry e = nw::DecodeDetEntry(sector.data() + 128 * v.entries[0].slot);
    EXPECT_TRUE(e.IsFolder());
    EXPECT_TRUE(e.IsDeleted());
    EXPECT_EQ(e.folderNumber, 7u);
    EXPECT_EQ(e.dateTime, t1);
    EXPECT_EQ(nw::DecodePackedDateTime(e.dateTime).seconds, 58u);
    EXPECT_EQ(nw::LongNameFor(sector.data(), v.entries[0].slot), "Public Files");

    EXPECT_EQ(v.entries[1].slot, 0u);
    EXPECT_EQ(v.entries[1].det1Sector, v.entries[0].det1Sector + 1);
    auto sa = SectorOf(img, v.entries[1].det1Sector);
    EXPECT_EQ(nw::LongNameFor(sa.data(), 0), "A long name.txt");
    EXPECT_EQ(nw::DecodeDetEntry(sa.data()).parent, 7u);

    EXPECT_EQ(v.entries[2].slot, 3u);
    auto sb = SectorOf(img, v.entries[2].det1Sector);
    EXPECT_EQ(nw::LongNameFor(sb.data(), 3), "");
    auto next = SectorOf(img, v.entries[2].det1Sector + 1);
    nw::DetEntry follower = nw::DecodeDetEntry(next.data());
    EXPECT_EQ(nw::ClassifyDetEntry(follower), nw::DetKind::LongName);
    EXPECT_EQ(follower.name, "Never shown");

    EXPECT_EQ(nw::ClassifyDetEntry(nw::DecodeDetEntry(SectorOf(img, v.entries[3].det1Sector).data() + 128 * v.entries[3].slot)),
              nw::DetKind::Skipped);

    const ManifestRecord* m = Find(img, "Public Files");
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->folder && m->deleted);
    EXPECT_EQ(m->dateTime, t1);
    EXPECT_TRUE(Find(img, "Public Files\\A long name.txt"));
    EXPECT_TRUE(Find(img, "Public Files\\B.TXT"));
    EXPECT_FALSE(Find(img, "NOLEN"));
}

TEST(NwImageRoundTrip, FileChainsTailPiecesAndWholeFilePieces) {
    DiskSpec d = OneVolume();  // 8 sectors, 4096 bytes a block
    EntrySpec many = File("MANY", 20000);
    many.blocks = {900, 905, 901, 950, 960};
    EntrySpec tail = File("TAIL", 2 * 4096 + 1500);  // piece of 3 sectors, number 0
    tail.placement = Placement::Tail;
    EntrySpec tail2 = File("TAIL2", 4096 + 1100);  // number 1
    tail2.placement = Placement::Tail;
    EntrySpec whole = File("WHOLE3", 1300);  // number 2: sectors 6, 7 of element 0, sector 0 of element 1
    whole.placement = Placement::Whole;
    EntrySpec tiny = File("TINY", 300);
    tiny.placement = Placement::Whole;
    Vol(d).entries = {File("EMPTY", 0), File("ONE", 4096), many, tail, tail2, whole, tiny};
    Image img = Build(d);
    const BuiltVolume& v = img.volumes[0];

    EXPECT_EQ(v.entries[0].firstBlock, nw::kChainEnd);
    std::uint32_t end = 0;
    EXPECT_EQ(Walk(img, v, v.fat1, v.entries[1].firstBlock, &end).size(), 1u);
    EXPECT_EQ(end, nw::kChainEnd);
    EXPECT_EQ(Walk(img, v, v.fat1, 900, &end), many.blocks);

    EXPECT_EQ(Walk(img, v, v.fat1, v.entries[3].firstBlock, &end).size(), 2u);
    EXPECT_EQ(end, nw::MakeSuballocValue(3, 0));
    EXPECT_EQ(v.entries[4].piece, nw::MakeSuballocValue(3, 1));
    EXPECT_EQ(v.entries[5].firstBlock, nw::MakeSuballocValue(3, 2));
    EXPECT_EQ(v.entries[6].firstBlock, nw::MakeSuballocValue(1, 0));

    // The DET's suballocation record names the chains' first blocks.
    auto det = SectorOf(img, v.startSector + v.det1[0] * 8);
    nw::DetEntry rec = nw::DecodeDetEntry(det.data() + 128);
    ASSERT_EQ(nw::ClassifyDetEntry(rec), nw::DetKind::Suballocation);
    nw::SuballocationRecord sr = nw::DecodeSuballocationRecord(det.data() + 128);
    EXPECT_EQ(sr.group, 0u);
    EXPECT_EQ(sr.firstBlocks[3], v.suballoc[3]);
    EXPECT_EQ(sr.firstBlocks[1], v.suballoc[1]);

    // Piece 2 of chain 3 starts 6 sectors into the chain and runs on into its second block.
    std::vector<std::uint32_t> chain3 = Walk(img, v, v.fat1, v.suballoc[3]);
    ASSERT_EQ(chain3.size(), 2u);
    std::vector<std::uint8_t> got = img.ReadBytes(v.startSector + chain3[0] * 8 + 6, 2);
    auto more = img.ReadBytes(v.startSector + chain3[1] * 8, 1);
    got.insert(got.end(), more.begin(), more.end());
    got.resize(1300);
    EXPECT_EQ(got, v.entries[5].stored);

    // Whole blocks hold the file's bytes in chain order.
    std::vector<std::uint8_t> manyBytes;
    for (std::uint32_t blk : many.blocks) {
        auto bytes = img.ReadBytes(v.startSector + blk * 8, 8);
        manyBytes.insert(manyBytes.end(), bytes.begin(), bytes.end());
    }
    manyBytes.resize(20000);
    EXPECT_EQ(manyBytes, v.entries[2].stored);

    for (std::size_t i = 0; i < v.entries.size(); ++i) {
        const ManifestRecord* m = Find(img, Vol(d).entries[i].name);
        ASSERT_TRUE(m) << i;
        EXPECT_EQ(m->size, Vol(d).entries[i].size);
        EXPECT_EQ(m->deliveredBytes, Vol(d).entries[i].size);
        EXPECT_EQ(m->sha256, Hash(v.entries[i].stored)) << i;
    }
}

TEST(NwImageRoundTrip, SuballocationRecordsInSeveralGroups) {
    DiskSpec d = OneVolume(64, 500);
    for (std::uint32_t P : {2u, 30u, 60u}) {
        EntrySpec f = File("P" + std::to_string(P), P * 512);
        f.placement = Placement::Whole;
        Vol(d).entries.push_back(f);
    }
    Image img = Build(d);
    const BuiltVolume& v = img.volumes[0];
    EXPECT_EQ(v.suballocGroups, (std::vector<std::uint32_t>{0, 1, 2}));
    auto det = SectorOf(img, v.startSector + v.det1[0] * 64);
    for (unsigned slot = 1; slot <= 3; ++slot) {
        nw::SuballocationRecord r = nw::DecodeSuballocationRecord(det.data() + 128 * slot);
        EXPECT_EQ(r.group, slot - 1);
        const std::uint32_t P = slot == 1 ? 2 : slot == 2 ? 30 : 60;
        EXPECT_EQ(r.firstBlocks[P - 28 * r.group], v.suballoc[P]);
        EXPECT_NE(v.suballoc[P], 0u);
    }
    for (const ManifestRecord& m : img.manifest) {
        if (!m.folder) {
            EXPECT_EQ(m.deliveredBytes, m.size) << m.path;
        }
    }

    Vol(d).allSuballocGroups = true;
    Image all = Build(d);
    EXPECT_EQ(all.volumes[0].suballocGroups, (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
}

TEST(NwImageRoundTrip, CompressedFilesCarryTheHeader) {
    DiskSpec d = OneVolume();
    EntrySpec marked = File("PACKED", 5000);
    marked.compression = Compression::Marked;
    marked.expandedSize = 12345;
    EntrySpec unmarked = File("SHRUNK", 3000);
    unmarked.compression = Compression::Unmarked;
    unmarked.expandedSize = 9000;
    EntrySpec piece = File("SMALLZ", 600);
    piece.compression = Compression::Marked;
    piece.placement = Placement::Whole;
    Vol(d).entries = {marked, unmarked, piece};
    Image img = Build(d);
    const BuiltVolume& v = img.volumes[0];

    auto entryOf = [&](std::size_t i) {
        return nw::DecodeDetEntry(SectorOf(img, v.entries[i].det1Sector).data() + 128 * v.entries[i].slot);
    };
    nw::DetEntry m = entryOf(0);
    EXPECT_TRUE(m.IsCompressed());
    EXPECT_EQ(m.fileSize, 12345u);
    auto data = SectorOf(img, v.startSector + m.firstBlock * 8);
    EXPECT_EQ(nw::LoadLe32(data.data()), 0x00000101u);
    EXPECT_EQ(nw::LoadLe32(data.data() + 4), 12345u);
    EXPECT_EQ(nw::LoadLe32(data.data() + 8), 5000u);

    nw::DetEntry u = entryOf(1);
    EXPECT_FALSE(u.IsCompressed());
    EXPECT_EQ(u.fileSize, 3000u);
    auto udata = SectorOf(img, v.startSector + u.firstBlock * 8);
    EXPECT_EQ(nw::LoadLe32(udata.data() + 4), 9000u);
    EXPECT_EQ(nw::LoadLe32(udata.data() + 8), 3000u);

    const ManifestRecord* pm = Find(img, "PACKED");
    ASSERT_TRUE(pm);
    EXPECT_TRUE(pm->compressed);
    EXPECT_EQ(pm->size, 12345u);
    EXPECT_EQ(pm->deliveredBytes, 5000u);
    EXPECT_EQ(pm->sha256, Hash(v.entries[0].stored));
    EXPECT_FALSE(Find(img, "SHRUNK")->compressed);
    EXPECT_EQ(Find(img, "SMALLZ")->deliveredBytes, 600u);
}

TEST(NwImageRoundTrip, OrphansCyclesAndOwnParentInTheTree) {
    DiskSpec d = OneVolume();
    Vol(d).entries = {Folder("ORPH", 50, 999), File("IN.TXT", 10, 50), Folder("A", 60, 61), Folder("B", 61, 60),
                      File("X", 10, 60),        Folder("SELF", 70, 70), File("Y", 10, 70),   File("NOWHERE", 10, 12345),
                      Folder("KEEP", 80)};
    Image img = Build(d);
    std::vector<std::string> paths;
    for (const ManifestRecord& m : img.manifest) paths.push_back(m.path);
    // The cycle A/B is cut at A, the first of the two; SELF is its own parent.
    EXPECT_EQ(paths, (std::vector<std::string>{"KEEP", "LOST", "LOST\\ORPH", "LOST\\ORPH\\IN.TXT", "LOST\\A",
                                               "LOST\\A\\B", "LOST\\A\\X", "LOST\\SELF", "LOST\\SELF\\Y"}));
}

TEST(NwImageRoundTrip, PartitionWhoseVolumeReachesPastSector2To32) {
    Image img = Build(HighVolume());
    const BuiltVolume& b = img.volumes[0];
    const std::uint64_t sector = b.startSector + 3900ull * 8;
    EXPECT_GT(sector, 0xFFFFFFFFull);
    EXPECT_GE(img.totalSectors, 0xFFFFF000ull + 0x10000);
    EXPECT_EQ(img.ReadBytes(sector, 8), b.entries[0].stored);
    EXPECT_EQ(Find(img, "TOP.BIN", "HIGH")->sha256, Hash(b.entries[0].stored));
}

TEST(NwImageRoundTrip, GeneratedDocumentsCarryTheirSignatures) {
    struct Case {
        DocKind kind;
        std::vector<std::uint8_t> header;
        std::vector<std::uint8_t> marker;
    };
    auto text = [](const char* s, std::size_t n) { return std::vector<std::uint8_t>(s, s + n); };
    auto wide = [](const char* s) {
        std::vector<std::uint8_t> v;
        for (; *s; ++s) v.insert(v.end(), {static_cast<std::uint8_t>(*s), 0});
        v.pop_back();
        return v;
    };
    const std::vector<std::uint8_t> ole = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    const std::vector<Case> cases = {
        {DocKind::Word, ole, text("Word.Document", 13)},
        {DocKind::Excel, ole, wide("Workbook")},
        {DocKind::PowerPoint, ole, wide("PowerPoint Document")},
        {DocKind::Excel5, text("Microsoft Excel 5.0", 19), text("Microsoft Excel Workshet\0\x06", 26)},
        {DocKind::Zip, {0x50, 0x4B, 0x03, 0x04, 0x0A}, {0x50, 0x4B, 0x05, 0x06, 0x00}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> doc = MakeDocument(c.kind, 12000, 5);
        ASSERT_EQ(doc.size() % 512, 0u);
        EXPECT_TRUE(std::equal(c.header.begin(), c.header.end(), doc.begin())) << int(c.kind);
        auto at = std::search(doc.begin(), doc.end(), c.marker.begin(), c.marker.end());
        ASSERT_NE(at, doc.end()) << int(c.kind);
        EXPECT_EQ(static_cast<std::size_t>(at - doc.begin()) / 512, doc.size() / 512 - 1) << int(c.kind);
        EXPECT_EQ(MakeDocument(c.kind, 12000, 5), doc);
    }
}
