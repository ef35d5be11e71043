// Balloon placement, closing, and the balloon help of a window with the
// program's menus and mode buttons.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

#include "app/BalloonHelp.h"
#include "app/BalloonTip.h"
#include "app/HelpFile.h"
#include "app/ModeButton.h"
#include "app/LanguageFile.h"
#include "app/MenuHelp.h"
#include "base/Identity.h"
#include "workflow/SettingsStore.h"
#include "common/TempDir.h"

namespace {

const QRect kWork(0, 0, 1000, 800);

TEST(BalloonLayout, TailAndPlacementFollowTheAnchorsQuadrant) {
    const QSize size(220, 60);  // u = (220 - 20) / 4 = 50
    struct Case {
        QPoint anchor;
        bool right, upper;
        QPolygon tail;
        QRect body;
    } cases[] = {
        {{700, 100}, true, true, QPolygon({{150, 21}, {170, 21}, {170, 1}}), QRect(0, 20, 220, 40)},
        {{200, 100}, false, true, QPolygon({{70, 21}, {50, 21}, {50, 1}}), QRect(0, 20, 220, 40)},
        {{700, 700}, true, false, QPolygon({{150, 38}, {170, 38}, {170, 58}}), QRect(0, 0, 220, 40)},
        {{200, 700}, false, false, QPolygon({{70, 38}, {50, 38}, {50, 58}}), QRect(0, 0, 220, 40)},
    };
    for (const Case& c : cases) {
        const app::BalloonGeometry g = app::LayoutBalloon(size, c.anchor, kWork);
        EXPECT_EQ(g.rightHalf, c.right);
        EXPECT_EQ(g.upperHalf, c.upper);
        EXPECT_EQ(g.tail, c.tail) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_EQ(g.body, c.body);
        EXPECT_EQ(g.window.size(), size);
        EXPECT_EQ(g.window.topLeft() + g.tip, c.anchor);  // the tip lies on the anchor
    }
}

TEST(BalloonLayout, StaysInsideTheWorkAreaAndClampsTheTail) {
    const QSize size(400, 70);
    const QRect work(100, 50, 800, 600);
    for (const QPoint anchor : {QPoint(899, 60), QPoint(100, 649), QPoint(899, 649), QPoint(101, 51),
                                QPoint(2000, -300)}) {
        const app::BalloonGeometry g = app::LayoutBalloon(size, anchor, work);
        EXPECT_TRUE(work.contains(g.window)) << anchor.x() << "," << anchor.y();
    }
    // A balloon narrower than its tail keeps every tail x within 8 .. width - 8.
    const app::BalloonGeometry narrow = app::LayoutBalloon(QSize(40, 60), QPoint(900, 100), kWork);
    for (const QPoint& p : narrow.tail) {
        EXPECT_GE(p.x(), 8);
        EXPECT_LE(p.x(), 32);
    }
    EXPECT_EQ(app::BalloonSize(QSize(100, 14), QSize(60, 12)), QSize(116, 70));
    EXPECT_EQ(app::BalloonSize(QSize(100, 14), QSize()), QSize(116, 58));
}

class ModeBalloonTest : public ::testing::Test {
protected:
    void SetUp() override { owner_.setGeometry(100, 100, 300, 200); owner_.show(); }
    QPointer<app::BalloonTip> Launch(QPoint at) {
        QPointer<app::BalloonTip> b = app::BalloonTip::Launch(&owner_, "Heading", QString(), at);
        EXPECT_TRUE(b && b->isVisible());
        return b;
    }
    static bool Gone(const QPointer<app::BalloonTip>& b) {
        for (int i = 0; i < 100 && b; ++i) QTest::qWait(10);  // deferred delete, possibly after a fade
        return b.isNull();
    }
    QWidget owner_;
};

TEST_F(ModeBalloonTest, SmallMovesKeepItLargerOnesCloseIt) {
    const QPoint at = owner_.mapToGlobal(QPoint(50, 50));
    QPointer<app::BalloonTip> b = Launch(at);
    QTest::mouseMove(&owner_, QPoint(53, 47));
    QTest::qWait(20);
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->Anchor(), at);
    QTest::mouseMove(&owner_, QPoint(50, 54));
    EXPECT_TRUE(Gone(b));
}

TEST_F(ModeBalloonTest, AnyMouseButtonClosesIt) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
        QPointer<app::BalloonTip> b = Launch(owner_.mapToGlobal(QPoint(60, 60)));
        QTest::mousePress(&owner_, button, {}, QPoint(60, 60));
        EXPECT_TRUE(Gone(b)) << button;
        QTest::mouseRelease(&owner_, button, {}, QPoint(60, 60));
    }
    QPointer<app::BalloonTip> b = Launch(owner_.mapToGlobal(QPoint(60, 60)));
    QTest::mouseRelease(&owner_, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_TRUE(Gone(b));
}

