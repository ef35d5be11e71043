// The "Settings" dialog driven by clicks and keys: its date lists, its
// extension list, and what Apply and Cancel leave in the save settings.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "UiFixture.h"
#include "app/SettingsDialog.h"

namespace {

using uitest::Modals;

class SettingsDialogTest : public ::testing::Test {
protected:
    // Opens the dialog over `settings`, lets `act` work in it and closes it
    // with the button of that caption.
    void Run(const std::function<void(app::SettingsDialog&)>& act, const QString& closeWith) {
        app::SettingsDialog dialog(settings);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        act(dialog);
        QTest::mouseClick(Button(dialog, closeWith), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    }
    static QPushButton* Button(QWidget& dialog, const QString& text) {
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->text() == text) return b;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }
    static QString Shown(QWidget& dialog, const char* list) {
        return dialog.findChild<QComboBox*>(list)->currentText();
    }
    static QStringList Listed(QWidget& dialog) {
        QStringList rows;
        auto* list = dialog.findChild<QListWidget*>("extensionList");
        for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
        return rows;
    }
    static void AddTyped(QWidget& dialog, const QString& text) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>("extensionField"), text);
        QTest::mouseClick(Button(dialog, "&Add "), Qt::LeftButton);
    }
    recovery::SaveSettings settings;
    Modals modals;
};

TEST_F(SettingsDialogTest, DateListsShowTheBoundsAndAnEarlierRowAtItsFirstItemsShowsItsLastAgain) {
    // The first opening shows the widest range and activates it, even when cancelled.
    Run([](app::SettingsDialog& d) {
            EXPECT_EQ(Shown(d, "earlierDay") + Shown(d, "earlierMonth") + Shown(d, "earlierYear"), "31122099");
            EXPECT_EQ(Shown(d, "afterDay") + Shown(d, "afterMonth") + Shown(d, "afterYear"), "01011970");
        },
        "Cancel");
    EXPECT_EQ(recovery::EarlierBound(settings), (recovery::FilterDate{31, 12, 2099}));
    EXPECT_EQ(recovery::AfterBound(settings), (recovery::FilterDate{1, 1, 1970}));

    // Bounds set elsewhere are what the lists show.
    recovery::SetDateBounds(settings, {15, 6, 2005}, {20, 7, 2006});
    Run([](app::SettingsDialog& d) {
            EXPECT_EQ(Shown(d, "afterDay") + Shown(d, "afterMonth") + Shown(d, "afterYear"), "15062005");
            EXPECT_EQ(Shown(d, "earlierDay") + Shown(d, "earlierMonth") + Shown(d, "earlierYear"), "20072006");
            // Every list to its first item with the Home key.
            for (const char* name : {"earlierDay", "earlierMonth", "earlierYear", "afterDay", "afterMonth", "afterYear"})
                QTest::keyClick(d.findChild<QComboBox*>(name), Qt::Key_Home);
        },
        "&Apply");
    EXPECT_EQ(recovery::EarlierBound(settings), (recovery::FilterDate{1, 1, 1970}));
    EXPECT_EQ(recovery::AfterBound(settings), (recovery::FilterDate{1, 1, 1970}));

    Run([](app::SettingsDialog& d) {
            EXPECT_EQ(Shown(d, "earlierDay") + Shown(d, "earlierMonth") + Shown(d, "earlierYear"), "31122099");
            EXPECT_EQ(Shown(d, "afterYear"), "1970");
        },
        "&Apply");
    EXPECT_EQ(recovery::EarlierBound(settings), (recovery::FilterDate{31, 12, 2099}));
}

TEST_F(SettingsDialogTest, ExtensionListShowsTheNewestFirstAndCancelPutsEverythingBack) {
    ASSERT_EQ(recovery::AddExtension(settings, "txt"), recovery::AddResult::Added);
    recovery::ActivateDateFilter(settings);
    const recovery::SaveSettings before = settings;
    Run([this](app::SettingsDialog& d) {
            AddTyped(d, "doc");
            AddTyped(d, "xls");
            EXPECT_EQ(Listed(d), (QStringList{"xls", "doc", "txt"}));
            EXPECT_TRUE(d.findChild<QLineEdit*>("extensionField")->text().isEmpty());
            // A duplicate is answered with its message and changes nothing.
            AddTyped(d, "doc");
            ASSERT_EQ(modals.seen.size(), 1u);
            EXPECT_EQ(modals.seen[0].text, recovery::kExtensionExists);
            EXPECT_EQ(modals.seen[0].icon, QMessageBox::Information);
            EXPECT_EQ(Listed(d), (QStringList{"xls", "doc", "txt"}));
            // Remove takes the row the list has selected.
            auto* list = d.findChild<QListWidget*>("extensionList");
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                              list->visualItemRect(list->item(1)).center());
            QTest::mouseClick(Button(d, "&Remove"), Qt::LeftButton);
            EXPECT_EQ(Listed(d), (QStringList{"xls", "txt"}));
            EXPECT_EQ(recovery::Extensions(settings), (std::vector<std::string>{"txt", "xls"}));
            QTest::mouseClick(d.findChild<QRadioButton*>("deletedMode2"), Qt::LeftButton);
            QTest::keyClick(d.findChild<QComboBox*>("afterYear"), Qt::Key_End);
            EXPECT_EQ(settings.deletedMode, recovery::kDeletedOnly);
        },
        "Cancel");
    EXPECT_EQ(settings, before);

    // Removing from an empty list disables the button.
    Run([](app::SettingsDialog& d) {
            EXPECT_EQ(Listed(d), (QStringList{"txt"}));
            QPushButton* remove = Button(d, "&Remove");
            QTest::mouseClick(remove, Qt::LeftButton);
            EXPECT_TRUE(Listed(d).isEmpty());
            EXPECT_TRUE(remove->isEnabled());
            QTest::mouseClick(remove, Qt::LeftButton);
            EXPECT_FALSE(remove->isEnabled());
        },
        "&Apply");
    EXPECT_EQ(settings.extensionCount, 0);
}

}  // namespace
