#include "app/HelpFile.h"

#include <QDir>
#include <QFileInfo>

namespace app {

QString HelpFileIn(const QString& folder) { return QDir(folder).filePath(kHelpFileName); }

QString HelpFileForKey(const QString& currentFolder, const QString& installFolder) {
    const QString here = HelpFileIn(currentFolder);
    if (QFileInfo::exists(here) || installFolder.isEmpty()) return here;
    return HelpFileIn(installFolder);
}

QString InstalledDataFolder(const QString& executableFolder) {
    return QDir::cleanPath(QDir(executableFolder).filePath("../share/tarvine"));
}

}  // namespace app
