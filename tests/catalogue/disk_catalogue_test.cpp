#include <gtest/gtest.h>

#include <filesystem>

#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"

namespace {

void SysDevice(const testutil::TempDir& dir, const std::string& name, const std::string& sectors,
               const std::string& model = "", const std::string& removable = "0") {
    const std::string d = dir.File("block/" + name);
    std::filesystem::create_directories(d + "/device");
    testutil::WriteFile(d + "/size", sectors + "\n");
    testutil::WriteFile(d + "/removable", removable + "\n");
    if (!model.empty()) testutil::WriteFile(d + "/device/model", model + "   \n");
}

std::string Stored(const std::string& key, unsigned n) {
    return job::RegistryTextRead(job::kClassesRoot, key, disk::StoreKey(n));
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        job::Wizard().diskTree = &tree;
    }
    void TearDown() override {
        job::Wizard().diskTree = nullptr;
        disk::DetachAllDevices();
    }
    testutil::TempDir dir;
    job::MemoryTree tree;
};

TEST_F(CatalogueTest, MachineDisksLeaveOutLoopRamAndEmptyDevicesAndFillTheStore) {
    SysDevice(dir, "sdb", "2048", "SPARE", "1");
    SysDevice(dir, "sda", "976773168", "WDC WD5000AAKX");
    SysDevice(dir, "loop0", "1000");
    SysDevice(dir, "ram0", "1000");
    SysDevice(dir, "sr0", "0");
    std::vector<disk::DiskInfo> disks;
    std::string error;
    ASSERT_TRUE(disk::EnumerateDisks({}, disks, &error, dir.File("block"), dir.File("dev")));
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].path, dir.File("dev") + "/sda");
    EXPECT_EQ(disks[1].path, dir.File("dev") + "/sdb");

    EXPECT_EQ(Stored("TRV Windows\\Size", 0), "500107862016");
    EXPECT_EQ(Stored("TRV Windows\\Model", 0), "WDC WD5000AAKX");
    EXPECT_EQ(Stored("TRV Windows\\Head", 0), "255");
    EXPECT_EQ(Stored("TRV Windows\\SectorsPerTrack", 0), "63");
    EXPECT_EQ(Stored("TRV Windows\\Cylinder", 0), "60801");
    EXPECT_EQ(Stored("TRV Windows\\MediaType", 1), "Removable media");

    job::TreeItem root = tree.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree.Text(root), "My Computer");
    EXPECT_TRUE(tree.IsExpanded(root));
    job::TreeItem first = tree.FirstChild(root);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(tree.Text(first), "Disk0");
    EXPECT_EQ(tree.Text(tree.NextSibling(first)), "Disk1");
    EXPECT_EQ(tree.NextSibling(tree.NextSibling(first)), nullptr);
}

TEST_F(CatalogueTest, ImagesReplaceTheMachineDisksAndEarlierValuesAreCleaned) {
    SysDevice(dir, "sda", "1000", "OLD");
    std::vector<disk::DiskInfo> disks;
    ASSERT_TRUE(disk::EnumerateDisks({}, disks, nullptr, dir.File("block"), dir.File("dev")));
    ASSERT_EQ(Stored("TRV Windows\\Model", 0), "OLD");

    const std::string img = dir.File("one.img");
    testutil::WriteFile(img, std::string(1048575, '\0'));
    ASSERT_TRUE(disk::EnumerateDisks({{img, ""}}, disks, nullptr));
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disk::DeviceNameTable(0).path, img);

    const auto rows = disk::ShowDiskFacts(0);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"Physical Disk Number : ", "Disk0"}, {"Model   : ", "Disk Image"},
        {"Media Type   : ", "Disk Image"},    {"Cylinder   : ", "0"},
        {"Head   : ", "255"},                 {"Sectors Per Track   : ", "63"},
        {"Disk Size  : ", "0 MB"}};  // 1048575 bytes: whole MiB, truncated
    EXPECT_EQ(rows, want);
    EXPECT_EQ(job::Wizard().selectedDiskModel, "Disk Image");
}

TEST_F(CatalogueTest, AnUnreadableMapfileIsRefusedWithAMessage) {
    const std::string img = dir.File("one.img");
    testutil::WriteFile(img, std::string(4096, '\0'));
    std::vector<disk::DiskInfo> disks;
    std::string error;
    EXPECT_FALSE(disk::EnumerateDisks({{img, dir.File("absent.map")}}, disks, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
