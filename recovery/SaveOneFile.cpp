// One file of a save: filters, progress figures, the replace policy, the
// target's creation and the copy of the file's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <optional>

#include "base/Escape.h"
#include "disk/Disk.h"
#include "netware/MountedVolume.h"
#include "netware/Timestamps.h"
#include "netware/Records.h"
#include "netware/Volume.h"
#include "recovery/EntryExtras.h"
#include "recovery/SaveRun.h"
#include "recovery/TargetFile.h"

namespace recovery {

namespace {

constexpr std::uint8_t kCompressedBit = 0x04;
// The compressed-file header of a file's first data sector.
constexpr std::size_t kHeaderEntrySize = 4;    // the size the directory entry carries
constexpr std::size_t kHeaderStoredBytes = 8;  // the number of stored bytes

}  // namespace

// The write-error dialog: Abort ends the job after this file, Skip goes on
// with the next one. A Stop asked for while the dialog was open stands,
// whatever the answer.
void SaveRun::AskAboutWriteError(const std::string& target, const std::string& reason) {
    if (prompts_.WriteError(target, reason) == WriteErrorAnswer::Abort) job_.RequestStop();
}

void SaveRun::ShowTimeFigures() {
    const std::int64_t elapsed = job_.Now() - job_.startTime;
    if (elapsed <= 0) return;
    const std::int64_t saved = static_cast<std::int64_t>(job_.savedBytes.load());
    const std::int64_t rate = saved / elapsed;
    if (rate <= 0) return;
    const std::int64_t remaining = (static_cast<std::int64_t>(job_.totalBytes) - saved) / rate;
    view_.TimeFigures(remaining, elapsed);
}

// Hands the delivered sectors to the target and watches Stop and Skip.
class TargetConsumer : public nw::FileDataConsumer {
public:
    TargetConsumer(SaveRun& run, TargetFile& target, std::uint64_t byteCount)
        : run_(run), target_(target), byteCount_(byteCount) {}

    bool ShouldStop() override {
        if (target_.Failed()) return true;
        SaveJob& j = run_.job_;
        if (j.stopRequested == 1) {
            interrupted = FileOutcome::Stopped;
            return true;
        }
        if (j.skipRequested == 1) {
            interrupted = FileOutcome::Skipped;
            return true;
        }
        return false;
    }
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override {
        if (target_.Failed()) return;
        if (!target_.Write(data, bytes)) return;
        run_.job_.savedBytes += bytes;
        written += bytes;
        run_.view_.SectorWritten(written, byteCount_);
    }
    void BlockFinished() override { run_.ShowTimeFigures(); }
    void RunPlaced(const nw::FileByteRun& run) override {
        if (run_.input_.savedFiles) nw::AddByteRun(run_.runs_, run);
    }

