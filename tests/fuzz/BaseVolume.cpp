#include "BaseVolume.h"

#include "FuzzFormats.h"
#include "common/VolumeTestHelpers.h"
#include "tools/nwimage/Description.h"

namespace fuzz {

namespace {

constexpr const char* kDescription = R"(disk seed=3
partition first=63 count=1400
volume SYS spb=8 blocks=120 det-blocks=2
folder PUBLIC long="Public files" time=2007-03-05T09:04:58
folder DOCS in=PUBLIC
file A.TXT in=PUBLIC text="hello" sub=whole
file TAIL.BIN in=PUBLIC/DOCS size=5000 sub=tail
file DATA.BIN size=9000
file LAST.TXT long="A long name in the next sector.txt" slot3 size=1500
file GONE.TXT size=700 deleted
file PACK.DAT size=3000 compressed=marked
folder ORPHAN number=40 parent=77
file LOST.TXT parent=40 size=10
)";

BaseVolume MakeBase() {
    BaseVolume b;
    b.image = nwimage::Build(nwimage::ParseDescription(kDescription));
    const nwimage::BuiltVolume& v = b.image.volumes.at(0);
    b.descriptor = testutil::DescriptorOf(v);
    for (const auto* chain : {&v.fat1, &v.fat2, &v.det1, &v.det2})
        for (std::uint32_t block : *chain)
            for (std::uint32_t s = 0; s < v.sectorsPerBlock; ++s)
                b.targets.push_back(v.startSector + static_cast<std::uint64_t>(block) * v.sectorsPerBlock + s);
    return b;
}

}  // namespace

const BaseVolume& Base() {
    static const BaseVolume base = MakeBase();
    return base;
}

SparseSectors PatchedBase(InputReader& in) {
    const BaseVolume& b = Base();
    SparseSectors sectors(b.image.sectors.begin(), b.image.sectors.end());
    while (!in.Done()) {
        const std::uint64_t at = b.targets[in.U8() % b.targets.size()];
        Sector s{};
        in.SectorInto(s);
        sectors[at] = s;
    }
    return sectors;
}

std::vector<std::uint8_t> BaseSeed(const std::vector<std::uint32_t>& header) {
    const BaseVolume& b = Base();
    std::vector<std::uint8_t> out;
    for (std::uint32_t w : header) PutLe32(out, w);
    for (std::size_t i = 0; i < b.targets.size() && i < 256; ++i) {
        const auto it = b.image.sectors.find(b.targets[i]);
        if (it == b.image.sectors.end()) continue;
        out.push_back(static_cast<std::uint8_t>(i));
        out.insert(out.end(), it->second.begin(), it->second.end());
    }
    return out;
}

}  // namespace fuzz
