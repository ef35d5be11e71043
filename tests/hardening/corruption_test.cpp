// The corruption campaign: builder disks with random bytes changed in the
// allocation tables, the directory tables, the volume tables and the file
// data, with fixed seeds. Every run must end, and everything the damage did
// not touch must come back exactly as the manifest says: files whose
// directory entry (and the entry after it, which could lend it a long name),
// whose folders' entries, whose chain entries in the FAT the mount uses and
// whose data sectors are all intact.
#include <algorithm>
#include <sstream>

#include "HardeningFixture.h"
#include "netware/Records.h"

namespace hardening {
namespace {

// Deterministic on every platform (the standard distributions are not).
struct Rng {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

// A volume of folders and files of every placement, some with long names,
// some deleted; the FAT spans several blocks when the blocks are small.
std::string CampaignDisk(std::uint32_t spb) {
    const std::uint32_t blocks = 9600 / spb;
    std::ostringstream d;
    d << "disk seed=" << (40 + spb) << "\n"
      << "partition first=63 count=" << (9600 + 400) << "\n"
      << "volume SYS spb=" << spb << " blocks=" << blocks << " det-blocks=3\n"
      << "folder PUBLIC long=\"Public area\" time=2004-06-01T10:00:00\n"
      << "folder DOCS in=PUBLIC\n"
      << "folder ARCHIVE\n"
      << "folder OLD in=ARCHIVE deleted\n"
      << "folder DEEP in=PUBLIC/DOCS long=\"A deeper folder\"\n";
    const char* folders[] = {"", "PUBLIC", "PUBLIC/DOCS", "ARCHIVE", "ARCHIVE/OLD", "PUBLIC/DOCS/DEEP"};
    for (int i = 0; i < 36; ++i) {
        d << "file F" << i << ".BIN";
        if (folders[i % 6][0]) d << " in=" << folders[i % 6];
        const std::uint32_t size = 1 + (i * 7919u) % (5 * spb * 512);
        d << " size=" << size;
        if (i % 5 == 1) d << " sub=tail";
        if (i % 5 == 3 && size <= spb * 512) d << " sub=whole";
        if (i % 4 == 2) d << " long=\"File number " << i << " with a long name.bin\"";
        if (i % 9 == 4) d << " deleted";
        d << " time=2005-0" << (1 + i % 9) << "-1" << (i % 10) << "T12:3" << (i % 10) << ":00\n";
    }
    return d.str();
}

enum Region { kFat1, kFat2, kDet1, kDet2, kData, kTables, kRegionCount };
const char* const kRegionNames[] = {"FAT1", "FAT2", "DET1", "DET2", "data", "tables"};

class Campaign {
public:
    Campaign(const nwimage::DiskSpec& desc, const nwimage::Image& image)
        : spec_(desc), image_(image), v_(image.volumes.at(0)), spb_(v_.sectorsPerBlock) {
        // Directory hits go to sectors that hold entries.
        for (std::uint32_t b : v_.det1) AddBlock(kDet1, b, true);
        for (std::uint32_t b : v_.det2) AddBlock(kDet2, b, true);
        for (std::size_t i = 0; i < v_.entries.size(); ++i)
            for (std::uint64_t s : DataSectors(i)) regions_[kData].push_back(s);
        const std::uint64_t p = desc.partitions.at(0).firstSector;
        regions_[kTables] = {0, p + 32};
        for (std::uint64_t j = 0; j < 4; ++j) regions_[kTables].push_back(v_.volumeAreaSector + 32 * j);
    }

    // Changes `count` bytes of a region; returns the damaged image.
    nwimage::Image Damage(Region r, unsigned count, Rng& rng) {
        hits_.clear();
        nwimage::Image out = image_;
        const auto& sectors = regions_[r];
        for (unsigned k = 0; k < count; ++k) {
            std::uint64_t s = 0;
            std::uint32_t off = 0;
            if (r == kFat1 || r == kFat2) {
                // A byte of the entries that describe the volume's blocks.
                const auto& chain = r == kFat1 ? v_.fat1 : v_.fat2;
                const std::uint64_t fatByte = rng.Below(static_cast<std::uint64_t>(v_.blocks) * 8);
                const std::uint64_t blockBytes = static_cast<std::uint64_t>(spb_) * 512;
                s = BlockSector(chain.at(fatByte / blockBytes)) + fatByte % blockBytes / 512;
                off = static_cast<std::uint32_t>(fatByte % 512);
            } else {
                s = sectors[rng.Below(sectors.size())];
                off = static_cast<std::uint32_t>(rng.Below(512));
            }
            std::array<std::uint8_t, 512> bytes{};
            out.Read(s, bytes.data());
            bytes[off] ^= static_cast<std::uint8_t>(1 + rng.Below(255));
            out.sectors[s] = bytes;
            hits_.insert(s * 512 + off);
        }
        touchedSuballoc_ = SuballocRecordsTouched(out);
        return out;
    }

