#include "workflow/RecoveryLogs.h"

#include <vector>

#include "netware/VolumeSearch.h"
#include "records/RecoveryLog.h"
#include "records/RecoveryLogCheck.h"
#include "workflow/Texts.h"

namespace workflow {

namespace {

LogLoaded Refused(const std::string& text) {
    LogLoaded out;
    out.notice = ErrorNotice(text);
    return out;
}

void TakeDisk(Session& session, unsigned number) {
    session.selectedDiskNumber = static_cast<std::uint16_t>(number);
    session.selectedDiskLabel = disk::StoreKey(number);
}

// A log keeps a volume's numbers but not its segments: those of a volume
// extended over several segments are read again from the volume tables of
// the attached disks.
void FindSegments(Session& session, nw::VolumeDescriptor& volume) {
    const disk::SectorReader reader = session.Reader();
    volume.segments.clear();
    nw::FindVolumeSegments(nw::SearchTarget{&reader, volume.disk}, volume);
}

void FindAllSegments(Session& session) {
    const std::vector<nw::VolumeDescriptor> volumes = session.found.Snapshot();
    for (std::uint32_t i = 0; i < volumes.size(); ++i) {
        nw::VolumeDescriptor volume = volumes[i];
        FindSegments(session, volume);
        session.found.Replace(i, volume);
    }
}

}  // namespace

LogSaved SaveRecoveryLog(Session& session, const std::string& chosenPath) {
    LogSaved out;
    if (!session.volumeOpen.load()) {
        out.notice = ErrorNotice(kGoToStep2Text);
        return out;
    }
    const records::SaveLogResult result =
        records::SaveLog(chosenPath, session.selectedDiskModel, session.recoveryMode.load(),
                         session.selectedDiskNumber, session.found, session.mounted);
    session.destinationPath = result.path;
    out.written = result.written;
    out.path = result.path;
    if (!result.written) out.notice = ErrorNotice(result.message);
    return out;
}

LogLoaded LoadVolumeList(Session& session, const std::string& path) {
    if (session.recoveryMode.load() == kModeRaw) return Refused(records::kLoadLogRawModeText);
    const records::LoadLogResult result = records::LoadVolumeList(path, session.found);
    if (!result.taken) return Refused(result.message);
    session.recoveryMode = static_cast<std::int16_t>(result.mode);
    TakeDisk(session, result.diskNumber);
    FindAllSegments(session);
    LogLoaded out;
    out.loaded = true;
    return out;
}

LogLoaded LoadMountedVolume(Session& session, const std::string& path) {
    if (session.recoveryMode.load() == kModeRaw) return Refused(records::kLoadLogRawModeText);
    // The log must belong to the selected disk: its volume's directory there
    // must still hold the entries it lists.
    const disk::SectorReader reader = session.Reader();
    const unsigned diskNumber = session.selectedDiskNumber;
    const records::LoadLogResult result =
        records::LoadMounted(path, session.mounted, [&](const records::RecoveryLogContents& log) {
            nw::VolumeDescriptor placed = log.volume;
            placed.disk = diskNumber;
            FindSegments(session, placed);
            const bool differs =
                records::CompareLogWithDisk(log, placed, reader) == records::LogDiskMatch::Differs;
            return differs ? std::string(records::kLogDoesNotMatchText) : std::string();
        });
    if (!result.taken) {
        // A log too large to hold leaves the volume empty; any other refusal
        // leaves it as it was.
        if (result.outOfMemory) {
            session.volumeOpen = false;
            session.selection.Reset(session.mounted);
        }
        return Refused(result.message);
    }
    session.recoveryMode = static_cast<std::int16_t>(result.mode);
    session.selectedVolumeName = session.mounted.currentVolume.name;
    FindSegments(session, session.mounted.currentVolume);
    session.selection.Reset(session.mounted);
    session.volumeOpen = true;
    LogLoaded out;
    out.loaded = true;
    return out;
}

void ReadLogFromDisk(Session& session, unsigned number) {
    TakeDisk(session, number);
    session.found.SetDiskOfAll(number);
    session.mounted.currentVolume.disk = number;
    FindAllSegments(session);
    FindSegments(session, session.mounted.currentVolume);
}

}  // namespace workflow
