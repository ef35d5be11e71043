// The folder listing's records and files, and the hand-off of a mail to the
// desktop's mail program (a stand-in script on PATH records its arguments).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/Identity.h"
#include "common/TempDir.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "records/DirectoryListing.h"
#include "records/MailDispatch.h"
#include "records/Reports.h"
#include "workflow/Reports.h"
#include "workflow/Session.h"

namespace {

// A folder tree built by hand: folders named as given, each its own record.
struct HandTree {
    explicit HandTree(const std::string& rootText) { volume.tree.Reset(rootText); }
    std::uint32_t Add(std::uint32_t parent, const std::string& name) {
        nw::EntryRecord r;
        r.attributes = 0x10;
        r.name = name;
        r.ownNumber = static_cast<std::uint32_t>(volume.FolderList.Size() + 1);
        const std::size_t index = volume.FolderList.Size();
        volume.FolderList.Append(r);
        return volume.tree.Add(parent, static_cast<std::uint32_t>(index));
    }
    nw::MountedVolume volume;
};

struct RecordingOpener : records::FileOpener {
    bool Open(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    std::vector<std::string> opened;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(ListingRecords, PreOrderWithRootDirectoryForAPartitionRoot) {
    HandTree tree("Partition 1");
    const std::uint32_t a = tree.Add(nw::kRootNode, "A");
    tree.Add(a, "A1");
    tree.Add(nw::kRootNode, "B");
    EXPECT_EQ(records::ListingRecords(tree.volume, nw::kRootNode),
              (std::vector<std::string>{"Root Directory -> A", "A-> A1", "Root Directory -> B"}));
}

TEST(ListingRecords, PathsJoinWithOneBackslashAndOnlyTheRootIsRenamed) {
    HandTree tree("SYS");
    const std::uint32_t pub = tree.Add(nw::kRootNode, "PUBLIC");
    const std::uint32_t slash = tree.Add(pub, "ODD\\");
    const std::uint32_t deep = tree.Add(slash, "DEEP");
    tree.Add(deep, "DEEPER");
    const std::uint32_t part = tree.Add(nw::kRootNode, "Partition copies");
    tree.Add(part, "OLD");
    EXPECT_EQ(records::ListingRecords(tree.volume, nw::kRootNode), (std::vector<std::string>{
                                                       "SYS-> PUBLIC",
                                                       "PUBLIC-> ODD\\",
                                                       "PUBLIC\\ODD\\-> DEEP",
                                                       "PUBLIC\\ODD\\DEEP-> DEEPER",
                                                       "SYS-> Partition copies",
                                                       "Partition copies-> OLD",
                                                   }));
    // Started below the root, records still carry the full path.
    EXPECT_EQ(records::ListingRecords(tree.volume, deep), std::vector<std::string>{"PUBLIC\\ODD\\DEEP-> DEEPER"});
}

TEST(ListingRecords, AVeryDeepTreeDoesNotExhaustTheStack) {
    HandTree tree("SYS");
    std::uint32_t node = nw::kRootNode;
    for (int i = 0; i < 3000; ++i) node = tree.Add(node, "D");
    const auto records = records::ListingRecords(tree.volume, nw::kRootNode);
    ASSERT_EQ(records.size(), 3000u);
    EXPECT_EQ(records.back().size(), 2999u * 2 - 1 + 3 + 1);
}

// The walk holds one path, not one per level: 20,000 levels of "D" would
// otherwise keep about 800 MB of paths at the bottom. Run in a child whose
// address space may grow by 256 MB only.
TEST(ListingRecords, ADeepChainIsWalkedInMemoryBoundedByItsDepth) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitizer reserves address space of its own";
#else
    HandTree tree("SYS");
    std::uint32_t node = nw::kRootNode;
    for (int i = 0; i < 20000; ++i) node = tree.Add(node, "D");
    auto walk = [&] {
        long pages = 0;
        if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (256u << 20);
        const struct rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_AS, &rl);
        std::size_t count = 0, last = 0;
        records::WalkListing(tree.volume, nw::kRootNode, [&](const std::string& r) {
            ++count;
            last = r.size();
        });
        std::exit(count == 20000 && last == 19999u * 2 - 1 + 3 + 1 ? 0 : 1);
    };
    EXPECT_EXIT(walk(), ::testing::ExitedWithCode(0), "");
#endif
}

class ListingCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::uint32_t a = tree.Add(nw::kRootNode, "A");
        tree.Add(a, "A1");
        tree.Add(nw::kRootNode, "B");
    }
    std::string DataFile(const char* name) { return dir.path() + "/tarvine/" + name; }

    testutil::TempDir dir;
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.path()};
    HandTree tree{"Partition 0"};
};

