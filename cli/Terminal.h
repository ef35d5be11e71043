// The terminal side of a command: one progress line on stderr (drawn only
// when stderr is a terminal), and the questions the engine may ask while it
// works (a bad sector, which FAT copy), read from stdin.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "disk/BadSectorPolicy.h"
#include "netware/Mount.h"
#include "netware/VolumeSearch.h"

namespace cli {

constexpr std::size_t kProgressLineWidth = 150;

// The status text, the progress caption and the volume count on one line.
// Any thread may update it.
class ProgressLine {
public:
    // One step of a long work that Ctrl-C stops (a percent of the advanced
    // search or the raw scan, an entry listed); the test stop point counts
    // them (GlobalOptions::stopAfterSteps).
    void Step();
    void StopAfterSteps(std::uint64_t steps) { stopAfter_ = steps; }
    void SetStatus(const std::string& text);
    void SetPercent(int percent);
    void SetCount(const std::string& text);
    // Ends the line so that what follows starts on a fresh line.
    void Finish();

private:
    void Draw();  // mutex_ held
    std::mutex mutex_;
    std::string status_, caption_, count_;
    bool drawn_ = false;
    std::uint64_t stopAfter_ = 0;
    std::atomic<std::uint64_t> steps_{0};
};

// Asks one question on stderr and reads the answer line from stdin; empty
// at the end of the input.
std::string AskLine(ProgressLine& line, const std::string& question);

class TerminalBadSectorPrompt : public disk::BadSectorPrompt {
public:
    explicit TerminalBadSectorPrompt(ProgressLine& line) : line_(line) {}
    std::int32_t Ask(const disk::BadSectorEvent& event) override;

private:
    ProgressLine& line_;
};

class TerminalSearchReport : public nw::SearchReport {
public:
    // `stoppable`: a search that polls a stop (the advanced one), whose
    // percents are steps.
    TerminalSearchReport(ProgressLine& line, bool stoppable) : line_(line), stoppable_(stoppable) {}
    void Percent(int percent) override {
        if (stoppable_) line_.Step();
        line_.SetPercent(percent);
    }
    void Status(const std::string& text) override { line_.SetStatus(text); }
    void VolumeCountText(const std::string& text) override { line_.SetCount(text); }

private:
    ProgressLine& line_;
    bool stoppable_;
};

// The mount's progress, and "Select FAT to use": the --fat answer, else
// asked on a terminal, else FAT1 with a note.
class TerminalMountReport : public nw::MountReport {
public:
    TerminalMountReport(ProgressLine& line, int forcedFat) : line_(line), forced_(forcedFat) {}
    void Percent(int percent) override { line_.SetPercent(percent); }
    void Status(const std::string& text) override { line_.SetStatus(text); }
    int ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) override;

private:
    ProgressLine& line_;
    int forced_;
};

}  // namespace cli