TEST_F(ModeBalloonTest, TimeOutClosesItAndOwnerMovesCarryIt) {
    QPointer<app::BalloonTip> b = app::BalloonTip::Launch(&owner_, "T", "body", owner_.mapToGlobal(QPoint(5, 5)), 50);
    ASSERT_TRUE(b);
    const QPoint anchor = b->Anchor();
    owner_.move(owner_.pos() + QPoint(30, 20));
    QTest::qWait(10);
    if (b) {
        EXPECT_EQ(b->Anchor(), anchor + QPoint(30, 20));
    }
    EXPECT_TRUE(Gone(b));
}

// A window with the program's menus and mode buttons.
class HelpWindow : public QMainWindow {
public:
    HelpWindow() {
        setGeometry(50, 50, 600, 400);
        QMenu* options = menuBar()->addMenu("&Options");
        save = options->addAction("&Save ");
        QMenu* later = options->addMenu("Save &later");
        laterTitle = later->menuAction();
        saveLog = later->addAction("Save Log");
        options->addSeparator();
        exit = options->addAction("E&xit");
        QMenu* help = menuBar()->addMenu("&Help");
        QMenu* language = help->addMenu("Balloon Help Language");
        auto* group = new QActionGroup(this);
        for (const char* file : app::kLanguageFiles) {
            QAction* a = language->addAction(QString(file).chopped(5));
            a->setCheckable(true);
            a->setData(QString(file));
            group->addAction(a);
        }
        languages = group->actions();
        for (int i = 0; i < 3; ++i) {
            modes[i] = new app::ModeButton(QString("Mode %1").arg(i + 1), i + 1, this);
            modes[i]->setGeometry(20, 60 + 30 * i, 150, 24);
        }
        this->options = options;
        this->later = later;
    }
    QMenu* options;
    QMenu* later;
    QAction* save;
    QAction* laterTitle;
    QAction* saveLog;
    QAction* exit;
    QList<QAction*> languages;
    app::ModeButton* modes[3];
};

class BalloonHelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        testutil::WriteFile(dir_.File("FrenchA.dat"),
                            "TARVINE-LANGUAGE 1\n0=Mode rapide FR\n6=Enregistrer FR\n8=Quitter FR\n");
        testutil::WriteFile(dir_.File("GermanA.dat"), "TARVINE-LANGUAGE 1\n0=Schnell DE\n6=Speichern DE\n");
    }
    app::BalloonHelp* Install(HelpWindow& w) { return app::BalloonHelp::Install(&w, store_, dir_.path()); }
    void StoreLanguage(const char* name) {
        store_.Write(base::kClassesRoot, base::kProductKey, base::kLanguageValue, name);
    }
    // Hovers mode button 1 and returns the balloon's heading (empty: none).
    QString HoverQuick(HelpWindow& w, app::BalloonHelp& help) {
        const QPoint at = w.modes[0]->mapToGlobal(QPoint(10, 10));
        emit w.modes[0]->Hovered(1, at);
        app::BalloonTip* b = help.ModeBalloon();
        if (!b) return {};
        EXPECT_EQ(b->Anchor(), at);
        const QString heading = b->Heading();
        b->Dismiss();
        for (int i = 0; i < 100 && help.ModeBalloon(); ++i) QTest::qWait(10);
        return heading;
    }
    testutil::TempDir dir_;
    workflow::MemorySettingsStore store_;
};

TEST_F(BalloonHelpTest, MenuBalloonFollowsTheItemWithItsTranslatedText) {
    StoreLanguage("FrenchA.dat");
    HelpWindow w;
    w.show();
    app::BalloonHelp* help = Install(w);
    ASSERT_EQ(Install(w), help);  // one per window
    w.options->popup(w.mapToGlobal(QPoint(10, 10)));
    w.later->popup(w.mapToGlobal(QPoint(200, 40)));
    QTest::qWait(20);

    w.later->setActiveAction(w.saveLog);
    app::BalloonTip* balloon = help->MenuBalloon();
    ASSERT_TRUE(balloon->isVisible());
    EXPECT_EQ(balloon->Body(), "Enregistrer FR");
    const QRect item = w.later->actionGeometry(w.saveLog);
    EXPECT_EQ(balloon->Anchor(), w.later->mapToGlobal(item.topLeft()) + QPoint(210, 40));

    // Untabled command: its place beside the item would cover the menu, so
    // the balloon goes right of the menu, level with the item; untranslated
    // help text, trailing break dropped.
    w.options->setActiveAction(w.save);
    const QRect saveItem = w.options->actionGeometry(w.save);
    const QRect optionsRect(w.options->mapToGlobal(QPoint(0, 0)), w.options->size());
    EXPECT_GT(balloon->Anchor().x(), optionsRect.right());
    EXPECT_EQ(balloon->Anchor().y(), w.options->mapToGlobal(saveItem.center()).y());
    EXPECT_FALSE(balloon->geometry().intersects(optionsRect));
    EXPECT_EQ(balloon->Body(), "Save files that have been selected");
    EXPECT_TRUE(balloon->isVisible());

    // A submenu title hides it; so does a closing menu.
    w.options->setActiveAction(w.laterTitle);
    EXPECT_FALSE(balloon->isVisible());
    w.options->setActiveAction(w.exit);
    EXPECT_TRUE(balloon->isVisible());
    EXPECT_EQ(balloon->Body(), "Quitter FR");
    EXPECT_FALSE(balloon->geometry().intersects(optionsRect));
    w.later->hide();
    EXPECT_FALSE(balloon->isVisible());
    w.options->hide();
}

