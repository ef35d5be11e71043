#include "workflow/Texts.h"

#include <algorithm>
#include <array>

#include "raw/FormatKinds.h"

namespace workflow {

namespace {

struct KindTexts {
    const char* caption;
    const char* rowText;  // the count follows
};
constexpr std::array<KindTexts, raw::kinds::kCount> kKindTexts{{
    {"Microsoft Word File(s) (.DOC)", "Total Word File(s) Recovered :  "},
    {"Microsoft Excel File(s) (.XLS)", "Total Excel File(s) Recovered :  "},
    {"Microsoft PowerPoint File(s) (.PPT)", "Total PowerPoint File(s) Recovered :  "},
    {"Compressed File(s) (.Zip)", "Total Zip File(s) Recovered :  "},
}};

}  // namespace

const char* DocumentKindCaption(int kind) {
    return kind >= 0 && kind < raw::kinds::kCount ? kKindTexts[static_cast<std::size_t>(kind)].caption : "";
}

std::string FilesRecoveredRowText(int kind, int count) {
    if (kind < 0 || kind >= raw::kinds::kCount) return std::string();
    return kKindTexts[static_cast<std::size_t>(kind)].rowText + std::to_string(count);
}

const char* ModeName(RecoveryMode mode) {
    switch (mode) {
        case kModeQuick: return "QUICK";
        case kModeAdvanced: return "Advance";
        case kModeRaw: return "Raw";
        default: return "";
    }
}

std::string ProgressCaption(int percent) {
    return std::to_string(std::clamp(percent, 0, 100)) + " % Completed";
}

}  // namespace workflow
