// Prints the folder listing: landscape, the fixed-pitch font, one record per
// line, each page under the header "Tarvine Log" with its page number and a
// red rule.
#pragma once

#include <QString>
#include <string>
#include <vector>

class QPrinter;

namespace app {

// Prints the lines on an already chosen printer. Returns the number of
// pages printed (0 when the printer could not be started).
int PrintListingLines(QPrinter& printer, const std::vector<std::string>& lines);

}  // namespace app
