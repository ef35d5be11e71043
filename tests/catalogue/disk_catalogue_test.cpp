#include <gtest/gtest.h>

#include <filesystem>

#include "base/Identity.h"
#include "common/TempDir.h"
#include "disk/DiskCatalogue.h"
#include "workflow/Disks.h"
#include "workflow/Session.h"
#include "workflow/SettingsStore.h"

namespace {

void SysDevice(const testutil::TempDir& dir, const std::string& name, const std::string& sectors,
               const std::string& model = "", const std::string& removable = "0") {
    const std::string d = dir.File("block/" + name);
    std::filesystem::create_directories(d + "/device");
    testutil::WriteFile(d + "/size", sectors + "\n");
    testutil::WriteFile(d + "/removable", removable + "\n");
    if (!model.empty()) testutil::WriteFile(d + "/device/model", model + "   \n");
}

class CatalogueTest : public ::testing::Test {
protected:
    std::string Stored(const std::string& key, unsigned n) {
        return workflow::RegistryTextRead(store, base::kClassesRoot, key, disk::StoreKey(n));
    }
    // What the facts rows give for a label.
    std::string Fact(unsigned n, const std::string& label) {
        for (const auto& [name, value] : workflow::DiskFactsRows(session, n))
            if (name == label) return value;
        return "(none)";
    }
    bool ListMachine(std::string* error = nullptr) {
        return workflow::AttachDisks(session, {}, error, dir.File("block"), dir.File("dev"));
    }
    std::string Image(const std::string& name, std::size_t bytes) {
        testutil::WriteFile(dir.File(name), std::string(bytes, '\0'));
        return dir.File(name);
    }
    testutil::TempDir dir;
    workflow::MemorySettingsStore store;
    workflow::Session session{store};
};

TEST_F(CatalogueTest, MachineDisksLeaveOutLoopRamAndEmptyDevicesAndKeepTheirFactsOutOfTheStore) {
    SysDevice(dir, "sdb", "2048", "SPARE", "1");
    SysDevice(dir, "sda", "976773168", "WDC WD5000AAKX");
    SysDevice(dir, "loop0", "1000");
    SysDevice(dir, "ram0", "1000");
    SysDevice(dir, "sr0", "0");
    std::string error;
    ASSERT_TRUE(ListMachine(&error)) << error;
    const auto& disks = session.diskList;
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].path, dir.File("dev") + "/sda");
    EXPECT_EQ(disks[1].path, dir.File("dev") + "/sdb");
    EXPECT_EQ(disks[1].number, 1u);

    // The facts come from the listing; the settings store holds none of them.
    EXPECT_EQ(disks[0].sizeBytes, 500107862016u);
    EXPECT_EQ(Fact(0, "Model   : "), "WDC WD5000AAKX");
    EXPECT_EQ(Fact(0, "Head   : "), "255");
    EXPECT_EQ(Fact(0, "Sectors Per Track   : "), "63");
    EXPECT_EQ(Fact(0, "Cylinder   : "), "60801");
    EXPECT_EQ(Fact(1, "Media Type   : "), "Removable media");
    for (const char* key : {"TRV Windows\\Size", "TRV Windows\\Model", "TRV Windows"})
        for (unsigned n : {0u, 1u}) EXPECT_EQ(Stored(key, n), "") << key << n;

    // attached although the stand-in devices cannot be opened, which is said
    EXPECT_EQ(session.disks.PathOf(1), dir.File("dev") + "/sdb");
    EXPECT_EQ(workflow::DiskOpenFailure(session, 1), dir.File("dev") + "/sdb: No such file or directory");
}

TEST_F(CatalogueTest, ImagesReplaceTheMachineDisks) {
    SysDevice(dir, "sda", "1000", "OLD");
    SysDevice(dir, "sdb", "1000", "OLD TOO");
    ASSERT_TRUE(ListMachine());
    ASSERT_EQ(Fact(0, "Model   : "), "OLD");

    const std::string img = Image("one.img", 1048575);
    ASSERT_TRUE(workflow::AttachDisks(session, {{img, ""}}, nullptr));
    ASSERT_EQ(session.diskList.size(), 1u);
    EXPECT_EQ(session.disks.PathOf(0), img);
    EXPECT_EQ(session.disks.PathOf(1), "");
    EXPECT_EQ(Fact(1, "Model   : "), "");
    EXPECT_EQ(workflow::DiskOpenFailure(session, 0), "");

    const auto rows = workflow::DiskFactsRows(session, 0);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"Physical Disk Number : ", "Disk0"}, {"Model   : ", "Disk Image"},
        {"Media Type   : ", "Disk Image"},    {"Cylinder   : ", "0"},
        {"Head   : ", "255"},                 {"Sectors Per Track   : ", "63"},
        {"Disk Size  : ", "0 MB"}};  // 1048575 bytes: whole MiB, truncated
    EXPECT_EQ(rows, want);
    EXPECT_EQ(session.selectedDiskModel, "Disk Image");
}

