// nwimage: writes NetWare disk images, their manifest and their mapfiles
// from a description file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw nwimage::BuildError("cannot write " + path);
}

int Usage(const std::string& msg) {
    std::fprintf(stderr,
                 "nwimage: %s\nUsage: nwimage DESCRIPTION -o IMAGE [--output-disk N FILE]... [--manifest FILE] "
                 "[--map FILE] (--help for more)\n",
                 msg.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string desc, image, manifest, map;
    std::map<std::size_t, std::string> diskFiles;  // --output-disk
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(nwimage::DescriptionHelp(), stdout);
            return 0;
        }
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (a == "-o" || a == "--output") {
            if (!value(image)) return Usage("-o needs a file name");
        } else if (a == "--manifest") {
            if (!value(manifest)) return Usage("--manifest needs a file name");
        } else if (a == "--map") {
            if (!value(map)) return Usage("--map needs a file name");
        } else if (a == "--output-disk") {
            std::string number, file;
            if (!value(number) || !value(file)) return Usage("--output-disk needs a disk number and a file name");
            char* end = nullptr;
            const unsigned long n = std::strtoul(number.c_str(), &end, 10);
            if (number.empty() || *end || number[0] == '-' || n == 0 || n > 255)
                return Usage("--output-disk takes a disk number 1..255 (disk 0 is written to -o)");
            diskFiles[n] = file;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (desc.empty()) {
            desc = a;
        } else {
            return Usage("more than one description given");
        }
    }
    if (desc.empty() || image.empty()) return Usage("a description and -o IMAGE are needed");
    try {
        std::ifstream in(desc, std::ios::binary);
        if (!in) throw nwimage::BuildError("cannot read " + desc);
        std::stringstream text;
        text << in.rdbuf();
        std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(text.str()));

        // Every file is named before any is written, and no two outputs
        // may share a name: a later one would silently replace the earlier.
        std::vector<std::pair<std::string, std::string>> outputs;  // file, what
        std::vector<std::string> images, maps;
        for (std::size_t d = 0; d < disks.size(); ++d) {
            auto it = diskFiles.find(d);
            images.push_back(it != diskFiles.end() ? it->second : nwimage::DiskFileName(image, d));
            outputs.emplace_back(images.back(), "the image of disk " + std::to_string(d));
            if (!map.empty()) {
                maps.push_back(nwimage::DiskFileName(map, d));
                outputs.emplace_back(maps.back(), "the mapfile of disk " + std::to_string(d));
            }
        }
        if (!diskFiles.empty() && diskFiles.rbegin()->first >= disks.size())
            throw nwimage::BuildError("--output-disk " + std::to_string(diskFiles.rbegin()->first) +
                                      ": the description has no such disk");
        if (!manifest.empty()) outputs.emplace_back(manifest, "the manifest");
        std::map<std::string, std::string> seen;
        for (const auto& [file, what] : outputs) {
            auto [it, fresh] = seen.emplace(file, what);
            if (!fresh) throw nwimage::BuildError(it->second + " and " + what + " would both be written to " + file);
        }

        if (!manifest.empty()) nwimage::WriteManifestFile(disks, manifest);
        for (std::size_t d = 0; d < disks.size(); ++d) {
            if (!map.empty()) WriteText(maps[d], nwimage::MapfileText(disks[d]));
            nwimage::WriteImageFile(disks[d], images[d]);
        }
    } catch (const nwimage::BuildError& e) {
        std::fprintf(stderr, "nwimage: %s: %s\n", desc.c_str(), e.what());
        return 1;
    }
    return 0;
}
