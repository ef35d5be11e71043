#include "app/Startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "app/HelpFile.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "disk/SectorReader.h"

namespace app {

const char* UsageText() {
    return "Usage: tarvine [--image FILE [--badmap MAPFILE]]... [--help]\n"
           "\n"
           "Recovers files from disks that carry Novell NetWare traditional volumes.\n"
           "The disk is never written.\n"
           "\n"
           "  --image FILE      use this disk image (or block device) instead of the\n"
           "                    machine's disks; repeat for several, numbered from 0\n"
           "  --badmap MAPFILE  GNU ddrescue mapfile of the image named just before;\n"
           "                    its unfinished areas read as bad sectors\n"
           "  --help            this text\n";
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        if (a == "--help" || a == "-h") {
            c.help = true;
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
    const int fd = ::open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open image " + source.path + ": " + std::strerror(errno);
    ::close(fd);
    if (!source.mapfilePath.empty()) {
        const int m = ::open(source.mapfilePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (m < 0) return "cannot open mapfile " + source.mapfilePath + ": " + std::strerror(errno);
        ::close(m);
    }
    return {};
}

bool RegisterInstallFolder(const QString& executableFolder) {
    const auto holdsCompanions = [](const QString& folder) {
        return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(kCompanionMarker));
    };
    const QString stored = QString::fromStdString(
        job::RegistryTextRead(job::kClassesRoot, job::kProductKey, job::kInstallFolderValue));
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
    if (folder.size() > job::kRegistryTextMax) return false;
    return job::Settings().Write(job::kClassesRoot, job::kProductKey, job::kInstallFolderValue, folder);
}

}  // namespace app
