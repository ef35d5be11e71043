// The one main window of the desktop program: menu, tool buttons, status bar
// with its clock, the wizard's panels, and exit handling. Owns the recovery
// session, the window's own state, the channel through which its workers
// reach it, and the bad-sector question for its lifetime. Closing it (or
// destroying it) first closes that channel, so that a worker waiting for an
// answer gets one at once, then stops and waits for the workers.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

#include "app/UiChannel.h"
#include "app/WindowParts.h"
#include "app/WindowReports.h"
#include "app/WindowState.h"
#include "app/WizardController.h"
#include "disk/DiskCatalogue.h"
#include "workflow/Session.h"
#include "workflow/SettingsStore.h"

class QActionGroup;
class QFrame;
class QLabel;

namespace app {

class FolderMount;
class WindowCommands;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `store` stands in for the registry for the window's lifetime.
    MainWindow(workflow::SettingsStore& store, std::vector<disk::DiskSource> sources, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's start-up. False when the program is not installed (the
    // message has been shown): the program then ends.
    bool Initialise();

    // "01:05 PM": a 12-hour dial with its AM/PM marker (0 -> 12 AM, 13 -> 01 PM).
    static QString ClockText(int hour, int minute);

    WindowParts& Parts() { return parts_; }
    workflow::Session& Session() { return session_; }
    WindowState& State() { return state_; }
    UiChannel& Channel() { return channel_; }
    WizardController& Wizard() { return *wizard_; }
    WindowCommands& Commands() { return *commands_; }
    enum class Tool { SaveData, LoadLog, SaveLog, Exit, Help };
    QToolButton* ToolButton(Tool tool) const { return tools_[static_cast<int>(tool)]; }
    QLabel* ClockPane() const { return clock_; }
    QAction* ExitAction() const { return exitAction_; }

    // Attaches an image file as the next disk (the "Open Disk Image..."
    // command after its file dialog). False with a message when it cannot.
    bool AttachImage(const QString& path);

    // Opens a file or web address with the desktop's handler; false when
    // none took it (the window then says so).
    std::function<bool(const QString& target, bool isUrl)> shellOpen;
    // shellOpen, and a message naming the target when nothing opened it.
    void OpenWithDesktop(const QString& target, bool isUrl);
    // Ends the process at once with a status (Yes on the menu command
    // "E&xit").
    std::function<void(int status)> endProcess;

protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildCentral();
    void BuildRawPanel(QWidget* central);
    void BuildStatusBar();
    // Places the controls for the central area's size.
    void LayOut();
    // Greys the tool buttons whose command cannot run at this step, with a
    // tooltip saying when it can; the status bar shows disk, volume and counts.
    void ShowStepState();
    // Closes the channel, stops the workers and waits for them (idempotent).
    void Shutdown();

    // Asks "Do you want to exit from Tarvine?"; true on Yes.
    bool AskExit();
    void MenuExit();
    void SaveDataTool();
    void LoadLogTool();
    void SaveLogTool();
    void HelpContents();
    void OpenDiskImage();
    void ListContextMenu(const QPoint& globalPos);
    // "Details" of a list row: the entry's names, dates, IDs and trustees.
    void ShowEntryDetails(const QTreeWidgetItem* row);
    // Options, "Name Spaces...".
    void ChooseNameSpaces();
    void ChooseLanguage(const QString& file);
    bool HandleKey(QWidget* target, QKeyEvent* event);
    void ShowClock();
    // The advanced search's rate and time left, in the status bar.
    void ShowSearchEstimate();
    void Info(const QString& caption, const QString& text);
    void Refuse(const char* text);

    std::vector<disk::DiskSource> sources_;
    workflow::Session session_;
    WindowState state_;
    UiChannel channel_{this};
    BadSectorQuestion badSectorQuestion_{channel_, this};
    WindowParts parts_;
    WizardController* wizard_ = nullptr;
    WindowCommands* commands_ = nullptr;  // saving, logs, listing, reports, raw panel
    QToolButton* tools_[5] = {};
    QLabel* clock_ = nullptr;
    QLabel* where_ = nullptr;
    QFrame* splitHandle_ = nullptr;
    QAction* markAction_ = nullptr;
    QAction* nameSpacesAction_ = nullptr;
    FolderMount* folderMount_ = nullptr;  // "Open as Folder" (owned as a child)
    int leftWidth_ = 240;
    QElapsedTimer searchClock_;
    QAction* exitAction_ = nullptr;
    QAction* balloonAction_ = nullptr;
    QActionGroup* languages_ = nullptr;
    int clockTimer_ = 0;
    bool shutDown_ = false;
};

}  // namespace app
