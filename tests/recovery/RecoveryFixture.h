// A builder image attached as disk 0 and mounted, the selection over it,
// recorders for the save's progress, questions and report lines, and
// helpers that read back what a save left in the destination.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/FolderTree.h"
#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/Selection.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveSettings.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace rectest {

namespace fs = std::filesystem;

struct RecordingView : recovery::SaveProgressView {
    void CountingProgress(std::uint32_t n) override {
        if (onCount) onCount(n);
    }
    void FileStarted(const recovery::FileFigures& f) override { started.push_back(f); }
    void SectorWritten(std::uint64_t written, std::uint64_t count) override {
        if (onSector) onSector(written, count);
    }
    void TimeFigures(std::int64_t remaining, std::int64_t elapsed) override { times.emplace_back(remaining, elapsed); }
    void FileFiltered(const std::string&, const std::string& name) override { filtered.push_back(name); }
    void FileEnded(const std::string& target, recovery::FileOutcome outcome, std::uint64_t, std::uint64_t) override {
        ended[target] = outcome;
        order.push_back(target);
        if (onEnded) onEnded(order.size());
    }
    void JobFinished() override { ++finished; }
    std::vector<recovery::FileFigures> started;
    std::vector<std::pair<std::int64_t, std::int64_t>> times;  // remaining, elapsed seconds
    std::vector<std::string> filtered;
    std::map<std::string, recovery::FileOutcome> ended;
    std::vector<std::string> order;
    std::function<void(std::uint64_t, std::uint64_t)> onSector;
    std::function<void(std::uint32_t)> onCount;
    std::function<void(std::size_t)> onEnded;  // with the number of files ended so far
    int finished = 0;
};

// The questions of a save, and every message the user would see (shown
// during the job or when it ended).
struct ScriptedPrompts : recovery::SavePrompts {
    recovery::ReplaceAnswer ConfirmReplace(const std::string& target) override {
        replaceAsked.push_back(target);
        return replaceAnswer;
    }
    recovery::WriteErrorAnswer WriteError(const std::string& target, const std::string& reason) override {
        writeErrors.push_back(target + ": " + reason);
        if (onWriteError) onWriteError();
        return writeAnswer;
    }
    void ShowError(const std::string& text) override { messages.push_back(text); }
    recovery::ReplaceAnswer replaceAnswer = recovery::ReplaceAnswer::Yes;
    recovery::WriteErrorAnswer writeAnswer = recovery::WriteErrorAnswer::Skip;
    std::vector<std::string> replaceAsked;
    std::vector<std::string> writeErrors;
    std::vector<std::string> messages;
    std::function<void()> onWriteError;  // while the question is open
};

struct RecordedReport : recovery::ActivityReport {
    bool Append(const std::string& line) override {
        text += line;
        return true;
    }
    std::string text;
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
    void SetUp() override { destination = dir.File("out"); }

    // Builds the description, attaches the image as disk 0 and mounts volume k.
    void UseAndMount(const std::string& description, std::size_t k = 0) {
        image = nwimage::Build(nwimage::ParseDescription(description));
        imagePath = dir.File("disk.img");
        nwimage::WriteImageFile(image, imagePath);
        const std::string error = disks.Attach(imagePath);
        ASSERT_TRUE(error.empty()) << error;
        Remount(k);
    }
    void Remount(std::size_t k = 0) {
        const nwimage::BuiltVolume& v = image.volumes.at(k);
        volume.currentVolume = testutil::DescriptorOf(v);
        testutil::RecordingMountReport report;
        ASSERT_TRUE(nw::Mount(volume, Reader(), report).mounted);
        selection.Reset(volume);
        volumeName = v.name;
    }
    disk::SectorReader Reader() { return disks.Reader(); }

    // Checks the whole volume (the root's check box).
    void CheckAll() { selection.ToggleFolder(volume, nw::kRootNode); }
    void CheckPath(const std::string& path) {
        nw::PathMatch m;
        ASSERT_TRUE(nw::FindEntryByPath(volume, path, &m)) << path;
        ASSERT_TRUE(m.isFolder) << path;
        selection.ToggleFolder(volume, m.node);
    }

    // Runs a whole job on this thread; the message it ends with joins the
    // messages shown during the job.
    recovery::SaveOutcome Save(recovery::SaveSource source = recovery::kTreeSource) {
        job.source = source;
        job.destinationPath = destination;
        const disk::SectorReader reader = Reader();
        recovery::SaveInput input(volume, reader);
        input.selection = &selection;
        input.listItems = listItems;
        input.settings = settings;
        input.activityReport = &report;
        recovery::SaveOutcome outcome = recovery::RunSave(job, input, view, prompts);
        if (!outcome.message.empty()) prompts.messages.push_back(outcome.message);
        return outcome;
    }

    // The list's rows of a folder: its folders, then its files, in list order.
    std::vector<recovery::ListItem> RowsOf(std::uint32_t node) const {
        std::vector<recovery::ListItem> rows;
        for (std::uint32_t c = volume.tree.FirstChild(node); c != nw::kNoNode; c = volume.tree.NextSibling(c))
            rows.push_back({true, c, nw::kNoEntry, false});
        for (std::size_t i : volume.FileList.ChildrenOf(nw::FolderNumberOfNode(volume, node)))
            rows.push_back({false, nw::kNoNode, i, false});
        return rows;
    }
    std::string NameOf(const recovery::ListItem& row) const {
        return row.isFolder ? nw::NodeText(volume, row.node) : volume.FileList[row.fileIndex].name;
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
    testutil::TestDisks disks;
    std::string destination;
    std::string imagePath;
    std::string volumeName;
    nwimage::Image image;
    nw::MountedVolume volume;
    nw::Selection selection;
    recovery::SaveSettings settings;
    std::vector<recovery::ListItem> listItems;
    recovery::SaveJob job;
    RecordingView view;
    ScriptedPrompts prompts;
    RecordedReport report;
};

}  // namespace rectest
