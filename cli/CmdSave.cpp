// save: copies checked folders and files of a volume into a folder, with the
// save settings' filters.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "base/Digests.h"
#include "cli/Cli.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveSettings.h"
#include "workflow/Save.h"
#include "workflow/Volume.h"

namespace cli {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr std::uint64_t kSectorsPerRedrawCheck = 256;
constexpr double kBytesPerMegabyte = 1048576.0;

// "2 Min 5 Sec", as the window shows its time figures.
std::string MinutesText(std::int64_t seconds) {
    return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

// The "Saving" dialog on a terminal: one progress line, redrawn a few times
// a second, and the tally for the summary.
class TerminalSaving : public recovery::SaveProgressView {
public:
    explicit TerminalSaving(const recovery::SaveJob& job) : job_(job), terminal_(StderrIsTerminal()) {}
    void FileStarted(const recovery::FileFigures& f) override {
        current_ = f.name;
        Draw(true);
    }
    void SectorWritten(std::uint64_t, std::uint64_t) override {
        if (++sectors_ % kSectorsPerRedrawCheck == 0) Draw(false);
    }
    void TimeFigures(std::int64_t remainingSeconds, std::int64_t elapsedSeconds) override {
        remaining_ = MinutesText(remainingSeconds);
        elapsed_ = MinutesText(elapsedSeconds);
    }
    void FileFiltered(const std::string&, const std::string&) override { ++filtered; }
    void FileEnded(const std::string& target, recovery::FileOutcome outcome, std::uint64_t written,
                   std::uint64_t byteCount) override {
        using recovery::FileOutcome;
        if (recovery::FileKept(outcome)) return;
        if (outcome == FileOutcome::NotReplaced) {
            ++notReplaced;
            return;
        }
        if (outcome == FileOutcome::Stopped) return;  // the "stopped" line says it
        ++failed;
        Clear();
        std::cerr << "tarvine-cli: save: " << Shown(target) << ": " << recovery::FileOutcomeText(outcome) << " ("
                  << written << " of " << byteCount << " bytes read)\n";
    }
    void FileDamaged(const recovery::DamagedFile& file) override {
        ++damaged;
        Clear();
        Note("save: " + file.target + ": damaged: " + file.reason);
    }
    void EntryRenamed(const recovery::RenamedEntry& entry) override {
        ++renamed;
        Clear();
        Note("save: \"" + entry.diskName + "\" saved as " + entry.target + " (" + entry.reason + ")");
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (drawn_) std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

    unsigned filtered = 0;
    unsigned failed = 0;
    unsigned notReplaced = 0;
    unsigned damaged = 0;
    unsigned renamed = 0;

private:
    void Draw(bool force) {
        if (!terminal_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < kRedrawEvery) return;
        last_ = now;
        const std::uint64_t total = job_.totalBytes ? job_.totalBytes : 1;
        const std::uint64_t saved = job_.savedBytes;
        char head[128];
        std::snprintf(head, sizeof head, "%3llu%%  %.1f / %.1f MB  ",
                      static_cast<unsigned long long>(saved * 100 / total), static_cast<double>(saved) / kBytesPerMegabyte,
                      static_cast<double>(job_.totalBytes) / kBytesPerMegabyte);
        std::string line = head + Shown(current_) + "  elapsed " + (elapsed_.empty() ? "-" : elapsed_) + "  remaining " +
                           (remaining_.empty() ? "-" : remaining_);
        if (line.size() > kProgressLineWidth) line.resize(kProgressLineWidth);
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    const recovery::SaveJob& job_;
    const bool terminal_;  // stderr is a terminal: the progress line is drawn
    std::mutex mutex_;
    std::string current_, remaining_, elapsed_;
    std::uint64_t sectors_ = 0;
    std::chrono::steady_clock::time_point last_{};
    bool drawn_ = false;
};

class TerminalQuestions : public recovery::SavePrompts {
public:
    TerminalQuestions(TerminalSaving& view, ProgressLine& line, recovery::ReplaceAnswer fixed, bool ask)
        : view_(view), line_(line), fixed_(fixed), ask_(ask) {}
    recovery::ReplaceAnswer ConfirmReplace(const std::string& target) override {
        if (!ask_) return fixed_;
        if (!StdinIsTerminal()) {
            Note("save: " + target + " exists and is kept (choose with --replace all|none)");
            return recovery::ReplaceAnswer::No;
        }
        for (;;) {
            view_.Clear();
            const std::string a = AskLine(line_, std::string(recovery::kReplaceQuestionText) + "\n  " + target +
                                                     "\n[y]es, [n]o, yes to [a]ll, no [t]o all? ");
            if (a.empty() && std::cin.eof()) return recovery::ReplaceAnswer::No;
            if (a == "y" || a == "yes") return recovery::ReplaceAnswer::Yes;
            if (a == "n" || a == "no") return recovery::ReplaceAnswer::No;
            if (a == "a" || a == "yes to all") return recovery::ReplaceAnswer::YesToAll;
            if (a == "t" || a == "no to all") return recovery::ReplaceAnswer::NoToAll;
        }
    }
    recovery::WriteErrorAnswer WriteError(const std::string& target, const std::string& reason) override {
        view_.Clear();
        line_.Finish();
        std::cerr << "tarvine-cli: " << recovery::kWriteErrorTitle << ": " << Shown(target)
                  << (reason.empty() ? "" : ": " + Shown(reason)) << '\n';
        if (!StdinIsTerminal()) return recovery::WriteErrorAnswer::Skip;
        for (;;) {
            const std::string a = AskLine(line_, "[a]bort or [s]kip? ");
            if (a.empty() && std::cin.eof()) return recovery::WriteErrorAnswer::Skip;
            if (a == "a" || a == "abort") return recovery::WriteErrorAnswer::Abort;
            if (a == "s" || a == "skip") return recovery::WriteErrorAnswer::Skip;
        }
    }

    void ShowError(const std::string& text) override {
        view_.Clear();
        line_.Finish();
        std::cerr << ShownLines(text) << '\n';
    }

private:
    TerminalSaving& view_;
    ProgressLine& line_;
    recovery::ReplaceAnswer fixed_;
    bool ask_;
};

// "md5,sha1,sha256" as digest kinds (SHA-256 is always among them).
bool ParseHashTypes(const std::string& list, unsigned* kinds) {
    *kinds = base::kDigestSha256;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        const std::string word = list.substr(pos, comma - pos);
        if (word == "md5") *kinds |= base::kDigestMd5;
        else if (word == "sha1") *kinds |= base::kDigestSha1;
        else if (word != "sha256") return false;
        pos = comma + 1;
    }
    return true;
}

// A word of the command line as a shell would take it back.
std::string QuotedWord(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./,=:@%+") ==
                             std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// "DD-MM-YYYY" with the year inside [minYear, maxYear].
bool ParseDate(const std::string& option, const std::string& text, int maxYear, recovery::FilterDate* date) {
    unsigned dd = 0, mm = 0, yy = 0;
    char rest = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%2u-%2u-%4u%c", &dd, &mm, &yy, &rest) != 3 || dd < 1 ||
        dd > 31 || mm < 1 || mm > 12 || yy < static_cast<unsigned>(recovery::kFirstFilterYear) ||
        yy > static_cast<unsigned>(maxYear)) {
        Error(option + " must be a date DD-MM-YYYY with the year from 1970 to " + std::to_string(maxYear));
        return false;
    }
    if (!CheckCalendarDate(option, dd, mm, yy)) return false;
    *date = {static_cast<int>(dd), static_cast<int>(mm), static_cast<int>(yy)};
    return true;
}

int RunSave(const Invocation& inv) {
    const Args& args = inv.parsed;
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const std::string to = args.Value("--to"), after = args.Value("--after"), before = args.Value("--before"),
                      ext = args.Value("--ext"), deleted = args.Value("--deleted", "include"),
                      replace = args.Value("--replace", "ask");
    const bool haveTo = args.Has("--to");
    const std::vector<std::string>& paths = args.Operands();
    recovery::ExtrasSettings extras;
    if (!ReadExtrasOptions(args, extras)) return kExitBadInput;
    const std::string hashList = args.Value("--hashes"), dfxml = args.Value("--dfxml");
    unsigned digestKinds = base::kDigestSha256;
    if (args.Has("--hash-types") && !ParseHashTypes(args.Value("--hash-types"), &digestKinds)) {
        Error("--hash-types must be a comma-separated list of md5, sha1 and sha256");
        return kExitBadInput;
    }
    if ((args.Has("--hashes") && hashList.empty()) || (args.Has("--dfxml") && dfxml.empty())) {
        Error("save: --hashes and --dfxml need a file name");
        return kExitBadInput;
    }
    if (!haveTo || to.empty()) {
        Error("save: where to? (--to DIR is missing)");
        return kExitBadInput;
    }
    if (to.size() > recovery::kDestinationPathMax) {
        Error("save: the destination path is longer than 1024 characters");
        return kExitBadInput;
    }

    CommandSession cs(inv.global);
    workflow::Session& session = cs.session;
    // The filters as dates, a mode and extensions, through the settings' own rules.
    recovery::SaveSettings& filters = session.saveSettings;
    if (deleted == "include") filters.deletedMode = recovery::kIncludeDeleted;
    else if (deleted == "exclude") filters.deletedMode = recovery::kExcludeDeleted;
    else if (deleted == "only") filters.deletedMode = recovery::kDeletedOnly;
    else {
        Error("--deleted must be include, exclude or only");
        return kExitBadInput;
    }
    if (!after.empty() || !before.empty()) {
        // One bound alone leaves the other open: from 01-01-1970, up to 31-12-2099.
        recovery::FilterDate from{1, 1, recovery::kFirstFilterYear}, to{31, 12, recovery::kLastEarlierYear};
        if (!after.empty() && !ParseDate("--after", after, recovery::kLastAfterYear, &from)) return kExitBadInput;
        if (!before.empty() && !ParseDate("--before", before, recovery::kLastEarlierYear, &to)) return kExitBadInput;
        recovery::SetDateBounds(filters, from, to);
    }
    if (!ext.empty()) {
        std::size_t pos = 0;
        while (pos <= ext.size()) {
            std::size_t comma = ext.find(',', pos);
            if (comma == std::string::npos) comma = ext.size();
            const recovery::AddResult r = recovery::AddExtension(filters, ext.substr(pos, comma - pos));
            if (const char* refusal = recovery::AddRefusalText(r)) std::cerr << refusal << '\n';
            if (r != recovery::AddResult::Added && r != recovery::AddResult::Empty &&
                r != recovery::AddResult::Duplicate)
                return kExitBadInput;
            pos = comma + 1;
        }
    }
    recovery::ReplaceAnswer fixed = recovery::ReplaceAnswer::No;
    bool ask = false;
    if (replace == "all") fixed = recovery::ReplaceAnswer::YesToAll;
    else if (replace == "none") fixed = recovery::ReplaceAnswer::NoToAll;
    else if (replace == "ask") ask = true;
    else {
        Error("--replace must be ask, all or none");
        return kExitBadInput;
    }

    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    if (paths.empty()) workflow::SelectEverything(session);
    for (const std::string& p : paths) {
        if (!workflow::SelectPath(session, p)) {
            Error("save: no folder or file '" + p + "' on the volume");
            return kExitNothingFound;
        }
    }

    std::error_code made, seen;
    std::filesystem::create_directories(to, made);
    if (!std::filesystem::is_directory(to, seen)) {
        // The reason the folder could not be made, else why it is no folder.
        const std::string reason = made ? made.message() : seen ? seen.message() : std::strerror(ENOTDIR);
        Error("save: " + std::string(recovery::kInvalidPathText) + " '" + to + "': " +
              recovery::kUnableToCreateDirectoryText + ": " + reason);
        return kExitBadInput;
    }

    extras.zone = session.saveSettings.extras.zone;  // --timezone's
    session.saveSettings.extras = extras;
    recovery::SaveJob job;
    TerminalSaving view(job);
    TerminalQuestions questions(view, cs.line, fixed, ask);
    workflow::SaveRequest request;
    request.source = recovery::kTreeSource;
    request.destinationPath = to;
    request.hashListPath = hashList;
    request.dfxmlPath = dfxml;
    request.digestKinds = digestKinds;
    for (const std::string& word : inv.commandLine)
        request.commandLine += (request.commandLine.empty() ? "" : " ") + QuotedWord(word);
    workflow::SaveResult result;
    ArmInterrupt();
    RunWatched([&] { result = workflow::RunSave(session, job, request, view, questions); },
               [&] { job.RequestStop(); });
    view.Clear();
    cs.line.Finish();
    if (result.notice) ShowNotice(*result.notice);

    std::cout << "files started\t" << job.filesStarted << '\n'
              << "bytes written\t" << job.savedBytes << '\n'
              << "files skipped by filters\t" << view.filtered << '\n'
              << "files failed\t" << view.failed << '\n';
    if (view.notReplaced) std::cout << "files not replaced\t" << view.notReplaced << '\n';
    std::cout << "files damaged\t" << view.damaged << '\n' << "files renamed\t" << view.renamed << '\n';
    for (const std::string& written : result.recordsWritten) std::cout << "record written\t" << Field(written) << '\n';
    int status = view.failed || view.damaged ? kExitDamaged : cs.treeStatus;
    if (!result.recordsFailure.empty()) status = CombineStatus(status, kExitBadInput);
    if (result.outcome.stopped) {
        std::cout << "stopped\n";
        Note("save: stopped after " + std::to_string(job.filesStarted) + " of " + std::to_string(job.totalFiles) +
             " files");
        status = CombineStatus(status, kExitStopped);
    }
    return CombineStatus(status, OutputWritten("save") ? kExitOk : kExitBadInput);
}

std::vector<OptionRow> SaveRows() {
    std::vector<OptionRow> rows = VolumeRows();
    rows.insert(rows.end(),
                {{"--to", "DIR", "the folder to save into (made when missing)", true},
                 {"--deleted", "include|exclude|only", "which deleted files to save (default include)"},
                 {"--after", "DD-MM-YYYY", "the lower bound of the date filter (on the date the listing shows)"},
                 {"--before", "DD-MM-YYYY", "the upper bound of the date filter (on the date the listing shows)"},
                 {"--ext", "doc,xls,...", "save only files with these extensions (up to 4 characters each)"},
                 {"--replace", "ask|all|none",
                  "whether a file already in DIR is replaced (default ask on a terminal, else kept)"},
                 {"--forks", "appledouble|none",
                  "a file's resource fork and Finder info as an AppleDouble companion ._NAME beside it (default) "
                  "or not at all"},
                 {"--links", "link|copy",
                  "symbolic links of the NFS name space saved as links (default) or as small files holding their "
                  "target"},
                 {"--owners", nullptr, "give saved entries the NFS owner and group (only when run as root)"},
                 {"--hashes", "FILE",
                  "write the SHA-256 of every saved file (AppleDouble companions too, symbolic links left out) to "
                  "FILE in sha256sum form, paths relative to DIR (check with: cd DIR && sha256sum -c FILE); with "
                  "md5 or sha1 in --hash-types also FILE.md5 and FILE.sha1 in md5sum and sha1sum form"},
                 {"--hash-types", "md5,sha1,sha256",
                  "the digests taken while saving (default sha256, always taken): they go into --dfxml's "
                  "hashdigests and beside --hashes"},
                 {"--dfxml", "FILE",
                  "write a DFXML report of the save to FILE: the images, the volume, and every saved file with its "
                  "times, byte runs on the disks (unreadable ones marked) and digests"}});
    return rows;
}

}  // namespace

const Command kSaveCommand{"save", "[PATH...]", SIZE_MAX, SaveRows(),
                           "copy the volume (or each PATH with its subtree) into DIR; exit 3 when a file failed or is damaged",
                           RunSave};

}  // namespace cli
