#include "cli/Terminal.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "base/Escape.h"
#include "cli/Cli.h"
#include "workflow/Texts.h"

namespace cli {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

// Messages carry names from the disk and paths as typed: each goes out
// escaped, so that no control character reaches the terminal raw.
// Each message goes out in one write (stderr is unbuffered), so that a
// save renaming many entries costs one call per line.
void Error(const std::string& text) {
    const std::string line = "tarvine-cli: " + Shown(text) + '\n';
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
}
void Note(const std::string& text) { Error(text); }
void ShowNotice(const workflow::Notice& notice) { std::cerr << ShownLines(notice.text) << '\n'; }

bool OutputWritten(const std::string& command) {
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && std::cout.good() && !std::ferror(stdout)) return true;
    Error(command + ": writing to the output failed");
    return false;
}

std::string Field(const std::string& text) { return base::EscapeControls(text, true); }
std::string Shown(const std::string& text) { return base::EscapeControls(text, false); }

std::string ShownLines(const std::string& text) {
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = text.find('\n', from);
        out += Shown(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos) return out;
        out += '\n';
        from = end + 1;
    }
}

// ---- the progress line -------------------------------------------------------------

void ProgressLine::SetStatus(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = text;
    Draw();
}

void ProgressLine::Step() {
    if (stopAfter_ != 0 && steps_.fetch_add(1) + 1 == stopAfter_) InterruptAsTheUserWould();
}

void ProgressLine::SetPercent(int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    caption_ = workflow::ProgressCaption(percent);
    Draw();
}

void ProgressLine::SetCount(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = text;
    Draw();
}

void ProgressLine::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void ProgressLine::Draw() {
    if (!StderrIsTerminal()) return;
    std::string line = status_;
    if (!caption_.empty()) line += "  " + caption_;
    if (!count_.empty()) line += "  " + count_;
    line = Shown(line);
    if (line.size() > kProgressLineWidth) line.resize(kProgressLineWidth);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

// ---- questions ---------------------------------------------------------------------

std::string AskLine(ProgressLine& line, const std::string& question) {
    line.Finish();
    std::fputs(ShownLines(question).c_str(), stderr);
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return {};
    return answer;
}

std::int32_t TerminalBadSectorPrompt::Ask(const disk::BadSectorEvent&) {
    for (;;) {
        const std::string a = AskLine(line_, "Bad Sector Encountered: [r]etry, [s]kip, retry [a]ll, skip a[l]l? ");
        if (a.empty() && std::cin.eof()) return disk::kSkip;
        if (a == "r" || a == "retry") return disk::kRetry;
        if (a == "s" || a == "skip") return disk::kSkip;
        if (a == "a" || a == "retry all") return disk::kRetryAll;
        if (a == "l" || a == "skip all") return disk::kSkipAll;
    }
}

int TerminalMountReport::ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) {
    const std::string lengths = "FAT1 chain " + std::to_string(fat1Length) + " blocks, FAT2 chain " +
                                std::to_string(fat2Length) + " blocks";
    if (forced_ != 0) return forced_;
    if (StdinIsTerminal()) {
        for (;;) {
            const std::string a = AskLine(line_, "Select FAT to use (" + lengths + ") [1/2]: ");
            if (a.empty() && std::cin.eof()) break;
            if (a == "1") return 1;
            if (a == "2") return 2;
        }
    }
    line_.Finish();
    Note("the FAT copies differ (" + lengths + "); using FAT1 (choose with --fat 1|2)");
    return 1;
}

}  // namespace cli
