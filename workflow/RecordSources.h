// What the DFXML reports of a save and of a raw scan say of their source:
// the session's attached images, their formats and stored hashes.
#pragma once

#include <string>

#include "records/Dfxml.h"
#include "workflow/Session.h"

namespace workflow {

// `type` is the report's dc:type; `commandLine` may be empty.
records::DfxmlSource ReportSource(const Session& session, const std::string& type, const std::string& commandLine);

}  // namespace workflow
