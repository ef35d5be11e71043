#include "disk/OpenSource.h"

#include <sys/stat.h>

#include "disk/Containers.h"
#include "disk/PosixFile.h"
#include "disk/RawSource.h"
#include "disk/SplitRawSource.h"

namespace disk {

OpenedSource OpenSource(const std::string& path) {
    OpenedSource opened;
    UniqueFd fd = OpenForReading(path, FileKinds::kRegularOrBlockDevice, &opened.failure);
    if (!fd.ok()) return opened;
    opened.format = DetectFormat(fd.get());
    std::string why;
    switch (opened.format) {
        case SourceFormat::kRaw:
        case SourceFormat::kSplitRaw: {
            struct stat st {};
            const bool regular = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
            const std::vector<std::string> pieces = regular ? SplitRawPieces(path) : std::vector<std::string>{path};
            if (pieces.size() > 1) {
                opened.format = SourceFormat::kSplitRaw;
                opened.source = OpenSplitRaw(pieces, &why);
            } else {
                opened.source = std::make_unique<RawSource>(std::move(fd));
            }
            break;
        }
        case SourceFormat::kEwf: opened.source = OpenEwf(path, &why); break;
        case SourceFormat::kVmdk: opened.source = OpenVmdk(path, &why); break;
        case SourceFormat::kVhd:
        case SourceFormat::kVhdx: opened.source = OpenVhd(path, &why); break;
        case SourceFormat::kQcow: opened.source = OpenQcow(path, &why); break;
    }
    if (!opened.source) opened.failure = why;
    return opened;
}

}  // namespace disk
