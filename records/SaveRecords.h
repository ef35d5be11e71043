// The records a save writes beside what it saved: a list of the saved
// files' SHA-256 digests in the form `sha256sum -c` reads (paths relative to
// the destination; symbolic links left out), lists of their MD5 and SHA-1
// digests beside it (NAME.md5, NAME.sha1) when those were asked for, and a
// DFXML report of every saved file. Each is written under a scratch name
// while the save runs and put under its own name when the save is over.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "netware/Volume.h"
#include "recovery/SavedFiles.h"
#include "netware/TimeZone.h"
#include "records/Dfxml.h"

namespace records {

struct SaveRecordsRequest {
    std::string hashListPath;  // empty: no hash lists
    std::string dfxmlPath;     // empty: no DFXML report
    unsigned digestKinds = base::kDigestSha256;  // SHA-256 is always among them
    DfxmlSource source;
    nw::VolumeDescriptor volume;
    nw::TimeZone zone;  // the zone the server's local dates are read in
    // Where the save writes: a record named like a file saved there is
    // never put over that file.
    std::string destination;
};

// A line of a `sha256sum`-format list: "DIGEST  PATH", a path holding a
// backslash or a newline written with them escaped (\\, \n) and the line
// begun with a backslash, as the checking tools read it.
std::string DigestListLine(const std::string& digest, const std::string& path);

class SaveRecords : public recovery::SavedFileSink {
public:
    explicit SaveRecords(SaveRecordsRequest request);
    ~SaveRecords() override;

    // Opens every file asked for under its scratch name; false with the
    // path and the reason when one cannot be.
    bool Open(std::string* reason);
    void FileSaved(const recovery::SavedFileRecord& record) override;
    // Puts every file under its name. `written`: the paths put in place, in
    // order; false with the path and the reason of each that failed.
    bool Finish(std::vector<std::string>* written, std::string* reason);

    // The paths this request writes, in the order Finish puts them.
    std::vector<std::string> Paths() const;

private:
    SaveRecordsRequest request_;
    struct List {
        std::string path;
        int kind;
        ReplacingFile file;
    };
    std::vector<std::unique_ptr<List>> lists_;
    std::unique_ptr<DfxmlWriter> dfxml_;
    // The records that lie inside the destination, by their path there,
    // and those a saved file turned out to share that path with.
    std::vector<std::pair<std::string, std::string>> inside_;  // (record path, path in the destination)
    std::vector<std::string> taken_;
    bool Taken(const std::string& path) const;
};

}  // namespace records
