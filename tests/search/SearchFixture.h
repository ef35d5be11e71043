// A disk image from the builder attached as disk 0 of the test's disk set,
// the found-volume table the searches fill and a recording search report.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/VolumeSearch.h"
#include "tools/nwimage/NwImage.h"

namespace searchtest {

using testutil::RecordingSearchReport;

class SearchTest : public ::testing::Test {
protected:
    // Builds the description, writes it and attaches it as disk 0.
    const nwimage::Image& Use(const nwimage::DiskSpec& desc) {
        image = nwimage::Build(desc);
        path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        UseFile(path);
        return image;
    }
    // The same with the built image altered by `alter` before it is written.
    const nwimage::Image& UseAltered(const nwimage::DiskSpec& desc,
                                     const std::function<void(nwimage::Image&)>& alter) {
        image = nwimage::Build(desc);
        alter(image);
        path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        UseFile(path);
        return image;
    }
    void UseFile(const std::string& file) { EXPECT_EQ(disks.Attach(file), ""); }

    nw::SearchTarget Target(unsigned disk = 0) const { return nw::SearchTarget{&reader, disk}; }
    nw::SearchResult Quick() { return nw::QuickVolumeSearch(Target(), found, report); }
    // The advanced search over the whole disk, as the session asks for it.
    nw::SearchResult Advanced() {
        return nw::AdvancedVolumeSearch(Target(), reader.SectorCount(0), found, report, stop);
    }

    testutil::TempDir dir;
    std::string path;
    nwimage::Image image;
    testutil::TestDisks disks;
    disk::SectorReader reader{disks.disks, disks.policy};
    nw::FoundVolumes found;
    RecordingSearchReport report;
    base::CancelFlag stop{false};
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
