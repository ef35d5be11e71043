// Digital Forensics XML (DFXML) reports: what a save or a raw scan wrote,
// from which image and where each file's bytes lay, in the field's own
// format so that other tools read it. What the schema has no element for
// goes into the namespace urn:x-tarvine:dfxml (prefix tarvine), which the
// schema admits as extra elements and attributes. The report is written
// under a scratch name and put under its own name only when complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Digests.h"
#include "netware/FileReader.h"
#include "netware/TimeZone.h"
#include "netware/Volume.h"
#include "records/SafeFile.h"

namespace records {

inline constexpr const char* kDfxmlNamespace = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
inline constexpr const char* kTarvineDfxmlNamespace = "urn:x-tarvine:dfxml";

// A name as XML text: control characters and bytes that are not valid UTF-8
// through the program's escaper (\t, \n, \r, \xHH, a backslash as \\), then
// &, <, >, " and ' as entities.
std::string XmlName(std::string_view name);
// Text known to be valid UTF-8 without control characters, with &, <, >, "
// and ' as entities.
std::string XmlText(std::string_view text);
// A packed NetWare date and time, read as local time in `zone`, as an XML dateTime in UTC
// ("2001-02-03T04:05:06Z"); empty when it is no date.
std::string DfxmlTime(std::uint32_t packed, const nw::TimeZone& zone);

// One attached image.
struct DfxmlImage {
    unsigned disk = 0;  // its disk number
    std::string path;
    std::string format;  // "raw image", "EWF (E01) image set", ...
    std::string storedMd5, storedSha1;  // what an EWF set stores; empty when none
};

struct DfxmlSource {
    std::string type;         // dc:type ("Recovered files", "Carved documents")
    std::string commandLine;  // empty: none known
    std::vector<DfxmlImage> images;
};

// One file written.
struct DfxmlFileObject {
    std::string filename;                 // as saved (a raw path: escaped here)
    std::uint64_t filesize = 0;
    std::optional<bool> alloc;            // false: a deleted entry
    std::string mtime, atime, crtime;     // XML dateTimes; empty: left out
    std::vector<nw::FileByteRun> runs;
    base::Digests digests;
    // Extra elements in the tarvine namespace, in this order (name, text).
    std::vector<std::pair<std::string, std::string>> extras;
};

class DfxmlWriter {
public:
    // Creates the scratch file beside `path` and writes the head: metadata,
    // creator, source. False (with a reason) when it cannot be created.
    bool Open(const std::string& path, const DfxmlSource& source, std::string* reason);
    // A NetWare volume: its block size and byte offset; its name and
    // segments go in tarvine elements. The file objects that follow belong
    // to it until EndVolume.
    void BeginVolume(const nw::VolumeDescriptor& volume);
    void EndVolume();
    // `diskAttribute`: each run names its disk (a volume of several disks).
    void FileObject(const DfxmlFileObject& file, bool diskAttribute);
    // Ends the document and puts it under its name; false with a reason
    // when any write failed.
    bool Finish(std::string* reason);

private:
    ReplacingFile file_;
    std::string pending_;  // the volume's tarvine elements, written at its end
    bool inVolume_ = false;
};

}  // namespace records
