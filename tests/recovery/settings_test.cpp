// The filter tests and the settings dialog's rules.
#include <gtest/gtest.h>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "recovery/SaveSettings.h"
#include "tools/nwimage/NwImage.h"

namespace {

using namespace recovery;

struct Messages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon icon, job::MessageButtons) override {
        texts.push_back(text);
        icons.push_back(icon);
        return job::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
    std::vector<job::MessageIcon> icons;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSaveSettings();
        job::Wizard().messages = &messages;
    }
    void TearDown() override {
        job::Wizard().messages = nullptr;
        ResetSaveSettings();
    }
    static std::uint32_t Date(unsigned y, unsigned m, unsigned d) { return nwimage::PackDateTime(y, m, d, 12, 0, 0); }
    void Bounds(int ad, int am, int ay, int ed, int em, int ey) {
        SettingsDialogSession s;
        s.Open();
        s.SetDatePosition(kAfterDay, ad - 1);
        s.SetDatePosition(kAfterMonth, am - 1);
        s.SetDatePosition(kAfterYear, ay - 1970);
        s.SetDatePosition(kEarlierDay, ed - 1);
        s.SetDatePosition(kEarlierMonth, em - 1);
        s.SetDatePosition(kEarlierYear, ey - 1970);
        s.Apply();
    }
    Messages messages;
};

TEST_F(SettingsTest, NoDateFilterUntilTheDialogWasOpenedThenTheDefaultsPassEveryDate) {
    // Out-of-range dates included: nothing is filtered before the first opening.
    EXPECT_TRUE(PassesDateFilter(0));
    EXPECT_TRUE(PassesDateFilter(Date(2107, 12, 31)));
    SettingsDialogSession s;
    s.Open();
    s.Cancel();
    const SaveSettings& st = CurrentSaveSettings();
    EXPECT_EQ(st.earlierYear, 2099);
    EXPECT_EQ(st.afterYear, 1970);
    for (unsigned y : {1980u, 1999u, 2000u, 2047u, 2059u}) EXPECT_TRUE(PassesDateFilter(Date(y, 6, 15))) << y;
    // Year field 80 is the year 2000, not 2060.
    EXPECT_TRUE(PassesDateFilter(80u << 25 | 1u << 21 | 1u << 16));
}

TEST_F(SettingsTest, DateBoundsAreInclusiveAndCountThirtyDayMonths) {
    Bounds(1, 3, 2005, 31, 3, 2005);
    EXPECT_TRUE(PassesDateFilter(Date(2005, 3, 1)));
    EXPECT_TRUE(PassesDateFilter(Date(2005, 3, 31)));
    EXPECT_TRUE(PassesDateFilter(Date(2005, 4, 1)));  // same key as the 31st of March
    EXPECT_FALSE(PassesDateFilter(Date(2005, 4, 2)));
    EXPECT_FALSE(PassesDateFilter(Date(2005, 2, 28)));
    EXPECT_FALSE(PassesDateFilter(Date(2004, 3, 15)));
    EXPECT_EQ(DateKey(31, 3, 2005), DateKey(1, 4, 2005));
    // An "Earlier" year below the "After" year switches the filter off.
    CurrentSaveSettings().earlierYear = 2000;
    CurrentSaveSettings().afterYear = 2001;
    EXPECT_TRUE(PassesDateFilter(Date(1990, 1, 1)));
}

TEST_F(SettingsTest, EarlierRowAtItsFirstItemsShowsTheLastItemsAgainWhenReopened) {
    Bounds(1, 1, 1970, 1, 1, 1970);
    EXPECT_EQ(CurrentSaveSettings().earlierYear, 1970);
    SettingsDialogSession s;
    s.Open();
    EXPECT_EQ(s.DatePosition(kEarlierDay), 30);
    EXPECT_EQ(s.DatePosition(kEarlierMonth), 11);
    EXPECT_EQ(s.DatePosition(kEarlierYear), 129);
    s.Apply();
    EXPECT_EQ(CurrentSaveSettings().earlierDay, 31);
    EXPECT_EQ(CurrentSaveSettings().earlierMonth, 12);
    EXPECT_EQ(CurrentSaveSettings().earlierYear, 2099);
}

