// Loading a recovery log: the checked decoding of the bytes, its round trip
// through the encoder, and "Load Log" at the disk stage and at the volume
// stage (entry lists, folder tree and reading the files it names from a
// disk).
#include <fstream>
#include <memory>

#include "BaseVolume.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "records/RecoveryLog.h"

namespace {

constexpr std::uint64_t kReadLimit = 1 << 20;

bool SameVolume(const nw::VolumeDescriptor& a, const nw::VolumeDescriptor& b) {
    return a.name == b.name && a.fat1FirstBlock == b.fat1FirstBlock && a.fat2FirstBlock == b.fat2FirstBlock &&
           a.det1FirstBlock == b.det1FirstBlock && a.det2FirstBlock == b.det2FirstBlock &&
           a.sizeInSectors == b.sizeInSectors && a.startSector == b.startSector && a.blockCount == b.blockCount &&
           a.sectorsPerBlock == b.sectorsPerBlock;
}

// The base disk as disk 0, read with "Retry All" (no prompt can appear).
struct BaseDisk {
    BaseDisk() {
        const std::string path = fuzz::ScratchFile("log-base.img");
        nwimage::WriteImageFile(fuzz::Base().image, path);
        std::string error;
        if (!disks.Attach(0, path, "", &error)) fuzz::Fail(error.c_str());
        policy.BadSectorDecision = disk::kRetryAll;
    }
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
};

const disk::SectorReader& Reader() {
    static BaseDisk base;  // written once per fuzzing process
    static const disk::SectorReader reader(base.disks, base.policy);
    return reader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    records::RecoveryLogContents log;
    std::string reason;
    const bool valid = records::DecodeRecoveryLog(data, size, &log, &reason);
    if (valid) {
        // What was accepted is written back byte for byte.
        const std::vector<std::uint8_t> again = records::EncodeRecoveryLog(log);
        records::RecoveryLogContents second;
        FUZZ_CHECK(records::DecodeRecoveryLog(again.data(), again.size(), &second, &reason));
        FUZZ_CHECK(second.volumes.size() == log.volumes.size() && second.folders.size() == log.folders.size() &&
                   second.files.size() == log.files.size() && second.fatBlocks == log.fatBlocks);
        FUZZ_CHECK(SameVolume(second.volume, log.volume));
    } else {
        FUZZ_CHECK(!reason.empty());
    }

    fuzz::Note("log %s%s: %zu volumes, %zu folders, %zu files", valid ? "valid" : "refused: ", reason.c_str(),
               log.volumes.size(), log.folders.size(), log.files.size());
    const std::string path = fuzz::ScratchFile("input.sav");
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    auto found = std::make_unique<nw::FoundVolumes>();
    const records::LoadLogResult list = records::LoadVolumeList(path, *found);
    FUZZ_CHECK(list.taken == valid);
    FUZZ_CHECK(list.taken ? list.message.empty() : !list.message.empty());
    if (list.taken) FUZZ_CHECK(found->Count() == log.volumes.size());

    auto mounted = std::make_unique<nw::MountedVolume>();
    const records::LoadLogResult stage = records::LoadMounted(path, *mounted);
    FUZZ_CHECK(stage.taken == valid);
    if (!stage.taken) return 0;
    FUZZ_CHECK(mounted->FolderList.Size() == log.folders.size() && mounted->FileList.Size() == log.files.size());
    FUZZ_CHECK(mounted->currentVolume.disk == log.diskNumber);
    mounted->currentVolume.disk = 0;  // read the files it names from the base disk
    // A log may name files of up to 4 GiB whose chains loop through its FAT
    // blocks: the bytes are counted, never kept, and each file is read no
    // further than kReadLimit.
    struct Count : nw::FileDataConsumer {
        bool ShouldStop() override { return delivered >= kReadLimit; }
        void Deliver(const std::uint8_t*, std::uint32_t n) override { delivered += n; }
        std::uint64_t delivered = 0;
    };
    nw::FileReader reader(*mounted, Reader());
    nw::WalkTree(*mounted, nw::kRootNode, [&](const nw::WalkItem& item) {
        if (item.isFolder) return;
        Count count;
        const std::uint64_t read = reader.ReadFileData(item.record->firstBlock, item.record->size, count);
        FUZZ_CHECK(read == count.delivered && read <= item.record->size);
    });
    return 0;
}
