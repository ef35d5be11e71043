// nwimage: writes a NetWare disk image, its manifest and its mapfile from a
// description file.
#include <cstdio>
#include <cstring>
#include <fstream>
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

int Usage(const char* msg) {
    std::fprintf(stderr, "nwimage: %s\nUsage: nwimage DESCRIPTION -o IMAGE [--manifest FILE] [--map FILE] (--help for more)\n", msg);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string desc, image, manifest, map;
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
        } else if (!a.empty() && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
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
        nwimage::Image img = nwimage::Build(nwimage::ParseDescription(text.str()));
        if (!manifest.empty()) nwimage::WriteManifestFile(img, manifest);
        if (!map.empty()) WriteText(map, nwimage::MapfileText(img));
        nwimage::WriteImageFile(img, image);
    } catch (const nwimage::BuildError& e) {
        std::fprintf(stderr, "nwimage: %s: %s\n", desc.c_str(), e.what());
        return 1;
    }
    return 0;
}
