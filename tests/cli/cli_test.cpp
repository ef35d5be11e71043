// Runs the built tarvine-cli on builder images and checks its output
// contracts: records, exit statuses and file bytes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

std::string CliPath() {
#ifdef TARVINE_CLI_PATH
    if (std::filesystem::exists(TARVINE_CLI_PATH)) return TARVINE_CLI_PATH;
#endif
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "tarvine-cli";
    return (std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path().parent_path() /
            "cli" / "tarvine-cli")
        .string();
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        const std::string out = dir.File("out"), err = dir.File("err");
        cmd += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = testutil::ReadFile(out);
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

    const CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"disks", "volumes", "ls", "cat", "--bad-sectors", "--advanced", "--fat"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
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

}  // namespace
