// Where the help document lies: the "Contents" command and the Help tool
// button open the one in the install folder; F1 opens the one in the
// current folder, or the install folder's when the current folder has none.
#pragma once

#include <QString>

namespace app {

inline constexpr const char* kHelpFileName = "TarvineHelp.html";

QString HelpFileIn(const QString& folder);
QString HelpFileForKey(const QString& currentFolder, const QString& installFolder);

// The folder that holds the installed program's companion files, relative
// to the folder of an installed executable (prefix/bin -> prefix/share/tarvine).
QString InstalledDataFolder(const QString& executableFolder);

}  // namespace app
