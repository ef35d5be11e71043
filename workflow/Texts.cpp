#include "workflow/Texts.h"

namespace workflow {

const char* ModeName(RecoveryMode mode) {
    switch (mode) {
        case kModeQuick: return "QUICK";
        case kModeAdvanced: return "Advance";
        case kModeRaw: return "Raw";
        default: return "";
    }
}

std::string ProgressCaption(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    return std::to_string(percent) + " % Completed";
}

}  // namespace workflow
