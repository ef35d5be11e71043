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

}  // namespace recovery