    // Whether the damage left entry i and all it depends on intact.
    bool Untouched(std::size_t i) const {
        if (GlobalHit()) return false;
        std::vector<std::size_t> chain{i};
        for (std::size_t a = Parent(i); a != kNone; a = Parent(a)) chain.push_back(a);
        for (std::size_t e : chain) {
            const nwimage::BuiltEntry& b = v_.entries[e];
            if (Hit(b.det1Sector * 512 + b.slot * 128, b.slot < 3 ? 256 : 128)) return false;
        }
        const nwimage::BuiltEntry& b = v_.entries[i];
        for (std::uint32_t block : b.blocks)
            if (Hit(FatEntryOffset(block), 8)) return false;
        if (b.piece) {
            if (touchedSuballoc_) return false;
            for (std::uint32_t block : SuballocChain(b.piece))
                if (Hit(FatEntryOffset(block), 8)) return false;
        }
        for (std::uint64_t s : DataSectors(i))
            if (Hit(s * 512, 512)) return false;
        return true;
    }

    // Damage to what every file depends on: the FAT's own chain and the
    // directory's chain in the FAT the mount uses.
    bool GlobalHit() const {
        for (const auto* chain : {&v_.fat1, &v_.det1})
            for (std::uint32_t block : *chain)
                if (Hit(FatEntryOffset(block), 8)) return true;
        return false;
    }

    // The bytes the quick search takes from the partition table, the hot-fix
    // sector and the first volume table copy.
    bool QuickSearchInputsHit() const {
        const std::uint64_t p = spec_.partitions.at(0).firstSector;
        if (Hit(0x1BE, 64) || Hit(510, 2)) return true;
        if (Hit((p + 32) * 512, 8) || Hit((p + 32) * 512 + 0x18, 4)) return true;
        const std::uint64_t t = v_.volumeAreaSector * 512;
        if (Hit(t, 15) || Hit(t + 0x10, 4)) return true;
        const std::uint64_t e = t + 0x20;
        return Hit(e, 1 + v_.name.size()) || Hit(e + 0x1C, 8) || Hit(e + 0x28, 16);
    }

    // The shown path of entry i.
    std::string PathOf(std::size_t i) const {
        std::string path = ShownName(i);
        for (std::size_t a = Parent(i); a != kNone; a = Parent(a)) path = ShownName(a) + "\\" + path;
        return path;
    }

    std::string HitsText() const {
        std::ostringstream os;
        for (std::uint64_t h : hits_) os << " " << h / 512 << "+" << h % 512;
        return os.str();
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    const nwimage::EntrySpec& SpecOf(std::size_t i) const { return spec_.partitions[0].volumes[0].entries[i]; }

    std::string ShownName(std::size_t i) const {
        const nwimage::EntrySpec& e = SpecOf(i);
        return !e.longName.empty() && !e.slot3 ? e.longName : e.name;
    }

    std::size_t Parent(std::size_t i) const {
        const std::uint32_t parent = SpecOf(i).parent;
        if (parent == 0) return kNone;
        for (std::size_t k = 0; k < v_.entries.size(); ++k)
            if (SpecOf(k).folder && v_.entries[k].number == parent) return k;
        return kNone;
    }

    void AddBlock(Region r, std::uint32_t block, bool usedOnly = false) {
        for (std::uint32_t s = 0; s < spb_; ++s)
            if (!usedOnly || image_.sectors.count(BlockSector(block) + s)) regions_[r].push_back(BlockSector(block) + s);
    }
    std::uint64_t BlockSector(std::uint32_t block) const {
        return v_.startSector + static_cast<std::uint64_t>(block) * spb_;
    }

    // Absolute byte offset of block b's entry in FAT copy 1.
    std::uint64_t FatEntryOffset(std::uint32_t b) const {
        const std::uint32_t s = b / 64;
        const std::uint32_t q = s / spb_;
        return (BlockSector(v_.fat1.at(q)) + s % spb_) * 512 + (b % 64) * 8;
    }

    std::uint32_t FatNext(std::uint32_t b) const {
        std::array<std::uint8_t, 512> sector{};
        image_.Read(FatEntryOffset(b) / 512, sector.data());
        return nw::LoadLe32(sector.data() + FatEntryOffset(b) % 512 + 4);
    }

    std::vector<std::uint32_t> SuballocChain(std::uint32_t piece) const {
        std::vector<std::uint32_t> chain;
        for (std::uint32_t b = v_.suballoc[nw::SuballocChainOf(piece)]; b < v_.blocks && chain.size() < v_.blocks;
             b = FatNext(b))
            chain.push_back(b);
        return chain;
    }

    std::vector<std::uint64_t> DataSectors(std::size_t i) const {
        const nwimage::BuiltEntry& b = v_.entries[i];
        std::vector<std::uint64_t> out;
        for (std::uint32_t block : b.blocks)
            for (std::uint32_t s = 0; s < spb_; ++s) out.push_back(BlockSector(block) + s);
        if (b.piece) {
            const std::uint32_t P = nw::SuballocChainOf(b.piece);
            const std::uint64_t o = static_cast<std::uint64_t>(nw::SuballocPieceOf(b.piece)) * P;
            const std::vector<std::uint32_t> chain = SuballocChain(b.piece);
            for (std::uint64_t k = o; k < o + P; ++k)
                if (k / spb_ < chain.size()) out.push_back(BlockSector(chain[k / spb_]) + k % spb_);
        }
        return out;
    }

    // A suballocation record was hit, or damage made a new one.
    bool SuballocRecordsTouched(const nwimage::Image& damaged) const {
        for (std::uint64_t h : hits_) {
            const std::uint64_t entry = h / 128 * 128;
            std::array<std::uint8_t, 512> a{}, b{};
            image_.Read(entry / 512, a.data());
            damaged.Read(entry / 512, b.data());
            const std::size_t at = entry % 512;
            if (nw::LoadLe32(a.data() + at) == nw::kSuballocMarker || nw::LoadLe32(b.data() + at) == nw::kSuballocMarker)
                return true;
        }
        return false;
    }

    bool Hit(std::uint64_t offset, std::uint64_t length) const {
        auto it = hits_.lower_bound(offset);
        return it != hits_.end() && *it < offset + length;
    }

    const nwimage::DiskSpec& spec_;
    const nwimage::Image& image_;
    const nwimage::BuiltVolume& v_;
    std::uint32_t spb_;
    std::array<std::vector<std::uint64_t>, kRegionCount> regions_;
    std::set<std::uint64_t> hits_;
    bool touchedSuballoc_ = false;
};

class CorruptionTest : public HardeningTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(CorruptionTest, EveryRunEndsAndWhatTheDamageMissedComesBack) {
    const std::uint32_t spb = GetParam();
    const nwimage::DiskSpec desc = nwimage::ParseDescription(CampaignDisk(spb));
    const nwimage::Image image = nwimage::Build(desc);
    Campaign campaign(desc, image);
    const std::vector<Shown> expected = Expected(image, "SYS");
    const std::size_t entries = image.volumes[0].entries.size();
    // The builder and this campaign agree on every entry's path.
    for (std::size_t i = 0; i < entries; ++i)
        ASSERT_TRUE(std::any_of(expected.begin(), expected.end(),
                                [&](const Shown& s) { return s.path == campaign.PathOf(i); }))
            << campaign.PathOf(i);

