// A disk image from the builder, attached as disk 0 with its geometry in the
// store, and recording stand-ins for the window's controls.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/job/Controls.h"
#include "app/job/Settings.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"
#include "tools/nwimage/NwImage.h"

namespace searchtest {

struct RecordingControls : job::PublishedControls {
    void SetSearchProgress(int percent, const std::string&) override { progress.push_back(percent); }
    void SetStatusLine(const std::string& text) override { status.push_back(text); }
    void SetVolumeCountText(const std::string& text) override { countTexts.push_back(text); }
    void ShowStep(int layout) override { layouts.push_back(layout); }
    std::vector<int> progress;
    std::vector<std::string> status;
    std::vector<std::string> countTexts;
    std::vector<int> layouts;
};

struct RecordingMessages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon, job::MessageButtons) override {
        texts.push_back(text);
        return job::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
};

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        auto& w = job::Wizard();
        w.controls = &controls;
        w.messages = &messages;
        w.volumeTree = &tree;
        disk::BadSectorDecision = disk::kRetryAll;
    }
    void TearDown() override {
        auto& w = job::Wizard();
        w.controls = nullptr;
        w.messages = nullptr;
        w.volumeTree = nullptr;
        w.diskTree = nullptr;
        disk::DetachAllDevices();
    }

    // Builds the description, writes it and selects it as disk 0.
    const nwimage::Image& Use(const nwimage::DiskSpec& desc) {
        image = nwimage::Build(desc);
        path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        std::vector<disk::DiskInfo> disks;
        std::string error;
        EXPECT_TRUE(disk::EnumerateDisks({{path, ""}}, disks, &error)) << error;
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
        return image;
    }

    testutil::TempDir dir;
    std::string path;
    nwimage::Image image;
    RecordingControls controls;
    RecordingMessages messages;
    job::MemoryTree tree;
};

// A volume with a few folders and files.
inline nwimage::VolumeSpec SmallVolume(const std::string& name, std::uint32_t spb, std::uint32_t blocks) {
    nwimage::VolumeSpec v;
    v.name = name;
    v.sectorsPerBlock = spb;
    v.blocks = blocks;
    nwimage::EntrySpec folder;
    folder.folder = true;
    folder.name = "PUBLIC";
    folder.number = 5;
    v.entries.push_back(folder);
    nwimage::EntrySpec file;
    file.name = "DATA.BIN";
    file.parent = 5;
    file.size = spb * 512 * 3 + 100;
    v.entries.push_back(file);
    return v;
}

inline nwimage::PartitionSpec OnePartition(std::uint32_t first, std::uint32_t count,
                                           std::vector<nwimage::VolumeSpec> volumes) {
    nwimage::PartitionSpec p;
    p.firstSector = first;
    p.sectorCount = count;
    p.volumes = std::move(volumes);
    return p;
}

}  // namespace searchtest
