// The folder listing's records and files, and the hand-off of a mail to the
// desktop's mail program (a stand-in script on PATH records its arguments).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "records/DirectoryListing.h"
#include "records/MailDispatch.h"
#include "records/Reports.h"

namespace {

struct RecordedMessages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon, job::MessageButtons) override {
        texts.push_back(text);
        return job::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
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
    job::MemoryTree tree;
    job::TreeItem root = tree.InsertItem(nullptr, "Partition 1", 2, 1);
    job::TreeItem a = tree.InsertItem(root, "A", 3, 1);
    tree.InsertItem(a, "A1", 3, 1);
    tree.InsertItem(root, "B", 3, 1);
    EXPECT_EQ(records::ListingRecords(tree, root),
              (std::vector<std::string>{"Root Directory -> A", "A-> A1", "Root Directory -> B"}));
}

TEST(ListingRecords, PathsJoinWithOneBackslashAndOnlyTheRootIsRenamed) {
    job::MemoryTree tree;
    job::TreeItem root = tree.InsertItem(nullptr, "SYS", 2, 1);
    job::TreeItem pub = tree.InsertItem(root, "PUBLIC", 3, 1);
    job::TreeItem slash = tree.InsertItem(pub, "ODD\\", 3, 1);
    job::TreeItem deep = tree.InsertItem(slash, "DEEP", 3, 1);
    tree.InsertItem(deep, "DEEPER", 3, 1);
    job::TreeItem part = tree.InsertItem(root, "Partition copies", 3, 1);
    tree.InsertItem(part, "OLD", 3, 1);
    EXPECT_EQ(records::ListingRecords(tree, root), (std::vector<std::string>{
                                                       "SYS-> PUBLIC",
                                                       "PUBLIC-> ODD\\",
                                                       "PUBLIC\\ODD\\-> DEEP",
                                                       "PUBLIC\\ODD\\DEEP-> DEEPER",
                                                       "SYS-> Partition copies",
                                                       "Partition copies-> OLD",
                                                   }));
    // Started below the root, records still carry the full path.
    EXPECT_EQ(records::ListingRecords(tree, deep), std::vector<std::string>{"PUBLIC\\ODD\\DEEP-> DEEPER"});
}

TEST(ListingRecords, AVeryDeepTreeDoesNotExhaustTheStack) {
    job::MemoryTree tree;
    job::TreeItem item = tree.InsertItem(nullptr, "SYS", 2, 1);
    for (int i = 0; i < 3000; ++i) item = tree.InsertItem(item, "D", 3, 1);
    const auto records = records::ListingRecords(tree, tree.Root());
    ASSERT_EQ(records.size(), 3000u);
    EXPECT_EQ(records.back().size(), 2999u * 2 - 1 + 3 + 1);
}

class ListingCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        auto& w = job::Wizard();
        w.messages = &messages;
        w.directoryTree = &tree;
        root = tree.InsertItem(nullptr, "Partition 0", 2, 1);
        job::TreeItem a = tree.InsertItem(root, "A", 3, 1);
        tree.InsertItem(a, "A1", 3, 1);
        tree.InsertItem(root, "B", 3, 1);
        w.currentStep = 2;
    }
    void TearDown() override {
        job::Wizard().messages = nullptr;
        job::Wizard().directoryTree = nullptr;
        job::ResetWizardState();
    }
    std::string DataFile(const char* name) { return dir.path() + "/tarvine/" + name; }

    testutil::TempDir dir;
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.path()};
    RecordedMessages messages;
    job::MemoryTree tree;
    job::TreeItem root = nullptr;
};

TEST_F(ListingCommandTest, ViewAndPrintFilesDifferOnlyInRecordEnds) {
    RecordingOpener opener;
    ASSERT_TRUE(records::ViewListing(opener));
    EXPECT_EQ(opener.opened, std::vector<std::string>{DataFile("TreeStructView.txt")});
    EXPECT_EQ(testutil::ReadFile(DataFile("TreeStructView.txt")),
              "Root Directory -> A\r\nA-> A1\r\nRoot Directory -> B\r\n");

    std::string printPath;
    ASSERT_TRUE(records::PreparePrintListing(&printPath));
    EXPECT_EQ(printPath, DataFile("TreeStructPrint.dat"));
    const std::string print = testutil::ReadFile(printPath);
    EXPECT_EQ(print, "Root Directory -> A\xE6" "A-> A1\xE6Root Directory -> B\xE6");
    EXPECT_EQ(records::SplitPrintRecords(print),
              (std::vector<std::string>{"Root Directory -> A", "A-> A1", "Root Directory -> B"}));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ListingCommandTest, NeedsTheBrowsingStepAndATree) {
    RecordingOpener opener;
    job::Wizard().currentStep = 1;
    EXPECT_FALSE(records::ViewListing(opener));
    job::Wizard().currentStep = 2;
    tree.Clear();
    EXPECT_FALSE(records::PreparePrintListing(nullptr));
    EXPECT_FALSE(records::EmailListing());
    EXPECT_EQ(messages.texts, std::vector<std::string>(3, "Go to step 2 and then use this option"));
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(DataFile("TreeStructView.txt")));
}

