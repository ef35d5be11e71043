#include "workflow/RecordSources.h"

#include <memory>

namespace workflow {

records::DfxmlSource ReportSource(const Session& session, const std::string& type, const std::string& commandLine) {
    records::DfxmlSource source;
    source.type = type;
    source.commandLine = commandLine;
    for (unsigned n = 0; n < disk::kDeviceCount; ++n) {
        const std::shared_ptr<disk::Disk> d = session.disks.At(n);
        if (!d) continue;
        records::DfxmlImage image;
        image.disk = n;
        image.path = d->Path();
        image.format = d->SourceName();
        for (const auto& [name, value] : d->Facts()) {
            if (name == "MD5") image.storedMd5 = value;
            if (name == "SHA1") image.storedSha1 = value;
        }
        source.images.push_back(std::move(image));
    }
    return source;
}

}  // namespace workflow