    std::uint64_t written = 0;
    std::optional<FileOutcome> interrupted;

private:
    SaveRun& run_;
    TargetFile& target_;
    std::uint64_t byteCount_;
};

// ---- what a file's data gives --------------------------------------------------

std::optional<std::uint32_t> CompressedStoredLength(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                                    const nw::EntryRecord& file) {
    nw::FileReader fileReader(volume, reader);
    std::uint8_t buffer[disk::kSectorSize] = {};
    if (!fileReader.ReadFirstDataSector(file.firstBlock, buffer)) return std::nullopt;
    if (nw::LoadLe32(buffer + kHeaderEntrySize) != file.size) return std::nullopt;
    return nw::LoadLe32(buffer + kHeaderStoredBytes);
}

std::uint32_t BytesToRead(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                          bool* checksumFailed) {
    *checksumFailed = false;
    if (!(file.attributesHigh & kCompressedBit) || file.firstBlock == nw::kChainEnd) return file.size;
    if (const std::optional<std::uint32_t> stored = CompressedStoredLength(volume, reader, file)) return *stored;
    *checksumFailed = true;
    return file.size;
}

std::string DamageReason(std::uint64_t delivered, std::uint64_t byteCount, std::uint64_t unreadable,
                         bool checksumFailed) {
    std::string reason;
    auto add = [&reason](const std::string& part) { reason += (reason.empty() ? "" : "; ") + part; };
    if (checksumFailed) add(std::string(kChecksumErrorText) + ", the data is saved up to the entry's size");
    if (unreadable > 0) add(std::to_string(unreadable) + " bytes could not be read (zeros in their place)");
    if (delivered < byteCount)
        add("the file's chain ends after " + std::to_string(delivered) + " of " + std::to_string(byteCount) + " bytes");
    return reason;
}

namespace {

// The entry's packed date and time as a modification time; nothing when it
// is not a date.
std::optional<struct timespec> EntryTime(std::uint32_t timestamp, const nw::TimeZone& zone) {
    return PackedLocalTime(timestamp, zone);
}

// A name or path as the activity report shows it: its control characters
// escaped, so that it stays on its line.
std::string Shown(const std::string& name) { return base::EscapeControls(name, false); }

}  // namespace

bool SetEntryTime(int dirFd, const char* name, std::uint32_t timestamp, const nw::TimeZone& zone) {
    const std::optional<struct timespec> when = EntryTime(timestamp, zone);
    if (!when) return false;
    const struct timespec times[2] = {*when, *when};
    if (!name) return ::futimens(dirFd, times) == 0;
    return ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

// ---- the job's notes -------------------------------------------------------------

void SaveRun::ReportName(const std::string& name, const std::string& savedName, bool deleted,
                         const std::string& target) {
    const std::string safe = SafeName(name);
    if (savedName != safe) {
        const std::string reason = "another entry of the folder has the name \"" + safe + "\"";
        RenamedEntry entry{name, target, reason};
        view_.EntryRenamed(entry);
        outcome_.renamed.push_back(std::move(entry));
        if (input_.activityReport)
            input_.activityReport->Append("\r\nName \"" + Shown(name) + "\"" + (deleted ? " (deleted)" : "") +
                                          " from the disk saved as \"" + Shown(target) + "\": " + Shown(reason));
        return;
    }
    if (safe == name) return;
    RenamedEntry entry{name, target, "the name cannot be used for a file here"};
    view_.EntryRenamed(entry);
    outcome_.renamed.push_back(std::move(entry));
    if (job_.renamedNames.insert(name).second && input_.activityReport)
        input_.activityReport->Append("\r\nName \"" + Shown(name) + "\" from the disk saved as \"" + Shown(safe) + "\"");
}

void SaveRun::EndFile(const std::string& target, FileOutcome outcome, std::uint64_t written,
                      std::uint64_t byteCount, const std::string& reason, std::uint64_t unreadable) {
    if (FileKept(outcome)) ++filesKept_;
    if (FileKept(outcome) && !reason.empty()) {
        DamagedFile damaged{target, written, byteCount, unreadable, reason};
        view_.FileDamaged(damaged);
        outcome_.damaged.push_back(std::move(damaged));
        if (input_.activityReport)
            input_.activityReport->Append("\r\nDamaged file \"" + Shown(target) + "\" (" + std::to_string(unreadable) +
                                          " bytes unreadable): " + reason);
    } else if (outcome == FileOutcome::CreateFailed || outcome == FileOutcome::WriteFailed) {
        FailedFile failed{target, std::string(FileOutcomeText(outcome)) + (reason.empty() ? "" : ": " + reason)};
        if (input_.activityReport)
            input_.activityReport->Append("\r\nFile \"" + Shown(target) + "\" not saved: " + failed.reason);
        outcome_.failed.push_back(std::move(failed));
    }
    view_.FileEnded(target, outcome, written, byteCount);
}

// ---- one file ----------------------------------------------------------------------

bool SaveRun::PassesFilters(const nw::EntryRecord& file, const std::string& folderPath) {
    const SaveSettings& settings = input_.settings;
    if (PassesDateFilter(settings, file.timestamp) && PassesDeletedFilter(settings, file.deletedMarker) &&
        PassesExtensionFilter(settings, file.name))
        return true;
    view_.FileFiltered(folderPath, file.name);
    return false;
}

void SaveRun::ShowFileStarted(const nw::EntryRecord& file, const std::string& folderPath) {
    SaveJob& j = job_;
    if (j.totalBytes == 0) j.totalBytes = 1;
    ++j.filesStarted;
    view_.FileStarted(FileFigures{j.savedBytes, j.totalBytes, j.filesStarted, j.totalFiles, folderPath, file.name});
}

// The replace policy: a file already under the name is replaced only when
// the answers so far allow it, and a folder there never is.
bool SaveRun::MayWriteTarget(int dirFd, const std::string& fileName, const std::string& targetPath,
                             std::uint32_t size) {
    SaveJob& j = job_;
    struct stat existing;
    if (::fstatat(dirFd, fileName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (j.replacePolicy == kReplaceNone) {
        EndFile(targetPath, FileOutcome::NotReplaced, 0, size, {});
        return false;
    }
    if (j.replacePolicy != kReplaceAll) {
        switch (prompts_.ConfirmReplace(targetPath)) {
            case ReplaceAnswer::Yes: j.replacePolicy = kReplaceAsk; break;
            case ReplaceAnswer::No: j.replacePolicy = kReplaceNotThis; break;
            case ReplaceAnswer::YesToAll: j.replacePolicy = kReplaceAll; break;
            case ReplaceAnswer::NoToAll: j.replacePolicy = kReplaceNone; break;
        }
        if (j.replacePolicy == kReplaceNotThis || j.replacePolicy == kReplaceNone) {
            EndFile(targetPath, FileOutcome::NotReplaced, 0, size, {});
            return false;
        }
    }
    if (S_ISDIR(existing.st_mode)) {
        const std::string reason = std::string(kUnableToOpenFileText) + ": " + targetPath + ": " + std::strerror(EISDIR);
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::CreateFailed, 0, size, reason);
        return false;
    }
    return true;
}

void SaveRun::Commit(TargetFile& target, const FilePlace& place, const nw::EntryRecord& file, FileOutcome outcome,
                     std::uint64_t written, std::uint64_t byteCount, const std::string& damage,
                     std::uint64_t unreadable) {
    const std::optional<struct timespec> modified = EntryTime(file.timestamp, input_.settings.extras.zone);
    if (!target.Commit(modified ? &*modified : nullptr)) {
        const std::string reason = target.ErrorText();
        job_.savedBytes -= written;
        AskAboutWriteError(place.targetPath, reason);
        EndFile(place.targetPath, FileOutcome::WriteFailed, written, byteCount, reason);
        return;
    }
    // What the file carries beyond its data: link, companion, mode, times.
    const ExtrasOutcome extras = FinishSavedFile(place.dirFd, place.savedName, file, input_.volume, input_.reader,
                                                 input_.settings.extras, input_.savedFiles ? input_.digestKinds : 0);
    if (!extras.failure.empty() && input_.activityReport)
        input_.activityReport->Append("\r\nFile \"" + Shown(place.targetPath) + "\": " + extras.failure);
    // The other entries of a hard-linked file become links to a whole copy.
    if (const std::uint32_t group = LinkGroupOf(file); group != 0 && damage.empty() && extras.damage.empty())
        links_.Remember(group, place.dirFd, place.savedName);
    const std::string whole =
        damage.empty() || extras.damage.empty() ? damage + extras.damage : damage + "; " + extras.damage;
    RecordSavedFile(place, file, written, !damage.empty(), unreadable, extras);
    EndFile(place.targetPath, outcome, written, byteCount, whole, unreadable + extras.unreadable);
}

void SaveRun::RecordSavedFile(const FilePlace& place, const nw::EntryRecord& file, std::uint64_t written,
                              bool damaged, std::uint64_t unreadable, const ExtrasOutcome& extras) {
    if (!input_.savedFiles) return;
    SavedFileRecord record;
    // The path below the destination.
    std::string path = place.targetPath.substr(std::min(place.targetPath.size(), job_.destinationPath.size()));
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    record.path = path;
    record.diskName = file.name;
    record.size = written;
    record.deleted = file.IsDeleted();
    record.damaged = damaged;
    record.link = extras.link;
    record.unreadableBytes = unreadable;
    record.created = file.timestamp;
    record.modified = file.modified;
    record.accessDate = file.accessDate;
    record.runs = std::move(runs_);
    if (digester_) record.digests = digester_->Finish();
    runs_.clear();
    input_.savedFiles->FileSaved(record);
    if (extras.companionName.empty()) return;
    SavedFileRecord companion = record;
    companion.path = path.substr(0, path.size() - place.savedName.size()) + extras.companionName;
    companion.diskName = file.name;
    companion.size = extras.companionSize;
    companion.damaged = !extras.damage.empty();
    companion.link = false;
    companion.companion = true;
    companion.unreadableBytes = extras.unreadable;
    companion.runs = extras.companionRuns;
    companion.digests = extras.companionDigests;
    input_.savedFiles->FileSaved(companion);
}

void SaveRun::CopyAndCommit(const nw::EntryRecord& file, TargetFile& target, const FilePlace& place) {
    const std::string& targetPath = place.targetPath;
    SaveJob& j = job_;
    const std::uint32_t size = file.size;
    if (file.firstBlock == nw::kChainEnd) {  // no data: the file is empty
        Commit(target, place, file, size == 0 ? FileOutcome::Written : FileOutcome::Short, 0, size,
               DamageReason(0, size, 0, false), 0);
        return;
    }
    // The compressed check: a stored compressed file is read to its stored length.
    bool checksumFailed = false;
    const std::uint32_t byteCount = BytesToRead(input_.volume, input_.reader, file, &checksumFailed);
    if (checksumFailed) prompts_.ShowError(kChecksumErrorText);
    // A file held whole in one piece cannot be larger than a block. For a
    // compressed file that is its stored length: the entry's size is the
    // expanded one, and judging by it would leave the saved file empty.
    const std::uint64_t blockBytes =
        static_cast<std::uint64_t>(input_.volume.currentVolume.sectorsPerBlock) * disk::kSectorSize;
    if (nw::IsSuballocatedPiece(file.firstBlock) && byteCount > blockBytes) {
        Commit(target, place, file, FileOutcome::Abandoned, 0, byteCount,
               FileOutcomeText(FileOutcome::Abandoned), 0);
        return;
    }

    // The read.
    TargetConsumer consumer(*this, target, byteCount);
    fileReader_.ReadFileData(file.firstBlock, byteCount, consumer);
    if (target.Failed() || !target.Flush()) {
        const std::string reason = target.ErrorText();
        target.Discard();
        // Nothing of the file stays: none of it counts as saved.
        j.savedBytes -= consumer.written;
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::WriteFailed, consumer.written, byteCount, reason);
        return;
    }
    if (consumer.interrupted) {
        if (*consumer.interrupted == FileOutcome::Skipped) j.skipRequested = 0;
        target.Discard();
        j.savedBytes -= consumer.written;
        EndFile(targetPath, *consumer.interrupted, consumer.written, byteCount, {});
        return;
    }

    // The commit, whole or damaged.
    const std::uint64_t unreadable = fileReader_.UnreadableBytes();
    const FileOutcome outcome = checksumFailed ? FileOutcome::ChecksumError
                                : consumer.written < byteCount ? FileOutcome::Short
                                                               : FileOutcome::Written;
    std::string reason = DamageReason(consumer.written, byteCount, unreadable, checksumFailed);
    if (const std::optional<nw::VolumeSegment>& gone = fileReader_.MissingSegment())
        reason += ": " + nw::MissingSegmentText(input_.volume.currentVolume.name, gone->number);
    Commit(target, place, file, outcome, consumer.written, byteCount, reason, unreadable);
}

std::uint32_t SaveRun::LinkGroupOf(const nw::EntryRecord& file) const {
    if (input_.settings.extras.links != LinkForm::Link) return 0;
    const nw::EntryNameSpaces* ns = input_.volume.nameSpaces.Find(file);
    return ns && !(ns->linkFlag & nw::kNfsSymbolicLink) ? ns->linkGroup : 0;
}

bool SaveRun::LinkToSavedEntry(const nw::EntryRecord& file, int dirFd, const std::string& savedName,
                               const std::string& targetPath) {
    const std::uint32_t group = LinkGroupOf(file);
    if (group == 0 || !links_.LinkTo(group, dirFd, savedName)) return false;
    job_.savedBytes += file.size;
    EndFile(targetPath, FileOutcome::Written, file.size, file.size, {});
    return true;
}

void SaveRun::SaveOneFile(const nw::EntryRecord& file, const WalkFolder& folder, const std::string& savedName) {
    if (!PassesFilters(file, folder.path)) return;
    ShowFileStarted(file, folder.path);
    job_.skipRequested = 0;

    std::string targetPath = folder.path;
    if (targetPath.empty() || targetPath.back() != '/') targetPath += '/';
    targetPath += savedName;
    ReportName(file.name, savedName, file.IsDeleted(), targetPath);

    const int dir = folder.entered ? folders_.Current() : -1;
    if (dir < 0) {
        const int error = folder.entered ? errno : folder.error;
        const std::string reason = std::string(kUnableToCreateDirectoryText) + ": " +
                                   targetPath.substr(0, targetPath.size() - savedName.size()) + ": " +
                                   std::strerror(error);
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::CreateFailed, 0, file.size, reason);
        return;
    }
    if (!MayWriteTarget(dir, savedName, targetPath, file.size)) return;
    if (LinkToSavedEntry(file, dir, savedName, targetPath)) return;

    // The file is written under a temporary name and takes its own name
    // (replacing a file or link there, never following the link) only
    // once it is complete.
    TargetFile target;
    runs_.clear();
    digester_.reset();
    if (input_.savedFiles) {
        digester_.emplace(input_.digestKinds | base::kDigestSha256);
        target.DigestWith(&*digester_);
    }
    if (!target.CreateTemporary(dir, savedName)) {
        const std::string reason = std::string(kUnableToOpenFileText) + ": " + targetPath + ": " + target.ErrorText();
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::CreateFailed, 0, file.size, reason);
        return;
    }
    CopyAndCommit(file, target, FilePlace{dir, savedName, targetPath});
}

}  // namespace recovery
