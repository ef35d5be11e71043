// The activity report's two menu commands: view it and mail it.
#pragma once

#include <string>

#include "records/DirectoryListing.h"

namespace records {

inline constexpr const char* kUnableToFindLogText = "Unable to find log file";

// Opens the activity report at `reportPath` in the user's viewer; "Unable
// to find log file" when it does not exist. done when it was handed to the
// opener.
CommandResult ViewReport(const std::string& reportPath, FileOpener& opener);
// Mails the activity report to the support address (subject "Tarvine Log
// File"). done when the message was handed to the mail client.
CommandResult EmailReport(const std::string& reportPath, const std::string& supportAddress);

}  // namespace records
