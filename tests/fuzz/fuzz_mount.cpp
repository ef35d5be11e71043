// The mount of a small builder volume whose allocation and directory sectors
// (both copies) and whose table positions come from the input: chain loads,
// the directory walk, lost folders, the folder tree, listing, check boxes and
// reading every file found.
#include <set>

#include "BaseVolume.h"
#include "app/job/WizardState.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "netware/VolumeSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader in{data, size};
    // Header: masks over the volume table's positions, then a block size choice.
    nw::VolumeDescriptor d = fuzz::Base().descriptor;
    d.fat1FirstBlock ^= in.U32();
    d.fat2FirstBlock ^= in.U32();
    d.det1FirstBlock ^= in.U32();
    d.det2FirstBlock ^= in.U32();
    d.blockCount ^= in.U32();
    if (const std::uint32_t spb = in.U32()) d.sectorsPerBlock = nw::kBlockSizes[spb % 5];
    const fuzz::SparseSectors sectors = fuzz::PatchedBase(in);

    job::MemoryTree& tree = fuzz::FreshJobState();
    fuzz::AttachSparse(sectors, fuzz::Base().image.totalSectors);
    auto& w = job::Wizard();
    w.currentVolume = d;
    w.selectedVolumeName = d.name;
    nw::MountCurrentVolume();

    FUZZ_CHECK(w.mountedMark == 1);
    FUZZ_CHECK(tree.Root() != nullptr);
    // A file shows under every folder that carries its parent's number, so
    // the walk may meet a record more than once.
    std::set<const nw::EntryRecord*> files;
    nw::WalkTree(tree.Root(), [&](const nw::EntryRecord& r, const std::string&, bool isFolder) {
        if (isFolder) {
            nw::ListFolder(r.ownNumber);
            return;
        }
        files.insert(&r);
        nw::FirstDataSector(r.firstBlock);
        FUZZ_CHECK(nw::ReadFileBytes(r).size() <= r.size);
    });
    FUZZ_CHECK(files.size() <= w.FileList.Size());
    fuzz::Note("mounted: %zu folders, %zu files, %zu files shown", w.FolderList.Size(), w.FileList.Size(),
               files.size());
    // A click on the root's check box reaches everything below it.
    nw::ToggleFolderCheck(tree.Root());
    nw::ToggleFolderCheck(tree.Root());
    return 0;
}
