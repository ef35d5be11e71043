// Runs the built tarvine-cli on builder images and checks its output
// contracts: records, exit statuses and file bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>
#include <climits>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "common/ManyVolumes.h"
#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliPath;
using clitest::CliRun;
using clitest::Quote;

class CliTest : public ::testing::Test {
protected:
    // `shell` runs before the program in the same shell (limits, traps);
    // `stdoutTo` replaces the captured stdout (say /dev/full).
    CliRun Cli(const std::vector<std::string>& args, const std::string& shell = "",
               const std::string& stdoutTo = "") {
        std::string cmd = Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        const std::string out = stdoutTo.empty() ? dir.File("out") : stdoutTo, err = dir.File("err");
        if (!stdoutTo.empty()) testutil::WriteFile(dir.File("out"), "");
        cmd = shell + cmd + " </dev/null >" + Quote(out) + " 2>" + Quote(err);
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(stdoutTo.empty() ? out : dir.File("out"));
        r.err = testutil::ReadFile(err);
        return r;
    }

    std::string Write(const nwimage::DiskSpec& desc, const std::string& name = "disk.img") {
        image = nwimage::Build(desc);
        const std::string path = dir.File(name);
        nwimage::WriteImageFile(image, path);
        return path;
    }

    testutil::TempDir dir;
    nwimage::Image image;
};

std::vector<std::vector<std::string>> Records(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            cols.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(cols);
    }
    return rows;
}

nwimage::DiskSpec SampleSpec() {
    nwimage::DiskSpec desc;
    desc.seed = 11;
    nwimage::PartitionSpec p;
    p.firstSector = 63;
    p.sectorCount = 60000;
    nwimage::VolumeSpec sys;
    sys.name = "SYS";
    sys.sectorsPerBlock = 8;
    sys.blocks = 3000;
    auto add = [](nwimage::VolumeSpec& v, bool folder, const std::string& name, std::uint32_t parent,
                  std::uint32_t number, std::uint32_t size = 0) -> nwimage::EntrySpec& {
        nwimage::EntrySpec e;
        e.folder = folder;
        e.name = name;
        e.parent = parent;
        e.number = number;
        e.size = size;
        e.dateTime = nwimage::PackDateTime(2007, 3, 5, 9, 4, 58);
        v.entries.push_back(e);
        return v.entries.back();
    };
    add(sys, true, "PUBLIC", 0, 10);
    add(sys, true, "DATA", 10, 11);
    add(sys, false, "REPORT.DOC", 11, 0, 20000);
    add(sys, false, "NOTES.TXT", 10, 0, 300).placement = nwimage::Placement::Whole;
    add(sys, false, "TAIL.BIN", 10, 0, 9000).placement = nwimage::Placement::Tail;
    add(sys, false, "OLD.TXT", 10, 0, 100).deleted = true;
    add(sys, false, "EMPTY.TXT", 0, 0, 0);
    add(sys, true, "ORPHAN", 999, 20);
    add(sys, false, "INSIDE.TXT", 20, 0, 700);
    nwimage::VolumeSpec data;
    data.name = "DATA";
    data.sectorsPerBlock = 16;
    data.blocks = 1000;
    add(data, false, "BIG.BIN", 0, 0, 100000);
    p.volumes = {sys, data};
    desc.partitions.push_back(p);
    return desc;
}

