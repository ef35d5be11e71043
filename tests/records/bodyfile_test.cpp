// The bodyfile's name and mode fields as timeline tools read them.
#include <gtest/gtest.h>

#include "netware/NameSpaces.h"
#include "records/Bodyfile.h"

namespace {

TEST(Bodyfile, NamesAndModesAreWrittenAsTimelineToolsReadThem) {
    // "|" separates fields: a name's own is written "\|"; control characters escaped.
    EXPECT_EQ(records::BodyfileName("Q1|Q2\tnotes\x1B.txt"), "Q1\\|Q2\\tnotes\\x1B.txt");
    EXPECT_EQ(records::BodyfileName("Caf\xC3\xA9 \x9B"), "Caf\xC3\xA9 \\x9B");

    EXPECT_EQ(records::BodyfileMode(true, nullptr), "d/drwxr-xr-x");
    EXPECT_EQ(records::BodyfileMode(false, nullptr), "r/rrw-r--r--");
    nw::EntryNameSpaces ns;
    ns.present = 1u << nw::kNameSpaceNfs;
    ns.mode = 0104750;  // set-user-ID, owner rwx, group r-x
    EXPECT_EQ(records::BodyfileMode(false, &ns), "r/rrwsr-x---");
    ns.mode = 041777;
    EXPECT_EQ(records::BodyfileMode(true, &ns), "d/drwxrwxrwt");
    ns.mode = 0640;  // permissions only: the type comes from the entry
    EXPECT_EQ(records::BodyfileMode(false, &ns), "r/rrw-r-----");
    ns.mode = 0100777;
    ns.linkFlag = 0x02;  // a symbolic link
    EXPECT_EQ(records::BodyfileMode(false, &ns), "l/lrwxrwxrwx");
    ns.present = 0;  // a mode without an NFS record is not the entry's
    EXPECT_EQ(records::BodyfileMode(false, &ns), "r/rrw-r--r--");
}

}  // namespace
