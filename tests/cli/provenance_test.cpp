// The records a save and a raw scan write for an examiner: hash lists that
// sha256sum -c checks, DFXML that the schema validates and whose byte runs,
// read back from the images, give each saved file's bytes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "common/SpannedLayout.h"
#include "common/TempDir.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

using clitest::CliPath;
using clitest::CliRun;
using clitest::Quote;

// The DFXML schema and the two it imports, kept with the tests so that
// xmllint validates offline.
std::string SchemaPath() { return std::string(TARVINE_SOURCE_DIR) + "/tests/dfxml/dfxml.xsd"; }

int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string ReadRange(const std::string& path, std::uint64_t offset, std::uint64_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(length, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

struct ByteRun {
    std::uint64_t fileOffset = 0, imgOffset = 0, length = 0;
    bool placed = false, unreadable = false;
    int disk = -1;
};

struct FileObject {
    std::string text;  // the whole element
    std::string filename;
    std::uint64_t filesize = 0;
    std::vector<ByteRun> runs;
    std::string Element(const std::string& name) const {
        // `name` may carry an attribute: hashdigest type="md5".
        const std::string tag = name.substr(0, name.find(' '));
        std::smatch m;
        return std::regex_search(text, m, std::regex("<" + name + "[^>]*>([^<]*)</" + tag + ">")) ? m[1].str()
                                                                                                    : std::string();
    }
};

std::uint64_t Attribute(const std::string& element, const std::string& name, bool* found = nullptr) {
    std::smatch m;
    const bool ok = std::regex_search(element, m, std::regex(" " + name + "=\"([0-9]+)\""));
    if (found) *found = ok;
    return ok ? std::stoull(m[1].str()) : 0;
}

// The fileobjects of a DFXML report by file name.
std::map<std::string, FileObject> FileObjects(const std::string& xml) {
    std::map<std::string, FileObject> out;
    const std::regex object("<fileobject>[\\s\\S]*?</fileobject>"), run("<byte_run [^>]*/>");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), object); it != std::sregex_iterator(); ++it) {
        FileObject f;
        f.text = it->str();
        f.filename = f.Element("filename");
        f.filesize = std::stoull(f.Element("filesize"));
        for (auto r = std::sregex_iterator(f.text.begin(), f.text.end(), run); r != std::sregex_iterator(); ++r) {
            const std::string e = r->str();
            ByteRun b;
            b.fileOffset = Attribute(e, "file_offset");
            b.length = Attribute(e, "len");
            b.imgOffset = Attribute(e, "img_offset", &b.placed);
            bool hasDisk = false;
            const std::uint64_t disk = Attribute(e, "tarvine:disk", &hasDisk);
            if (hasDisk) b.disk = static_cast<int>(disk);
            b.unreadable = e.find("tarvine:unreadable=\"1\"") != std::string::npos;
            f.runs.push_back(b);
        }
        out[f.filename] = f;
    }
    return out;
}

// Every byte of the saved file that a read run names is the image's byte
// there; the runs cover the file's bytes in order, without a gap.
void ExpectRunsGiveTheFile(const FileObject& f, const std::string& saved, const std::vector<std::string>& images,
                           bool wholeFile) {
    const std::string bytes = testutil::ReadFile(saved);
    EXPECT_EQ(bytes.size(), f.filesize) << f.filename;
    std::uint64_t next = f.runs.empty() ? 0 : f.runs.front().fileOffset;
    for (const ByteRun& r : f.runs) {
        EXPECT_EQ(r.fileOffset, next) << f.filename;
        next = r.fileOffset + r.length;
        if (r.unreadable || !r.placed) continue;
        const std::string& image = images.at(r.disk < 0 ? 0 : static_cast<std::size_t>(r.disk));
        EXPECT_EQ(ReadRange(image, r.imgOffset, r.length), bytes.substr(r.fileOffset, r.length))
            << f.filename << " at " << r.fileOffset;
    }
    if (wholeFile) {
        EXPECT_EQ(next, f.filesize) << f.filename;
    }
}