TEST_F(BalloonHelpTest, SubmenuItemOpenedFromItsMenuKeepsItsBalloon) {
    HelpWindow w;
    w.show();
    app::BalloonHelp* help = Install(w);
    w.options->popup(w.mapToGlobal(QPoint(10, 10)));
    QTest::qWait(20);
    w.options->setActiveAction(w.laterTitle);  // opens "Save later" from its menu
    for (int i = 0; i < 100 && !w.later->isVisible(); ++i) QTest::qWait(10);
    ASSERT_TRUE(w.later->isVisible());
    w.later->setActiveAction(w.saveLog);
    EXPECT_TRUE(help->MenuBalloon()->isVisible());
    EXPECT_EQ(help->MenuBalloon()->Body(), "Save the recovery information");
    w.options->hide();
}

TEST_F(BalloonHelpTest, OffMeansNoBalloons) {
    HelpWindow w;
    w.show();
    app::BalloonHelp* help = Install(w);
    help->on = false;
    w.options->popup(w.mapToGlobal(QPoint(10, 10)));
    QTest::qWait(20);
    w.options->setActiveAction(w.exit);
    EXPECT_FALSE(help->MenuBalloon()->isVisible());
    EXPECT_EQ(HoverQuick(w, *help), "");
    w.options->hide();

    help->on = true;
    EXPECT_EQ(HoverQuick(w, *help), app::BuiltInLanguageText(0));  // no French file chosen: English
}

TEST_F(BalloonHelpTest, LanguageComesFromTheStoredNameAndTheMenu) {
    StoreLanguage("frencha.dat");  // not the exact name: still French (the file system decides the case)
    testutil::WriteFile(dir_.File("frencha.dat"), "TARVINE-LANGUAGE 1\n0=Mode rapide fr\n");
    HelpWindow w;
    w.show();
    app::BalloonHelp* help = Install(w);
    EXPECT_EQ(help->LanguageFile(), "frencha.dat");
    EXPECT_EQ(HoverQuick(w, *help), "Mode rapide fr");

    w.languages[3]->trigger();  // German
    EXPECT_EQ(help->LanguageFile(), "GermanA.dat");
    EXPECT_EQ(HoverQuick(w, *help), "Schnell DE");

    // A file that is missing shows the English text.
    w.languages[0]->trigger();  // Dutch, not present in this folder
    EXPECT_EQ(HoverQuick(w, *help), app::BuiltInLanguageText(0));
    help->source = nullptr;  // no text source at all
    w.languages[3]->trigger();
    EXPECT_EQ(HoverQuick(w, *help), app::BuiltInLanguageText(0));
}

TEST_F(BalloonHelpTest, OneModeBalloonAtATime) {
    HelpWindow w;
    w.show();
    app::BalloonHelp* help = Install(w);
    const QPoint at = w.modes[1]->mapToGlobal(QPoint(5, 5));
    emit w.modes[1]->Hovered(2, at);
    QPointer<app::BalloonTip> first = help->ModeBalloon();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Heading(), app::BuiltInLanguageText(1));
    emit w.modes[1]->Hovered(2, at + QPoint(1, 1));
    EXPECT_EQ(help->ModeBalloon(), first.data());
    first->Dismiss();
    for (int i = 0; i < 100 && first; ++i) QTest::qWait(10);
    emit w.modes[2]->Hovered(3, at);
    ASSERT_TRUE(help->ModeBalloon());
    EXPECT_EQ(help->ModeBalloon()->Heading(), app::BuiltInLanguageText(2));
}

TEST(HelpFile, ContentsUsesTheInstallFolderAndF1PrefersTheCurrentFolder) {
    testutil::TempDir here, install;
    const QString h = QString::fromStdString(here.path()), i = QString::fromStdString(install.path());
    EXPECT_EQ(app::HelpFileIn(i), i + "/TarvineHelp.html");
    EXPECT_EQ(app::HelpFileForKey(h, i), i + "/TarvineHelp.html");
    testutil::WriteFile(here.File("TarvineHelp.html"), "<html></html>");
    EXPECT_EQ(app::HelpFileForKey(h, i), h + "/TarvineHelp.html");
    EXPECT_EQ(app::InstalledDataFolder("/usr/local/bin"), "/usr/local/share/tarvine");
}

}  // namespace
