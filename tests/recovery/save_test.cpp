// Saves of builder images: what lands in the destination, under each filter,
// source, replace answer, Stop and Skip, write failures and hostile names.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "RecoveryFixture.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveNames.h"
#include "workflow/Save.h"
#include "workflow/Texts.h"
#include "workflow/Worker.h"

namespace rectest {
namespace {

using recovery::FileOutcome;
using recovery::ReplaceAnswer;

// Root files, a long-named folder, every placement, a deleted file, stored
// compressed files (one of them a whole piece whose entry size is larger than
// a block: left empty), a name without a dot and an orphaned folder.
const char* kDisk = R"(disk seed=7
partition first=63 count=40000
volume VOL spb=8 blocks=4000 det-blocks=2
folder DOCS long="Documents" time=2005-03-15
folder OLD in=DOCS time=2004-01-01
file README.TXT text="root file\r\n" time=2005-03-01
file EMPTY.LOG size=0 time=2005-01-01
file doc size=100 time=2005-01-01
file REPORT.DOC in=DOCS doc=word size=20K time=2005-03-31
file SHEET.XLS in=DOCS doc=excel size=12K time=2005-04-01
file NOTES.txt in=DOCS size=700 sub=whole time=2005-04-02
file TAIL.DAT in=DOCS size=10000 sub=tail time=2006-01-01
file PACK.DAT in=DOCS size=9000 compressed=marked expanded=30000 time=2005-05-05
file PIECE.DAT in=DOCS size=1000 sub=whole compressed=marked expanded=20000 time=2005-05-06
file GONE.DOC in=DOCS/OLD doc=word size=8K deleted time=2004-06-01
file BIG.BIN in=DOCS/OLD size=100000 time=2004-06-02
folder ORPHAN number=50 parent=999 time=2003-01-01
file LOSTFILE.TXT parent=50 text="lost\r\n" time=2003-01-01
)";

std::string SampleDescription() {
    const auto src = fs::path(TARVINE_SOURCE_DIR);
    std::ifstream f(src / "tools" / "nwimage" / "sample.nwd");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::set<std::string> Keys(const std::map<std::string, std::string>& m) {
    std::set<std::string> out;
    for (const auto& [k, v] : m) out.insert(k);
    return out;
}

class SaveTest : public RecoveryTest {};

TEST_F(SaveTest, WholeVolumeReproducesTheManifest) {
    UseAndMount(kDisk);
    CheckAll();
    Save();
    const Tree saved = ReadTree(destination);
    const Expected expected = FromManifest();
    EXPECT_EQ(Hashes(saved), expected.files);
    EXPECT_EQ(saved.folders, expected.folders);
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front();
    EXPECT_EQ(view.finished, 1);
    // Files in the root land in the destination folder itself.
    EXPECT_EQ(saved.files.at("README.TXT"), "root file\r\n");
    // Stored compressed data is saved as it lies, not expanded.
    EXPECT_EQ(saved.files.at("Documents/PACK.DAT").size(), 9000u);
    // A compressed file held whole in a piece is saved with its stored bytes,
    // even though its expanded size is larger than a block.
    EXPECT_EQ(saved.files.at("Documents/PIECE.DAT").size(), 1000u);
    EXPECT_EQ(job.filesStarted, expected.files.size());
    EXPECT_EQ(job.totalFiles, expected.files.size());
    EXPECT_EQ(job.stopRequested, 0);
    EXPECT_EQ(job.jobFinished, 1);
}

TEST_F(SaveTest, SampleDiskVolumesReproduceTheManifest) {
    const std::string description = SampleDescription();
    ASSERT_FALSE(description.empty());
    for (std::size_t k = 0; k < 2; ++k) {
        if (k == 0) UseAndMount(description, 0);
        else Remount(1);
        destination = dir.File("out" + std::to_string(k));
        CheckAll();
        Save();
        const Tree saved = ReadTree(destination);
        const Expected expected = FromManifest();
        EXPECT_EQ(Hashes(saved), expected.files) << volumeName;
        EXPECT_EQ(saved.folders, expected.folders) << volumeName;
    }
}

struct FilterCase {
    const char* label;
    int deletedMode;
    std::vector<std::string> extensions;
    bool march2005 = false;  // bounds 01-03-2005 .. 31-03-2005
    std::set<std::string> files;
};

class FilterTest : public RecoveryTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTest, EachFilterCombinationSavesExactlyItsSubset) {
    const FilterCase& c = GetParam();
    UseAndMount(kDisk);
    recovery::ActivateDateFilter(settings);
    settings.deletedMode = c.deletedMode;
    for (const auto& e : c.extensions) ASSERT_EQ(recovery::AddExtension(settings, e), recovery::AddResult::Added) << e;
    if (c.march2005) recovery::SetDateBounds(settings, {1, 3, 2005}, {31, 3, 2005});
    CheckAll();
    Save();
    EXPECT_EQ(Keys(ReadTree(destination).files), c.files);
    // Filtered files are not counted as started.
    EXPECT_EQ(job.filesStarted, c.files.size());
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, FilterTest,
    ::testing::Values(
        FilterCase{"DeletedOnly", 2, {}, false, {"Documents/OLD/GONE.DOC"}},
        FilterCase{"ExcludeDeleted", 1, {}, false,
                   {"README.TXT", "EMPTY.LOG", "doc", "Documents/REPORT.DOC", "Documents/SHEET.XLS",
                    "Documents/NOTES.txt", "Documents/TAIL.DAT", "Documents/PACK.DAT", "Documents/PIECE.DAT",
                    "Documents/OLD/BIG.BIN", "LOST/ORPHAN/LOSTFILE.TXT"}},
        // Case-insensitive, and a name without a dot is its own extension.
        FilterCase{"Extension", 0, {"doc"}, false, {"doc", "Documents/REPORT.DOC", "Documents/OLD/GONE.DOC"}},
        FilterCase{"TwoExtensions", 0, {"TXT", "log"}, false,
                   {"README.TXT", "EMPTY.LOG", "Documents/NOTES.txt", "LOST/ORPHAN/LOSTFILE.TXT"}},
        // The 31st of March and the 1st of April share a key: both pass.
        FilterCase{"March2005", 0, {}, true, {"README.TXT", "Documents/REPORT.DOC", "Documents/SHEET.XLS"}},
        FilterCase{"AllThree", 1, {"doc", "xls"}, true, {"Documents/REPORT.DOC", "Documents/SHEET.XLS"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SaveTest, DeletedOnlyWithTheTreeSourceTakesOnlyCheckedDeletedFiles) {
    UseAndMount(kDisk);
    settings.deletedMode = recovery::kDeletedOnly;
    CheckPath("Documents");
    nw::PathMatch old;
    ASSERT_TRUE(nw::FindEntryByPath(volume, "Documents\\OLD", &old));
    selection.ToggleFolder(volume, old.node);  // unchecks OLD, which holds the deleted file
    Save();
    EXPECT_TRUE(ReadTree(destination).files.empty());
}

TEST_F(SaveTest, ADeepFolderAloneGetsItsAncestorsAsEmptyFolders) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    Save();
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(Keys(saved.files), (std::set<std::string>{"Documents/OLD/GONE.DOC", "Documents/OLD/BIG.BIN"}));
    EXPECT_EQ(saved.folders, (std::set<std::string>{"Documents", "Documents/OLD"}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SaveTest, NothingCheckedSaysSoAndAnUnusableDestinationIsRefused) {
    UseAndMount(kDisk);
    EXPECT_EQ(Save().end, recovery::SaveEnd::NothingSelected);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{recovery::kNoFolderSelectedText});
    EXPECT_TRUE(ReadTree(destination).files.empty());

    prompts.messages.clear();
    testutil::WriteFile(dir.File("plain"), "x");
    destination = dir.File("plain") + "/below";
    CheckAll();
    EXPECT_EQ(Save().end, recovery::SaveEnd::InvalidPath);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{recovery::kInvalidPathText});
    EXPECT_EQ(job.filesStarted, 0u);
    EXPECT_EQ(view.finished, 2);

    // No destination at all: the job does not run, silently.
    prompts.messages.clear();
    destination.clear();
    EXPECT_EQ(Save().end, recovery::SaveEnd::NoDestination);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(view.finished, 3);
}

TEST_F(SaveTest, ListSourceTakesSelectedRowsOrTheOthersWithInvertedSelection) {
    UseAndMount(kDisk);
    // The root's rows: Documents, LOST, then README.TXT, EMPTY.LOG, doc.
    listItems = RowsOf(nw::kRootNode);
    ASSERT_EQ(listItems.size(), 5u);
    ASSERT_EQ(NameOf(listItems[0]), "Documents");
    ASSERT_EQ(NameOf(listItems[2]), "README.TXT");
    listItems[0].selected = listItems[2].selected = true;
    Save(recovery::kListSource);
    // A folder row saves its whole branch, checked or not.
    std::set<std::string> expected{"README.TXT"};
    for (const auto& [path, hash] : FromManifest().files)
        if (path.rfind("Documents/", 0) == 0) expected.insert(path);
    EXPECT_EQ(Keys(ReadTree(destination).files), expected);
    EXPECT_EQ(job.totalFiles, expected.size());

    destination = dir.File("inverted");
    settings.selectionMode = recovery::kInvertSelection;
    Save(recovery::kListSource);
    EXPECT_EQ(Keys(ReadTree(destination).files),
              (std::set<std::string>{"LOST/ORPHAN/LOSTFILE.TXT", "EMPTY.LOG", "doc"}));
}

TEST_F(SaveTest, ReplaceAnswersHoldAsLongAsTheyShould) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    Save();
    const std::string big = destination + "/Documents/OLD/BIG.BIN";
    const std::string original = testutil::ReadFile(big);
    ASSERT_EQ(original.size(), 100000u);
    ASSERT_TRUE(prompts.replaceAsked.empty());

    // "No" applies to one file: the question comes again for the next.
    testutil::WriteFile(big, "changed");
    prompts.replaceAnswer = ReplaceAnswer::No;
    Save();
    EXPECT_EQ(prompts.replaceAsked.size(), 2u);
    EXPECT_EQ(testutil::ReadFile(big), "changed");
    EXPECT_EQ(view.ended[big], FileOutcome::NotReplaced);
    EXPECT_EQ(job.filesStarted, 2u);  // counted although kept

    // "No to All": asked once, everything kept.
    prompts.replaceAsked.clear();
    prompts.replaceAnswer = ReplaceAnswer::NoToAll;
    Save();
    EXPECT_EQ(prompts.replaceAsked.size(), 1u);
    EXPECT_EQ(testutil::ReadFile(big), "changed");

    // The next job asks again; "Yes to All" replaces without asking again.
    prompts.replaceAsked.clear();
    prompts.replaceAnswer = ReplaceAnswer::YesToAll;
    Save();
    EXPECT_EQ(prompts.replaceAsked.size(), 1u);
    EXPECT_EQ(testutil::ReadFile(big), original);
}

TEST_F(SaveTest, AnExistingLinkIsReplacedItselfNotWhatItPointsTo) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    fs::create_directories(destination + "/Documents/OLD");
    const std::string victim = dir.File("victim");
    testutil::WriteFile(victim, "keep me");
    fs::create_symlink(victim, destination + "/Documents/OLD/BIG.BIN");
    prompts.replaceAnswer = ReplaceAnswer::Yes;
    Save();
    EXPECT_EQ(testutil::ReadFile(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(destination + "/Documents/OLD/BIG.BIN"));
    EXPECT_EQ(fs::file_size(destination + "/Documents/OLD/BIG.BIN"), 100000u);
}

TEST_F(SaveTest, SkipLeavesNothingOfTheFileAndGoesOn) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    bool pressed = false;
    view.onSector = [&](std::uint64_t written, std::uint64_t count) {
        if (count == 100000 && written == 3 * 4096 + 512 && !pressed) {
            pressed = true;
            job.RequestSkip();
        }
    };
    Save();
    ASSERT_TRUE(pressed);
    const std::string big = destination + "/Documents/OLD/BIG.BIN";
    EXPECT_EQ(Keys(ReadTree(destination + "/Documents/OLD").files), std::set<std::string>{"GONE.DOC"});
    EXPECT_EQ(view.ended[big], FileOutcome::Skipped);
    EXPECT_EQ(job.savedBytes, 8192u);  // GONE.DOC alone
    EXPECT_EQ(view.ended[destination + "/Documents/OLD/GONE.DOC"], FileOutcome::Written);
    EXPECT_EQ(job.skipRequested, 0);
}

TEST_F(SaveTest, StopEndsTheJobAtTheNextBlockAndLeavesNoPartialFile) {
    UseAndMount(kDisk);
    CheckAll();
    view.onSector = [&](std::uint64_t written, std::uint64_t count) {
        if (count == 100000 && written == 2 * 4096 + 1024) job.RequestStop();
    };
    EXPECT_TRUE(Save().stopped);
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(saved.files.count("Documents/OLD/BIG.BIN"), 0u);
    // The orphaned folder comes after BIG.BIN in the walk and is not reached.
    EXPECT_EQ(saved.files.count("LOST/ORPHAN/LOSTFILE.TXT"), 0u);
    EXPECT_EQ(saved.files.count("README.TXT"), 1u);
    EXPECT_EQ(job.stopRequested, 0);  // cleared at the end of the job
    EXPECT_EQ(view.finished, 1);
}

TEST_F(SaveTest, AStopIsReportedWhicheverPartOfTheJobItCameIn) {
    UseAndMount(kDisk);
    const std::size_t all = FromManifest().files.size();
    struct Case {
        const char* label;
        std::function<void()> arm;
        std::uint32_t filesStarted;
    };
    const std::vector<Case> cases = {
        // Between two files: the file that ended is the last one started.
        {"after two files", [&] { view.onEnded = [&](std::size_t n) { if (n == 2) job.RequestStop(); }; }, 2},
        // While the files are counted: no file is started.
        {"while counting", [&] { view.onCount = [&](std::uint32_t n) { if (n == 3) job.RequestStop(); }; }, 0},
        // Before the job reached the save engine (a Ctrl-C while the volume opened).
        {"before the job", [&] { job.RequestStop(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(destination);
        view = RecordingView();
        report.text.clear();
        CheckAll();
        c.arm();
        const recovery::SaveOutcome outcome = Save();
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(job.filesStarted, c.filesStarted);
        EXPECT_LT(job.filesStarted, all);
        EXPECT_NE(report.text.find(", stopped"), std::string::npos);
        EXPECT_EQ(job.stopRequested, 0);  // cleared for the next job
        EXPECT_EQ(view.finished, 1);
        selection.Reset(volume);
    }
}

TEST(PlanNamesTest, EntriesSharingANameCostOneAttemptEachAndKeepTheirOrder) {
    std::vector<recovery::NameCandidate> candidates(3000, {"A.TXT", false});
    candidates.insert(candidates.end(), 1000, {"a.txt", true});
    candidates.push_back({"A (3).TXT", false});  // a name a suffix would give
    std::size_t attempts = 0;
    const std::vector<std::string> names = recovery::PlanNames(candidates, &attempts);
    EXPECT_EQ(names[0], "A.TXT");
    EXPECT_EQ(names[1], "A (2).TXT");
    EXPECT_EQ(names[2], "A (4).TXT");
    EXPECT_EQ(names[2999], "A (3001).TXT");
    EXPECT_EQ(names[3000], "a (deleted).txt");
    EXPECT_EQ(names[3001], "a (deleted 2).txt");
    EXPECT_EQ(names[3999], "a (deleted 1000).txt");
    EXPECT_EQ(names[4000], "A (3).TXT");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    // One attempt per renamed entry, and one for the name already held.
    EXPECT_EQ(attempts, 2999u + 1000u + 1u);
}

// Runs `body` in a child whose files may not grow past `limit` bytes; the
// child's exit status is the number of failed checks.
int InChildWithFileLimit(rlim_t limit, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(SaveTest, AFullDestinationRaisesTheWriteErrorAndSkipGoesOn) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    const std::string big = destination + "/Documents/OLD/BIG.BIN";
    const int failures = InChildWithFileLimit(50000, [&] {
        prompts.writeAnswer = recovery::WriteErrorAnswer::Skip;
        Save();
        int bad = 0;
        bad += prompts.writeErrors.size() != 1;
        bad += view.ended[big] != FileOutcome::WriteFailed;
        // No part of the file is left, under its name or another.
        bad += Keys(ReadTree(destination + "/Documents/OLD").files) != std::set<std::string>{"GONE.DOC"};
        bad += view.ended[destination + "/Documents/OLD/GONE.DOC"] != FileOutcome::Written;
        // A second run into the destination saves the file without asking.
        Save();
        bad += prompts.replaceAsked != std::vector<std::string>{destination + "/Documents/OLD/GONE.DOC"};
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

TEST_F(SaveTest, AStopAskedForDuringAWriteErrorStandsWhenTheAnswerIsSkip) {
    UseAndMount(kDisk);
    CheckAll();
    const int failures = InChildWithFileLimit(50000, [&] {
        prompts.writeAnswer = recovery::WriteErrorAnswer::Skip;
        prompts.onWriteError = [&] { job.RequestStop(); };
        const recovery::SaveOutcome outcome = Save();
        int bad = 0;
        bad += prompts.writeErrors.size() != 1;
        bad += !outcome.stopped;
        // The walk goes no further: the orphaned folder comes later.
        bad += fs::exists(destination + "/LOST/ORPHAN/LOSTFILE.TXT");
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

TEST_F(SaveTest, AbortOnAWriteErrorEndsTheJob) {
    UseAndMount(kDisk);
    CheckAll();
    const int failures = InChildWithFileLimit(50000, [&] {
        prompts.writeAnswer = recovery::WriteErrorAnswer::Abort;
        Save();
        int bad = 0;
        bad += prompts.writeErrors.size() != 1;
        bad += fs::exists(destination + "/LOST/ORPHAN/LOSTFILE.TXT");
        bad += job.stopRequested != 0;
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

TEST_F(SaveTest, NamesFromTheDiskNeverLeaveTheDestination) {
    UseAndMount(R"(partition first=63 count=20000
volume EVIL spb=8 blocks=2000
folder UP long=".."
folder DOT long="." in=UP
file X.TXT long="../../x" text="escape\r\n"
file Y.TXT long="a/b" in=UP text="slash\r\n"
file Z.TXT long="../../../z" in=UP/DOT text="deeper\r\n"
)");
    destination = dir.File("nest/out");
    CheckAll();
    Save();
    EXPECT_EQ(ReadTree(dir.path()).files.count("x"), 0u);
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(Keys(saved.files), (std::set<std::string>{".._.._x", "__/a_b", "__/_/.._.._.._z"}));
    EXPECT_EQ(fs::directory_iterator(dir.File("nest"))->path().filename(), "out");
    EXPECT_NE(report.text.find("\"../../x\" from the disk saved as \".._.._x\""), std::string::npos) << report.text;
}

TEST_F(SaveTest, EntriesSharingANameAllReachTheDestinationUnderStableNames) {
    UseAndMount(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder DOCS
file REPORT.TXT in=DOCS text="old" deleted
file REPORT.TXT in=DOCS text="new"
file REPORT.TXT in=DOCS text="older" deleted
file AB.TXT long="A/B.TXT" text="slash"
file A_B.TXT text="plain"
folder UP long=".."
file DOTS.TXT long=".." text="dots"
file NL1.TXT long="LINEQEND" text="one"
file NL2.TXT long="LINEQEND" text="two"
)");
    // The builder takes printable names only: the Q becomes a newline on disk.
    std::string bytes = testutil::ReadFile(imagePath);
    for (std::size_t at = bytes.find("LINEQEND"); at != std::string::npos; at = bytes.find("LINEQEND", at))
        bytes[at + 4] = '\n';
    testutil::WriteFile(imagePath, bytes);
    disks.disks.DetachAll();
    ASSERT_EQ(disks.Attach(imagePath), "");
    Remount();
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    const std::map<std::string, std::string> expected{
        {"DOCS/REPORT.TXT", "new"},          {"DOCS/REPORT (deleted).TXT", "old"},
        {"DOCS/REPORT (deleted 2).TXT", "older"}, {"A_B.TXT", "plain"},
        {"A_B (2).TXT", "slash"},            {"__ (2)", "dots"},
        {"LINE\nEND", "one"},                {"LINE\nEND (2)", "two"}};
    EXPECT_EQ(ReadTree(destination).files, expected);
    EXPECT_TRUE(prompts.replaceAsked.empty());
    ASSERT_EQ(outcome.renamed.size(), 6u);
    // A name's newline stays on its report line, escaped.
    EXPECT_NE(report.text.find("Name \"LINE\\nEND\" from the disk saved as \"" + destination +
                               "/LINE\\nEND (2)\": another entry of the folder has the name \"LINE\\nEND\""),
              std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find("Name \"REPORT.TXT\" (deleted) from the disk saved as \"" + destination +
                               "/DOCS/REPORT (deleted).TXT\": another entry of the folder has the name \"REPORT.TXT\""),
              std::string::npos)
        << report.text;

    // A second run gives every entry the same name and asks before replacing it.
    prompts.replaceAnswer = ReplaceAnswer::Yes;
    Save();
    EXPECT_EQ(prompts.replaceAsked.size(), expected.size());
    EXPECT_EQ(ReadTree(destination).files, expected);
}

TEST_F(SaveTest, UnreadableAndMissingDataMakeAFileDamaged) {
    image = nwimage::Build(nwimage::ParseDescription(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
file BAD.BIN size=10000
file SHORT.DAT size=3000 dirsize=6000
file GOOD.TXT text="fine"
bad file=BAD.BIN offset=2 count=3
)"));
    imagePath = dir.File("disk.img");
    nwimage::WriteImageFile(image, imagePath);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    ASSERT_EQ(disks.Attach(imagePath, dir.File("disk.map")), "");
    Remount();
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(saved.files.at("BAD.BIN").size(), 10000u);
    EXPECT_EQ(saved.files.at("BAD.BIN").substr(1024, 1536), std::string(1536, '\0'));
    EXPECT_EQ(saved.files.at("SHORT.DAT").size(), 4096u);
    ASSERT_EQ(outcome.damaged.size(), 2u);
    EXPECT_EQ(outcome.damaged[0].target, destination + "/BAD.BIN");
    EXPECT_EQ(outcome.damaged[0].unreadableBytes, 1536u);
    EXPECT_EQ(outcome.damaged[0].reason, "1536 bytes could not be read (zeros in their place)");
    EXPECT_EQ(outcome.damaged[1].reason, "the file's chain ends after 4096 of 6000 bytes");
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_NE(report.text.find("\r\nDamaged file \"" + destination +
                               "/BAD.BIN\" (1536 bytes unreadable): 1536 bytes could not be read"),
              std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find("\r\nSaved to \"" + destination + "/\" : 3 files saved, 2 damaged, 0 failed, 0 renamed"),
              std::string::npos)
        << report.text;
}

TEST_F(SaveTest, SavedFilesAndFoldersCarryTheirEntrysTime) {
    UseAndMount(kDisk);
    CheckPath("Documents");
    Save();
    auto modified = [&](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat((destination + "/" + path).c_str(), &st), 0) << path;
        return st.st_mtime;
    };
    auto local = [](int y, int m, int d) {
        std::tm t{};
        t.tm_year = y - 1900;
        t.tm_mon = m - 1;
        t.tm_mday = d;
        t.tm_isdst = -1;
        return std::mktime(&t);
    };
    EXPECT_EQ(modified("Documents/REPORT.DOC"), local(2005, 3, 31));
    EXPECT_EQ(modified("Documents/OLD/BIG.BIN"), local(2004, 6, 2));
    // Folders once their content is written.
    EXPECT_EQ(modified("Documents/OLD"), local(2004, 1, 1));
    EXPECT_EQ(modified("Documents"), local(2005, 3, 15));
}

TEST_F(SaveTest, AFolderThatCannotBeMadeIsNamedWithItsReason) {
    UseAndMount(kDisk);
    CheckPath("Documents\\OLD");
    fs::create_directories(destination);
    testutil::WriteFile(destination + "/Documents", "a file in the way");
    const recovery::SaveOutcome outcome = Save();
    ASSERT_EQ(prompts.writeErrors.size(), 2u);
    EXPECT_EQ(prompts.writeErrors[0], destination + "/Documents/OLD/GONE.DOC: Unable to Create Directory: " +
                                          destination + "/Documents/OLD/: Not a directory");
    ASSERT_EQ(outcome.failed.size(), 2u);
    EXPECT_EQ(outcome.failed[0].reason, "could not be created: Unable to Create Directory: " + destination +
                                            "/Documents/OLD/: Not a directory");

    // A folder where the file should go, replaced with Yes.
    destination = dir.File("out2");
    fs::create_directories(destination + "/Documents/OLD/BIG.BIN");
    prompts.writeErrors.clear();
    Save();
    EXPECT_EQ(prompts.writeErrors, std::vector<std::string>{destination + "/Documents/OLD/BIG.BIN: Unable to open file: " +
                                                            destination + "/Documents/OLD/BIG.BIN: Is a directory"});
}

TEST_F(SaveTest, ALinkInsideTheDestinationIsNotFollowed) {
    UseAndMount(kDisk);
    fs::create_directories(destination);
    fs::create_directories(dir.File("elsewhere"));
    fs::create_directory_symlink(dir.File("elsewhere"), destination + "/Documents");
    CheckPath("Documents");
    prompts.writeAnswer = recovery::WriteErrorAnswer::Skip;
    Save();
    EXPECT_TRUE(fs::is_empty(dir.File("elsewhere")));
    EXPECT_FALSE(prompts.writeErrors.empty());
}

TEST_F(SaveTest, AHeaderThatDisagreesSavesTheChainAsDamagedAndTheJobGoesOn) {
    UseAndMount(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
file BAD.DAT size=3000 compressed=marked expanded=9000 dirsize=8000
file GOOD.TXT text="fine\r\n"
)");
    CheckAll();
    const recovery::SaveOutcome outcome = Save();
    EXPECT_EQ(prompts.messages, std::vector<std::string>{recovery::kChecksumErrorText});
    const Tree saved = ReadTree(destination);
    // The chain's one block, as far as the entry's size goes.
    EXPECT_EQ(saved.files.at("BAD.DAT").size(), 4096u);
    EXPECT_EQ(saved.files.at("GOOD.TXT"), "fine\r\n");
    ASSERT_EQ(outcome.damaged.size(), 1u);
    EXPECT_EQ(outcome.damaged[0].target, destination + "/BAD.DAT");
    EXPECT_EQ(outcome.damaged[0].reason,
              "Compress File CheckSum Error, the data is saved up to the entry's size; the file's chain ends after "
              "4096 of 8000 bytes");
}

TEST_F(SaveTest, ProgressFiguresOfAJobWithNothingToCount) {
    UseAndMount(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder F
file EMPTY.LOG in=F size=0
)");
    CheckAll();
    Save();
    ASSERT_EQ(view.started.size(), 1u);
    EXPECT_EQ(job.totalBytes, 1u);
    const recovery::FileFigures& f = view.started[0];
    EXPECT_EQ(f.savedBytes, 0u);
    EXPECT_EQ(f.totalBytes, 1u);
    EXPECT_EQ(f.filesDone, 1u);
    EXPECT_EQ(f.filesTotal, 1u);
    EXPECT_EQ(f.name, "EMPTY.LOG");
    EXPECT_EQ(fs::file_size(destination + "/F/EMPTY.LOG"), 0u);
}

TEST_F(SaveTest, TimeFiguresFollowTheClock) {
    UseAndMount(kDisk);
    std::int64_t now = 1000;
    job.clock = [&] { return now; };
    view.onSector = [&](std::uint64_t written, std::uint64_t count) {
        if (count == 100000 && written == 4096) now = 1010;
    };
    CheckPath("Documents\\OLD");
    Save();
    ASSERT_FALSE(view.times.empty());
    // 108192 bytes in all; after BIG.BIN's first block 4096 + 8192 (GONE.DOC
    // first) are saved in 10 seconds.
    const std::int64_t saved = 8192 + 4096, total = static_cast<std::int64_t>(job.totalBytes);
    const std::int64_t remaining = (total - saved) / (saved / 10);
    EXPECT_EQ(view.times.front(), std::make_pair(remaining, std::int64_t{10}));
}

TEST_F(SaveTest, CountingCanBeStoppedAndTheCopyGoesOn) {
    UseAndMount(kDisk);
    CheckAll();
    job.RequestCountingStop();
    EXPECT_EQ(job.countingStopRequested, 1);
    // The flag set before the count starts is cleared; stop the count from
    // inside instead.
    view.onCount = [&](std::uint32_t n) {
        if (n == 3) job.RequestCountingStop();
    };
    Save();
    EXPECT_EQ(job.totalFiles, 3u);
    EXPECT_EQ(job.filesStarted, FromManifest().files.size());
    EXPECT_EQ(job.countingState, recovery::kCountingIdle);
}

TEST_F(SaveTest, TheSaveDataButtonNeedsAnOpenVolume) {
    workflow::MemorySettingsStore store;
    workflow::Session session(store);
    recovery::SaveJob refused;
    workflow::SaveRequest request;
    request.destinationPath = destination;
    const workflow::SaveResult r = workflow::RunSave(session, refused, request, view, prompts);
    ASSERT_TRUE(r.notice.has_value());
    EXPECT_EQ(r.notice->text, workflow::kGoToStep2Text);
    EXPECT_EQ(view.finished, 0);
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(SaveTest, TheWorkerRunsOnItsOwnThread) {
    UseAndMount(kDisk);
    CheckAll();
    destination += "/";  // a trailing separator gets no second one
    recovery::SaveOutcome outcome;
    workflow::Worker worker;
    ASSERT_TRUE(worker.Start([&] { outcome = Save(); }));
    worker.Join();
    EXPECT_EQ(outcome.end, recovery::SaveEnd::Finished);
    EXPECT_EQ(job.destinationPath, destination);
    EXPECT_EQ(Hashes(ReadTree(destination)), FromManifest().files);
}

// ---- the save's inputs without any widget ------------------------------------------

std::size_t FileIndexOf(const nw::MountedVolume& volume, const std::string& path) {
    nw::PathMatch m;
    if (!nw::FindEntryByPath(volume, path, &m) || m.isFolder) return nw::kNoEntry;
    return m.fileIndex;
}

TEST_F(SaveTest, APartlyCheckedFolderSavesOnlyItsMarkedFiles) {
    UseAndMount(kDisk);
    const std::size_t notes = FileIndexOf(volume, "Documents\\NOTES.txt");
    const std::size_t doc = FileIndexOf(volume, "doc");
    ASSERT_NE(notes, nw::kNoEntry);
    ASSERT_NE(doc, nw::kNoEntry);
    selection.SetFile(volume, notes, true);
    selection.SetFile(volume, doc, true);
    nw::PathMatch documents;
    ASSERT_TRUE(nw::FindEntryByPath(volume, "Documents", &documents));
    ASSERT_EQ(selection.NodeState(documents.node), nw::kPartlyChecked);

    EXPECT_EQ(Save().end, recovery::SaveEnd::Finished);
    const Tree saved = ReadTree(destination);
    EXPECT_EQ(Keys(saved.files), (std::set<std::string>{"doc", "Documents/NOTES.txt"}));
    // Unticked folders are neither entered nor made.
    EXPECT_EQ(saved.folders, std::set<std::string>{"Documents"});
    EXPECT_EQ(job.totalFiles, 2u);
    EXPECT_EQ(job.filesStarted, 2u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SaveTest, ListRowsOfASubfolderLandInTheDestinationAndStaleRowsAreIgnored) {
    UseAndMount(kDisk);
    nw::PathMatch documents;
    ASSERT_TRUE(nw::FindEntryByPath(volume, "Documents", &documents));
    listItems = RowsOf(documents.node);  // OLD, then the seven files of Documents
    ASSERT_EQ(NameOf(listItems[0]), "OLD");
    // Rows that name nothing on the volume.
    listItems.push_back({true, nw::kRootNode, nw::kNoEntry, true});
    listItems.push_back({true, 99999, nw::kNoEntry, true});
    listItems.push_back({false, nw::kNoNode, volume.FileList.Size(), true});
    settings.selectionMode = recovery::kAllRows;
    EXPECT_EQ(Save(recovery::kListSource).end, recovery::SaveEnd::Finished);

    std::set<std::string> expected;
    for (const auto& [path, hash] : FromManifest().files)
        if (path.rfind("Documents/", 0) == 0) expected.insert(path.substr(std::string("Documents/").size()));
    EXPECT_EQ(Keys(ReadTree(destination).files), expected);
    EXPECT_EQ(job.totalFiles, expected.size());
    EXPECT_EQ(view.started.front().folderPath, destination + "/OLD/");
}

}  // namespace
}  // namespace rectest

namespace {

// The save's walk reaches each folder from the one it opened before, down
// and up; a link put in place of a folder is never followed.
TEST(FolderChainTest, WalksDownAndUpWithoutFollowingLinks) {
    testutil::TempDir dir;
    const std::string root = recovery::DestinationRoot(dir.File("to"));
    recovery::FolderChain chain(root);
    ASSERT_TRUE(chain.Open(root + "A/B/C", true).ok());
    ASSERT_TRUE(chain.Open(root + "A/D", true).ok());
    ASSERT_TRUE(chain.Open(root + "A/B/E", true).ok());
    EXPECT_TRUE(std::filesystem::is_directory(root + "A/B/C"));
    EXPECT_TRUE(std::filesystem::is_directory(root + "A/B/E"));
    std::filesystem::remove(root + "A/D");
    std::filesystem::create_directory(dir.File("outside"));
    std::filesystem::create_directory_symlink(dir.File("outside"), root + "A/D");
    EXPECT_FALSE(chain.Open(root + "A/D/F", true).ok());
    EXPECT_FALSE(std::filesystem::exists(dir.File("outside") + "/F"));
    EXPECT_FALSE(chain.Open(root + "A/../G", true).ok());
    EXPECT_TRUE(chain.Open(root + "A/B", false).ok());
}

}  // namespace
