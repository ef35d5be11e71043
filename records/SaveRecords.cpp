#include "records/SaveRecords.h"

#include <algorithm>
#include <filesystem>

namespace records {

std::string DigestListLine(const std::string& digest, const std::string& path) {
    std::string name;
    bool escaped = false;
    for (char c : path) {
        if (c == '\\') {
            name += "\\\\";
            escaped = true;
        } else if (c == '\n') {
            name += "\\n";
            escaped = true;
        } else {
            name += c;
        }
    }
    return (escaped ? "\\" : "") + digest + "  " + name + "\n";
}

SaveRecords::SaveRecords(SaveRecordsRequest request) : request_(std::move(request)) {
    request_.digestKinds |= base::kDigestSha256;
}

SaveRecords::~SaveRecords() = default;

std::vector<std::string> SaveRecords::Paths() const {
    std::vector<std::string> paths;
    if (!request_.hashListPath.empty()) {
        paths.push_back(request_.hashListPath);
        if (request_.digestKinds & base::kDigestMd5) paths.push_back(request_.hashListPath + ".md5");
        if (request_.digestKinds & base::kDigestSha1) paths.push_back(request_.hashListPath + ".sha1");
    }
    if (!request_.dfxmlPath.empty()) paths.push_back(request_.dfxmlPath);
    return paths;
}

bool SaveRecords::Open(std::string* reason) {
    if (!request_.destination.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path destination = fs::weakly_canonical(request_.destination, ec);
        for (const std::string& path : Paths()) {
            std::error_code pathError;
            const fs::path relative = fs::weakly_canonical(path, pathError).lexically_relative(destination);
            if (ec || pathError || relative.empty() || *relative.begin() == "..") continue;
            inside_.emplace_back(path, relative.generic_string());
        }
    }
    std::string why;
    auto fail = [&](const std::string& path) {
        if (reason) *reason = path + ": " + why;
        return false;
    };
    if (!request_.hashListPath.empty()) {
        const std::string& base = request_.hashListPath;
        const std::pair<std::string, int> lists[] = {{base, base::kDigestSha256},
                                                     {base + ".md5", base::kDigestMd5},
                                                     {base + ".sha1", base::kDigestSha1}};
        for (const auto& [path, kind] : lists) {
            if (!(request_.digestKinds & static_cast<unsigned>(kind))) continue;
            auto list = std::make_unique<List>();
            list->path = path;
            list->kind = kind;
            if (!list->file.Open(path, &why)) return fail(path);
            lists_.push_back(std::move(list));
        }
    }
    if (!request_.dfxmlPath.empty()) {
        dfxml_ = std::make_unique<DfxmlWriter>();
        if (!dfxml_->Open(request_.dfxmlPath, request_.source, &why)) return fail(request_.dfxmlPath);
        dfxml_->BeginVolume(request_.volume);
    }
    return true;
}

bool SaveRecords::Taken(const std::string& path) const {
    return std::find(taken_.begin(), taken_.end(), path) != taken_.end();
}

void SaveRecords::FileSaved(const recovery::SavedFileRecord& record) {
    for (const auto& [path, there] : inside_)
        if (there == record.path && !Taken(path)) taken_.push_back(path);
    if (!record.link) {
        for (const auto& list : lists_) {
            const std::string& digest = list->kind == base::kDigestMd5    ? record.digests.md5
                                        : list->kind == base::kDigestSha1 ? record.digests.sha1
                                                                          : record.digests.sha256;
            if (!digest.empty()) list->file.Write(DigestListLine(digest, record.path));
        }
    }
    if (!dfxml_) return;
    DfxmlFileObject f;
    f.filename = record.path;
    f.filesize = record.size;
    f.alloc = !record.deleted;
    f.mtime = DfxmlTime(record.modified ? record.modified : record.created, request_.zone);
    f.atime = record.accessDate ? DfxmlTime(static_cast<std::uint32_t>(record.accessDate) << 16, request_.zone) : std::string();
    f.crtime = DfxmlTime(record.created, request_.zone);
    f.runs = record.runs;
    if (!record.link) f.digests = record.digests;
    f.extras.emplace_back("disk_name", record.diskName);
    if (record.companion) f.extras.emplace_back("companion", "1");
    if (record.link) f.extras.emplace_back("symbolic_link", "1");
    if (record.damaged) {
        f.extras.emplace_back("damaged", "1");
        f.extras.emplace_back("unreadable_bytes", std::to_string(record.unreadableBytes));
    }
    dfxml_->FileObject(f, request_.volume.Spanned());
}

bool SaveRecords::Finish(std::vector<std::string>* written, std::string* reason) {
    bool ok = true;
    std::string failures;
    auto note = [&](const std::string& path, bool done, const std::string& why) {
        if (done) {
            if (written) written->push_back(path);
            return;
        }
        ok = false;
        failures += (failures.empty() ? "" : "; ") + path + ": " + why;
    };
    // A record that would replace a saved file stays unwritten: its
    // scratch file goes with it.
    static const char* const kTaken = "a file this save wrote has that name";
    for (const auto& list : lists_) {
        std::string why = kTaken;
        const bool done = !Taken(list->path) && list->file.Commit(&why);
        note(list->path, done, why);
    }
    lists_.clear();
    if (dfxml_) {
        std::string why = kTaken;
        const bool done = !Taken(request_.dfxmlPath) && dfxml_->Finish(&why);
        note(request_.dfxmlPath, done, why);
        dfxml_.reset();
    }
    if (reason) *reason = failures;
    return ok;
}

}  // namespace records
