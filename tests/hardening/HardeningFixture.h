// Builder disks attached as disk 0 (optionally with their ddrescue mapfile),
// the searches and the mount run the way the wizard runs them, and the
// recovered tree read back in the manifest's terms.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace hardening {

using CountingPrompt = testutil::CountingBadSectorPrompt;
using testutil::DescriptorOf;
using testutil::ScriptedFatChoice;

// One shown file or folder: path below the volume root ('\' joined).
struct Shown {
    bool folder = false;
    bool deleted = false;
    std::uint32_t size = 0;
    std::uint32_t dateTime = 0;
    std::string sha256;
    std::string path;
    auto Key() const { return std::tie(path, folder, deleted, size, dateTime, sha256); }
    bool operator<(const Shown& o) const { return Key() < o.Key(); }
    bool operator==(const Shown& o) const { return Key() == o.Key(); }
};

inline std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << (s.folder ? "D " : "F ") << s.path << " size " << s.size << (s.deleted ? " deleted " : " ")
              << s.sha256.substr(0, 12);
}

// The manifest of one volume in the same terms.
inline std::vector<Shown> ManifestListing(const nwimage::Image& image, const std::string& volume) {
    std::vector<Shown> out;
    for (const nwimage::ManifestRecord& m : image.manifest) {
        if (m.volume != volume) continue;
        out.push_back(Shown{m.folder, m.deleted, m.size, m.dateTime, m.sha256, m.path});
    }
    return out;
}

class HardeningTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        auto& w = job::Wizard();
        w.directoryTree = &tree;
        w.volumeTree = &volumeTree;
        w.activityLogPath = dir.File("ActivityLog.txt");
        disk::BadSectorDecision = disk::kRetryAll;
        disk::SetBadSectorPrompt(&badPrompt);
        nw::SetFatChoicePrompt(&fatPrompt);
        nw::Mounted() = nw::MountTables{};
    }
    void TearDown() override {
        auto& w = job::Wizard();
        w.directoryTree = nullptr;
        w.volumeTree = nullptr;
        disk::SetBadSectorPrompt(nullptr);
        nw::SetFatChoicePrompt(nullptr);
        disk::BadSectorDecision = disk::kRetry;
        disk::DetachAllDevices();
        job::ResetWizardState();
    }

    // Writes the image (and its mapfile) and lists it as disk 0, with its
    // size in the geometry store.
    void Attach(const nwimage::Image& image, bool withMapfile = false) {
        const std::string path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        std::string map;
        if (withMapfile) {
            map = dir.File("disk.map");
            testutil::WriteFile(map, nwimage::MapfileText(image));
        }
        std::vector<disk::DiskInfo> disks;
        std::string error;
        ASSERT_TRUE(disk::EnumerateDisks({{path, map}}, disks, &error)) << error;
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
    }


    std::vector<nw::VolumeDescriptor> Found() const {
        const auto& w = job::Wizard();
        return std::vector<nw::VolumeDescriptor>(w.VolumeList.begin(), w.VolumeList.begin() + w.volumeCount.load());
    }

    // Mounts a descriptor and lists what the tree shows, reading every file.
    std::vector<Shown> MountAndList(const nw::VolumeDescriptor& d) {
        auto& w = job::Wizard();
        w.currentVolume = d;
        w.selectedVolumeName = d.name;
        nw::MountCurrentVolume();
        std::vector<Shown> out;
        nw::WalkTree(tree.Root(), [&](const nw::EntryRecord& r, const std::string& path, bool isFolder) {
            Shown s;
            s.folder = isFolder;
            s.deleted = r.IsDeleted();
            s.dateTime = r.timestamp;
            s.path = path;
            if (!isFolder) {
                s.size = r.size;
                const std::vector<std::uint8_t> bytes = nw::ReadFileBytes(r);
                s.sha256 = nwimage::Sha256Hex(bytes.data(), bytes.size());
            }
            out.push_back(s);
        });
        return out;
    }

    static std::vector<Shown> Expected(const nwimage::Image& image, const std::string& volume) {
        return ManifestListing(image, volume);
    }

    testutil::TempDir dir;
    job::MemoryTree tree;
    job::MemoryTree volumeTree;
    CountingPrompt badPrompt;
    ScriptedFatChoice fatPrompt;
};

}  // namespace hardening
