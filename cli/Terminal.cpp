// The terminal stand-ins for the window: a progress line on stderr (only on a
// terminal), messages on stderr, and the two questions the engine may ask
// (bad sector, which FAT copy).
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <mutex>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "cli/Cli.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace cli {

namespace {

class TerminalControls : public job::PublishedControls {
public:
    void SetSearchProgress(int percent, const std::string& caption) override {
        (void)percent;
        std::lock_guard<std::mutex> lock(mutex_);
        caption_ = caption;
        Draw();
    }
    void SetStatusLine(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = text;
        Draw();
    }
    void SetVolumeCountText(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        count_ = text;
        Draw();
    }
    // Ends the progress line so that what follows starts on a fresh line.
    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (drawn_) std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    void Draw() {
        if (!StderrIsTerminal()) return;
        std::string line = status_;
        if (!caption_.empty()) line += "  " + caption_;
        if (!count_.empty()) line += "  " + count_;
        if (line.size() > 150) line.resize(150);
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    std::mutex mutex_;
    std::string status_, caption_, count_;
    bool drawn_ = false;
};

TerminalControls gControls;

class StderrMessages : public job::MessageSink {
public:
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon icon,
                                   job::MessageButtons buttons) override {
        (void)icon;
        gControls.Finish();
        std::cerr << text << '\n';
        switch (buttons) {
            case job::MessageButtons::YesNo: return job::MessageAnswer::No;
            case job::MessageButtons::OkCancel:
            case job::MessageButtons::YesNoCancel: return job::MessageAnswer::Cancel;
            case job::MessageButtons::AbortRetryIgnore: return job::MessageAnswer::Abort;
            case job::MessageButtons::Ok: break;
        }
        return job::MessageAnswer::Ok;
    }
};

StderrMessages gMessages;

// Reads one answer line from the terminal; empty at end of input.
std::string AskLine(const std::string& question) {
    gControls.Finish();
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    return line;
}

class TerminalBadSectorPrompt : public disk::BadSectorPrompt {
public:
    std::int32_t Ask() override {
        for (;;) {
            const std::string a =
                AskLine("Bad Sector Encountered: [r]etry, [s]kip, retry [a]ll, skip a[l]l? ");
            if (a.empty() && std::cin.eof()) return disk::kSkip;
            if (a == "r" || a == "retry") return disk::kRetry;
            if (a == "s" || a == "skip") return disk::kSkip;
            if (a == "a" || a == "retry all") return disk::kRetryAll;
            if (a == "l" || a == "skip all") return disk::kSkipAll;
        }
    }
};

TerminalBadSectorPrompt gBadSectorPrompt;

class TerminalFatChoice : public nw::FatChoicePrompt {
public:
    int Choose(std::uint32_t fat1Length, std::uint32_t fat2Length) override {
        const std::string lengths = "FAT1 chain " + std::to_string(fat1Length) + " blocks, FAT2 chain " +
                                    std::to_string(fat2Length) + " blocks";
        if (forced != 0) return forced;
        if (StdinIsTerminal()) {
            for (;;) {
                const std::string a = AskLine("Select FAT to use (" + lengths + ") [1/2]: ");
                if (a.empty() && std::cin.eof()) break;
                if (a == "1") return 1;
                if (a == "2") return 2;
            }
        }
        Note("the FAT copies differ (" + lengths + "); using FAT1 (choose with --fat 1|2)");
        return 1;
    }
    int forced = 0;
};

TerminalFatChoice gFatChoice;

}  // namespace

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

void Error(const std::string& text) {
    gControls.Finish();
    std::cerr << "tarvine-cli: " << text << '\n';
}

void Note(const std::string& text) {
    gControls.Finish();
    std::cerr << "tarvine-cli: " << text << '\n';
}

void InstallTerminal(const GlobalOptions& options) {
    auto& w = job::Wizard();
    w.controls = &gControls;
    w.messages = &gMessages;
    BadSectorMode mode = options.badSectors;
    if (mode == BadSectorMode::Default) mode = StdinIsTerminal() ? BadSectorMode::Ask : BadSectorMode::RetryAll;
    switch (mode) {
        case BadSectorMode::RetryAll: disk::BadSectorDecision = disk::kRetryAll; break;
        case BadSectorMode::SkipAll: disk::BadSectorDecision = disk::kSkipAll; break;
        default:
            disk::BadSectorDecision = disk::kRetry;
            disk::SetBadSectorPrompt(&gBadSectorPrompt);
            break;
    }
    nw::SetFatChoicePrompt(&gFatChoice);
}

void SetFatChoice(int fat) { gFatChoice.forced = fat; }
void FinishProgressLine() { gControls.Finish(); }

}  // namespace cli