TEST_F(ListingCommandTest, ViewAndPrintFilesDifferOnlyInRecordEnds) {
    RecordingOpener opener;
    const records::CommandResult view = records::ViewListing(tree.volume, opener);
    ASSERT_TRUE(view.done) << view.message;
    EXPECT_TRUE(view.message.empty());
    EXPECT_EQ(opener.opened, std::vector<std::string>{DataFile("TreeStructView.txt")});
    EXPECT_EQ(testutil::ReadFile(DataFile("TreeStructView.txt")),
              "Root Directory -> A\r\nA-> A1\r\nRoot Directory -> B\r\n");

    const records::CommandResult print = records::PreparePrintListing(tree.volume);
    ASSERT_TRUE(print.done) << print.message;
    EXPECT_EQ(print.path, DataFile("TreeStructPrint.dat"));
    const std::string bytes = testutil::ReadFile(print.path);
    EXPECT_EQ(bytes, "Root Directory -> A\xE6" "A-> A1\xE6Root Directory -> B\xE6");
    EXPECT_EQ(records::SplitPrintRecords(bytes),
              (std::vector<std::string>{"Root Directory -> A", "A-> A1", "Root Directory -> B"}));
}

TEST_F(ListingCommandTest, NeedsAnOpenVolume) {
    RecordingOpener opener;
    workflow::MemorySettingsStore store;
    workflow::Session session(store);
    const workflow::ReportOutcome outcomes[] = {workflow::ViewListing(session, opener),
                                                workflow::PrepareListingPrint(session),
                                                workflow::EmailListing(session)};
    for (const workflow::ReportOutcome& o : outcomes) {
        EXPECT_FALSE(o.done);
        ASSERT_TRUE(o.notice.has_value());
        EXPECT_EQ(o.notice->text, "Go to step 2 and then use this option");
    }
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(DataFile("TreeStructView.txt")));
}

TEST_F(ListingCommandTest, AListingThatCannotBeWrittenIsReportedNotOpened) {
    RecordingOpener opener;
    // Something that is not a file stands where the listing goes.
    std::filesystem::create_directories(DataFile("TreeStructView.txt"));
    const records::CommandResult view = records::ViewListing(tree.volume, opener);
    const records::CommandResult mail = records::EmailListing(tree.volume, "");
    EXPECT_FALSE(view.done);
    EXPECT_FALSE(mail.done);
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(view.message.rfind("Unable to open file: ", 0), 0u) << view.message;
    EXPECT_EQ(mail.message.rfind("Unable to open file: ", 0), 0u) << mail.message;
    EXPECT_TRUE(std::filesystem::is_directory(DataFile("TreeStructView.txt")));
}

// ---- mail --------------------------------------------------------------------------

class MailTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(bin); }
    // A stand-in mail program that writes one argument a line and exits
    // with `status`.
    void InstallHelper(int status = 0) {
        const std::string script = bin + "/xdg-email";
        testutil::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + argsFile +
                                        "\"\nexit " + std::to_string(status) + "\n");
        ::chmod(script.c_str(), 0755);
    }
    std::vector<std::string> HandedArguments() {
        std::vector<std::string> out;
        std::string text = testutil::ReadFile(argsFile), line;
        for (char c : text) {
            if (c == '\n') {
                out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return out;
    }

    testutil::TempDir dir;
    std::string bin = dir.path() + "/bin";
    std::string argsFile = dir.path() + "/args";
    ScopedEnv path{"PATH", bin + ":/usr/bin:/bin"};
    workflow::MemorySettingsStore store;
};

TEST_F(MailTest, MissingHandOffProgramIsReportedAndNothingIsSent) {
    ScopedEnv onlyEmptyFolder{"PATH", bin};  // the machine's own mail hand-off must not be found
    records::MailSystem mail;
    EXPECT_EQ(mail.Load(), records::kMailLibraryMissing);
    EXPECT_FALSE(mail.Logon());
    const std::string report = dir.File("ActivityLog.txt");
    testutil::WriteFile(report, "x");
    const records::CommandResult r = records::EmailReport(report, "");
    EXPECT_FALSE(r.done);
    EXPECT_EQ(r.message, "Unable to Load EmailMessaging SubSystem");
}

TEST_F(MailTest, ReportIsHandedOverWithRecipientSubjectTextAndAttachment) {
    InstallHelper();
    records::MailSystem mail;
    EXPECT_EQ(mail.Load(), records::kMailSystemReady);
    ASSERT_TRUE(mail.Logon());
    const std::uint64_t first = mail.LogonHandle();
    ASSERT_TRUE(mail.Logon());
    EXPECT_NE(mail.LogonHandle(), first);

    // A name that a shell would act on reaches the program unchanged.
    const std::string report = dir.File("Activity $(touch pwned); Log.txt");
    testutil::WriteFile(report, "report\r\n");
    const records::CommandResult r = records::EmailReport(report, "");
    ASSERT_TRUE(r.done);
    EXPECT_EQ(HandedArguments(), (std::vector<std::string>{"--subject", "Tarvine Log File", "--body",
                                                           "Attachment contains Tarvine Log File", "--attach",
                                                           report, "mailto:support@tarvine.example.com"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_TRUE(r.message.empty());
}

TEST_F(MailTest, MissingAttachmentSendsNothingAndFailuresGiveTheFailureCode) {
    InstallHelper(3);
    const records::CommandResult r = records::EmailReport(dir.File("none.txt"), "");
    EXPECT_FALSE(r.done);
    EXPECT_FALSE(std::filesystem::exists(argsFile));
    EXPECT_TRUE(r.message.empty());

    testutil::WriteFile(dir.File("a.txt"), "a");
    records::MailSystem mail;
    ASSERT_EQ(mail.Load(), 0);
    EXPECT_EQ(mail.Send(records::SupportRecipient(""), dir.File("a.txt"), "s", "t"), 0x80004005u);
    // A hand-off that fails is not reported as sent.
    const records::CommandResult failed = records::EmailReport(dir.File("a.txt"), "");
    EXPECT_FALSE(failed.done);
    EXPECT_EQ(failed.handOffStatus, 3);
}

TEST_F(MailTest, SupportAddressComesFromTheSettingsWhenUsable) {
    EXPECT_EQ(records::SupportRecipient(""), "SMTP:support@tarvine.example.com");
    EXPECT_EQ(records::SupportRecipient("help@example.org"), "SMTP:help@example.org");
    for (const char* bad : {"--attach=/etc/passwd", "a@b?body=x", "no-at-sign", "two@@x", "sp ace@x"})
        EXPECT_EQ(records::SupportAddress(bad), "support@tarvine.example.com") << bad;

    // The session's store names the address the report goes to.
    InstallHelper();
    workflow::Session session(store);
    session.activityLog.path = dir.File("ActivityLog.txt");
    testutil::WriteFile(session.activityLog.path, "x");
    store.Write(base::kClassesRoot, base::kProductKey, records::kSupportAddressValue, "help@example.org");
    EXPECT_TRUE(workflow::EmailReport(session).done);
    EXPECT_EQ(HandedArguments().back(), "mailto:help@example.org");
    const auto args = records::MailHandOffArguments("SMTP:help@example.org", "rel/file.txt", "S", "T");
    EXPECT_EQ(args.back(), "mailto:help@example.org");
    EXPECT_EQ(args[6], (std::filesystem::current_path() / "rel/file.txt").string());
}

}  // namespace

namespace {

TEST_F(MailTest, FolderListIsWrittenAfreshAndMailedWithItsOwnSubject) {
    InstallHelper();
    ScopedEnv dataHome("XDG_DATA_HOME", dir.path());
    HandTree tree("SYS");
    tree.Add(nw::kRootNode, "PUBLIC");
    const std::string listing = dir.path() + "/tarvine/TreeStructView.txt";
    std::filesystem::create_directories(dir.path() + "/tarvine");
    testutil::WriteFile(listing, "an older, longer listing\r\nwith two lines\r\n");
    EXPECT_TRUE(records::EmailListing(tree.volume, "").done);
    EXPECT_EQ(testutil::ReadFile(listing), "SYS-> PUBLIC\r\n");
    EXPECT_EQ(HandedArguments(),
              (std::vector<std::string>{"--subject", "Tarvine Folder List", "--body",
                                        "Attachment contains list of folders that can be recovered", "--attach",
                                        listing, "mailto:support@tarvine.example.com"}));
}

}  // namespace
