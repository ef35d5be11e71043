// One file of a save: filters, progress figures, the replace policy, the
// target's creation and the copy of the file's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "disk/Disk.h"
#include "netware/MountedVolume.h"
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

// The compressed-file header of a file's first data sector: the value at
// byte 4 must be the entry's size; the value at byte 8 is the number of
// stored bytes. Returns false when the header does not agree.
bool SaveRun::StoredLength(std::uint32_t firstBlock, std::uint32_t size, std::uint32_t* stored) {
    std::uint8_t buffer[disk::kSectorSize] = {};
    if (!fileReader_.ReadFirstDataSector(firstBlock, buffer)) return false;
    if (nw::LoadLe32(buffer + kHeaderEntrySize) != size) return false;
    *stored = nw::LoadLe32(buffer + kHeaderStoredBytes);
    return true;
}

void SaveRun::SaveOneFile(const nw::EntryRecord& file, const std::string& folderPath) {
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
    const std::string fileName = SafeNameReported(name);
    const std::string targetPath = folder + fileName;

    const FolderFd dir = OpenFolderPath(root_, folder, false);
    if (!dir.ok()) {
        const std::string reason = std::strerror(errno);
        AskAboutWriteError(targetPath, reason);
        view.FileEnded(targetPath, FileOutcome::CreateFailed, 0, size);
        return;
    }

    struct stat existing;
    if (::fstatat(dir.get(), fileName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (j.replacePolicy == kReplaceNone) {
            view.FileEnded(targetPath, FileOutcome::NotReplaced, 0, size);
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
                view.FileEnded(targetPath, FileOutcome::NotReplaced, 0, size);
                return;
            }
        }
        // A link is replaced itself; what it points to is never written.
        if (S_ISLNK(existing.st_mode)) ::unlinkat(dir.get(), fileName.c_str(), 0);
    }

    TargetFile target;
    if (!target.Create(dir.get(), fileName)) {
        AskAboutWriteError(targetPath, target.ErrorText());
        view.FileEnded(targetPath, FileOutcome::CreateFailed, 0, size);
        return;
    }

    const std::uint32_t S = input_.volume.currentVolume.sectorsPerBlock;
    const std::uint64_t blockBytes = static_cast<std::uint64_t>(S) * disk::kSectorSize;
    const bool wholePiece = nw::IsSuballocatedPiece(firstBlock);
    std::uint32_t byteCount = size;

    auto finish = [&](FileOutcome outcome, std::uint64_t written) {
        if (!target.Close() && outcome != FileOutcome::WriteFailed) {
            AskAboutWriteError(targetPath, target.ErrorText());
            outcome = FileOutcome::WriteFailed;
        }
        view.FileEnded(targetPath, outcome, written, byteCount);
    };

    if (firstBlock == nw::kChainEnd) {  // no data: the target stays empty
        finish(size == 0 ? FileOutcome::Written : FileOutcome::Short, 0);
        return;
    }
    if (file.attributesHigh & kCompressedBit) {
        std::uint32_t stored = 0;
        if (!StoredLength(firstBlock, size, &stored)) {
            prompts_.ShowError(kChecksumErrorText);
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

    TargetConsumer consumer(*this, target, byteCount);
    fileReader_.ReadFileData(firstBlock, byteCount, consumer);
    if (target.Failed() || !target.Flush()) {
        target.Close();
        // Count only what reached the target.
        const std::uint64_t reached = target.BytesWritten();
        if (consumer.written > reached) j.savedBytes -= consumer.written - reached;
        AskAboutWriteError(targetPath, target.ErrorText());
        view.FileEnded(targetPath, FileOutcome::WriteFailed, reached, byteCount);
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
