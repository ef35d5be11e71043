// One file of a save: filters, progress figures, the replace policy, the
// target's creation and the copy of the file's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "base/Escape.h"
#include "disk/Disk.h"
#include "netware/MountedVolume.h"
#include "netware/Timestamps.h"
#include "netware/Records.h"
#include "netware/Volume.h"
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
// with the next one.
void SaveRun::AskAboutWriteError(const std::string& target, const std::string& reason) {
    if (prompts_.WriteError(target, reason) == WriteErrorAnswer::Abort) {
        job_.skipRequested = 0;
        job_.stopRequested = 1;
    } else {
        job_.skipRequested = 1;
        job_.stopRequested = 0;
    }
}

void SaveRun::ShowTimeFigures() {
    const std::int64_t elapsed = job_.Now() - job_.startTime;
    if (elapsed <= 0) return;
    const std::int64_t saved = static_cast<std::int64_t>(job_.savedBytes.load());
    const std::int64_t rate = saved / elapsed;
    if (rate <= 0) return;
    const std::int64_t remaining = (static_cast<std::int64_t>(job_.totalBytes) - saved) / rate;
    view_.TimeFigures(MinutesText(remaining), MinutesText(elapsed));
}

// Hands the delivered sectors to the target and watches Stop and Skip.
class TargetConsumer : public nw::FileDataConsumer {
public:
    TargetConsumer(SaveRun& run, TargetFile& target, std::uint64_t byteCount)
        : run_(run), target_(target), byteCount_(byteCount) {}

