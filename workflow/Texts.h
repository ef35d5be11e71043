// Fixed texts that both front ends show and that no lower layer owns.
#pragma once

#include <string>

#include "base/Progress.h"
#include "workflow/Session.h"

namespace workflow {

// Empty search results.
inline constexpr const char* kNoVolumeQuickText = "No volume found, use advance mode";
inline constexpr const char* kNoVolumeAdvancedText = "No volume found, use raw mode";

// The first status line of an advanced search.
inline constexpr const char* kSearchPhase1Text = "Searching Volumes Phase 1/2";

// Refusals of commands that need another point of the recovery.
inline constexpr const char* kGoToStep2Text = "Go to step 2 and then use this option";
// A hash list or DFXML report of a save or raw scan that could not be written.
inline constexpr const char* kRecordNotWrittenText = "Record not written";
inline constexpr const char* kGoToStep1Or2Text = "Go to step 1 OR 2 and then use this option.";
inline constexpr const char* kRawModeRefusalText =
    "This Feature can not be used while running under RAW Recovery Mode";

// The activity report's name of a mode: "QUICK", "Advance", "Raw" ("" for none).
const char* ModeName(RecoveryMode mode);

// A document kind (raw::kinds::Code) in the raw file-type list:
// "Microsoft Word File(s) (.DOC)".
const char* DocumentKindCaption(int kind);
// The raw "Files Recovered" row of a kind with its count:
// "Total Word File(s) Recovered :  3".
std::string FilesRecoveredRowText(int kind, int count);

// The caption of a progress bar: "42 % Completed" (clamped to 0..100).
std::string ProgressCaption(int percent);

}  // namespace workflow
