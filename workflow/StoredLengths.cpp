#include "workflow/StoredLengths.h"

#include "recovery/SaveEngine.h"
#include "workflow/Session.h"

namespace workflow {

StoredLengths ReadStoredLengths(Session& session) {
    StoredLengths lengths;
    const nw::MountedVolume& volume = session.mounted;
    const disk::SectorReader reader = session.Reader();
    for (std::size_t i = 0; i < volume.FileList.Size(); ++i) {
        const nw::EntryRecord& file = volume.FileList[i];
        if (file.IsFolder() || !file.IsCompressed()) continue;
        StoredLength l;
        l.bytes = recovery::BytesToRead(volume, reader, file, &l.headerFailed);
        lengths.emplace(i, l);
    }
    return lengths;
}

}  // namespace workflow