class ProvenanceTest : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args) {
        std::string cmd = Quote(CliPath());
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
        CliRun r;
        r.status = Shell(cmd);
        r.out = testutil::ReadFile(dir.File("out"));
        r.err = testutil::ReadFile(dir.File("err"));
        return r;
    }
    bool Validates(const std::string& xml) {
        return Shell("xmllint --noout --schema " + Quote(SchemaPath()) + " " + Quote(xml) + " >/dev/null 2>" +
                     Quote(dir.File("xmllint.err"))) == 0;
    }
    void SetUp() override {
        if (Shell("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is not installed";
        if (!std::filesystem::exists(SchemaPath())) GTEST_SKIP() << "the DFXML schema is not at " << SchemaPath();
    }

    testutil::TempDir dir;
};

const char* kMixedDisk = R"(disk seed=26
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,nfs,long
folder PROJ long="Mac Projects"
file REPORT.DOC in=PROJ long="Quarterly Report.doc" size=5000 finder=WDBNMSWD fork-size=6000 time=2007-01-02 modified=2007-04-03T12:30:00 accessed=2007-06-01
file FRAG.BIN size=12000 blocks=60,20,40
file TAIL.BIN size=9000 sub=tail
file OLD.TXT text="gone" deleted
file CURRENT long="current" symlink="Quarterly Report.doc"
file BAD.BIN size=10000
bad file=BAD.BIN offset=2 count=3
)";

// The date and time of the local wall clock as DFXML writes it (UTC).
std::string Utc(int y, int mo, int d, int h, int mi) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

