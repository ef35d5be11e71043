// Stand-ins for the prompts a mount raises and the descriptor of a built
// volume, shared by the test programs that mount builder images.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/VolumeDescriptor.h"
#include "tools/nwimage/NwImage.h"

namespace testutil {

// Answers "Bad Sector Encountered" with `answer` and counts the questions.
struct CountingBadSectorPrompt : disk::BadSectorPrompt {
    std::int32_t Ask() override {
        ++asked;
        return answer;
    }
    std::int32_t answer = disk::kRetry;
    int asked = 0;
};

// Answers "Select FAT to use" with `answer` and records the chain lengths asked about.
struct ScriptedFatChoice : nw::FatChoicePrompt {
    int Choose(std::uint32_t a, std::uint32_t b) override {
        asked.push_back({a, b});
        return answer;
    }
    int answer = 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> asked;
};

// The descriptor a search would give for a built volume.
inline nw::VolumeDescriptor DescriptorOf(const nwimage::BuiltVolume& v) {
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
    return d;
}

}  // namespace testutil