TEST_F(ListingCommandTest, AListingThatCannotBeWrittenIsReportedNotOpened) {
    RecordingOpener opener;
    // Something that is not a file stands where the listing goes.
    std::filesystem::create_directories(DataFile("TreeStructView.txt"));
    EXPECT_FALSE(records::ViewListing(opener));
    EXPECT_FALSE(records::EmailListing());
    EXPECT_TRUE(opener.opened.empty());
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[0].rfind("Unable to open file: ", 0), 0u) << messages.texts[0];
    EXPECT_TRUE(std::filesystem::is_directory(DataFile("TreeStructView.txt")));
}

// ---- mail --------------------------------------------------------------------------

class MailTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        job::Wizard().messages = &messages;
        job::InstallSettingsStore(&store);
        std::filesystem::create_directories(bin);
    }
    void TearDown() override {
        job::Wizard().messages = nullptr;
        job::InstallSettingsStore(nullptr);
        job::ResetWizardState();
    }
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
    RecordedMessages messages;
    job::MemorySettingsStore store;
};

TEST_F(MailTest, MissingHandOffProgramIsReportedAndNothingIsSent) {
    ScopedEnv onlyEmptyFolder{"PATH", bin};  // the machine's own mail hand-off must not be found
    EXPECT_EQ(records::LoadMailSystem(), records::kMailLibraryMissing);
    EXPECT_FALSE(records::MailLogon());
    job::Wizard().activityLogPath = dir.File("ActivityLog.txt");
    testutil::WriteFile(job::Wizard().activityLogPath, "x");
    EXPECT_FALSE(records::EmailReport());
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Unable to Load EmailMessaging SubSystem"});
}

TEST_F(MailTest, ReportIsHandedOverWithRecipientSubjectTextAndAttachment) {
    InstallHelper();
    EXPECT_EQ(records::LoadMailSystem(), records::kMailSystemReady);
    ASSERT_TRUE(records::MailLogon());
    const std::uint64_t first = records::MailLogonHandle();
    ASSERT_TRUE(records::MailLogon());
    EXPECT_NE(records::MailLogonHandle(), first);

    // A name that a shell would act on reaches the program unchanged.
    const std::string report = dir.File("Activity $(touch pwned); Log.txt");
    job::Wizard().activityLogPath = report;
    testutil::WriteFile(report, "report\r\n");
    ASSERT_TRUE(records::EmailReport());
    EXPECT_EQ(HandedArguments(), (std::vector<std::string>{"--subject", "Tarvine Log File", "--body",
                                                           "Attachment contains Tarvine Log File", "--attach",
                                                           report, "mailto:support@tarvine.example.com"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(MailTest, MissingAttachmentSendsNothingAndFailuresGiveTheFailureCode) {
    InstallHelper(3);
    job::Wizard().activityLogPath = dir.File("none.txt");
    EXPECT_FALSE(records::EmailReport());
    EXPECT_FALSE(std::filesystem::exists(argsFile));
    EXPECT_TRUE(messages.texts.empty());

    testutil::WriteFile(dir.File("a.txt"), "a");
    ASSERT_EQ(records::LoadMailSystem(), 0);
    EXPECT_EQ(records::SendFileByMail(dir.File("a.txt"), "s", "t"), 0x80004005u);
}

TEST_F(MailTest, SupportAddressComesFromTheSettingsWhenUsable) {
    EXPECT_EQ(records::SupportRecipient(), "SMTP:support@tarvine.example.com");
    store.Write(job::kClassesRoot, job::kProductKey, records::kSupportAddressValue, "help@example.org");
    EXPECT_EQ(records::SupportRecipient(), "SMTP:help@example.org");
    for (const char* bad : {"--attach=/etc/passwd", "a@b?body=x", "no-at-sign", "two@@x", "sp ace@x"}) {
        store.Write(job::kClassesRoot, job::kProductKey, records::kSupportAddressValue, bad);
        EXPECT_EQ(records::SupportAddress(), "support@tarvine.example.com") << bad;
    }
    const auto args = records::MailHandOffArguments("SMTP:help@example.org", "rel/file.txt", "S", "T");
    EXPECT_EQ(args.back(), "mailto:help@example.org");
    EXPECT_EQ(args[6], (std::filesystem::current_path() / "rel/file.txt").string());
}

}  // namespace

namespace {

TEST_F(MailTest, FolderListIsWrittenAfreshAndMailedWithItsOwnSubject) {
    InstallHelper();
    ScopedEnv dataHome("XDG_DATA_HOME", dir.path());
    job::MemoryTree tree;
    tree.InsertItem(tree.InsertItem(nullptr, "SYS", 2, 1), "PUBLIC", 3, 1);
    auto& w = job::Wizard();
    w.directoryTree = &tree;
    w.currentStep = 2;
    const std::string listing = dir.path() + "/tarvine/TreeStructView.txt";
    std::filesystem::create_directories(dir.path() + "/tarvine");
    testutil::WriteFile(listing, "an older, longer listing\r\nwith two lines\r\n");
    EXPECT_TRUE(records::EmailListing());
    w.directoryTree = nullptr;
    EXPECT_EQ(testutil::ReadFile(listing), "SYS-> PUBLIC\r\n");
    EXPECT_EQ(HandedArguments(),
              (std::vector<std::string>{"--subject", "Tarvine Folder List", "--body",
                                        "Attachment contains list of folders that can be recovered", "--attach",
                                        listing, "mailto:support@tarvine.example.com"}));
}

}  // namespace
