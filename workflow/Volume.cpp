#include "workflow/Volume.h"

#include <optional>

#include "netware/FolderTree.h"
#include "netware/Selection.h"

namespace workflow {

namespace {

// Leaves `node` checked with everything below it (a click on an unchecked
// or partly checked folder does that).
void CheckFolder(Session& session, std::uint32_t node) {
    if (session.selection.NodeState(node) == nw::kChecked) return;
    session.selection.ToggleFolder(session.mounted, node);
}

// Where the volume's sectors that begin at its start end: with several
// segments, the end of the segment it starts with (the others lie elsewhere,
// perhaps on other disks).
std::uint64_t VolumeEnd(const nw::VolumeDescriptor& v) {
    for (const nw::VolumeSegment& g : v.segments)
        if (g.present && g.disk == v.disk && g.startSector == v.startSector)
            return g.startSector + static_cast<std::uint64_t>(g.blockCount) * v.sectorsPerBlock;
    return v.startSector + v.sizeInSectors;
}

}  // namespace

std::string SegmentsField(const nw::VolumeDescriptor& volume) {
    std::string out;
    for (const nw::VolumeSegment& g : volume.segments) {
        if (!out.empty()) out += ',';
        out += g.present ? std::to_string(g.disk) + ':' + std::to_string(g.startSector) : std::string("?:?");
        out += ':' + (g.firstBlockKnown ? std::to_string(g.firstBlock) : std::string("?"));
        out += ':' + (g.blockCountKnown ? std::to_string(g.blockCount) : std::string("?"));
    }
    return out;
}

std::vector<std::string> VolumeFactsRows(const nw::VolumeDescriptor& v) {
    std::vector<std::string> rows = {
        "Volume Name   :   " + v.name,
        "Volume Start     :   " + std::to_string(v.startSector),
        "Volume End      :   " + std::to_string(VolumeEnd(v)),
        "First DET          :   " + std::to_string(v.det1FirstBlock),
        "Second DET    :   " + std::to_string(v.det2FirstBlock),
        "First FAT           :   " + std::to_string(v.fat1FirstBlock),
        "Second FAT     :   " + std::to_string(v.fat2FirstBlock),
        "Cluster Size       :   " + std::to_string(v.sectorsPerBlock),
    };
    if (v.Spanned()) {
        rows.push_back("Segments          :   " + std::to_string(v.segments.size()));
        for (const nw::VolumeSegment& g : v.segments)
            if (!g.present) rows.push_back(nw::MissingSegmentText(v.name, g.number));
    }
    return rows;
}

bool ChooseVolume(Session& session, unsigned index) {
    const std::optional<nw::VolumeDescriptor> found = session.found.At(index);
    if (!found) return false;
    const nw::VolumeDescriptor& volume = *found;
    session.selectedVolumeIndex = static_cast<std::int32_t>(index);
    session.selectedVolumeName = volume.name;
    session.mounted.currentVolume = volume;
    return true;
}

MountOutcome MountChosenVolume(Session& session, nw::MountReport& report, const base::CancelFlag* stopLostScan) {
    session.volumeOpen = false;
    const disk::SectorReader reader = session.Reader();
    const nw::MountResult result = nw::Mount(session.mounted, reader, report, stopLostScan);
    MountOutcome out;
    out.mounted = result.mounted;
    out.lostScanStopped = result.lostScanStopped;
    out.folderCount = result.folderCount;
    out.fileCount = result.fileCount;
    out.treeUnreadable = result.mounted && result.directoryUnreadable;
    out.treeIncomplete = result.mounted && result.directoryIncomplete;
    if (!result.mounted) {
        session.mounted.ClearContents();
        session.selection.Reset(session.mounted);
        out.notice = ErrorNotice(result.failure);
        return out;
    }
    session.selection.Reset(session.mounted);
    session.volumeOpen = true;
    // Mounted, but the directory could not be read: say so instead of
    // showing an empty volume as if it were one.
    if (!result.warning.empty()) out.notice = Notice{result.warning, Notice::Icon::Warning};
    records::ReportSection section;
    section.Field("No of Folders Found", std::to_string(result.folderCount))
        .Field("No of Files Found", std::to_string(result.fileCount));
    out.reportWritten = session.activityLog.Write(section, &out.reportFailure);
    return out;
}

void Unmount(Session& session) {
    session.volumeOpen = false;
    session.mounted.ClearContents();
    session.selection.Reset(session.mounted);
}

bool SelectPath(Session& session, const std::string& path) {
    nw::PathMatch match;
    if (!session.volumeOpen.load() || !nw::FindEntryByPath(session.mounted, path, &match)) return false;
    if (match.isFolder)
        CheckFolder(session, match.node);
    else
        session.selection.SetFile(session.mounted, match.fileIndex, true);
    return true;
}

void SelectEverything(Session& session) {
    if (session.volumeOpen.load()) CheckFolder(session, nw::kRootNode);
}

std::string FilePath(const Session& session, std::size_t fileIndex, const nw::NameText& text) {
    const nw::MountedVolume& volume = session.mounted;
    if (fileIndex >= volume.FileList.Size()) return {};
    const nw::EntryRecord& file = volume.FileList[fileIndex];
    const std::string name = text ? text(file.name) : file.name;
    if (file.parentNumber == 0) return name;
    const std::size_t folder = volume.FolderList.IndexOfOwnNumber(file.parentNumber);
    if (folder == nw::kNoEntry) return name;
    const std::uint32_t node = volume.FolderList[folder].treeNode;
    if (node == nw::kNoNode || node >= volume.tree.Size()) return name;
    return nw::NodePath(volume, node, text) + "\\" + name;
}

}  // namespace workflow
