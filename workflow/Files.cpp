#include "workflow/Files.h"

#include "workflow/Volume.h"

namespace workflow {

ViewOutcome ViewFile(Session& session, std::size_t fileIndex, recovery::FileOpener& opener) {
    ViewOutcome out;
    if (!session.volumeOpen.load() || fileIndex >= session.mounted.FileList.Size()) return out;
    const disk::SectorReader reader = session.Reader();
    session.viewFolder.SetParent(session.tempFolder);
    const recovery::ViewResult result = recovery::ViewFile(session.mounted, reader, session.mounted.FileList[fileIndex],
                                                           session.viewFolder, opener, &out.copyPath);
    out.opened = result == recovery::ViewResult::Opened;
    if (const char* text = recovery::ViewResultText(result)) out.notice = ErrorNotice(text);
    return out;
}

recovery::MarkingResult RunMarkingPass(Session& session, bool write, recovery::MarkingView* view,
                                       const base::CancelFlag* stop) {
    if (!session.volumeOpen.load()) return {};
    const disk::SectorReader reader = session.Reader();
    return recovery::RunMarkingPass(session.mounted, reader, write, view, stop);
}

}  // namespace workflow
