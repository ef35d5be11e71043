// Loading a recovery log: the checked decoding of the bytes, its round trip
// through the encoder, and "Load Log" at the disk step and at the volume step
// (entry lists, folder tree and reading the files it names from a disk).
#include <fstream>

#include "BaseVolume.h"
#include "app/job/WizardState.h"
#include "netware/FileReader.h"
#include "netware/TreeModel.h"
#include "records/RecoveryLog.h"

namespace {

bool SameVolume(const nw::VolumeDescriptor& a, const nw::VolumeDescriptor& b) {
    return a.name == b.name && a.fat1FirstBlock == b.fat1FirstBlock && a.fat2FirstBlock == b.fat2FirstBlock &&
           a.det1FirstBlock == b.det1FirstBlock && a.det2FirstBlock == b.det2FirstBlock &&
           a.sizeInSectors == b.sizeInSectors && a.startSector == b.startSector && a.blockCount == b.blockCount &&
           a.sectorsPerBlock == b.sectorsPerBlock;
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
    for (int step = 0; step < 2; ++step) {
        job::MemoryTree& tree = fuzz::FreshJobState();
        static bool attached = false;
        if (!attached) {
            fuzz::AttachSparse(fuzz::Base().image.sectors, fuzz::Base().image.totalSectors);
            attached = true;
        }
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
        w.currentStep = step;
        const bool taken = records::LoadLog(path);
        FUZZ_CHECK(taken == valid);
        if (!taken || step != 1 || !tree.Root()) continue;
        nw::WalkTree(tree.Root(), [&](const nw::EntryRecord& r, const std::string&, bool isFolder) {
            if (!isFolder) FUZZ_CHECK(nw::ReadFileBytes(r).size() <= r.size);
        });
    }
    return 0;
}
