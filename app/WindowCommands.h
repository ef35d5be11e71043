// The main window's commands that work on a chosen volume, a save, the logs
// and the reports: the save commands with their dialogs, the save settings,
// Save Log and Load Log, compressed-file marking, viewing a file, the
// directory listing (view, print, mail), the activity report (view, mail),
// and the raw panel's "Start &Recovery".
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "recovery/FileViewer.h"
#include "recovery/SaveJob.h"
#include "workflow/RecoveryLogs.h"
#include "workflow/Reports.h"

class QPrinter;

namespace app {

class MainWindow;
class RawPanelWidget;

class WindowCommands : public QObject {
    Q_OBJECT
public:
    explicit WindowCommands(MainWindow& window);
    ~WindowCommands() override;

    // "&Save ", "Save Data" and the tree's "Save": the checked items.
    void SaveTree(bool fromSaveDataButton);
    // The details list's "Save": the rows the selection mode picks.
    void SaveList();
    void SaveSettings();
    void SaveLog();
    void LoadLog();
    void MarkCompressed();
    // A file row opened: file `fileIndex` of the open volume.
    void ViewFile(std::size_t fileIndex);
    // Nothing on the system opened a viewed file's copy: the window says so.
    void OpenFailed(const std::string& path);
    void ViewReport();
    void EmailReport();
    void ViewListing();
    void PrintListing();
    void EmailListing();

    RawPanelWidget* RawPanel() const { return rawPanel_; }
    // The last save started (its figures and flags); nullptr before any.
    const recovery::SaveJob* LastSaveJob() const { return lastSave_.get(); }

    // Chooses the printer (the system's print dialog); false prints nothing.
    std::function<bool(QPrinter&)> choosePrinter;
    // Whether the system has a printer at all (none: the print file's path
    // is offered instead of an empty print dialog).
    std::function<bool()> printerAvailable;
    // Opens a viewed file's copy with its associated application.
    std::function<recovery::OpenResult(const std::string& path)> openFile;
    // Lets the user pick the program for a file that has no association.
    std::function<void(const std::string& path)> openWith;
    // Called with each save's job before its worker starts (a test sets
    // the job's clock here to hold the copy at a chosen block).
    std::function<void(recovery::SaveJob& job)> preparingSave;

private:
    void RunSave(int source);
    // A log loaded on a worker, back on the window thread.
    void VolumeListLoaded(const workflow::LogLoaded& loaded);
    void MountedVolumeLoaded(const workflow::LogLoaded& loaded);
    void TreeContextMenu(const QPoint& pos);
    // A mail command's outcome: its notice, or why the mail program did not
    // take the file (with its path to copy).
    void ShowMailOutcome(const workflow::ReportOutcome& outcome);

    MainWindow& window_;
    RawPanelWidget* rawPanel_ = nullptr;
    std::unique_ptr<recovery::SaveJob> lastSave_;
};

}  // namespace app
