// The file data reader on the mounted builder volume with a fuzzed first
// value, byte count, suballocation table entry, FAT block list and FAT
// sectors: chains, pieces, trimming and the bounds on broken chains.
#include "BaseVolume.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"

namespace {

// The tables a mount of the unpatched base volume leaves.
struct Snapshot {
    nw::VolumeDescriptor volume;
    nw::BlockList fatBlocks;
    std::array<std::uint32_t, nw::kSuballocChains> suballocation{};
};

const Snapshot& Mounted() {
    static const Snapshot snap = [] {
        fuzz::FuzzDisks disks;
        if (!fuzz::AttachSparse(disks, fuzz::Base().image.sectors, fuzz::Base().image.totalSectors))
            fuzz::Fail("the base volume's disk does not open");
        nw::MountedVolume volume;
        volume.currentVolume = fuzz::Base().descriptor;
        nw::MountReport report;
        if (!nw::Mount(volume, disks.Reader(), report).mounted) fuzz::Fail("the base volume does not mount");
        return Snapshot{volume.currentVolume, volume.FatBlockList, volume.SuballocationTable};
    }();
    return snap;
}

struct Checking : nw::FileDataConsumer {
    std::uint64_t total = 0;
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override {
        FUZZ_CHECK(data != nullptr && bytes > 0 && bytes <= 512);
        total += bytes;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Snapshot& snap = Mounted();
    fuzz::InputReader in{data, size};
    const std::uint32_t firstBlock = in.U32();
    // Byte counts beyond 16 MiB only make the run longer.
    const std::uint32_t byteCount = in.U32() & 0xFFFFFF;
    const std::uint32_t subIndex = in.U32();
    const std::uint32_t subValue = in.U32();
    const std::uint32_t fatListIndex = in.U32();
    const std::uint32_t fatListValue = in.U32();
    const fuzz::SparseSectors sectors = fuzz::PatchedBase(in);

    fuzz::FuzzDisks disks;
    if (!fuzz::AttachSparse(disks, sectors, fuzz::Base().image.totalSectors)) return 0;
    const disk::SectorReader reader = disks.Reader();
    nw::MountedVolume volume;
    volume.currentVolume = snap.volume;
    volume.FatBlockList = snap.fatBlocks;
    volume.SuballocationTable = snap.suballocation;
    volume.SuballocationTable[subIndex % nw::kSuballocChains] ^= subValue;
    nw::BlockList& fat = volume.FatBlockList;
    // The list may also lose its tail or gain a block.
    if (fatListIndex % 4 == 1 && !fat.empty()) fat.pop_back();
    if (fatListIndex % 4 == 2) fat.push_back({static_cast<std::uint32_t>(fat.size()), fatListValue});
    if (fatListIndex % 4 == 3 && !fat.empty()) fat[fatListValue % fat.size()].block ^= fatListValue;

    nw::FileReader fileReader(volume, reader);
    Checking consumer;
    const std::uint64_t delivered = fileReader.ReadFileData(firstBlock, byteCount, consumer);
    FUZZ_CHECK(delivered == consumer.total);
    FUZZ_CHECK(delivered <= byteCount);
    FUZZ_CHECK(fileReader.UnreadableBytes() <= delivered);
    fileReader.FirstDataSector(firstBlock);
    fuzz::Note("first %08x, %u bytes asked, %llu delivered", firstBlock, byteCount,
               static_cast<unsigned long long>(delivered));
    return 0;
}
