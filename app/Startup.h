// What the desktop program does before its window opens: reading the
// command line and finding the install folder.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "disk/DiskCatalogue.h"

namespace workflow {
class SettingsStore;
}

namespace app {

struct CommandLine {
    std::vector<disk::DiskSource> images;
    bool help = false;
    bool version = false;
    std::string error;  // non-empty: the arguments are wrong
};

// tarvine [--image FILE [--badmap MAPFILE]]... [--help] [--version]
CommandLine ParseCommandLine(const QStringList& arguments);
const char* UsageText();

// Why an image named on the command line cannot be used; empty when it can.
std::string ImageProblem(const disk::DiskSource& source);
// False after naming the first unusable image on stderr and in a message
// box (the program then ends).
bool ImagesReadable(const std::vector<disk::DiskSource>& sources);

// The file whose presence marks a folder as holding the program's companion
// files (step pictures, help).
inline constexpr const char* kCompanionMarker = "Step1.bmp";

// Makes "FilePath" in `store` name the folder that holds the companion files when the
// stored value is missing or names a folder without them: the folder beside
// the executable (a build tree or an unpacked folder), else the installed
// data folder (prefix/share/tarvine for prefix/bin).
// Returns true when it wrote the value.
bool RegisterInstallFolder(workflow::SettingsStore& store, const QString& executableFolder);

}  // namespace app