TEST_F(ProvenanceTest, ASaveWithHashesAndDfxmlIsCheckedByTheFieldsOwnTools) {
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(kMixedDisk));
    const std::string img = dir.File("disk.img"), map = dir.File("disk.map"), to = dir.File("to");
    nwimage::WriteImageFile(image, img);
    testutil::WriteFile(map, nwimage::MapfileText(image));
    const std::string hashes = dir.File("saved.sha256"), xml = dir.File("saved.xml");

    const CliRun r = Cli({"--image", img, "--badmap", map, "save", "--volume", "0", "--to", to, "--hashes", hashes,
                          "--hash-types", "md5,sha1,sha256", "--dfxml", xml});
    EXPECT_EQ(r.status, 3) << r.err;  // BAD.BIN is damaged
    for (const std::string& written : {hashes, hashes + ".md5", hashes + ".sha1", xml})
        EXPECT_NE(r.out.find("record written\t" + written + "\n"), std::string::npos) << r.out;

    // The copy checks against the lists in the destination.
    EXPECT_EQ(Shell("cd " + Quote(to) + " && sha256sum --quiet -c " + Quote(hashes)), 0);
    EXPECT_EQ(Shell("cd " + Quote(to) + " && md5sum --quiet -c " + Quote(hashes + ".md5")), 0);
    EXPECT_EQ(Shell("cd " + Quote(to) + " && sha1sum --quiet -c " + Quote(hashes + ".sha1")), 0);
    const std::string list = testutil::ReadFile(hashes);
    EXPECT_NE(list.find("  Mac Projects/._Quarterly Report.doc\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("current"), std::string::npos) << "a symbolic link is left out:\n" << list;

    ASSERT_TRUE(Validates(xml)) << testutil::ReadFile(dir.File("xmllint.err"));
    const std::string report = testutil::ReadFile(xml);
    EXPECT_NE(report.find("<dc:type>"), std::string::npos);
    EXPECT_NE(report.find("<image_filename tarvine:disk=\"0\" tarvine:format=\"raw image\">" + img), std::string::npos);
    EXPECT_NE(report.find("<block_size>4096</block_size>"), std::string::npos);
    EXPECT_NE(report.find("<tarvine:volume_name>MACVOL</tarvine:volume_name>"), std::string::npos);
    const std::map<std::string, FileObject> objects = FileObjects(report);
    for (const char* name : {"Mac Projects/Quarterly Report.doc", "FRAG.BIN", "TAIL.BIN", "OLD.TXT", "BAD.BIN"}) {
        ASSERT_TRUE(objects.count(name)) << name;
        ExpectRunsGiveTheFile(objects.at(name), to + "/" + name, {img}, true);
    }
    // A companion's runs are its fork's, at the fork's place in it.
    ExpectRunsGiveTheFile(objects.at("Mac Projects/._Quarterly Report.doc"), to + "/Mac Projects/._Quarterly Report.doc",
                          {img}, false);
    EXPECT_EQ(objects.at("FRAG.BIN").runs.size(), 3u);

    const FileObject& doc = objects.at("Mac Projects/Quarterly Report.doc");
    EXPECT_EQ(doc.Element("mtime"), Utc(2007, 4, 3, 12, 30));
    EXPECT_EQ(doc.Element("atime"), Utc(2007, 6, 1, 0, 0));
    EXPECT_EQ(doc.Element("crtime"), Utc(2007, 1, 2, 0, 0));
    EXPECT_EQ(doc.Element("alloc"), "1");
    ASSERT_EQ(doc.Element("hashdigest type=\"sha256\"").size(), 64u);
    EXPECT_NE(list.find(doc.Element("hashdigest type=\"sha256\"") + "  Mac Projects/Quarterly Report.doc\n"),
              std::string::npos);
    EXPECT_EQ(objects.at("OLD.TXT").Element("alloc"), "0");

    // The damaged file says so, with the run that could not be read.
    const FileObject& bad = objects.at("BAD.BIN");
    EXPECT_EQ(bad.Element("tarvine:damaged"), "1");
    EXPECT_EQ(bad.Element("tarvine:unreadable_bytes"), "1536");
    std::uint64_t unreadable = 0;
    for (const ByteRun& run : bad.runs)
        if (run.unreadable) unreadable += run.length;
    EXPECT_EQ(unreadable, 1536u);
}

TEST_F(ProvenanceTest, RunsOfAVolumeOfSeveralDisksNameTheirDisk) {
    const std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(testutil::kSpannedDisks));
    const std::string d0 = dir.File("d0.img"), d1 = dir.File("d1.img"), to = dir.File("to"), xml = dir.File("r.xml");
    nwimage::WriteImageFile(disks[0], d0);
    nwimage::WriteImageFile(disks[1], d1);
    CliRun r = Cli({"--image", d0, "--image", d1, "volumes"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::size_t at = r.out.find("\tBIG\t");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string index = r.out.substr(r.out.rfind('\n', at) + 1, at - r.out.rfind('\n', at) - 1);

    r = Cli({"--image", d0, "--image", d1, "save", "--volume", index, "--to", to, "--dfxml", xml});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(Validates(xml)) << testutil::ReadFile(dir.File("xmllint.err"));
    const std::string report = testutil::ReadFile(xml);
    EXPECT_NE(report.find("<tarvine:segment number=\"2\" disk=\"1\""), std::string::npos) << report;
    const std::map<std::string, FileObject> objects = FileObjects(report);
    for (const char* name : {"CROSS.BIN", "EDGE.BIN", "FAR/FAR.DAT"}) {
        ASSERT_TRUE(objects.count(name)) << name;
        for (const ByteRun& run : objects.at(name).runs) EXPECT_GE(run.disk, 0) << name;
        ExpectRunsGiveTheFile(objects.at(name), to + "/" + name, {d0, d1}, true);
    }
    std::set<int> disksUsed;
    for (const ByteRun& run : objects.at("EDGE.BIN").runs) disksUsed.insert(run.disk);
    EXPECT_EQ(disksUsed, (std::set<int>{0, 1}));
}

TEST_F(ProvenanceTest, RecordsThatCannotBeWrittenEndWithStatus2) {
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(R"(partition first=63 count=20000
volume V spb=8 blocks=2000
file A.TXT text="a"
)"));
    const std::string img = dir.File("disk.img"), to = dir.File("to");
    nwimage::WriteImageFile(image, img);

    // A list that cannot be begun stops the save before it writes anything.
    CliRun r = Cli({"--image", img, "save", "--volume", "0", "--to", to, "--hashes", dir.File("none/h.sha256")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Record not written: " + dir.File("none/h.sha256")), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(to + "/A.TXT"));

    std::filesystem::create_directories(dir.File("folder"));
    r = Cli({"--image", img, "save", "--volume", "0", "--to", to, "--dfxml", dir.File("folder")});
    EXPECT_EQ(r.status, 2);
    r = Cli({"--image", img, "save", "--volume", "0", "--to", to, "--hash-types", "md5,crc32"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--hash-types must be"), std::string::npos) << r.err;

    // A record named like a file the save writes never replaces that file:
    // the file stays as saved and the record is reported as not written.
    const std::string fresh = dir.File("fresh");
    r = Cli({"--image", img, "save", "--volume", "0", "--to", fresh, "--hashes", fresh + "/A.TXT", "--dfxml",
             fresh + "/./A.TXT"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(testutil::ReadFile(fresh + "/A.TXT"), "a");
    EXPECT_NE(r.err.find("Record not written: " + fresh + "/A.TXT: a file this save wrote has that name"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("record written"), std::string::npos) << r.out;
}

TEST_F(ProvenanceTest, RawReportByteRunsReadBackWithDdGiveEachDocument) {
    const nwimage::Image image = nwimage::Build(nwimage::ParseDescription(R"(disk seed=5
partition first=63 count=20000
volume SYS spb=8 blocks=2000
file A.DOC doc=word size=9K
file B.XLS doc=excel size=20K
file C.ZIP doc=zip size=5K
)"));
    const std::string img = dir.File("disk.img"), to = dir.File("carved");
    nwimage::WriteImageFile(image, img);
    const CliRun r = Cli({"--image", img, "raw", "--to", to});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string xml = to + "/report.xml";
    ASSERT_TRUE(Validates(xml)) << testutil::ReadFile(dir.File("xmllint.err"));
    const std::map<std::string, FileObject> objects = FileObjects(testutil::ReadFile(xml));
    ASSERT_EQ(objects.size(), 3u) << r.out;
    std::set<std::string> kinds;
    for (const auto& [name, f] : objects) {
        ASSERT_EQ(f.runs.size(), 1u) << name;
        const ByteRun& run = f.runs.front();
        const std::string part = dir.File("dd.out");
        ASSERT_EQ(Shell("dd if=" + Quote(img) + " of=" + Quote(part) + " bs=512 skip=" +
                        std::to_string(run.imgOffset / 512) + " count=" + std::to_string((run.length + 511) / 512) +
                        " status=none && truncate -s " + std::to_string(run.length) + " " + Quote(part)),
                  0);
        EXPECT_EQ(testutil::ReadFile(part), testutil::ReadFile(to + "/" + name)) << name;
        EXPECT_EQ(run.imgOffset % 512, 0u);
        EXPECT_EQ(f.Element("tarvine:state"), "whole") << name;
        kinds.insert(f.Element("tarvine:kind"));
        EXPECT_EQ(Shell("cd " + Quote(to) + " && echo " + Quote(f.Element("hashdigest type=\"md5\"") + "  " + name) +
                        " | md5sum --quiet -c -"),
                  0)
            << name;
        EXPECT_EQ(f.Element("hashdigest type=\"sha256\"").size(), 64u);
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"DOC", "XLS", "ZIP"}));
}

}  // namespace
