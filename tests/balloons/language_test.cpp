// Language files, the text lookup, the translation rule, the start-up
// language rules and the menu help table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/LanguageFile.h"
#include "app/MenuHelp.h"
#include "common/TempDir.h"

namespace {

std::string Lookup(int index, const std::string& path, const char* prime = "untouched") {
    char buffer[app::kLanguageTextBuffer];
    std::strcpy(buffer, prime);
    app::Fennock(index, buffer, path.c_str());
    return buffer;
}

std::string ShippedFile(const char* name) {
    return (std::filesystem::path(TARVINE_SOURCE_DIR) / "app/data" / name).lexically_normal().string();
}

class LanguageFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = dir_.File(name);
        testutil::WriteFile(path, content);
        return path;
    }
    testutil::TempDir dir_;
};

TEST_F(LanguageFileTest, ReadsMessagesWithEscapesCommentsAndLineEndings) {
    const std::string path = Write("x.dat",
                                   "\xEF\xBB\xBFTARVINE-LANGUAGE 1\r\n"
                                   "# comment 4=not this\r\n"
                                   "language=Test\r\n"
                                   "\r\n"
                                   "4=first\r\n"
                                   "16=two\\nlines \\\\ and\\ttab\r\n"
                                   "4=second\r\n"
                                   "18=last line without break");
    char buffer[app::kLanguageTextBuffer];
    EXPECT_EQ(app::Fennock(4, buffer, path.c_str()), 1);
    EXPECT_STREQ(buffer, "second");  // a repeated index replaces the earlier text
    EXPECT_EQ(Lookup(16, path), "two\nlines \\ and\ttab");
    EXPECT_EQ(Lookup(18, path), "last line without break");
}

TEST_F(LanguageFileTest, FailuresLeaveTheBufferAsItWas) {
    const std::string good = Write("good.dat", "TARVINE-LANGUAGE 1\n0=zero\n");
    const std::string foreign = Write("foreign.dat", "0=no signature\n");
    std::string big = "TARVINE-LANGUAGE 1\n0=big\n";
    big.resize(app::kLanguageFileMaxBytes + 10, '#');
    const std::string huge = Write("huge.dat", big);

    char buffer[app::kLanguageTextBuffer] = "kept";
    EXPECT_EQ(app::Fennock(1, buffer, good.c_str()), 0);  // no such message
    EXPECT_EQ(app::Fennock(-1, buffer, good.c_str()), 0);
    EXPECT_EQ(app::Fennock(19, buffer, good.c_str()), 0);
    EXPECT_EQ(app::Fennock(0, buffer, foreign.c_str()), 0);
    EXPECT_EQ(app::Fennock(0, buffer, huge.c_str()), 0);
    EXPECT_EQ(app::Fennock(0, buffer, dir_.File("missing.dat").c_str()), 0);
    EXPECT_EQ(app::Fennock(0, buffer, dir_.path().c_str()), 0);  // a folder
    EXPECT_EQ(app::Fennock(0, buffer, nullptr), 0);
    EXPECT_EQ(app::Fennock(0, nullptr, good.c_str()), 0);
    EXPECT_STREQ(buffer, "kept");
}

TEST_F(LanguageFileTest, LongTextsAreCutInsideTheBufferAtACharacterBoundary) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "\xC3\xA9";  // 400 bytes of two-byte characters
    const std::string path = Write("long.dat", "TARVINE-LANGUAGE 1\n3=a" + text + "\n");
    char buffer[app::kLanguageTextBuffer + 8];
    std::memset(buffer, 'Z', sizeof buffer);
    ASSERT_EQ(app::Fennock(3, buffer, path.c_str()), 1);
    const std::size_t n = std::strlen(buffer);
    EXPECT_LE(n, app::kLanguageTextBuffer - 1);
    EXPECT_EQ(n, 255u);  // "a" and 127 whole characters
    EXPECT_EQ(buffer[app::kLanguageTextBuffer], 'Z');  // nothing written past 256 bytes
}

TEST_F(LanguageFileTest, TheLastMatchingRowDecides) {
    const std::string path = Write("t.dat",
                                   "TARVINE-LANGUAGE 1\n4=SAVE\n8=QUIT\n9=UPDATE\n11=PRINT-11\n12=PRINT-12\n"
                                   "16=ONLINE\n18=ABOUT\n");
    EXPECT_EQ(app::TranslateMenuText("Print the recovery details\n", path), "PRINT-12");
    EXPECT_EQ(app::TranslateMenuText("Save files that have been selected \n", path), "SAVE");
    EXPECT_EQ(app::TranslateMenuText("Online chat support \n(only for Kelmora's Data Recovery Centers)", path),
              "ONLINE");
    // Two phrases in one text: the later row wins.
    EXPECT_EQ(app::TranslateMenuText("Quit from Tarvine or Update Tarvine", path), "UPDATE");
    // No phrase: unchanged.
    EXPECT_EQ(app::TranslateMenuText("Show (or) Hide Balloon Help", path), "Show (or) Hide Balloon Help");
    // A matching row the file lacks keeps the text (message 17 is missing).
    EXPECT_EQ(app::TranslateMenuText("Support through email", path), "Support through email");
    // A missing language file or text source keeps the English text.
    EXPECT_EQ(app::TranslateMenuText("Quit from Tarvine\n", dir_.File("none.dat")), "Quit from Tarvine\n");
    EXPECT_EQ(app::TranslateMenuText("Quit from Tarvine\n", path, nullptr), "Quit from Tarvine\n");
}

