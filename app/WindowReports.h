// What the window's workers report and ask, carried to the window thread:
// the search's progress, status lines, volume count and found volumes; the
// mount's progress, status lines, lost-folder phase and "Select FAT to use";
// and "Bad Sector Encountered" for every read of the session. Reports are
// posted (the worker goes on at once); questions wait for their answer, or
// for the window's channel to close, which answers them as closing the
// dialog would.
#pragma once

#include <cstdint>
#include <string>

#include "app/UiChannel.h"
#include "app/WindowParts.h"
#include "app/WindowState.h"
#include "disk/BadSectorPolicy.h"
#include "netware/Mount.h"
#include "netware/VolumeSearch.h"

namespace app {

class SearchProgress : public nw::SearchReport {
public:
    SearchProgress(UiChannel& channel, WindowParts& parts) : channel_(channel), p_(parts) {}
    void Percent(int percent) override;
    void Status(const std::string& text) override;
    // Adds the volume below the volume tree's root, carrying its index.
    void VolumeFound(const nw::VolumeDescriptor& volume, std::uint32_t volumeCount) override;
    void VolumeCountText(const std::string& text) override;

private:
    UiChannel& channel_;
    WindowParts& p_;
};

class MountProgress : public nw::MountReport {
public:
    MountProgress(UiChannel& channel, WindowParts& parts, WindowState& state, QWidget* window)
        : channel_(channel), p_(parts), state_(state), window_(window) {}
    void Percent(int percent) override;
    void Status(const std::string& text) override;
    int ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) override;
    // "Stop Searching" is offered while the lost-folder pass runs.
    void LostFolderPhase(bool running) override;

private:
    UiChannel& channel_;
    WindowParts& p_;
    WindowState& state_;
    QWidget* window_;
};

class BadSectorQuestion : public disk::BadSectorPrompt {
public:
    BadSectorQuestion(UiChannel& channel, QWidget* window) : channel_(channel), window_(window) {}
    std::int32_t Ask(const disk::BadSectorEvent& event) override;

private:
    UiChannel& channel_;
    QWidget* window_;
};

// The progress bar of the main window at `percent` ("N % Completed"), shown.
void ShowSearchProgress(WindowParts& parts, int percent);

}  // namespace app
