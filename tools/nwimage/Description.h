// The text description format read by the nwimage program.
#pragma once

#include <string>
#include <vector>

#include "tools/nwimage/NwImage.h"

namespace nwimage {

// Parses a description; throws BuildError naming the line on any mistake.
// ParseDescription() takes descriptions of one disk only.
DiskSpec ParseDescription(const std::string& text);
std::vector<DiskSpec> ParseDisks(const std::string& text);

// The format and the manifest, as the program's --help prints them.
const char* DescriptionHelp();

}  // namespace nwimage
