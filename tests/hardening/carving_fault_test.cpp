// Bad sectors (ddrescue mapfiles) in the windows of a raw scan: an
// unreadable sector is zero in the document that holds it and nowhere else.
#include <filesystem>

#include "HardeningFixture.h"
#include "workflow/Raw.h"

namespace hardening {
namespace {

class CarvingFaultTest : public HardeningTest {
protected:
    // Runs a raw scan over the whole disk into a fresh folder; returns the
    // written files by name.
    std::map<std::string, std::string> Scan(const nwimage::Image& image, bool withMapfile, const std::string& name) {
        Attach(image, withMapfile);
        const std::string out = dir.File(name);
        std::filesystem::create_directory(out);
        raw::RawRequest request;
        request.checked.fill(true);
        request.wholeDisk = false;
        request.startSector = 0;
        request.endSector = static_cast<std::int64_t>(image.totalSectors) - 1;
        const workflow::RawStart start = workflow::CheckRawStart(session, request);
        EXPECT_TRUE(start.ok);
        EXPECT_FALSE(workflow::PrepareRawDestination(out).has_value());
        raw::RawScan scan;
        raw::RawScanView view;
        result = workflow::RunRaw(session, scan, start, request, out, view);
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(out))
            if (e.path().filename() != workflow::kRawReportName)
                files[e.path().filename().string()] = testutil::ReadFile(e.path().string());
        return files;
    }
    raw::RawScanResult result;
};

// Answers every bad-sector question with Skip and keeps what each named.
struct SkippingPrompt : disk::BadSectorPrompt {
    std::int32_t Ask(const disk::BadSectorEvent& event) override {
        named.emplace_back(event.startSector, event.sectorCount);
        return disk::kSkip;
    }
    std::vector<std::pair<std::uint64_t, std::uint32_t>> named;
};

TEST_F(CarvingFaultTest, PromptNamesExactlyTheUnreadableSectorsAndTheScanCountsThem) {
    // The mapfile marks sectors 130..133 inside the ZIP document, and 3990,
    // the disk's tenth sector from its end.
    nwimage::DiskSpec desc;
    desc.totalSectors = 4000;
    desc.documents = {{nwimage::DocKind::Zip, 100, 40000, 1}};
    desc.bad = {{nwimage::BadArea::Target::Absolute, 130, 4}, {nwimage::BadArea::Target::Absolute, 3990, 1}};
    const nwimage::Image image = nwimage::Build(desc);
    SkippingPrompt prompt;
    session.policy.SetPrompt(&prompt);
    session.policy.BadSectorDecision = disk::kRetry;
    const auto files = Scan(image, true, "out");
    session.policy.SetPrompt(&badPrompt);
    // One question per run of unreadable sectors, each asked once.
    EXPECT_EQ(prompt.named, (std::vector<std::pair<std::uint64_t, std::uint32_t>>{{130, 4}, {3990, 1}}));
    EXPECT_EQ(result.sectorsSkipped, 5u);
    ASSERT_EQ(files.size(), 1u);
    const std::string zip = files.begin()->second;
    ASSERT_GE(zip.size(), 34u * 512);
    EXPECT_EQ(zip.substr(30 * 512, 4 * 512), std::string(4 * 512, '\0'));
    EXPECT_NE(zip.substr(29 * 512, 512), std::string(512, '\0'));
    EXPECT_NE(zip.substr(34 * 512, 512), std::string(512, '\0'));
}

TEST_F(CarvingFaultTest, UnreadableSectorInAWindowIsZeroInItsDocumentOnly) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 4000;
    desc.documents = {{nwimage::DocKind::Zip, 100, 40000, 1}, {nwimage::DocKind::Word, 1500, 30000, 2}};
    // Sector 30 of the ZIP document, in the first scan window.
    desc.bad = {{nwimage::BadArea::Target::Absolute, 130, 1}};
    const nwimage::Image image = nwimage::Build(desc);

    const auto clean = Scan(image, false, "clean");
    ASSERT_EQ(clean.size(), 2u);
    session.policy.BadSectorDecision = disk::kRetryAll;
    const auto damaged = Scan(image, true, "damaged");
    ASSERT_EQ(damaged.size(), 2u);
    for (const auto& [name, bytes] : clean) {
        ASSERT_TRUE(damaged.count(name)) << name;
        std::string want = bytes;
        if (name.find("ZIP") != std::string::npos || name.find("zip") != std::string::npos) {
            ASSERT_GE(want.size(), 31u * 512);
            std::fill(want.begin() + 30 * 512, want.begin() + 31 * 512, '\0');
        }
        EXPECT_TRUE(damaged.at(name) == want) << name;
    }
}

}  // namespace
}  // namespace hardening
