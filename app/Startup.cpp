#include "app/Startup.h"

#include <QDir>
#include <QFileInfo>
#include <iostream>

#include "app/HelpFile.h"
#include "app/Messages.h"
#include "base/Identity.h"
#include "disk/DiskSet.h"
#include "workflow/Disks.h"
#include "workflow/SettingsStore.h"

namespace app {

const char* UsageText() {
    return "Usage: tarvine [--image FILE [--badmap MAPFILE]]... [--help] [--version]\n"
           "\n"
           "Recovers files from disks that carry Novell NetWare traditional volumes.\n"
           "The disk is never written.\n"
           "\n"
           "  --image FILE      use this disk image (or block device) instead of the\n"
           "                    machine's disks; repeat for several, numbered from 0\n"
           "  --badmap MAPFILE  GNU ddrescue mapfile of the image named just before;\n"
           "                    its unfinished areas read as bad sectors\n"
           "  --help            this text\n"
           "  --version         the program's version and those of its container libraries\n";
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--version") {
            c.version = true;
        } else if (a == "--image" || a == "--badmap") {
            if (i + 1 >= arguments.size()) {
                c.error = a.toStdString() + " needs a value";
                return c;
            }
            const std::string value = arguments[++i].toStdString();
            if (a == "--image") {
                c.images.push_back({value, ""});
            } else if (c.images.empty()) {
                c.error = "--badmap must follow the --image it belongs to";
                return c;
            } else if (!c.images.back().mapfilePath.empty()) {
                c.error = "--badmap given twice for " + c.images.back().path;
                return c;
            } else {
                c.images.back().mapfilePath = value;
            }
        } else {
            c.error = "unknown argument '" + a.toStdString() + "' (see tarvine --help)";
            return c;
        }
    }
    if (c.images.size() > disk::kDeviceCount)
        c.error = "at most " + std::to_string(disk::kDeviceCount) + " images can be named";
    return c;
}

std::string ImageProblem(const disk::DiskSource& source) {
    const std::string image = workflow::ImageOpenFailure(source.path);
    if (!image.empty()) return "cannot open image " + source.path + ": " + image;
    if (!source.mapfilePath.empty()) {
        const std::string map = workflow::ImageOpenFailure(source.mapfilePath);
        if (!map.empty()) return "cannot open mapfile " + source.mapfilePath + ": " + map;
    }
    return {};
}

bool ImagesReadable(const std::vector<disk::DiskSource>& sources) {
    for (const auto& source : sources) {
        const std::string problem = ImageProblem(source);
        if (problem.empty()) continue;
        std::cerr << "tarvine: " << problem << "\n";
        ShowMessage(nullptr, QString::fromStdString(problem), MessageIcon::Error);
        return false;
    }
    return true;
}

bool RegisterInstallFolder(workflow::SettingsStore& store, const QString& executableFolder) {
    const auto holdsCompanions = [](const QString& folder) {
        return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(kCompanionMarker));
    };
    const QString stored = QString::fromStdString(
        workflow::RegistryTextRead(store, base::kClassesRoot, base::kProductKey, base::kInstallFolderValue));
    if (holdsCompanions(stored)) return false;
    // A build tree or an unpacked folder keeps the companion files beside the
    // program; an installed program keeps them in its data folder.
    QString found;
    for (const QString& candidate : {executableFolder, InstalledDataFolder(executableFolder)})
        if (holdsCompanions(candidate)) {
            found = candidate;
            break;
        }
    if (found.isEmpty()) return false;
    const std::string folder = QDir(found).absolutePath().toStdString();
    if (folder.size() > workflow::kRegistryTextMax) return false;
    return store.Write(base::kClassesRoot, base::kProductKey, base::kInstallFolderValue, folder);
}

}  // namespace app
