// Stand-ins for the reports and prompts of a search and a mount, the disks of
// a test as a session holds them, and the descriptor of a built volume,
// shared by the test programs that search and mount builder images.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/Volume.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/NwImage.h"

namespace testutil {

// Answers "Bad Sector Encountered" with `answer` and counts the questions.
struct CountingBadSectorPrompt : disk::BadSectorPrompt {
    std::int32_t Ask(const disk::BadSectorEvent&) override {
        ++asked;
        return answer;
    }
    std::int32_t answer = disk::kRetry;
    int asked = 0;
};

// Records what a mount shows and answers "Select FAT to use" with `answer`.
struct RecordingMountReport : nw::MountReport {
    int ChooseFat(std::uint32_t a, std::uint32_t b) override {
        asked.push_back({a, b});
        return answer;
    }
    void Percent(int percent) override {
        progress.push_back(percent);
        if (onProgress) onProgress(percent);
    }
    void Status(const std::string& text) override { status.push_back(text); }
    void LostFolderPhase(bool running) override { lostFolderPhase.push_back(running); }

    int answer = 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> asked;
    std::vector<int> progress;
    std::vector<std::string> status;
    std::vector<bool> lostFolderPhase;
    std::function<void(int)> onProgress;
};
using ScriptedFatChoice = RecordingMountReport;

// Records what a search shows.
struct RecordingSearchReport : nw::SearchReport {
    void Percent(int percent) override { progress.push_back(percent); }
    void Status(const std::string& text) override { status.push_back(text); }
    void VolumeFound(const nw::VolumeDescriptor& volume, std::uint32_t count) override {
        found.push_back(volume.name);
        counts.push_back(count);
    }
    void VolumeCountText(const std::string& text) override { countTexts.push_back(text); }

    std::vector<int> progress;
    std::vector<std::string> status;
    std::vector<std::string> found;
    std::vector<std::uint32_t> counts;
    std::vector<std::string> countTexts;
};

// The disks and the bad-sector policy of a test, as a session holds them.
// The policy starts at "Retry All": no prompt appears unless a test asks.
struct TestDisks {
    TestDisks() { policy.BadSectorDecision = disk::kRetryAll; }
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::SectorReader Reader() { return disk::SectorReader(disks, policy); }
    // Attaches `path` (and its mapfile) as disk `number`; "" on success.
    std::string Attach(const std::string& path, const std::string& mapfile = "", unsigned number = 0) {
        std::string error;
        if (!disks.Attach(number, path, mapfile, &error) && error.empty()) error = "cannot attach " + path;
        return error;
    }
};

// The descriptor a search would give for a built volume on disk `disk`.
inline nw::VolumeDescriptor DescriptorOf(const nwimage::BuiltVolume& v, unsigned disk = 0) {
    nw::VolumeDescriptor d;
    d.name = v.name.substr(0, 19);
    d.startSector = v.startSector;
    d.sectorsPerBlock = v.sectorsPerBlock;
    d.blockCount = v.blocks;
    d.sizeInSectors = static_cast<std::uint64_t>(v.blocks) * v.sectorsPerBlock;
    d.fat1FirstBlock = v.fat1.empty() ? 0 : v.fat1[0];
    d.fat2FirstBlock = v.fat2.empty() ? 0 : v.fat2[0];
    d.det1FirstBlock = v.det1.empty() ? 0 : v.det1[0];
    d.det2FirstBlock = v.det2.empty() ? 0 : v.det2[0];
    d.disk = disk;
    return d;
}

}  // namespace testutil
