// The filter tests and the rules for changing the save settings.
#include <gtest/gtest.h>

#include "recovery/SaveSettings.h"
#include "tools/nwimage/NwImage.h"

namespace {

using namespace recovery;

class SettingsTest : public ::testing::Test {
protected:
    static std::uint32_t Date(unsigned y, unsigned m, unsigned d) { return nwimage::PackDateTime(y, m, d, 12, 0, 0); }
    bool PassesDate(std::uint32_t timestamp) const { return PassesDateFilter(settings, timestamp); }
    bool PassesDeleted(std::uint32_t marker) const { return PassesDeletedFilter(settings, marker); }
    bool PassesExtension(const std::string& name) const { return PassesExtensionFilter(settings, name); }
    SaveSettings settings;
};

TEST_F(SettingsTest, NoDateFilterUntilActivatedThenTheDefaultsPassEveryDate) {
    // Out-of-range dates included: nothing is filtered before activation.
    EXPECT_TRUE(PassesDate(0));
    EXPECT_TRUE(PassesDate(Date(2107, 12, 31)));
    ActivateDateFilter(settings);
    EXPECT_EQ(AfterBound(settings), (FilterDate{1, 1, 1970}));
    EXPECT_EQ(EarlierBound(settings), (FilterDate{31, 12, 2099}));
    for (unsigned y : {1980u, 1999u, 2000u, 2047u, 2059u}) EXPECT_TRUE(PassesDate(Date(y, 6, 15))) << y;
    // Year field 80 is the year 2000, not 2060.
    EXPECT_TRUE(PassesDate(80u << 25 | 1u << 21 | 1u << 16));
    // Bounds already set stay as they are.
    SetDateBounds(settings, {2, 2, 2002}, {3, 3, 2003});
    ActivateDateFilter(settings);
    EXPECT_EQ(AfterBound(settings), (FilterDate{2, 2, 2002}));
    EXPECT_EQ(EarlierBound(settings), (FilterDate{3, 3, 2003}));
}

TEST_F(SettingsTest, DateBoundsAreInclusiveAndCountThirtyDayMonths) {
    SetDateBounds(settings, {1, 3, 2005}, {31, 3, 2005});
    EXPECT_TRUE(PassesDate(Date(2005, 3, 1)));
    EXPECT_TRUE(PassesDate(Date(2005, 3, 31)));
    EXPECT_TRUE(PassesDate(Date(2005, 4, 1)));  // same key as the 31st of March
    EXPECT_FALSE(PassesDate(Date(2005, 4, 2)));
    EXPECT_FALSE(PassesDate(Date(2005, 2, 28)));
    EXPECT_FALSE(PassesDate(Date(2004, 3, 15)));
    EXPECT_EQ(DateKey(31, 3, 2005), DateKey(1, 4, 2005));
    // An "Earlier" year below the "After" year switches the filter off.
    SetDateBounds(settings, {1, 1, 2001}, {1, 1, 2000});
    EXPECT_TRUE(PassesDate(Date(1990, 1, 1)));
}

TEST_F(SettingsTest, DeletedModes) {
    EXPECT_TRUE(PassesDeleted(0));
    EXPECT_TRUE(PassesDeleted(7));
    settings.deletedMode = kExcludeDeleted;
    EXPECT_TRUE(PassesDeleted(0));
    EXPECT_FALSE(PassesDeleted(7));
    settings.deletedMode = kDeletedOnly;
    EXPECT_FALSE(PassesDeleted(0));
    EXPECT_TRUE(PassesDeleted(7));
}

TEST_F(SettingsTest, ExtensionsMatchWithoutRegardToCase) {
    EXPECT_TRUE(PassesExtension("ANY.THING"));
    ASSERT_EQ(AddExtension(settings, "doc"), AddResult::Added);
    EXPECT_TRUE(PassesExtension("REPORT.DOC"));
    EXPECT_TRUE(PassesExtension("DOC"));              // no dot: the whole name
    EXPECT_TRUE(PassesExtension("archive.tar.Doc"));  // after the last dot
    EXPECT_FALSE(PassesExtension("REPORT.DOCX"));
    EXPECT_FALSE(PassesExtension("doc.txt"));
    EXPECT_FALSE(PassesExtension("REPORT."));
    // Case counts for duplicates only.
    EXPECT_EQ(AddExtension(settings, "DOC"), AddResult::Added);
    EXPECT_EQ(AddExtension(settings, "doc"), AddResult::Duplicate);
    EXPECT_TRUE(AddRefusalIsInformation(AddResult::Duplicate));
    EXPECT_EQ(std::string(AddRefusalText(AddResult::Duplicate)), kExtensionExists);
    EXPECT_EQ(Extensions(settings), (std::vector<std::string>{"doc", "DOC"}));
}

TEST_F(SettingsTest, AddRefusesBadEntriesAndRemoveTakesExactlyTheText) {
    EXPECT_EQ(AddExtension(settings, ""), AddResult::Empty);
    EXPECT_EQ(AddRefusalText(AddResult::Empty), nullptr);
    std::vector<std::string> texts;
    for (const char* bad : {"html5", ".doc", "d*"}) {
        const AddResult r = AddExtension(settings, bad);
        EXPECT_FALSE(AddRefusalIsInformation(r)) << bad;
        texts.push_back(AddRefusalText(r));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{kExtensionTooLong, kExtensionHasDot, kExtensionHasStar}));
    EXPECT_EQ(settings.extensionCount, 0);
    // The text ends at a NUL.
    EXPECT_EQ(AddExtension(settings, std::string("ab\0cdefg", 8)), AddResult::Added);
    EXPECT_EQ(Extensions(settings), (std::vector<std::string>{"ab"}));
    EXPECT_TRUE(RemoveExtension(settings, "ab"));

    for (int i = 0; i < kMaxExtensions; ++i) ASSERT_EQ(AddExtension(settings, std::to_string(i)), AddResult::Added) << i;
    EXPECT_EQ(AddExtension(settings, "more"), AddResult::TooMany);
    EXPECT_EQ(std::string(AddRefusalText(AddResult::TooMany)), kTooManyExtensions);
    EXPECT_EQ(settings.extensionCount, kMaxExtensions);

    // Removing closes the gap; the others keep their order.
    EXPECT_FALSE(RemoveExtension(settings, "1000"));
    EXPECT_TRUE(RemoveExtension(settings, "1"));
    EXPECT_EQ(settings.extensionCount, kMaxExtensions - 1);
    const std::vector<std::string> left = Extensions(settings);
    EXPECT_EQ(left[0], "0");
    EXPECT_EQ(left[1], "2");
    EXPECT_EQ(left.back(), "99");
    EXPECT_TRUE(settings.extensions[kMaxExtensions - 1][0] == '\0');
    EXPECT_FALSE(PassesExtension("a.1"));
    EXPECT_TRUE(PassesExtension("a.2"));
}

}  // namespace
