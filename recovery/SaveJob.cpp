#include "recovery/SaveJob.h"

#include <ctime>

namespace recovery {

std::int64_t SaveJob::Now() const {
    if (clock) return clock();
    return static_cast<std::int64_t>(std::time(nullptr));
}

const char* FileOutcomeText(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Written: return "written";
        case FileOutcome::Short: return "written, the chain ends before the file's size";
        case FileOutcome::Abandoned: return "left empty, a suballocated file larger than one block";
        case FileOutcome::NotReplaced: return "not replaced";
        case FileOutcome::ChecksumError: return kChecksumErrorText;
        case FileOutcome::CreateFailed: return "could not be created";
        case FileOutcome::WriteFailed: return "writing failed, nothing kept";
        case FileOutcome::Skipped: return "skipped, nothing kept";
        case FileOutcome::Stopped: return "stopped, nothing kept";
    }
    return "";
}

bool FileKept(FileOutcome outcome) {
    return outcome == FileOutcome::Written || outcome == FileOutcome::Short || outcome == FileOutcome::Abandoned ||
           outcome == FileOutcome::ChecksumError;
}

std::string PercentCaption(int percent) { return std::to_string(percent) + "% Completed"; }

std::string TotalDataText(std::uint64_t savedBytes, std::uint64_t totalBytes) {
    std::uint64_t total = totalBytes / 1024 / 1024;
    if (total == 0) total = 1;
    return std::to_string(savedBytes / 1024 / 1024) + " MB/" + std::to_string(total) + " MB";
}

std::string FilesRecoveredText(std::uint32_t started, std::uint32_t total) {
    return std::to_string(started) + " / " + std::to_string(total);
}

std::string CurrentFileText(std::uint64_t written, std::uint64_t byteCount) {
    return std::to_string(written) + " / " + std::to_string(byteCount);
}

std::string MinutesText(std::int64_t seconds) {
    return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

}  // namespace recovery
