// Balloon help of the main window: the menu balloon that follows the
// highlighted menu item, the balloons over the mode buttons, and the
// balloon language.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <string>

#include "app/BalloonTip.h"
#include "app/LanguageFile.h"

namespace workflow {
class SettingsStore;
}

class QAction;
class QMainWindow;
class QMenu;

namespace app {

class BalloonHelp : public QObject {
    Q_OBJECT
public:
    // Creates the menu balloon, watches every menu of the window's menu bar
    // and its mode buttons, follows the language menu, and chooses the
    // language from "LngFile" in `store`; the language files lie in
    // `installFolder`. One per window; a second call returns the first.
    static BalloonHelp* Install(QMainWindow* window, workflow::SettingsStore& store, const std::string& installFolder);
    static BalloonHelp* Of(QMainWindow* window);

    // A menu item became the highlighted one (null: nothing highlighted).
    void MenuHighlighted(QMenu* menu, QAction* action);
    // A menu closed.
    void MenuClosed();
    // The pointer moved over mode button `mode` (1 Quick, 2 Advanced, 3 Raw).
    void ModeHovered(int mode, QPoint globalPos);

    BalloonTip* MenuBalloon() const { return menuBalloon_; }
    // The mode balloon on screen, if any.
    BalloonTip* ModeBalloon() const { return modeBalloon_; }

    // The command number of a menu item (its "menuId" property when set).
    static int MenuIdOf(QMenu* menu, QAction* action);
    // The menu balloon text of a command, translated.
    QString MenuBalloonText(int menuId) const;
    // The language file in use (English until one is chosen) and its path
    // in the install folder.
    const std::string& LanguageFile() const { return languageFile_; }
    QString LanguagePath() const;

    // The text source; the language files unless replaced (null: missing).
    FennockRoutine source = &Fennock;
    // "Show Balloon Help": no balloons at all while off.
    bool on = true;

private:
    BalloonHelp(QMainWindow* window, const std::string& installFolder);
    void Watch(QMenu* menu);

    QMainWindow* window_;
    std::string installFolder_;
    std::string languageFile_ = kEnglishLanguageFile;
    BalloonTip* menuBalloon_ = nullptr;
    QPointer<BalloonTip> modeBalloon_;
};

}  // namespace app
