// Checking a disk against stored hashes: what each stored kind gives, and
// the verification facts the window shows.
#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "records/DiskVerify.h"
#include "workflow/Verify.h"

namespace {

TEST(DiskVerify, StoredHashesMatchDifferOrAreMissing) {
    testutil::TempDir dir;
    // 3000 sectors: more than one read window, and a last window cut short.
    std::string bytes(3000 * 512, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 512);
    testutil::WriteFile(dir.File("disk.img"), bytes);
    testutil::TestDisks disks;
    ASSERT_EQ(disks.Attach(dir.File("disk.img")), "");
    const records::DiskVerification plain =
        records::VerifyDisk(disks.Reader(), 0, disk::StoredHashes{}, base::NoProgress(), nullptr);
    ASSERT_EQ(plain.hashes.size(), 2u);
    EXPECT_EQ(plain.hashes[0].kind, "MD5");
    EXPECT_EQ(plain.hashes[1].kind, "SHA256");
    EXPECT_EQ(plain.hashes[0].match, records::HashMatch::NotStored);
    EXPECT_EQ(plain.sectorsRead, 3000u);
    const std::string md5 = plain.hashes[0].computed;
    EXPECT_EQ(md5, "9796d7acf84b1869c2d8b664f6faa56c");  // worked out apart from the program

    disk::StoredHashes set{true, md5, std::string(40, '0'), 64};
    const records::DiskVerification checked = records::VerifyDisk(disks.Reader(), 0, set, base::NoProgress(), nullptr);
    ASSERT_EQ(checked.hashes.size(), 2u);
    EXPECT_EQ(checked.hashes[0].match, records::HashMatch::Match);
    EXPECT_EQ(checked.hashes[1].kind, "SHA1");
    EXPECT_EQ(checked.hashes[1].match, records::HashMatch::Differs);
    EXPECT_FALSE(checked.Verified());
    EXPECT_EQ(workflow::VerificationFact(checked), "Stored MD5 verified; Stored SHA1 differs");

    // A set that stores nothing: its MD5 as read, nothing to check against.
    const records::DiskVerification none =
        records::VerifyDisk(disks.Reader(), 0, disk::StoredHashes{true, "", "", 64}, base::NoProgress(), nullptr);
    ASSERT_EQ(none.hashes.size(), 1u);
    EXPECT_TRUE(none.StoresNone());
    EXPECT_TRUE(none.Verified());
    EXPECT_EQ(workflow::VerificationFact(none), "No stored hashes; MD5 " + md5);

    // Stopped before the first read.
    base::CancelFlag stop{true};
    const records::DiskVerification stopped = records::VerifyDisk(disks.Reader(), 0, set, base::NoProgress(), &stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.sectorsRead, 0u);
    EXPECT_EQ(stopped.hashes[0].match, records::HashMatch::NotStored);
    EXPECT_EQ(workflow::VerificationFact(stopped), "Verification stopped");
}

}  // namespace
