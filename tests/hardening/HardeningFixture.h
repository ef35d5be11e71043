// Builder disks attached as disk 0 of a recovery session (optionally with
// their ddrescue mapfile), the searches and the mount run the way the front
// ends run them, and the recovered tree read back in the manifest's terms.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"
#include "workflow/Disks.h"
#include "workflow/Search.h"
#include "workflow/Session.h"
#include "workflow/SettingsStore.h"
#include "workflow/Volume.h"

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
    HardeningTest() {
        session.activityLog.path = dir.File("ActivityLog.txt");
        session.policy.BadSectorDecision = disk::kRetryAll;
        session.policy.SetPrompt(&badPrompt);
    }
    ~HardeningTest() override { session.policy.SetPrompt(nullptr); }

    // Writes the image (and its mapfile), lists it as disk 0 and chooses it.
    void Attach(const nwimage::Image& image, bool withMapfile = false) {
        const std::string path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        std::string map;
        if (withMapfile) {
            map = dir.File("disk.map");
            testutil::WriteFile(map, nwimage::MapfileText(image));
        }
        std::string error;
        ASSERT_TRUE(workflow::AttachDisks(session, {{path, map}}, &error)) << error;
        ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    }

    // The quick search; false when the disk could not be read.
    bool QuickSearch() { return workflow::RunQuickSearch(session, searchReport).diskOpened; }
    void AdvancedSearch() {
        session.cancel = false;
        workflow::RunAdvancedSearch(session, searchReport, session.cancel);
    }
    nw::SearchTarget Target() const { return nw::SearchTarget{&reader, 0}; }

    std::vector<nw::VolumeDescriptor> Found() const { return session.found.Snapshot(); }

    // Mounts a descriptor and lists what the tree shows, reading every file.
    std::vector<Shown> MountAndList(const nw::VolumeDescriptor& d) {
        session.mounted.currentVolume = d;
        session.selectedVolumeName = d.name;
        EXPECT_TRUE(workflow::MountChosenVolume(session, fatPrompt).mounted);
        const nw::MountedVolume& volume = session.mounted;
        nw::FileReader files(volume, reader);
        std::vector<Shown> out;
        nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) {
            const nw::EntryRecord& r = *item.record;
            Shown s;
            s.folder = item.isFolder;
            s.deleted = r.IsDeleted();
            s.dateTime = r.timestamp;
            s.path = item.path;
            if (!item.isFolder) {
                s.size = r.size;
                const std::vector<std::uint8_t> bytes = files.ReadFileBytes(r);
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
    workflow::MemorySettingsStore store;
    workflow::Session session{store};
    disk::SectorReader reader = session.Reader();
    CountingPrompt badPrompt;
    ScriptedFatChoice fatPrompt;
    testutil::RecordingSearchReport searchReport;
};

}  // namespace hardening
