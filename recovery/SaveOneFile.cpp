// One file of a save: filters, progress figures, the replace policy, the
// target's creation and the copy of the file's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Records.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveSettings.h"
#include "recovery/TargetFile.h"

namespace recovery {

namespace {

constexpr std::uint8_t kCompressedBit = 0x04;

// The write-error dialog: Abort ends the job after this file, Skip goes on
// with the next one.
void AskAboutWriteError(const std::string& target, const std::string& reason) {
    SaveJob& j = CurrentSaveJob();
    if (Prompts().WriteError(target, reason) == WriteErrorAnswer::Abort) {
        j.skipRequested = 0;
        j.stopRequested = 1;
    } else {
        j.skipRequested = 1;
        j.stopRequested = 0;
    }
}

void ShowTimeFigures() {
    SaveJob& j = CurrentSaveJob();
    const std::int64_t elapsed = SaveClockNow() - j.startTime;
    if (elapsed <= 0) return;
    const std::int64_t saved = static_cast<std::int64_t>(j.savedBytes.load());
    const std::int64_t rate = saved / elapsed;
    if (rate <= 0) return;
    const std::int64_t remaining = (static_cast<std::int64_t>(j.totalBytes) - saved) / rate;
    ProgressView().TimeFigures(MinutesText(remaining), MinutesText(elapsed));
}

// Hands the delivered sectors to the target and watches Stop and Skip.
class TargetConsumer : public nw::FileDataConsumer {
public:
    TargetConsumer(TargetFile& target, std::uint64_t byteCount) : target_(target), byteCount_(byteCount) {}

    bool ShouldStop() override {
        if (target_.Failed()) return true;
        SaveJob& j = CurrentSaveJob();
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
        CurrentSaveJob().savedBytes += bytes;
        written += bytes;
        ProgressView().SectorWritten(written, byteCount_);
    }
    void BlockFinished() override { ShowTimeFigures(); }

    std::uint64_t written = 0;
    std::optional<FileOutcome> interrupted;

private:
    TargetFile& target_;
    std::uint64_t byteCount_;
};

// The compressed-file header of a file's first data sector: the value at
// byte 4 must be the entry's size; the value at byte 8 is the number of
// stored bytes. Returns false when the header does not agree.
bool StoredLength(std::uint32_t firstBlock, std::uint32_t size, std::uint32_t* stored) {
    const std::optional<std::uint64_t> sector = nw::FirstDataSector(firstBlock);
    if (!sector) return false;
    std::uint8_t buffer[disk::kSectorSize] = {};
    job::WizardState& w = job::Wizard();
    disk::ReadSectors(disk::MakeRequest(w.selectedDiskNumber, w.selectedDiskLabel, *sector, 1, buffer));
    if (nw::LoadLe32(buffer + 4) != size) return false;
    *stored = nw::LoadLe32(buffer + 8);
    return true;
}

}  // namespace

void SaveOneFile(std::uint32_t size, std::uint32_t firstBlock, const std::string& folderPath, const std::string& name,
                 std::uint8_t attributesHigh, std::uint32_t deletedMarker, std::uint32_t timestamp) {
    SaveJob& j = CurrentSaveJob();
    SaveProgressView& view = ProgressView();
    if (!PassesDateFilter(timestamp) || !PassesDeletedFilter(deletedMarker) || !PassesExtensionFilter(name)) {
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
    const std::string fileName = SafeNameReported(name);
    const std::string target = folder + fileName;

    const FolderFd dir = OpenFolderPath(folder, false);
    if (!dir.ok()) {
        const std::string reason = std::strerror(errno);
        AskAboutWriteError(target, reason);
        view.FileEnded(target, FileOutcome::CreateFailed, 0, size);
        return;
    }

    struct stat existing;
    if (::fstatat(dir.get(), fileName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (j.replacePolicy == kReplaceNone) {
            view.FileEnded(target, FileOutcome::NotReplaced, 0, size);
            return;
        }
        if (j.replacePolicy != kReplaceAll) {
            switch (Prompts().ConfirmReplace(target)) {
                case ReplaceAnswer::Yes: j.replacePolicy = kReplaceAsk; break;
                case ReplaceAnswer::No: j.replacePolicy = kReplaceNotThis; break;
                case ReplaceAnswer::YesToAll: j.replacePolicy = kReplaceAll; break;
                case ReplaceAnswer::NoToAll: j.replacePolicy = kReplaceNone; break;
            }
            if (j.replacePolicy == kReplaceNotThis || j.replacePolicy == kReplaceNone) {
                view.FileEnded(target, FileOutcome::NotReplaced, 0, size);
                return;
            }
        }
        // A link is replaced itself; what it points to is never written.
        if (S_ISLNK(existing.st_mode)) ::unlinkat(dir.get(), fileName.c_str(), 0);
    }

    TargetFile file;
    if (!file.Create(dir.get(), fileName)) {
        AskAboutWriteError(target, file.ErrorText());
        view.FileEnded(target, FileOutcome::CreateFailed, 0, size);
        return;
    }

    const std::uint32_t S = job::Wizard().currentVolume.sectorsPerBlock;
    const std::uint64_t blockBytes = static_cast<std::uint64_t>(S) * disk::kSectorSize;
    const bool wholePiece = nw::IsSuballocatedPiece(firstBlock);
    std::uint32_t byteCount = size;

    auto finish = [&](FileOutcome outcome, std::uint64_t written) {
        if (!file.Close() && outcome != FileOutcome::WriteFailed) {
            AskAboutWriteError(target, file.ErrorText());
            outcome = FileOutcome::WriteFailed;
        }
        view.FileEnded(target, outcome, written, byteCount);
    };

    if (firstBlock == nw::kChainEnd) {  // no data: the target stays empty
        finish(size == 0 ? FileOutcome::Written : FileOutcome::Short, 0);
        return;
    }
    if (attributesHigh & kCompressedBit) {
        std::uint32_t stored = 0;
        if (!StoredLength(firstBlock, size, &stored)) {
            job::ShowMessage(kChecksumErrorText, job::MessageIcon::Error);
            finish(FileOutcome::ChecksumError, 0);
            return;
        }
        byteCount = stored;
    }
    // A file held whole in one piece cannot be larger than a block. For a
    // compressed file that is its stored length: the entry's size is the
    // expanded one, and judging by it would leave the saved file empty.
    if (wholePiece && byteCount > blockBytes) {
        finish(FileOutcome::Abandoned, 0);
        return;
    }

    TargetConsumer consumer(file, byteCount);
    nw::ReadFileData(firstBlock, byteCount, consumer);
    if (file.Failed() || !file.Flush()) {
        file.Close();
        // Count only what reached the target.
        const std::uint64_t reached = file.BytesWritten();
        if (consumer.written > reached) j.savedBytes -= consumer.written - reached;
        AskAboutWriteError(target, file.ErrorText());
        view.FileEnded(target, FileOutcome::WriteFailed, reached, byteCount);
        return;
    }
    if (consumer.interrupted) {
        if (*consumer.interrupted == FileOutcome::Skipped) j.skipRequested = 0;
        finish(*consumer.interrupted, consumer.written);
        return;
    }
    finish(consumer.written < byteCount ? FileOutcome::Short : FileOutcome::Written, consumer.written);
}

}  // namespace recovery
