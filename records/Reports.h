// The activity report's two menu commands: view it and mail it.
#pragma once

#include "records/DirectoryListing.h"

namespace records {

inline constexpr const char* kUnableToFindLogText = "Unable to find log file";

// Opens the activity report in the user's viewer; "Unable to find log file"
// when it does not exist. True when it was handed to the opener.
bool ViewReport(FileOpener& opener);
// Mails the activity report to the support address (subject "Tarvine Log
// File"). True when the message was handed to the mail client.
bool EmailReport();

}  // namespace records
