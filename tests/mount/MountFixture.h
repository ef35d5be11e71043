// A builder image attached as disk 0 of the test's disk set, a recording
// mount report, and the mount of one built volume into a MountedVolume.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "netware/Mount.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/Mount.h"
#include "tools/nwimage/NwImage.h"

namespace mounttest {

using testutil::DescriptorOf;

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
        EXPECT_EQ(disks.Attach(path, map), "");
        return image;
    }
    const nwimage::Image& Use(const std::string& description, bool withMapfile = false) {
        return Use(nwimage::ParseDescription(description), withMapfile);
    }
    // The same with the built image altered by `alter` before it is written
    // (the builder's volumes and manifest stay those of the description).
    const nwimage::Image& UseAltered(const std::string& description,
                                     const std::function<void(nwimage::Image&)>& alter) {
        image = nwimage::Build(nwimage::ParseDescription(description));
        alter(image);
        const std::string path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        EXPECT_EQ(disks.Attach(path), "");
        return image;
    }

    // Mounts built volume k the way the session does.
    void MountVolume(std::size_t k) {
        volume.currentVolume = DescriptorOf(image.volumes.at(k));
        result = nw::Mount(volume, reader, report, &stopLostScan);
        ASSERT_TRUE(result.mounted) << result.failure;
    }

    // The tree as the manifest lists it: depth first, folders before files.
    std::vector<Listed> Listing() {
        std::vector<Listed> out;
        nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) {
            const nw::EntryRecord& r = *item.record;
            Listed l;
            l.folder = item.isFolder;
            l.deleted = r.IsDeleted();
            l.compressed = r.IsCompressed();
            l.size = item.isFolder ? 0 : r.size;
            l.dateTime = r.timestamp;
            l.path = item.path;
            if (!item.isFolder) {
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

    std::vector<std::uint8_t> ReadFileBytes(const nw::EntryRecord& r) {
        nw::FileReader fileReader(volume, reader);
        return fileReader.ReadFileBytes(r);
    }

    // A file's bytes as a save writes them: a compressed file delivers the
    // stored length its header gives (nothing when the header disagrees).
    std::vector<std::uint8_t> ReadAsSaved(const nw::EntryRecord& r) {
        if (!r.IsCompressed()) return ReadFileBytes(r);
        std::vector<std::uint8_t> head = ReadFirst(r, 12);
        if (head.size() < 12 || nw::LoadLe32(head.data() + 4) != r.size) return {};
        nw::EntryRecord copy = r;
        copy.size = nw::LoadLe32(head.data() + 8);
        return ReadFileBytes(copy);
    }
    std::vector<std::uint8_t> ReadFirst(const nw::EntryRecord& r, std::uint32_t n) {
        nw::EntryRecord copy = r;
        copy.size = n;
        return ReadFileBytes(copy);
    }

    // The record of a built entry's primary name.
    const nw::EntryRecord* FindRecord(const std::string& name) const {
        for (const auto* list : {&volume.FolderList, &volume.FileList})
            for (const nw::EntryRecord& r : *list)
                if (r.name == name) return &r;
        return nullptr;
    }

    testutil::TempDir dir;
    nwimage::Image image;
    testutil::TestDisks disks;
    disk::SectorReader reader{disks.disks, disks.policy};
    nw::MountedVolume volume;
    testutil::RecordingMountReport report;
    base::CancelFlag stopLostScan{false};
    nw::MountResult result;
};

}  // namespace mounttest