    const nw::VolumeDescriptor baseline = DescriptorOf(image.volumes[0]);
    std::size_t checkedFiles = 0, runsWithLosses = 0;
    for (int region = 0; region < kRegionCount; ++region) {
        for (std::uint64_t seed = 1; seed <= 12; ++seed) {
            Rng rng{seed * 1000 + region * 17 + spb};
            const unsigned count = 1 + static_cast<unsigned>(rng.Below(8));
            const nwimage::Image damaged = campaign.Damage(static_cast<Region>(region), count, rng);
            SCOPED_TRACE(std::string(kRegionNames[region]) + " seed " + std::to_string(seed) + " hits" +
                         campaign.HitsText());
            Attach(damaged);
            fatPrompt.answer = 1;

            if (region == kTables) {
                ASSERT_TRUE(QuickSearch());
                const std::vector<nw::VolumeDescriptor> found = Found();
                if (!campaign.QuickSearchInputsHit()) {
                    ASSERT_EQ(found.size(), 1u);
                    EXPECT_EQ(found[0].startSector, baseline.startSector);
                    EXPECT_EQ(found[0].det1FirstBlock, baseline.det1FirstBlock);
                    EXPECT_EQ(MountAndList(found[0]), expected);
                    continue;
                }
                // The directory tables are intact: the advanced search finds
                // the volume and everything comes back through it.
                AdvancedSearch();
                const std::vector<nw::VolumeDescriptor> advanced = Found();
                ASSERT_EQ(advanced.size(), 1u);
                EXPECT_EQ(advanced[0].startSector, baseline.startSector);
                EXPECT_EQ(advanced[0].sectorsPerBlock, spb);
                EXPECT_EQ(advanced[0].det1FirstBlock, baseline.det1FirstBlock);
                EXPECT_EQ(MountAndList(advanced[0]), expected);
                continue;
            }

            std::vector<Shown> shown = MountAndList(baseline);
            std::sort(shown.begin(), shown.end());
            bool lost = false;
            for (std::size_t i = 0; i < entries; ++i) {
                if (!campaign.Untouched(i)) {
                    lost = true;
                    continue;
                }
                const std::string path = campaign.PathOf(i);
                const auto want = std::find_if(expected.begin(), expected.end(),
                                               [&](const Shown& s) { return s.path == path; });
                ASSERT_NE(want, expected.end());
                EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), *want)) << "missing or changed: " << *want;
                if (!want->folder) ++checkedFiles;
            }
            runsWithLosses += lost;
        }
    }
    // The campaign must mostly check files rather than give them up.
    EXPECT_GT(checkedFiles, 5u * 12 * 36 / 2);
    RecordProperty("runs_with_losses", static_cast<int>(runsWithLosses));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, CorruptionTest, ::testing::Values(8u, 32u));

}  // namespace
}  // namespace hardening