TEST_F(SettingsTest, DeletedModes) {
    EXPECT_TRUE(PassesDeletedFilter(0));
    EXPECT_TRUE(PassesDeletedFilter(7));
    CurrentSaveSettings().deletedMode = kExcludeDeleted;
    EXPECT_TRUE(PassesDeletedFilter(0));
    EXPECT_FALSE(PassesDeletedFilter(7));
    CurrentSaveSettings().deletedMode = kDeletedOnly;
    EXPECT_FALSE(PassesDeletedFilter(0));
    EXPECT_TRUE(PassesDeletedFilter(7));
}

TEST_F(SettingsTest, ExtensionsMatchWithoutRegardToCase) {
    EXPECT_TRUE(PassesExtensionFilter("ANY.THING"));
    SettingsDialogSession s;
    s.Open();
    ASSERT_EQ(s.Add("doc"), AddResult::Added);
    EXPECT_TRUE(PassesExtensionFilter("REPORT.DOC"));
    EXPECT_TRUE(PassesExtensionFilter("DOC"));              // no dot: the whole name
    EXPECT_TRUE(PassesExtensionFilter("archive.tar.Doc"));  // after the last dot
    EXPECT_FALSE(PassesExtensionFilter("REPORT.DOCX"));
    EXPECT_FALSE(PassesExtensionFilter("doc.txt"));
    EXPECT_FALSE(PassesExtensionFilter("REPORT."));
    // Case counts for duplicates only.
    EXPECT_EQ(s.Add("DOC"), AddResult::Added);
    EXPECT_EQ(s.Add("doc"), AddResult::Duplicate);
    EXPECT_EQ(messages.icons.back(), job::MessageIcon::Information);
    EXPECT_EQ(s.ListedExtensions(), (std::vector<std::string>{"DOC", "doc"}));
}

TEST_F(SettingsTest, AddRefusesBadEntriesWithTheirMessages) {
    SettingsDialogSession s;
    s.Open();
    EXPECT_EQ(s.Add(""), AddResult::Empty);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(s.Add("html5"), AddResult::TooLong);
    EXPECT_EQ(s.Add(".doc"), AddResult::HasDot);
    EXPECT_EQ(s.Add("d*"), AddResult::HasStar);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{kExtensionTooLong, kExtensionHasDot, kExtensionHasStar}));
    for (auto icon : messages.icons) EXPECT_EQ(icon, job::MessageIcon::Error);
    EXPECT_EQ(CurrentSaveSettings().extensionCount, 0);

    for (int i = 0; i < kMaxExtensions; ++i) ASSERT_EQ(s.Add(std::to_string(i)), AddResult::Added) << i;
    EXPECT_EQ(s.Add("more"), AddResult::TooMany);
    EXPECT_EQ(messages.texts.back(), kTooManyExtensions);
    EXPECT_EQ(CurrentSaveSettings().extensionCount, kMaxExtensions);
}

TEST_F(SettingsTest, RemoveAndCancel) {
    SettingsDialogSession s;
    s.Open();
    s.Add("txt");
    s.Apply();
    const SaveSettings before = CurrentSaveSettings();

    SettingsDialogSession t;
    t.Open();
    t.Add("doc");
    t.Add("xls");
    ASSERT_EQ(t.ListedExtensions(), (std::vector<std::string>{"xls", "doc", "txt"}));
    EXPECT_TRUE(t.Remove(1));
    EXPECT_EQ(t.ListedExtensions(), (std::vector<std::string>{"xls", "txt"}));
    EXPECT_FALSE(PassesExtensionFilter("a.doc"));
    t.SetDeletedMode(kDeletedOnly);
    t.SetDatePosition(kAfterYear, 30);
    t.Cancel();
    EXPECT_EQ(CurrentSaveSettings(), before);
    EXPECT_TRUE(PassesExtensionFilter("a.txt"));
    EXPECT_FALSE(PassesExtensionFilter("a.xls"));

    SettingsDialogSession u;
    u.Open();
    EXPECT_TRUE(u.Remove(0));
    EXPECT_FALSE(u.Remove(0));  // empty: the button disables itself
    EXPECT_FALSE(u.RemoveEnabled());
    EXPECT_EQ(CurrentSaveSettings().extensionCount, 0);
}

}  // namespace
