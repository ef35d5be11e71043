// A builder image attached as disk 0, recording stand-ins for the window's
// controls, an in-memory directory tree, and the mount of one built volume.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/Mount.h"
#include "tools/nwimage/NwImage.h"

namespace mounttest {

using ScriptedFatPrompt = testutil::ScriptedFatChoice;
using testutil::DescriptorOf;

struct RecordingControls : job::PublishedControls {
    void SetSearchProgress(int percent, const std::string&) override {
        progress.push_back(percent);
        if (onProgress) onProgress(percent);
    }
    void SetStatusLine(const std::string& text) override { status.push_back(text); }
    void ClearDetails() override { rows.clear(); }
    void AddDetailsRow(const std::vector<std::string>& columns) override { rows.push_back(columns); }
    void EnableStopButton(bool on) override { stopButton.push_back(on); }
    void ShowStep(int layout) override { layouts.push_back(layout); }
    std::vector<int> progress;
    std::vector<std::string> status;
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> stopButton;
    std::vector<int> layouts;
    std::function<void(int)> onProgress;
};

// One line of a listing, in the manifest's terms.
struct Listed {
    bool folder = false;
    bool deleted = false;
    bool compressed = false;
    std::uint32_t size = 0;
    std::uint32_t dateTime = 0;
    std::string sha256;
    std::string path;
    bool operator==(const Listed&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Listed& l) {
    return os << (l.folder ? "D " : "F ") << l.deleted << l.compressed << ' ' << l.size << ' ' << std::hex
              << l.dateTime << std::dec << ' ' << l.sha256.substr(0, 12) << ' ' << l.path;
}

class MountTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        auto& w = job::Wizard();
        w.controls = &controls;
        w.directoryTree = &tree;
        w.activityLogPath = dir.File("ActivityLog.txt");
        disk::BadSectorDecision = disk::kRetryAll;
        nw::SetFatChoicePrompt(&prompt);
        nw::Mounted() = nw::MountTables{};
    }
    void TearDown() override {
        auto& w = job::Wizard();
        w.controls = nullptr;
        w.directoryTree = nullptr;
        nw::SetFatChoicePrompt(nullptr);
        disk::DetachAllDevices();
        job::ResetWizardState();
    }

    // Builds the description, writes image and mapfile, attaches them as disk 0.
    const nwimage::Image& Use(const nwimage::DiskSpec& desc, bool withMapfile = false) {
        image = nwimage::Build(desc);
        const std::string path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        std::string map;
        if (withMapfile) {
            map = dir.File("disk.map");
            testutil::WriteFile(map, nwimage::MapfileText(image));
        }
        std::string error;
        EXPECT_TRUE(disk::AttachDevice(0, path, map, &error)) << error;
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
        return image;
    }
    const nwimage::Image& Use(const std::string& description, bool withMapfile = false) {
        return Use(nwimage::ParseDescription(description), withMapfile);
    }


    // Mounts built volume k the way the mount worker does.
    void MountVolume(std::size_t k) {
        auto& w = job::Wizard();
        w.currentVolume = DescriptorOf(image.volumes.at(k));
        w.selectedVolumeName = w.currentVolume.name;
        nw::MountCurrentVolume();
    }

    // The tree as the manifest lists it: depth first, folders before files.
    std::vector<Listed> Listing() {
        std::vector<Listed> out;
        nw::WalkTree(tree.Root(), [&](const nw::EntryRecord& r, const std::string& path, bool isFolder) {
            Listed l;
            l.folder = isFolder;
            l.deleted = r.IsDeleted();
            l.compressed = r.IsCompressed();
            l.size = isFolder ? 0 : r.size;
            l.dateTime = r.timestamp;
            l.path = path;
            if (!isFolder) {
                std::vector<std::uint8_t> bytes = ReadAsSaved(r);
                l.sha256 = nwimage::Sha256Hex(bytes.data(), bytes.size());
            }
            out.push_back(l);
        });
        return out;
    }

    std::vector<Listed> Expected(const std::string& volumeName, const std::vector<int>& fatChoice = {}) {
        std::vector<Listed> out;
        auto manifest = fatChoice.empty() ? image.manifest : nwimage::ComputeManifest(image, fatChoice);
        for (const nwimage::ManifestRecord& m : manifest) {
            if (m.volume != volumeName) continue;
            Listed l{m.folder, m.deleted, m.compressed, m.size, m.dateTime, m.sha256, m.path};
            out.push_back(l);
        }
        return out;
    }

    // A file's bytes as a save writes them: a compressed file delivers the
    // stored length its header gives (nothing when the header disagrees).
    static std::vector<std::uint8_t> ReadAsSaved(const nw::EntryRecord& r) {
        if (!r.IsCompressed()) return nw::ReadFileBytes(r);
        std::vector<std::uint8_t> head = ReadFirst(r, 12);
        if (head.size() < 12 || nw::LoadLe32(head.data() + 4) != r.size) return {};
        nw::EntryRecord copy = r;
        copy.size = nw::LoadLe32(head.data() + 8);
        return nw::ReadFileBytes(copy);
    }
    static std::vector<std::uint8_t> ReadFirst(const nw::EntryRecord& r, std::uint32_t n) {
        nw::EntryRecord copy = r;
        copy.size = n;
        return nw::ReadFileBytes(copy);
    }

    testutil::TempDir dir;
    nwimage::Image image;
    RecordingControls controls;
    ScriptedFatPrompt prompt;
    job::MemoryTree tree;
};

}  // namespace mounttest