TEST_F(CatalogueTest, AnUnreadableMapfileIsRefusedWithAMessage) {
    const std::string img = Image("one.img", 4096);
    std::string error;
    EXPECT_FALSE(workflow::AttachDisks(session, {{img, ""}, {img, dir.File("absent.map")}}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(session.diskList.size(), 1u);  // the disks before it stay listed
    // more sources than disks that can be read
    const std::vector<disk::DiskSource> eleven(11, disk::DiskSource{img, ""});
    EXPECT_FALSE(workflow::AttachDisks(session, eleven, &error));
    EXPECT_EQ(error, "at most 10 disks can be named");
}

TEST_F(CatalogueTest, ChoosingADiskByNumberOrLabelAndTheFloppyRule) {
    const std::string img = Image("one.img", 4096);
    std::string error;
    EXPECT_FALSE(workflow::SelectDisk(session, 0, &error));
    EXPECT_EQ(error, "no disks found");
    ASSERT_TRUE(workflow::AttachDisks(session, {{img, ""}}, nullptr));
    EXPECT_FALSE(workflow::SelectDisk(session, 3, &error));
    EXPECT_EQ(error, "there is no disk 3");

    ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    EXPECT_EQ(session.selectedDiskLabel, "Disk0");
    EXPECT_EQ(session.selectedDiskModel, "Disk Image");
    // a label ending in "Floppy" reads the floppy drive; the plain label brings the disk back
    workflow::SelectDiskNode(session, 0, true, nullptr);
    EXPECT_EQ(session.selectedDiskNumber, 0u);
    EXPECT_EQ(session.disks.PathOf(0), disk::kFloppyDevice);
    ASSERT_TRUE(workflow::SelectDiskNode(session, 0, false, &error)) << error;
    EXPECT_EQ(session.disks.PathOf(0), img);

    // listed beyond the ten disks that have a device: chosen, but refused with the reason
    for (int i = 0; i < 12; ++i) SysDevice(dir, "sd" + std::string(1, static_cast<char>('a' + i)), "1000");
    ASSERT_TRUE(ListMachine());
    EXPECT_FALSE(workflow::SelectDisk(session, 11, &error));
    EXPECT_EQ(error, "disk 11 cannot be read: only disks 0 to 9 have a device");
    EXPECT_EQ(session.selectedDiskNumber, 11u);
    EXPECT_EQ(workflow::DiskOpenFailure(session, 11), "no device is attached as Disk11");
}

// A disk's size is the disk's own: what a settings store (shared by every
// running copy of the window) says about "Disk0" changes nothing.
TEST_F(CatalogueTest, SectorCountAndFactsComeFromTheDiskNotTheStore) {
    const std::string img = Image("one.img", 20 * 512 + 100);
    ASSERT_TRUE(workflow::AttachDisks(session, {{img, ""}}, nullptr));
    EXPECT_EQ(workflow::DiskSectorCount(session, 0), 20u);
    for (const char* other : {"1048576", "100000000000", ""}) {
        store.Write(base::kClassesRoot, "TRV Windows\\Size", "Disk0", other);
        store.Write(base::kClassesRoot, "TRV Windows\\Model", "Disk0", "OTHER WINDOW'S DISK");
        EXPECT_EQ(workflow::DiskSectorCount(session, 0), 20u) << other;
        EXPECT_EQ(Fact(0, "Model   : "), "Disk Image");
        EXPECT_EQ(Fact(0, "Disk Size  : "), "0 MB");
    }
    EXPECT_EQ(workflow::DiskSectorCount(session, 5), 0u);  // nothing listed, nothing attached
}

TEST_F(CatalogueTest, ImagesAreCheckedBeforeUseAndAddedAsTheNextDisk) {
    EXPECT_EQ(workflow::ImageOpenFailure(dir.File("absent.img")), "No such file or directory");
    const std::string img = Image("one.img", 4096);
    EXPECT_EQ(workflow::ImageOpenFailure(img), "");

    ASSERT_TRUE(workflow::AttachDisks(session, {{img, ""}}, nullptr));
    unsigned number = 99;
    std::string error;
    ASSERT_TRUE(workflow::AddImageDisk(session, Image("two.img", 8192), &number, &error)) << error;
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(session.diskList.size(), 2u);
    EXPECT_EQ(workflow::DiskSectorCount(session, 1), 16u);
    EXPECT_EQ(Stored("TRV Windows\\Size", 1), "");
    EXPECT_EQ(session.disks.PathOf(1), dir.File("two.img"));
    EXPECT_FALSE(workflow::AddImageDisk(session, dir.File("absent.img"), &number, &error));
    EXPECT_EQ(error, "Unable to open disk: " + dir.File("absent.img") + ": No such file or directory");

    ASSERT_TRUE(workflow::AttachDisks(session, std::vector<disk::DiskSource>(10, {img, ""}), nullptr));
    EXPECT_FALSE(workflow::AddImageDisk(session, img, &number, &error));
    EXPECT_EQ(error, "No more disks can be added: at most 10 disks can be read.");
}

}  // namespace
