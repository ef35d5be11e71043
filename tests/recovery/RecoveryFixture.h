// A builder image attached as disk 0 and mounted, an in-memory directory
// tree, recorders for the save's progress and questions, and helpers that
// read back what a save left in the destination.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveSettings.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace rectest {

namespace fs = std::filesystem;

struct RecordedMessages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon icon, job::MessageButtons) override {
        texts.push_back(text);
        icons.push_back(icon);
        return answer;
    }
    std::vector<std::string> texts;
    std::vector<job::MessageIcon> icons;
    job::MessageAnswer answer = job::MessageAnswer::Ok;
};

struct RecordingView : recovery::SaveProgressView {
    void FileStarted(const recovery::FileFigures& f) override { started.push_back(f); }
    void SectorWritten(std::uint64_t written, std::uint64_t count) override {
        if (onSector) onSector(written, count);
    }
    void TimeFigures(const std::string& remaining, const std::string& elapsed) override {
        times.push_back(remaining + " | " + elapsed);
    }
    void FileFiltered(const std::string&, const std::string& name) override { filtered.push_back(name); }
    void FileEnded(const std::string& target, recovery::FileOutcome outcome, std::uint64_t, std::uint64_t) override {
        ended[target] = outcome;
        order.push_back(target);
    }
    void JobFinished() override { ++finished; }
    std::vector<recovery::FileFigures> started;
    std::vector<std::string> times;
    std::vector<std::string> filtered;
    std::map<std::string, recovery::FileOutcome> ended;
    std::vector<std::string> order;
    std::function<void(std::uint64_t, std::uint64_t)> onSector;
    int finished = 0;
};

struct ScriptedPrompts : recovery::SavePrompts {
    recovery::ReplaceAnswer ConfirmReplace(const std::string& target) override {
        replaceAsked.push_back(target);
        return replaceAnswer;
    }
    recovery::WriteErrorAnswer WriteError(const std::string& target, const std::string& reason) override {
        writeErrors.push_back(target + ": " + reason);
        return writeAnswer;
    }
    recovery::ReplaceAnswer replaceAnswer = recovery::ReplaceAnswer::Yes;
    recovery::WriteErrorAnswer writeAnswer = recovery::WriteErrorAnswer::Skip;
    std::vector<std::string> replaceAsked;
    std::vector<std::string> writeErrors;
};

// The details list of a front end: rows and their selection.
struct Rows : recovery::DetailsRows {
    std::size_t RowCount() override { return rows.size(); }
    std::string Cell(std::size_t row, int column) override { return rows[row].at(static_cast<std::size_t>(column)); }
    bool IsSelected(std::size_t row) override { return selected.count(row) != 0; }
    std::vector<std::vector<std::string>> rows;
    std::set<std::size_t> selected;
};

// What a save left below a folder: relative path ('/' joined) -> bytes, and
// the folders.
struct Tree {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
};

inline Tree ReadTree(const std::string& root) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_directory()) t.folders.insert(rel);
        else t.files[rel] = testutil::ReadFile(e.path().string());
    }
    return t;
}

inline std::string Slashed(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        recovery::ResetSaveJob();
        recovery::ResetSaveSettings();
        auto& w = job::Wizard();
        w.directoryTree = &tree;
        w.messages = &messages;
        w.activityLogPath = dir.File("ActivityLog.txt");
        w.currentStep = 2;
        disk::BadSectorDecision = disk::kRetryAll;
        nw::Mounted() = nw::MountTables{};
        recovery::SetSaveProgressView(&view);
        recovery::SetSavePrompts(&prompts);
        recovery::SetDetailsRows(&rows);
        destination = dir.File("out");
    }
    void TearDown() override {
        auto& w = job::Wizard();
        w.directoryTree = nullptr;
        w.messages = nullptr;
        recovery::SetSaveProgressView(nullptr);
        recovery::SetSavePrompts(nullptr);
        recovery::SetDetailsRows(nullptr);
        disk::DetachAllDevices();
        job::ResetWizardState();
        recovery::ResetSaveJob();
        recovery::ResetSaveSettings();
    }

    // Builds the description, attaches the image as disk 0 and mounts volume k.
    void UseAndMount(const std::string& description, std::size_t k = 0) {
        image = nwimage::Build(nwimage::ParseDescription(description));
        imagePath = dir.File("disk.img");
        nwimage::WriteImageFile(image, imagePath);
        std::string error;
        ASSERT_TRUE(disk::AttachDevice(0, imagePath, "", &error)) << error;
        Remount(k);
    }
    void Remount(std::size_t k = 0) {
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
        const nwimage::BuiltVolume& v = image.volumes.at(k);
        const nw::VolumeDescriptor d = testutil::DescriptorOf(v);
        w.currentVolume = d;
        w.selectedVolumeName = d.name;
        nw::MountCurrentVolume();
        volumeName = v.name;
    }

    // Checks the whole volume (the root's check box).
    void CheckAll() { nw::ToggleFolderCheck(tree.Root()); }
    void CheckPath(const std::string& path) {
        nw::PathMatch m;
        ASSERT_TRUE(nw::FindEntryByPath(path, &m)) << path;
        ASSERT_TRUE(m.isFolder) << path;
        nw::ToggleFolderCheck(m.item);
    }

    // Runs a whole job on this thread.
    void Save(recovery::SaveSource source = recovery::kTreeSource) {
        auto& j = recovery::CurrentSaveJob();
        j.source = source;
        j.destinationPath = destination;
        recovery::SaveWorker();
    }

    // The manifest's view of the volume: relative path -> delivered bytes' hash
    // for files, and the folders.
    struct Expected {
        std::map<std::string, std::string> files;  // path -> sha256
        std::set<std::string> folders;
    };
    Expected FromManifest(const std::function<bool(const nwimage::ManifestRecord&)>& keep = {}) const {
        Expected e;
        for (const auto& m : image.manifest) {
            if (m.volume != volumeName) continue;
            if (m.folder) {
                e.folders.insert(Slashed(m.path));
            } else if (!keep || keep(m)) {
                e.files[Slashed(m.path)] = m.sha256;
            }
        }
        return e;
    }
    static std::map<std::string, std::string> Hashes(const Tree& t) {
        std::map<std::string, std::string> out;
        for (const auto& [path, bytes] : t.files)
            out[path] = nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        return out;
    }

    testutil::TempDir dir;
    std::string destination;
    std::string imagePath;
    std::string volumeName;
    nwimage::Image image;
    job::MemoryTree tree;
    RecordedMessages messages;
    RecordingView view;
    ScriptedPrompts prompts;
    Rows rows;
};

}  // namespace rectest