TEST_F(LanguageFileTest, ModeTextsFallBackToEnglish) {
    const std::string path = Write("m.dat", "TARVINE-LANGUAGE 1\n1=AVANCE\n");
    EXPECT_EQ(app::ModeBalloonText(1, path), "AVANCE");
    EXPECT_EQ(app::ModeBalloonText(0, path), app::BuiltInLanguageText(0));
    EXPECT_EQ(app::ModeBalloonText(1, path, nullptr), app::BuiltInLanguageText(1));
    EXPECT_EQ(app::ModeBalloonText(2, dir_.File("none.dat")),
              "Use this mode when above modes fails to recover files");
    EXPECT_EQ(app::ModeBalloonText(3, path), "");
}

TEST(LanguageChoice, StartUpRules) {
    EXPECT_EQ(app::CheckedLanguageItem("FrenchA.dat"), 2);
    EXPECT_EQ(app::LanguageFileForStored("FrenchA.dat"), "FrenchA.dat");
    // Another letter case chooses the file but checks no menu item.
    EXPECT_EQ(app::CheckedLanguageItem("frencha.dat"), -1);
    EXPECT_EQ(app::LanguageFileForStored("frencha.dat"), "frencha.dat");
    for (const char* other : {"", "Klingon.dat", "FrenchA.dat ", "../FrenchA.dat"}) {
        EXPECT_EQ(app::CheckedLanguageItem(other), -1) << other;
        EXPECT_EQ(app::LanguageFileForStored(other), "EnglishA.dat") << other;
    }
    EXPECT_EQ(app::LanguageFilePath("/opt/t", "GermanA.dat"), "/opt/t/GermanA.dat");
}

TEST(ShippedLanguageFiles, EachHoldsAllMessagesAndTheTranslationsDiffer) {
    const std::string english = ShippedFile("EnglishA.dat");
    for (int i = 0; i < app::kLanguageMessageCount; ++i) {
        const std::string en = Lookup(i, english, "");
        ASSERT_FALSE(en.empty()) << i;
        // The English file's text contains the phrase it replaces.
        EXPECT_NE(en.find(app::BuiltInLanguageText(i)), std::string::npos) << i;
        for (const char* name : {"DutchA.dat", "FrenchA.dat", "GermanA.dat"}) {
            const std::string t = Lookup(i, ShippedFile(name), "");
            EXPECT_FALSE(t.empty()) << name << " " << i;
            EXPECT_NE(t, en) << name << " " << i;
        }
    }
    EXPECT_EQ(Lookup(8, ShippedFile("FrenchA.dat")), "Quitter Tarvine");
    EXPECT_EQ(Lookup(4, ShippedFile("GermanA.dat")), "Ausgewählte Dateien speichern");
}

TEST(MenuHelp, TextsOffsetsAndItemNames) {
    using namespace app::menu;
    EXPECT_EQ(app::MenuHelpText(kSaveLog), "Save the recovery information\n");
    EXPECT_EQ(app::MenuHelpText(kExit), "Quit from Tarvine\n");
    EXPECT_EQ(app::MenuHelpText(12345), "");
    for (int id : {kContents, kUpdate, kSave, kSaveSettings, kSaveLog, kLoadLog, kViewReport, kEmailReport, kOnline,
                   kEmail, kTelephonic, kShowBalloonHelp, kListView, kListPrint, kListEmail, kMarkCompressed, kDutch,
                   kEnglish, kFrench, kGerman, kOpenImage, kAbout, kExit})
        EXPECT_LT(app::MenuHelpText(id).size(), 256u) << id;

    const auto at = [](int id) {
        const app::BalloonPoint p = app::MenuBalloonTip(id, 100, 200, 300);
        return std::make_pair(p.x, p.y);
    };
    EXPECT_EQ(at(kContents), std::make_pair(380, 210));
    EXPECT_EQ(at(kLoadLog), std::make_pair(310, 245));
    EXPECT_EQ(at(kGerman), std::make_pair(480, 270));
    EXPECT_EQ(at(kAbout), std::make_pair(410, 215));
    EXPECT_EQ(at(kExit), std::make_pair(240, 215));
    EXPECT_EQ(at(kSave), std::make_pair(310, 220));  // untabled: beside the item

    EXPECT_EQ(app::MenuIdForText("&View", "Directory List"), kListView);
    EXPECT_EQ(app::MenuIdForText("&View Report", "Report"), kViewReport);
    EXPECT_EQ(app::MenuIdForText("&Email", "&Support"), kEmail);
    EXPECT_EQ(app::MenuIdForText("&Email", "Report"), 0);
    EXPECT_EQ(app::MenuIdForText("&Save ", "&Options"), kSave);
    EXPECT_EQ(app::MenuIdForText("Contents        ", "&Help"), kContents);
    EXPECT_EQ(app::MenuIdForText("E&xit", "&Options"), kExit);
    EXPECT_EQ(app::MenuIdForText("Frobnicate", "&Options"), 0);
}

}  // namespace
