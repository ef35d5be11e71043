#include "app/BalloonHelp.h"

#include <QEvent>
#include <algorithm>
#include <functional>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/MenuHelp.h"
#include "app/ModeButton.h"
#include "base/Identity.h"
#include "workflow/SettingsStore.h"

namespace app {

namespace {

constexpr const char* kObjectName = "balloonHelp";

QString Trimmed(const std::string& text) {
    // Help texts end in a line break that would show as an empty line.
    QString t = QString::fromUtf8(text);
    while (!t.isEmpty() && t.back().isSpace()) t.chop(1);
    return t;
}

}  // namespace

BalloonHelp::BalloonHelp(QMainWindow* window, const std::string& installFolder)
    : QObject(window), window_(window), installFolder_(installFolder) {
    setObjectName(kObjectName);
    menuBalloon_ = new BalloonTip(BalloonTip::Kind::Menu, window);
}

namespace {

// Calls back when a watched widget is hidden.
class ModeHideWatch : public QObject {
public:
    ModeHideWatch(QObject* parent, std::function<void()> onHide) : QObject(parent), onHide_(std::move(onHide)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) onHide_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onHide_;
};

}  // namespace

BalloonHelp* BalloonHelp::Of(QMainWindow* window) {
    return window ? window->findChild<BalloonHelp*>(kObjectName, Qt::FindDirectChildrenOnly) : nullptr;
}

BalloonHelp* BalloonHelp::Install(QMainWindow* window, workflow::SettingsStore& store,
                                  const std::string& installFolder) {
    if (BalloonHelp* existing = Of(window)) return existing;
    auto* help = new BalloonHelp(window, installFolder);

    for (QAction* top : window->menuBar()->actions())
        if (QMenu* menu = top->menu()) help->Watch(menu);

    // A mode balloon goes with its buttons: a step that hides them (Next
    // pressed from the keyboard, with no pointer move to close it) leaves
    // no balloon floating over the next step.
    auto* hidden = new ModeHideWatch(help, [help] {
        if (help->modeBalloon_) help->modeBalloon_->Dismiss();
    });
    for (ModeButton* button : window->findChildren<ModeButton*>()) {
        connect(button, &ModeButton::Hovered, help, &BalloonHelp::ModeHovered);
        button->installEventFilter(hidden);
    }

    // The language items carry their file names.
    for (QAction* a : window->findChildren<QAction*>()) {
        const std::string file = a->data().toString().toStdString();
        if (CheckedLanguageItem(file) < 0) continue;
        connect(a, &QAction::triggered, help, [help, file] { help->languageFile_ = file; });
    }

    // A stored name in any letter case chooses its file; the menu shows a
    // check mark only for an exact name (set by the window).
    const std::string stored = workflow::RegistryTextRead(store, base::kClassesRoot, base::kProductKey, base::kLanguageValue);
    help->languageFile_ = LanguageFileForStored(stored);
    return help;
}

void BalloonHelp::Watch(QMenu* menu) {
    connect(menu, &QMenu::hovered, this, [this, menu](QAction* a) { MenuHighlighted(menu, a); });
    connect(menu, &QMenu::aboutToHide, this, &BalloonHelp::MenuClosed);
    for (QAction* a : menu->actions())
        if (QMenu* sub = a->menu()) Watch(sub);
}

int BalloonHelp::MenuIdOf(QMenu* menu, QAction* action) {
    if (!action) return 0;
    bool ok = false;
    const int id = action->property("menuId").toInt(&ok);
    if (ok && id != 0) return id;
    return MenuIdForText(action->text().toStdString(), menu ? menu->title().toStdString() : std::string());
}

QString BalloonHelp::LanguagePath() const {
    return QString::fromStdString(LanguageFilePath(installFolder_, languageFile_));
}

QString BalloonHelp::MenuBalloonText(int menuId) const {
    const std::string text = MenuHelpText(menuId);
    return Trimmed(TranslateMenuText(text, LanguagePath().toStdString(), source));
}

void BalloonHelp::MenuHighlighted(QMenu* menu, QAction* action) {
    if (!on) {
        menuBalloon_->Dismiss();  // switched off while one was up
        return;
    }
    // A submenu's item is also reported by every menu above it: only the
    // menu that shows the item places the balloon.
    if (menu && action && !menu->actions().contains(action)) return;
    if (!menu || !action || action->menu() || action->isSeparator()) {
        menuBalloon_->Dismiss();
        return;
    }
    const QRect item = menu->actionGeometry(action);
    if (!item.isValid()) {
        menuBalloon_->Dismiss();
        return;
    }
    const QPoint topLeft = menu->mapToGlobal(item.topLeft());
    const QPoint topRight = menu->mapToGlobal(item.topRight());
    const int id = MenuIdOf(menu, action);
    const BalloonPoint tip = MenuBalloonTip(id, topLeft.x(), topLeft.y(), topRight.x());
    menuBalloon_->SetTexts(QString(), MenuBalloonText(id));
    // The balloon never covers the menu's items: where the item's own place
    // would lie over the menu, it goes beside the menu, right or else left,
    // level with the item (its tip moved out as far as its body reaches
    // back past the tip).
    const QRect menuRect(menu->mapToGlobal(QPoint(0, 0)), menu->size());
    const int itemMiddle = menu->mapToGlobal(item.center()).y();
    QPoint right(menuRect.right() + 1, itemMiddle);
    right.rx() += std::max(0, menuRect.right() + 1 - menuBalloon_->LayoutAt(right).window.left());
    QPoint left(menuRect.left() - 1, itemMiddle);
    left.rx() -= std::max(0, menuBalloon_->LayoutAt(left).window.right() - (menuRect.left() - 1));
    QPoint anchor = right;
    for (const QPoint& place : {QPoint(tip.x, tip.y), right, left})
        if (!menuBalloon_->LayoutAt(place).window.intersects(menuRect)) {
            anchor = place;
            break;
        }
    menuBalloon_->ShowAt(anchor);
}

void BalloonHelp::MenuClosed() {
    // Hidden even when balloon help is off, so that none outlives its menu.
    menuBalloon_->Dismiss();
}

void BalloonHelp::ModeHovered(int mode, QPoint globalPos) {
    if (!on) return;
    if (mode < kQuickModeMessage + 1 || mode > kRawModeMessage + 1) return;
    // While a balloon is up it owns the pointer's moves; it closes on the
    // next move of more than three pixels and the one after shows anew.
    if (modeBalloon_) return;
    const std::string text = ModeBalloonText(mode - 1, LanguagePath().toStdString(), source);
    modeBalloon_ = BalloonTip::Launch(window_, QString::fromUtf8(text), QString(), globalPos);
}

}  // namespace app