    bool ShouldStop() override {
        if (target_.Failed()) return true;
        SaveJob& j = run_.job_;
        if (j.skipRequested == 1) {
            interrupted = FileOutcome::Skipped;
            return true;
        }
        if (j.stopRequested == 1) {
            interrupted = FileOutcome::Stopped;
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
std::optional<struct timespec> EntryTime(std::uint32_t timestamp) {
    const nw::UnpackedTimestamp u = nw::UnpackTimestamp(timestamp);
    if (u.month < 1 || u.month > 12 || u.day < 1 || u.day > 31 || u.hour > 23 || u.minute > 59 || u.second > 59)
        return std::nullopt;
    std::tm local{};
    local.tm_year = static_cast<int>(u.year) - 1900;
    local.tm_mon = static_cast<int>(u.month) - 1;
    local.tm_mday = static_cast<int>(u.day);
    local.tm_hour = static_cast<int>(u.hour);
    local.tm_min = static_cast<int>(u.minute);
    local.tm_sec = static_cast<int>(u.second);
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    struct timespec out{};
    out.tv_sec = t;
    return out;
}

// A name or path as the activity report shows it: its control characters
// escaped, so that it stays on its line.
std::string Shown(const std::string& name) { return base::EscapeControls(name, false); }

}  // namespace

bool SetEntryTime(int dirFd, const char* name, std::uint32_t timestamp) {
    const std::optional<struct timespec> when = EntryTime(timestamp);
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

void SaveRun::SaveOneFile(const nw::EntryRecord& file, const std::string& folderPath, const std::string& savedName) {
    SaveJob& j = job_;
    SaveProgressView& view = view_;
    const std::uint32_t size = file.size;
    const std::uint32_t firstBlock = file.firstBlock;
    const std::string& name = file.name;
    const SaveSettings& settings = input_.settings;
    if (!PassesDateFilter(settings, file.timestamp) || !PassesDeletedFilter(settings, file.deletedMarker) ||
        !PassesExtensionFilter(settings, name)) {
        view.FileFiltered(folderPath, name);
        return;
    }

    if (j.totalBytes == 0) j.totalBytes = 1;
    FileFigures figures;
    figures.percent = static_cast<int>(j.savedBytes * 100 / j.totalBytes);
    figures.caption = PercentCaption(figures.percent);
    figures.filePath = folderPath;
    figures.fileName = name;
    figures.totalData = TotalDataText(j.savedBytes, j.totalBytes);
    ++j.filesStarted;
    figures.filesRecovered = FilesRecoveredText(j.filesStarted, j.totalFiles);
    view.FileStarted(figures);

    j.skipRequested = 0;

    const std::string folder = (!folderPath.empty() && folderPath.back() == '/') ? folderPath : folderPath + "/";
    const std::string& fileName = savedName;
    const std::string targetPath = folder + fileName;
    ReportName(name, savedName, file.IsDeleted(), targetPath);

    FolderFd dir = folders_.Open(folder, false);
    if (!dir.ok()) {
        // The walk could not make the folder: making it again gives the reason.
        dir = folders_.Open(folder, true);
    }
    if (!dir.ok()) {
        const std::string reason = std::string(kUnableToCreateDirectoryText) + ": " + folder + ": " + std::strerror(errno);
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::CreateFailed, 0, size, reason);
        return;
    }

    struct stat existing;
    if (::fstatat(dir.get(), fileName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (j.replacePolicy == kReplaceNone) {
            EndFile(targetPath, FileOutcome::NotReplaced, 0, size, {});
            return;
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
                return;
            }
        }
        // A folder is never replaced by a file.
        if (S_ISDIR(existing.st_mode)) {
            const std::string reason = std::string(kUnableToOpenFileText) + ": " + targetPath + ": " + std::strerror(EISDIR);
            AskAboutWriteError(targetPath, reason);
            EndFile(targetPath, FileOutcome::CreateFailed, 0, size, reason);
            return;
        }
    }

    // The file is written under a temporary name and takes its own name
    // (replacing a file or link there, never following the link) only
    // once it is complete.
    TargetFile target;
    if (!target.CreateTemporary(dir.get(), fileName)) {
        const std::string reason = std::string(kUnableToOpenFileText) + ": " + targetPath + ": " + target.ErrorText();
        AskAboutWriteError(targetPath, reason);
        EndFile(targetPath, FileOutcome::CreateFailed, 0, size, reason);
        return;
    }

    const std::uint32_t S = input_.volume.currentVolume.sectorsPerBlock;
    const std::uint64_t blockBytes = static_cast<std::uint64_t>(S) * disk::kSectorSize;
    const bool wholePiece = nw::IsSuballocatedPiece(firstBlock);
    const std::optional<struct timespec> modified = EntryTime(file.timestamp);

    // Puts the file under its name; a file that cannot be is a write failure.
    auto commit = [&](FileOutcome outcome, std::uint64_t written, std::uint64_t byteCount, const std::string& damage,
                      std::uint64_t unreadable) {
        if (!target.Commit(modified ? &*modified : nullptr)) {
            const std::string reason = target.ErrorText();
            job_.savedBytes -= written;
            AskAboutWriteError(targetPath, reason);
            EndFile(targetPath, FileOutcome::WriteFailed, written, byteCount, reason);
            return;
        }
        const ExtrasOutcome extras =
            FinishSavedFile(dir.get(), fileName, file, input_.volume, input_.reader, settings.extras);
        if (!extras.failure.empty() && input_.activityReport)
            input_.activityReport->Append("\r\nFile \"" + Shown(targetPath) + "\": " + extras.failure);
        const std::string whole = damage.empty() || extras.damage.empty() ? damage + extras.damage : damage + "; " + extras.damage;
        EndFile(targetPath, outcome, written, byteCount, whole, unreadable + extras.unreadable);
    };

    if (firstBlock == nw::kChainEnd) {  // no data: the file is empty
        commit(size == 0 ? FileOutcome::Written : FileOutcome::Short, 0, size, DamageReason(0, size, 0, false), 0);
        return;
    }
    bool checksumFailed = false;
    const std::uint32_t byteCount = BytesToRead(input_.volume, input_.reader, file, &checksumFailed);
    if (checksumFailed) prompts_.ShowError(kChecksumErrorText);
    // A file held whole in one piece cannot be larger than a block. For a
    // compressed file that is its stored length: the entry's size is the
    // expanded one, and judging by it would leave the saved file empty.
    if (wholePiece && byteCount > blockBytes) {
        commit(FileOutcome::Abandoned, 0, byteCount, FileOutcomeText(FileOutcome::Abandoned), 0);
        return;
    }

    TargetConsumer consumer(*this, target, byteCount);
    fileReader_.ReadFileData(firstBlock, byteCount, consumer);
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
    const std::uint64_t unreadable = fileReader_.UnreadableBytes();
    const FileOutcome outcome = checksumFailed ? FileOutcome::ChecksumError
                                : consumer.written < byteCount ? FileOutcome::Short
                                                               : FileOutcome::Written;
    std::string reason = DamageReason(consumer.written, byteCount, unreadable, checksumFailed);
    if (const std::optional<nw::VolumeSegment>& gone = fileReader_.MissingSegment())
        reason += ": " + nw::MissingSegmentText(input_.volume.currentVolume.name, gone->number);
    commit(outcome, consumer.written, byteCount, reason, unreadable);
}

}  // namespace recovery
