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

}  // namespace workflow
