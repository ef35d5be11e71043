// The filter tests and the settings dialog's rules.
#include <gtest/gtest.h>

#include "recovery/SaveSettings.h"
#include "tools/nwimage/NwImage.h"

namespace {

using namespace recovery;

class SettingsTest : public ::testing::Test {
protected:
    static std::uint32_t Date(unsigned y, unsigned m, unsigned d) { return nwimage::PackDateTime(y, m, d, 12, 0, 0); }
    void Bounds(int ad, int am, int ay, int ed, int em, int ey) {
        SettingsDialogSession s(settings);
        s.Open();
        s.SetDatePosition(kAfterDay, ad - 1);
        s.SetDatePosition(kAfterMonth, am - 1);
        s.SetDatePosition(kAfterYear, ay - 1970);
        s.SetDatePosition(kEarlierDay, ed - 1);
        s.SetDatePosition(kEarlierMonth, em - 1);
        s.SetDatePosition(kEarlierYear, ey - 1970);
        s.Apply();
    }
    bool PassesDate(std::uint32_t timestamp) const { return PassesDateFilter(settings, timestamp); }
    bool PassesDeleted(std::uint32_t marker) const { return PassesDeletedFilter(settings, marker); }
    bool PassesExtension(const std::string& name) const { return PassesExtensionFilter(settings, name); }
    SaveSettings settings;
};

TEST_F(SettingsTest, NoDateFilterUntilTheDialogWasOpenedThenTheDefaultsPassEveryDate) {
    // Out-of-range dates included: nothing is filtered before the first opening.
    EXPECT_TRUE(PassesDate(0));
    EXPECT_TRUE(PassesDate(Date(2107, 12, 31)));
    SettingsDialogSession s(settings);
    s.Open();
    s.Cancel();
    const SaveSettings& st = settings;
    EXPECT_EQ(st.earlierYear, 2099);
    EXPECT_EQ(st.afterYear, 1970);
    for (unsigned y : {1980u, 1999u, 2000u, 2047u, 2059u}) EXPECT_TRUE(PassesDate(Date(y, 6, 15))) << y;
    // Year field 80 is the year 2000, not 2060.
    EXPECT_TRUE(PassesDate(80u << 25 | 1u << 21 | 1u << 16));
}

TEST_F(SettingsTest, DateBoundsAreInclusiveAndCountThirtyDayMonths) {
    Bounds(1, 3, 2005, 31, 3, 2005);
    EXPECT_TRUE(PassesDate(Date(2005, 3, 1)));
    EXPECT_TRUE(PassesDate(Date(2005, 3, 31)));
    EXPECT_TRUE(PassesDate(Date(2005, 4, 1)));  // same key as the 31st of March
    EXPECT_FALSE(PassesDate(Date(2005, 4, 2)));
    EXPECT_FALSE(PassesDate(Date(2005, 2, 28)));
    EXPECT_FALSE(PassesDate(Date(2004, 3, 15)));
    EXPECT_EQ(DateKey(31, 3, 2005), DateKey(1, 4, 2005));
    // An "Earlier" year below the "After" year switches the filter off.
    settings.earlierYear = 2000;
    settings.afterYear = 2001;
    EXPECT_TRUE(PassesDate(Date(1990, 1, 1)));
}

TEST_F(SettingsTest, EarlierRowAtItsFirstItemsShowsTheLastItemsAgainWhenReopened) {
    Bounds(1, 1, 1970, 1, 1, 1970);
    EXPECT_EQ(settings.earlierYear, 1970);
    SettingsDialogSession s(settings);
    s.Open();
    EXPECT_EQ(s.DatePosition(kEarlierDay), 30);
    EXPECT_EQ(s.DatePosition(kEarlierMonth), 11);
    EXPECT_EQ(s.DatePosition(kEarlierYear), 129);
    s.Apply();
    EXPECT_EQ(settings.earlierDay, 31);
    EXPECT_EQ(settings.earlierMonth, 12);
    EXPECT_EQ(settings.earlierYear, 2099);
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
    SettingsDialogSession s(settings);
    s.Open();
    ASSERT_EQ(s.Add("doc"), AddResult::Added);
    EXPECT_TRUE(PassesExtension("REPORT.DOC"));
    EXPECT_TRUE(PassesExtension("DOC"));              // no dot: the whole name
    EXPECT_TRUE(PassesExtension("archive.tar.Doc"));  // after the last dot
    EXPECT_FALSE(PassesExtension("REPORT.DOCX"));
    EXPECT_FALSE(PassesExtension("doc.txt"));
    EXPECT_FALSE(PassesExtension("REPORT."));
    // Case counts for duplicates only.
    EXPECT_EQ(s.Add("DOC"), AddResult::Added);
    EXPECT_EQ(s.Add("doc"), AddResult::Duplicate);
    EXPECT_TRUE(AddRefusalIsInformation(AddResult::Duplicate));
    EXPECT_EQ(std::string(AddRefusalText(AddResult::Duplicate)), kExtensionExists);
    EXPECT_EQ(s.ListedExtensions(), (std::vector<std::string>{"DOC", "doc"}));
}

TEST_F(SettingsTest, AddRefusesBadEntriesWithTheirMessages) {
    SettingsDialogSession s(settings);
    s.Open();
    EXPECT_EQ(s.Add(""), AddResult::Empty);
    EXPECT_EQ(AddRefusalText(AddResult::Empty), nullptr);
    std::vector<std::string> texts;
    for (const char* bad : {"html5", ".doc", "d*"}) {
        const AddResult r = s.Add(bad);
        EXPECT_FALSE(AddRefusalIsInformation(r)) << bad;
        texts.push_back(AddRefusalText(r));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{kExtensionTooLong, kExtensionHasDot, kExtensionHasStar}));
    EXPECT_EQ(settings.extensionCount, 0);

    for (int i = 0; i < kMaxExtensions; ++i) ASSERT_EQ(s.Add(std::to_string(i)), AddResult::Added) << i;
    EXPECT_EQ(s.Add("more"), AddResult::TooMany);
    EXPECT_EQ(std::string(AddRefusalText(AddResult::TooMany)), kTooManyExtensions);
    EXPECT_EQ(settings.extensionCount, kMaxExtensions);
}

TEST_F(SettingsTest, RemoveAndCancel) {
    SettingsDialogSession s(settings);
    s.Open();
    s.Add("txt");
    s.Apply();
    const SaveSettings before = settings;

    SettingsDialogSession t(settings);
    t.Open();
    t.Add("doc");
    t.Add("xls");
    ASSERT_EQ(t.ListedExtensions(), (std::vector<std::string>{"xls", "doc", "txt"}));
    EXPECT_TRUE(t.Remove(1));
    EXPECT_EQ(t.ListedExtensions(), (std::vector<std::string>{"xls", "txt"}));
    EXPECT_FALSE(PassesExtension("a.doc"));
    t.SetDeletedMode(kDeletedOnly);
    t.SetDatePosition(kAfterYear, 30);
    t.Cancel();
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(PassesExtension("a.txt"));
    EXPECT_FALSE(PassesExtension("a.xls"));

    SettingsDialogSession u(settings);
    u.Open();
    EXPECT_TRUE(u.Remove(0));
    EXPECT_FALSE(u.Remove(0));  // empty: the button disables itself
    EXPECT_FALSE(u.RemoveEnabled());
    EXPECT_EQ(settings.extensionCount, 0);
}

}  // namespace