TEST_F(CliTest, DisksListsTheNamedImagesInOrder) {
    nwimage::DiskSpec desc = SampleSpec();
    const std::string a = Write(desc, "a.img");
    const std::string b = dir.File("b.img");
    testutil::WriteFile(b, std::string(1048575, '\0'));
    const CliRun r = Cli({"--image", a, "--image", b, "disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Disk0", a, std::to_string(image.totalSectors * 512), "Disk Image"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Disk1", b, "1048575", "Disk Image"}));
}

TEST_F(CliTest, VolumesPrintsEveryFieldOfTheQuickSearch) {
    const std::string img = Write(SampleSpec());
    const CliRun r = Cli({"--image", img, "volumes"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& v = image.volumes[i];
        EXPECT_EQ(rows[i], (std::vector<std::string>{
                               std::to_string(i), v.name, std::to_string(v.startSector),
                               std::to_string(v.sectorsPerBlock), std::to_string(v.fat1.front()),
                               std::to_string(v.fat2.front()), std::to_string(v.det1.front()),
                               std::to_string(v.det2.front()),
                               std::to_string(static_cast<std::uint64_t>(v.blocks) * v.sectorsPerBlock),
                               std::to_string(v.blocks)}));
    }
}

TEST_F(CliTest, AdvancedVolumesFindsWipedTables) {
    nwimage::DiskSpec desc = SampleSpec();
    desc.wipeSector0 = true;
    desc.partitions[0].wipeTables = true;
    const std::string img = Write(desc);

    CliRun quick = Cli({"--image", img, "volumes"});
    EXPECT_EQ(quick.status, 1);
    EXPECT_NE(quick.err.find("No volume found, use advance mode"), std::string::npos);
    EXPECT_TRUE(quick.out.empty());

    const CliRun r = Cli({"--image", img, "volumes", "--advanced"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& v = image.volumes[i];
        EXPECT_EQ(rows[i], (std::vector<std::string>{std::to_string(i), "Volume " + std::to_string(i),
                                                     std::to_string(v.startSector), std::to_string(v.sectorsPerBlock),
                                                     "0", "0", std::to_string(v.det1.front()),
                                                     std::to_string(v.det2.front()), "0", "0"}));
    }
}

// A disk of 40 volumes: all are listed, the last can be opened, and one past
// it is named as missing.
TEST_F(CliTest, AdvancedVolumesListsAndOpensEveryVolumeOfALargeDisk) {
    image = testutil::FortyVolumeDisk();
    const std::string img = dir.File("forty.img");
    nwimage::WriteImageFile(image, img);
    const CliRun r = Cli({"--image", img, "volumes", "--advanced"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows[39][0], "39");
    EXPECT_EQ(rows[39][1], "Volume 39");
    EXPECT_EQ(rows[39][2], std::to_string(image.volumes[39].startSector));

    const CliRun last = Cli({"--image", img, "ls", "--advanced", "--volume", "39"});
    EXPECT_EQ(last.status, 0) << last.err;
    EXPECT_NE(last.out.find("PUBLIC"), std::string::npos) << last.out;
    const CliRun past = Cli({"--image", img, "ls", "--advanced", "--volume", "40"});
    EXPECT_EQ(past.status, 2);
    EXPECT_NE(past.err.find("there is no volume 40 (40 found)"), std::string::npos) << past.err;
}

TEST_F(CliTest, ExitStatusesTellNothingFoundFromBadInput) {
    const std::string blank = dir.File("blank.img");
    testutil::WriteFile(blank, std::string(64 * 1024, '\0'));
    CliRun r = Cli({"--image", blank, "volumes", "--advanced"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No volume found, use raw mode"), std::string::npos);

    EXPECT_EQ(Cli({"--image", dir.File("nothere.img"), "volumes"}).status, 2);
    EXPECT_EQ(Cli({"--image", blank, "volumes", "--disk", "1"}).status, 2);
    EXPECT_EQ(Cli({"--image", blank, "volumes", "--disk", "x"}).status, 2);
    EXPECT_EQ(Cli({"--image", blank, "frobnicate"}).status, 2);
    EXPECT_EQ(Cli({"--image", blank, "ls"}).status, 2);  // --volume is required
    EXPECT_EQ(Cli({"--image", blank, "--badmap", dir.File("nomap"), "disks"}).status, 2);
    EXPECT_EQ(Cli({"--bad-sectors", "sometimes", "disks"}).status, 2);
    EXPECT_EQ(Cli({}).status, 2);
    // a split set whose last piece is larger than the first is no disk, for `disks` too
    testutil::WriteFile(dir.File("x.img.001"), std::string(4096, 'a'));
    testutil::WriteFile(dir.File("x.img.002"), std::string(8192, 'b'));
    for (const char* command : {"disks", "volumes"}) {
        r = Cli({"--image", dir.File("x.img.001"), command});
        EXPECT_EQ(r.status, 2) << command << r.out;
        EXPECT_NE(r.err.find("x.img.002: larger than the pieces before it"), std::string::npos) << r.err;
    }

    const CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"disks", "volumes", "ls", "cat", "--bad-sectors", "--advanced", "--fat", "WRITES THE DISK",
                             "\\x1B", "130  stopped by the user", "first of 2, 130, 3, 1"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// Every option comes from one table: the parser, --help and --version
// answer from it with the spellings and messages the commands always had.
TEST_F(CliTest, TheOptionTableParsesAndDescribesEveryOption) {
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.substr(0, version.out.find('\n') + 1), std::string("tarvine-cli ") + TARVINE_VERSION + "\n");
    for (const char* library : {"\nlibewf ", "\nlibvmdk ", "\nlibvhdi ", "\nlibqcow ", "\nlibbfio "})
        EXPECT_NE(version.out.find(library), std::string::npos) << version.out;

    const CliRun help = Cli({"--help"});
    for (const char* word : {"  dirlist [--print-format]", "  raw [--disk N] --to DIR", "--types doc,xls,ppt,zip",
                             "--deleted include|exclude|only", "--ext doc,xls,...", "--replace ask|all|none",
                             "[-R] [FOLDER]", "[--write]", "--log FILE", "--version", "log [--disk N]"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;

    const std::string img = dir.File("none.img");  // arguments are checked before any disk is read
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"ls", "--volume"}, "ls: --volume needs a value"},
        {{"ls", "--volume", "0", "A", "B"}, "ls: unknown argument 'B'"},
        {{"volumes", "--fat", "1"}, "volumes: unknown argument '--fat'"},
        {{"cat", "--volume", "x", "P"}, "cat: --volume needs a number, not 'x'"},
        {{"save", "--volume", "0", "--to", "d", ""}, "save: unknown argument ''"},
        {{"raw", "--to", "d", "--types", "doc,pdf"}, "raw: unknown document type 'pdf'"},
        {{"--image"}, "--image needs a value"},
    };
    for (auto args : refused) {
        const std::string expected = args.second;
        args.first.insert(args.first.begin(), {"--image", img});
        const CliRun r = Cli(args.first);
        EXPECT_EQ(r.status, 2) << expected;
        EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    }
}

// ---- ls and cat (need the mount) ---------------------------------------------------

TEST_F(CliTest, LsListsFoldersFirstThenFiles) {
    const std::string img = Write(SampleSpec());
    CliRun r = Cli({"--image", img, "ls", "--volume", "0", "PUBLIC"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 4u) << r.out;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"D", "0", "0", "0", "05-Mar-2007", "09:04:58", "PUBLIC\\DATA"}));
    EXPECT_EQ(rows[1][6], "PUBLIC\\NOTES.TXT");
    EXPECT_EQ(rows[1][3], "300");
    EXPECT_EQ(rows[3][6], "PUBLIC\\OLD.TXT");
    EXPECT_EQ(rows[3][1], "1");

    r = Cli({"--image", img, "ls", "--volume", "0", "LOST"});
    ASSERT_EQ(r.status, 0) << r.err;
    rows = Records(r.out);
    ASSERT_EQ(rows.size(), 1u) << r.out;
    EXPECT_EQ(rows[0][6], "LOST\\ORPHAN");

    r = Cli({"--image", img, "ls", "--volume", "0", "NOWHERE"});
    EXPECT_EQ(r.status, 1);
}

TEST_F(CliTest, RecursiveLsAndCatDeliverTheManifest) {
    const std::string img = Write(SampleSpec());
    for (unsigned vol = 0; vol < 2; ++vol) {
        const std::string volName = image.volumes[vol].name;
        const CliRun r = Cli({"--image", img, "ls", "--volume", std::to_string(vol), "-R"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> listed;
        for (const auto& row : Records(r.out)) listed.push_back(row.at(6));
        for (const auto& m : image.manifest) {
            if (m.volume != volName) continue;
            EXPECT_NE(std::find(listed.begin(), listed.end(), m.path), listed.end()) << m.path;
            if (m.folder) continue;
            const CliRun c = Cli({"--image", img, "cat", "--volume", std::to_string(vol), m.path});
            ASSERT_EQ(c.status, 0) << m.path << c.err;
            EXPECT_EQ(c.out.size(), m.deliveredBytes) << m.path;
            EXPECT_EQ(nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(c.out.data()), c.out.size()), m.sha256)
                << m.path;
        }
    }
}

// ---- save ----------------------------------------------------------------------

// The files of the sample volume below `prefix` that a save writes, as
// paths below the destination.
std::vector<std::string> ManifestFiles(const nwimage::Image& image, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& m : image.manifest)
        if (m.volume == "SYS" && !m.folder && m.path.rfind(prefix, 0) == 0) out.push_back(m.path);
    return out;
}

TEST_F(CliTest, SaveTakesEveryNamedPathWhateverTheirOrder) {
    const std::string img = Write(SampleSpec());
    auto saved = [&](const std::string& to) {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(to)) {
            if (!e.is_regular_file()) continue;
            std::string rel = std::filesystem::relative(e.path(), to).string();
            std::replace(rel.begin(), rel.end(), '/', '\\');
            files.push_back(rel);
            const auto m = std::find_if(image.manifest.begin(), image.manifest.end(),
                                        [&](const nwimage::ManifestRecord& r) { return r.path == rel; });
            if (m == image.manifest.end()) continue;
            const std::string bytes = testutil::ReadFile(e.path().string());
            EXPECT_EQ(nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), m->sha256)
                << rel;
        }
        std::sort(files.begin(), files.end());
        return files;
    };
    std::vector<std::string> publicFiles = ManifestFiles(image, "PUBLIC\\");
    std::sort(publicFiles.begin(), publicFiles.end());
    ASSERT_GE(publicFiles.size(), 3u);

    // A file alone is saved alone.
    CliRun r = Cli({"--image", img, "save", "--volume", "0", "--to", dir.File("one"), "PUBLIC\\NOTES.TXT"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(saved(dir.File("one")), std::vector<std::string>{"PUBLIC\\NOTES.TXT"});

    // Its folder named after it still brings the whole folder.
    r = Cli({"--image", img, "save", "--volume", "0", "--to", dir.File("both"), "PUBLIC\\NOTES.TXT", "PUBLIC"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(saved(dir.File("both")), publicFiles) << r.err;
    EXPECT_NE(r.out.find("files started\t" + std::to_string(publicFiles.size()) + "\n"), std::string::npos) << r.out;

    r = Cli({"--image", img, "save", "--volume", "0", "--to", dir.File("none"), "PUBLIC\\NOWHERE"});
    EXPECT_EQ(r.status, 1);
}

// The date and deleted-file filters take the days as given, one bound alone
// leaving the other open.
TEST_F(CliTest, SaveFiltersByTheDatesAndDeletedModeGiven) {
    nwimage::DiskSpec desc = SampleSpec();
    nwimage::EntrySpec late;
    late.name = "LATE.TXT";
    late.size = 50;
    late.dateTime = nwimage::PackDateTime(2010, 7, 1, 12, 0, 0);
    desc.partitions[0].volumes[0].entries.push_back(late);
    const std::string img = Write(desc);
    const std::size_t files = ManifestFiles(image, "").size();
    auto skipped = [&](const std::string& to, std::vector<std::string> filter) {
        std::vector<std::string> args = {"--image", img, "save", "--volume", "0", "--to", dir.File(to)};
        args.insert(args.end(), filter.begin(), filter.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string key = "files skipped by filters\t";
        const std::size_t at = r.out.find(key);
        return at == std::string::npos ? files + 1 : std::stoul(r.out.substr(at + key.size()));
    };
    EXPECT_EQ(skipped("all", {}), 0u);
    EXPECT_EQ(skipped("late", {"--after", "01-07-2010"}), files - 1);
    EXPECT_EQ(skipped("early", {"--before", "05-03-2007"}), 1u);
    EXPECT_EQ(skipped("day", {"--after", "05-03-2007", "--before", "05-03-2007"}), 1u);
    EXPECT_EQ(skipped("none", {"--after", "06-03-2007", "--before", "30-06-2010"}), files);
    EXPECT_EQ(skipped("live", {"--deleted", "exclude"}), 1u);  // OLD.TXT
    EXPECT_EQ(skipped("gone", {"--deleted", "only"}), files - 1);
}

// ---- output, names and refused input --------------------------------------------

TEST_F(CliTest, OutputThatCannotBeWrittenEndsWithStatus2) {
    const std::string img = Write(SampleSpec());
    const std::vector<std::vector<std::string>> commands = {
        {"disks"},
        {"volumes"},
        {"ls", "--volume", "0", "PUBLIC"},
        {"ls", "--volume", "0", "-R"},
        {"dirlist", "--volume", "0"},
        {"save", "--volume", "0", "--to", dir.File("full"), "--replace", "all"},
    };
    for (std::vector<std::string> args : commands) {
        args.insert(args.begin(), {"--image", img});
        const CliRun r = Cli(args, "", "/dev/full");
        EXPECT_EQ(r.status, 2) << args[2] << ": " << r.err;
        EXPECT_NE(r.err.find("writing to the output failed"), std::string::npos) << args[2] << ": " << r.err;
    }
}

TEST_F(CliTest, ControlCharactersInNamesAreEscapedInRecords) {
    nwimage::DiskSpec desc = SampleSpec();
    nwimage::EntrySpec odd;
    odd.name = "AQBQCQZDQ";  // the builder takes printable names: Q and Z are replaced below
    odd.parent = 10;          // PUBLIC
    odd.size = 10;
    odd.dateTime = nwimage::PackDateTime(2007, 3, 5, 9, 4, 58);
    desc.partitions[0].volumes[0].entries.push_back(odd);
    const std::string img = Write(desc);
    std::string bytes = testutil::ReadFile(img);
    for (std::size_t at = bytes.find(odd.name); at != std::string::npos; at = bytes.find(odd.name, at))
        bytes.replace(at, odd.name.size(), "A\tB\nC\x1B\\D\a");
    testutil::WriteFile(img, bytes);
    const CliRun r = Cli({"--image", img, "ls", "--volume", "0", "PUBLIC"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 5u) << r.out;
    EXPECT_EQ(rows[4], (std::vector<std::string>{"F", "0", "0", "10", "05-Mar-2007", "09:04:58", "PUBLIC\\A\\tB\\nC\\x1B\\\\D\\x07"}));
}

// Ctrl-C at a set step of the work (TARVINE_CLI_STOP_AFTER_STEPS: the Nth
// step of progress raises SIGINT as the terminal would): every long command
// says "stopped" with what it had done and exits 130.
TEST_F(CliTest, AStoppedCommandSaysSoAndExits130) {
    const std::string img = Write(SampleSpec());
    auto stopAt = [](int step) { return "TARVINE_CLI_STOP_AFTER_STEPS=" + std::to_string(step) + " "; };

    const CliRun whole = Cli({"--image", img, "volumes", "--advanced"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    CliRun r = Cli({"--image", img, "volumes", "--advanced"}, stopAt(3));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("stopped: the advanced search had found "), std::string::npos) << r.err;
    EXPECT_LT(r.out.size(), whole.out.size());
    EXPECT_EQ(whole.out.compare(0, r.out.size(), r.out), 0) << r.out;  // what was found, as found

    // Stopped in the search, a volume command goes no further.
    r = Cli({"--image", img, "ls", "--advanced", "--volume", "0", "-R"}, stopAt(3));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;

    r = Cli({"--image", img, "ls", "--volume", "0", "-R"}, stopAt(2));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(Records(r.out).size(), 2u) << r.out;
    EXPECT_NE(r.err.find("ls: stopped after listing 2 entries"), std::string::npos) << r.err;
    r = Cli({"--image", img, "cat", "--volume", "1", "BIG.BIN"}, stopAt(1));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("cat: stopped after writing " + std::to_string(r.out.size()) + " of 100000 bytes"),
              std::string::npos)
        << r.err;
    EXPECT_LT(r.out.size(), 100000u);
    r = Cli({"--image", img, "dirlist", "--volume", "0"}, stopAt(1));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("dirlist: stopped after 1 records"), std::string::npos) << r.err;

    const std::string docs = Write(nwimage::ParseDescription(R"(disk seed=5
partition first=63 count=20000
volume SYS spb=8 blocks=2000
file A.DOC doc=word size=3K
file B.DOC doc=word size=3K
)"), "docs.img");
    r = Cli({"--image", docs, "raw", "--to", dir.File("carved")}, stopAt(2));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("raw: stopped; the "), std::string::npos) << r.err;
    // A stop and output that cannot be written: 2 comes first.
    r = Cli({"--image", docs, "raw", "--to", dir.File("carved2")}, stopAt(2), "/dev/full");
    EXPECT_EQ(r.status, 2) << r.err;
}

// A name with ESC, NUL and a lone C1 byte reaches no message or record raw:
// not ls, not save's notes on stderr, not cat's errors.
TEST_F(CliTest, NamesReachNoMessageRaw) {
    const std::string odd("E\x1B[2JN\0U\x9BL", 10), shown = "E\\x1B[2JN\\x00U\\x9BL";
    const std::string placeholder = "QZQZQZQZQZ";
    const std::string img = Write(nwimage::ParseDescription(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
folder PUBLIC
file QZQZQZQZQZ in=PUBLIC size=10000
bad file=PUBLIC\QZQZQZQZQZ offset=2 count=3
)"));
    const std::string map = dir.File("disk.map");
    testutil::WriteFile(map, nwimage::MapfileText(image));
    std::string bytes = testutil::ReadFile(img);
    int replaced = 0;
    for (std::size_t at = bytes.find(placeholder); at != std::string::npos; at = bytes.find(placeholder, at), ++replaced)
        bytes.replace(at, placeholder.size(), odd);
    ASSERT_EQ(replaced, 2);  // both directory copies
    testutil::WriteFile(img, bytes);
    auto raw = [](const std::string& text) {
        return text.find('\x1B') != std::string::npos || text.find('\0') != std::string::npos ||
               text.find('\x9B') != std::string::npos;
    };

    CliRun r = Cli({"--image", img, "ls", "--volume", "0", "PUBLIC"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Records(r.out).at(0).at(6), "PUBLIC\\" + shown);
    EXPECT_FALSE(raw(r.out)) << r.out;

    r = Cli({"--image", img, "--badmap", map, "save", "--volume", "0", "--to", dir.File("to")});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("/E\\x1B[2JN_U\\x9BL: damaged"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"" + shown + "\" saved as"), std::string::npos) << r.err;
    EXPECT_FALSE(raw(r.err)) << r.err;

    r = Cli({"--image", img, "--badmap", map, "cat", "--volume", "0", "PUBLIC\\" + odd.substr(0, 5)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no file 'PUBLIC\\E\\x1B[2J'"), std::string::npos) << r.err;
    EXPECT_FALSE(raw(r.err)) << r.err;
}

TEST_F(CliTest, DocumentsThatCannotBeWrittenWholeEndRawWithStatus3) {
    const std::string img = Write(nwimage::ParseDescription(R"(disk seed=5
partition first=63 count=20000
volume SYS spb=8 blocks=2000
file BIG.DOC doc=word size=60K
file SMALL.DOC doc=word size=3K
)"));
    // Files may grow to 16 KiB only; a write beyond fails instead of ending
    // the program.
    const CliRun r = Cli({"--image", img, "raw", "--to", dir.File("carved")}, "trap '' XFSZ; ulimit -f 16; ");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("raw: 1 of the documents found could not be written whole"), std::string::npos) << r.err;
    // Only the whole document is listed and lies in the folder; the other
    // is named on stderr with the reason and leaves nothing behind.
    const std::string carved = dir.File("carved");
    EXPECT_EQ(r.out, carved + "/DOC2.DOC\n");
    EXPECT_NE(r.err.find("raw: DOC1.DOC could not be written: File too large"), std::string::npos) << r.err;
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(carved)) files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"DOC2.DOC", "report.xml"}));
    // Output that cannot be written as well: 2 comes before 3.
    const CliRun full = Cli({"--image", img, "raw", "--to", dir.File("carved2")}, "trap '' XFSZ; ulimit -f 16; ",
                            "/dev/full");
    EXPECT_EQ(full.status, 2) << full.err;
    EXPECT_NE(full.err.find("raw: writing to the output failed"), std::string::npos) << full.err;
}

TEST_F(CliTest, RawRefusesAnEndPastTheDiskAndCountsSkippedSectors) {
    const std::string img = Write(nwimage::ParseDescription(R"(disk seed=5
partition first=63 count=20000
volume SYS spb=8 blocks=2000
file BIG.DOC doc=word size=20K
bad file=BIG.DOC offset=2 count=3
)"));
    const std::string map = dir.File("disk.map");
    testutil::WriteFile(map, nwimage::MapfileText(image));
    const std::uint64_t last = std::filesystem::file_size(img) / 512 - 1;
    CliRun r = Cli({"--image", img, "raw", "--to", dir.File("a"), "--start", "0", "--end", std::to_string(last + 1)});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Invalid End Sector: the disk's last sector is " + std::to_string(last)), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("a")));

    r = Cli({"--image", img, "--badmap", map, "raw", "--to", dir.File("b"), "--start", "0", "--end",
             std::to_string(last)});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("raw: 3 unreadable sectors were skipped (read as zeros)"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, dir.File("b") + "/DOC1.DOC\n");
}

TEST_F(CliTest, ImpossibleDatesAndOversizedMapfilesAreRefused) {
    const std::string img = Write(SampleSpec());
    CliRun r = Cli({"--image", img, "save", "--volume", "0", "--to", dir.File("to"), "--after", "31-02-2007"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--after: 31-02-2007 is not a date (February 2007 has 28 days)"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("to")));

    const std::string map = dir.File("huge.map");
    testutil::WriteFile(map, "");
    std::filesystem::resize_file(map, (64u << 20) + 1);
    r = Cli({"--image", img, "--badmap", map, "volumes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Unable to open file: " + map + ": larger than 64 MiB"), std::string::npos) << r.err;
}

// Every container format qemu-img writes answers as the raw image does.
TEST_F(CliTest, ContainerImagesAnswerLikeTheRawImage) {
    if (std::system("command -v qemu-img >/dev/null 2>&1") != 0) GTEST_SKIP() << "qemu-img is not installed";
    const std::string img = Write(SampleSpec());
    const std::string file = "PUBLIC\\NOTES.TXT";
    const CliRun volumes = Cli({"--image", img, "volumes"});
    const CliRun cat = Cli({"--image", img, "cat", "--volume", "0", file});
    ASSERT_EQ(volumes.status, 0) << volumes.err;
    ASSERT_EQ(cat.status, 0) << cat.err;
    ASSERT_EQ(cat.out.size(), 300u);

    auto qemu = [](const std::string& args) {
        return std::system(("qemu-img " + args + " >/dev/null 2>&1").c_str()) == 0;
    };
    auto same = [&](const std::string& container) {
        const CliRun v = Cli({"--image", container, "volumes"});
        EXPECT_EQ(v.status, 0) << container << ": " << v.err;
        EXPECT_EQ(v.out, volumes.out) << container;
        const CliRun c = Cli({"--image", container, "cat", "--volume", "0", file});
        EXPECT_EQ(c.status, 0) << container << ": " << c.err;
        EXPECT_EQ(c.out, cat.out) << container;
    };
    for (const char* format : {"qcow2", "vmdk", "vpc", "vhdx"}) {
        SCOPED_TRACE(format);
        const std::string container = dir.File(std::string("disk.") + format);
        ASSERT_TRUE(qemu("convert -f raw -O " + std::string(format) + " " + Quote(img) + " " + Quote(container)));
        same(container);
    }
    // (qemu-img makes no differencing VHDX or VHD: "Backing file not
    // supported"; the engine's own tests build those.)
}

TEST_F(CliTest, MarkCompressedListsThenWritesAndSaysHowManyItMarked) {
    const std::string img = Write(nwimage::ParseDescription(R"(disk seed=3
partition first=63 count=20000
volume SYS spb=8 blocks=2000
folder PUBLIC
file SHRUNK.DAT in=PUBLIC size=9000 compressed=unmarked expanded=30000
file PLAIN.BIN size=2000
)"));
    const std::string before = testutil::ReadFile(img);
    CliRun r = Cli({"--image", img, "mark-compressed", "--volume", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "PUBLIC\\SHRUNK.DAT\t9000\t30000\n");
    EXPECT_EQ(testutil::ReadFile(img), before);

    r = Cli({"--image", img, "mark-compressed", "--volume", "0", "--write"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "PUBLIC\\SHRUNK.DAT\t9000\t30000\tmarked\n");
    EXPECT_NE(r.err.find("mark-compressed: 1 of 1 files marked"), std::string::npos) << r.err;
    r = Cli({"--image", img, "ls", "--volume", "0", "PUBLIC\\SHRUNK.DAT"});
    EXPECT_EQ(Records(r.out).at(0).at(2), "1");  // compressed now

    // Ctrl-C while the first of two files is marked: that one is marked in
    // both copies, the second is not looked at.
    const std::string two = Write(nwimage::ParseDescription(R"(disk seed=4
partition first=63 count=20000
volume SYS spb=8 blocks=2000
file ONE.DAT size=9000 compressed=unmarked expanded=30000
file TWO.DAT size=5000 compressed=unmarked expanded=12000
)"), "two.img");
    r = Cli({"--image", two, "mark-compressed", "--volume", "0", "--write"}, "TARVINE_CLI_STOP_AFTER_STEPS=1 ");
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(r.out, "ONE.DAT\t9000\t30000\tmarked\n");
    EXPECT_NE(r.err.find("mark-compressed: stopped after marking 1 files"), std::string::npos) << r.err;
    r = Cli({"--image", two, "mark-compressed", "--volume", "0"});
    EXPECT_EQ(r.out, "TWO.DAT\t5000\t12000\n");
}

// BIG: segment 1 (blocks 120..219) first in disk 0's table at 388, segment 0
// (blocks 0..119) at 1588, segment 2 (blocks 220..299) on disk 1 at 383.
const char* kSpanned = R"(disk 0 seed=5
partition first=100 count=4000
segment BIG 1 blocks=100
volume SMALL blocks=50
volume BIG blocks=120 det1=119,120 det2=250,251 fat2=1
file EDGE.BIN size=16000 blocks=218-221
file PACK.DAT size=3000 compressed=unmarked expanded=9000 blocks=10
disk 1
partition first=63 count=2000 hotfix=1 area=160
segment BIG 2 blocks=80
volume OLD blocks=20 codes=none
)";

TEST_F(CliTest, VolumesListsASpannedVolumeOnceWithItsSegmentsAndCatNamesAMissingOne) {
    const std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(kSpanned));
    const std::string d0 = dir.File("span0.img"), d1 = dir.File("span1.img");
    nwimage::WriteImageFile(disks[0], d0);
    nwimage::WriteImageFile(disks[1], d1);
    const std::vector<std::string> big = {"0", "BIG", "1588", "8", "0", "1", "119", "250", "2400", "300",
                                          "0:1588:0:120,0:388:120:100,1:383:220:80"};
    CliRun r = Cli({"--image", d0, "--image", d1, "volumes"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], big);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "SMALL", "1188", "8", "0", "2", "1", "3", "400", "50"}));
    r = Cli({"--image", d0, "--image", d1, "volumes", "--disk", "1"});
    rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], big);
    EXPECT_EQ(rows[1][1], "OLD");
    EXPECT_EQ(rows[1].size(), 10u);

    const std::vector<std::uint8_t>& stored = disks[0].volumes[1].entries[0].stored;  // BIG's EDGE.BIN
    const std::string edge(stored.begin(), stored.end());
    ASSERT_EQ(edge.size(), 16000u);
    r = Cli({"--image", d0, "--image", d1, "cat", "--volume", "0", "EDGE.BIN"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == edge);

    // A log of the spanned volume loads again with both disks attached.
    const std::string log = dir.File("BIG.SAV");
    r = Cli({"--image", d0, "--image", d1, "log", "save", "--volume", "0", log});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"--image", d0, "--image", d1, "cat", "--log", log, "EDGE.BIN"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == edge);

    // Without disk 1 the volume is still listed; the blocks on disk 1 are not read.
    const std::string missing =
        "Segment 2 of volume BIG is missing: attach the disk that holds it to complete the volume.";
    r = Cli({"--image", d0, "volumes"});
    ASSERT_EQ(r.status, 0) << r.err;
    rows = Records(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][10], "0:1588:0:120,0:388:120:100,?:?:220:80");
    EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    r = Cli({"--image", d0, "cat", "--volume", "0", "EDGE.BIN"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out == edge.substr(0, 8192) + std::string(7808, '\0'));
    EXPECT_NE(r.err.find("7808 of 16000 bytes could not be read: " + missing), std::string::npos) << r.err;
    r = Cli({"--image", d0, "save", "--volume", "0", "--to", dir.File("part")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("files damaged\t1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("EDGE.BIN: damaged: 7808 bytes could not be read (zeros in their place): " + missing),
              std::string::npos)
        << r.err;
}

TEST_F(CliTest, MarkCompressedWritesEachDirectoryCopyOnTheDiskThatHoldsIt) {
    const std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(kSpanned));
    const std::string d0 = dir.File("span0.img"), d1 = dir.File("span1.img");
    nwimage::WriteImageFile(disks[0], d0);
    nwimage::WriteImageFile(disks[1], d1);
    const std::string before0 = testutil::ReadFile(d0), before1 = testutil::ReadFile(d1);
    // Without disk 1, copy 2 cannot be written: nothing is.
    CliRun r = Cli({"--image", d0, "mark-compressed", "--volume", "0", "--write"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "PACK.DAT\t3000\t9000\tfailed: segment 2 of the volume is missing; nothing is written\n");
    EXPECT_EQ(testutil::ReadFile(d0), before0);

    r = Cli({"--image", d0, "--image", d1, "mark-compressed", "--volume", "0", "--write"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "PACK.DAT\t3000\t9000\tmarked\n");
    // Copy 1 lies in DET block 119 (segment 0 on disk 0: sectors 2540..2547),
    // copy 2 in block 250 (segment 2 on disk 1: 383 + 30 x 8 = 623..630).
    // Disk 0's sectors of those numbers (segment 1's block 149) stay as they were.
    auto changedSectors = [](const std::string& a, const std::string& b) {
        std::vector<std::size_t> sectors;
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (a[i] != b[i] && (sectors.empty() || sectors.back() != i / 512)) sectors.push_back(i / 512);
        return sectors;
    };
    const std::vector<std::size_t> c0 = changedSectors(before0, testutil::ReadFile(d0));
    const std::vector<std::size_t> c1 = changedSectors(before1, testutil::ReadFile(d1));
    ASSERT_EQ(c0.size(), 1u);
    EXPECT_TRUE(c0[0] >= 2540 && c0[0] < 2548) << c0[0];
    ASSERT_EQ(c1.size(), 1u);
    EXPECT_TRUE(c1[0] >= 623 && c1[0] < 631) << c1[0];
    r = Cli({"--image", d0, "--image", d1, "ls", "--volume", "0", "PACK.DAT"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Records(r.out).at(0).at(2), "1");
}

TEST_F(CliTest, DamagedFilesAreWrittenAsFarAsTheyGoAndExitThree) {
    const std::string img = Write(nwimage::ParseDescription(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
file BAD.BIN size=10000
file PACK.DAT size=9000 compressed=marked expanded=30000
file GOOD.TXT text="fine"
bad file=BAD.BIN offset=2 count=3
)"));
    const std::string map = dir.File("disk.map");
    testutil::WriteFile(map, nwimage::MapfileText(image));

    CliRun r = Cli({"--image", img, "--badmap", map, "save", "--volume", "0", "--to", dir.File("to")});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("files failed\t0\nfiles damaged\t1\nfiles renamed\t0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("BAD.BIN: damaged: 1536 bytes could not be read"), std::string::npos) << r.err;

    r = Cli({"--image", img, "--badmap", map, "cat", "--volume", "0", "BAD.BIN"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.size(), 10000u);
    EXPECT_NE(r.err.find("'BAD.BIN' is damaged: 1536 bytes could not be read"), std::string::npos) << r.err;

    // A compressed file gives its stored bytes, as the save writes them.
    r = Cli({"--image", img, "cat", "--volume", "0", "PACK.DAT"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 9000u);
    EXPECT_EQ(std::filesystem::file_size(dir.File("to") + "/PACK.DAT"), 9000u);

    // A destination that cannot be made says why.
    testutil::WriteFile(dir.File("file"), "x");
    r = Cli({"--image", img, "save", "--volume", "0", "--to", dir.File("file") + "/sub"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Unable to Create Directory: Not a directory"), std::string::npos) << r.err;
}

TEST_F(CliTest, CtrlCDuringASaveSaysStoppedWithWhatWasDoneAndExits130) {
    // Every file after the first is saved under a new name, and each says so
    // on stderr: the tenth such line is the point where Ctrl-C is pressed.
    std::string description = "partition first=63 count=400000\nvolume V spb=8 blocks=45000 det-blocks=200\n";
    for (int i = 0; i < 3000; ++i) description += "file SAME.TXT text=\"x\"\n";
    const std::string img = Write(nwimage::ParseDescription(description));
    const std::string out = dir.File("stdout");
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(o, 1);
        ::dup2(errPipe[1], 2);
        ::dup2(in, 0);
        ::close(errPipe[0]);
        const std::string cli = CliPath(), to = dir.File("to");
        ::execl(cli.c_str(), cli.c_str(), "--image", img.c_str(), "save", "--volume", "0", "--to", to.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    std::string err;
    int notes = 0;
    bool pressed = false;
    char buf[4096];
    for (ssize_t n; (n = ::read(errPipe[0], buf, sizeof buf)) > 0;) {
        err.append(buf, static_cast<std::size_t>(n));
        for (std::size_t at = 0; !pressed && (at = err.find("saved as", at)) != std::string::npos; at += 8)
            if (++notes == 10) {
                pressed = true;
                ::kill(pid, SIGINT);
            }
        if (!pressed) notes = 0;
    }
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(pressed) << err;
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 130) << err;
    const std::string printed = testutil::ReadFile(out);
    EXPECT_NE(printed.find("\nstopped\n"), std::string::npos) << printed;
    const auto rows = Records(printed);
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(rows[0].at(0), "files started");
    const int started = std::stoi(rows[0].at(1));
    EXPECT_GE(started, 11);
    EXPECT_LT(started, 3000);
    EXPECT_NE(err.find("save: stopped after " + std::to_string(started) + " of 3000 files"), std::string::npos) << err;
}

}  // namespace

namespace {

// Sets bytes of a built entry's DOS record in both directory copies.
void PatchRecord(nwimage::Image& img, const nwimage::BuiltEntry& b, std::size_t at, std::vector<std::uint8_t> bytes) {
    for (std::uint64_t sector : {b.det1Sector, b.det2Sector}) {
        std::array<std::uint8_t, 512> s{};
        img.Read(sector, s.data());
        std::copy(bytes.begin(), bytes.end(), s.begin() + 128 * b.slot + at);
        img.sectors[sector] = s;
    }
}

}  // namespace

TEST_F(CliTest, LsShowsEveryNameAndTheMetadataOfNameSpaceVolumes) {
    image = nwimage::Build(nwimage::ParseDescription(R"(disk seed=3
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,nfs,long
folder PROJ long="Mac Projects" time=2007-01-01T08:00:00
file REPORT.DOC in=PROJ long="Quarterly Report.doc" mac="Quarterly Report" size=100 time=2007-01-02T10:00:00 modified=2007-04-03T12:30:00 accessed=2007-06-01
)"));
    const nwimage::BuiltEntry& file = image.volumes[0].entries[1];
    PatchRecord(image, file, 0x04, {0x21, 0x00, 0x02, 0x02});  // Ro, A, Ri, Ic
    PatchRecord(image, file, 0x1C, {0x00, 0x01, 0x02, 0x03});  // owner
    PatchRecord(image, file, 0x3C, {0x0A, 0x0B, 0x0C, 0x0D});  // first trustee
    PatchRecord(image, file, 0x54, {0xFF, 0x01});              // its rights
    const std::string img = dir.File("ns.img");
    nwimage::WriteImageFile(image, img);

    CliRun r = Cli({"--image", img, "ls", "--volume", "0", "-R", "--metadata", "--all-names"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Records(r.out);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    EXPECT_EQ(rows[1], (std::vector<std::string>{
                           "Mac Projects\\Quarterly Report.doc", "00010203", "00000000", "00000000", "00000000",
                           "2007-01-02T10:00:00", "2007-04-03T12:30:00", "2007-06-01T00:00:00", "", "",
                           "0A0B0C0D:01FF", "Ro,A,Ri,Ic", "DOS,MAC,NFS,LONG",
                           "DOS=REPORT.DOC,MAC=Quarterly Report,NFS=Quarterly Report.doc,LONG=Quarterly Report.doc"}));
    EXPECT_EQ(rows[0][0], "Mac Projects");
    EXPECT_EQ(rows[0][5], "2007-01-01T08:00:00");

    r = Cli({"--image", img, "ls", "--volume", "0", "-R", "--name-space", "mac"});
    ASSERT_EQ(r.status, 0) << r.err;
    rows = Records(r.out);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    EXPECT_EQ(rows[1][6], "Mac Projects\\Quarterly Report");  // the folder's MAC name is its long one
    EXPECT_EQ(Cli({"--image", img, "ls", "--volume", "0", "--name-space", "os2"}).status, 2);
}
