// The mount of a small builder volume whose allocation and directory sectors
// (both copies) and whose table positions come from the input: chain loads,
// the directory walk, lost folders, the folder tree, paths, check boxes and
// reading every file found.
#include <set>

#include "BaseVolume.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "netware/Mount.h"
#include "netware/Selection.h"
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

    fuzz::FuzzDisks disks;
    if (!fuzz::AttachSparse(disks, sectors, fuzz::Base().image.totalSectors)) return 0;
    const disk::SectorReader reader = disks.Reader();
    nw::MountedVolume volume;
    volume.currentVolume = d;
    nw::MountReport report;
    const nw::MountResult result = nw::Mount(volume, reader, report);

    FUZZ_CHECK(result.mounted);
    FUZZ_CHECK(volume.mountedMark == 1);
    FUZZ_CHECK(result.folderCount == volume.FolderList.Size() && result.fileCount == volume.FileList.Size());
    FUZZ_CHECK(volume.tree.RootText() == d.name);
    // A file shows under every folder that carries its parent's number, so
    // the walk may meet a record more than once.
    std::set<const nw::EntryRecord*> files;
    nw::FileReader fileReader(volume, reader);
    nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) {
        if (item.isFolder) {
            FUZZ_CHECK(nw::FolderOfNode(volume, item.node) == item.record);
            nw::PathMatch match;
            nw::FindEntryByPath(volume, item.path, &match);
            return;
        }
        files.insert(item.record);
        fileReader.FirstDataSector(item.record->firstBlock);
        FUZZ_CHECK(fileReader.ReadFileBytes(*item.record).size() <= item.record->size);
    });
    FUZZ_CHECK(files.size() <= volume.FileList.Size());
    fuzz::Note("mounted: %zu folders, %zu files, %zu files shown", volume.FolderList.Size(), volume.FileList.Size(),
               files.size());
    // A click on the root's check box reaches everything below it; a second
    // one clears it all again.
    nw::Selection selection;
    selection.Reset(volume);
    selection.ToggleFolder(volume, nw::kRootNode);
    for (std::uint32_t n = 0; n < volume.tree.Size(); ++n) FUZZ_CHECK(selection.NodeState(n) == nw::kChecked);
    selection.ToggleFolder(volume, nw::kRootNode);
    FUZZ_CHECK(!selection.Any());
    return 0;
}
