// The wizard of the main window: the step layouts, Next and Back, the disk
// choice, mode selection, the tree clicks of each step, opening list rows,
// Stop, and the raw range buttons. Runs on the window thread only. The work
// itself is the workflow's: the search and the mount run on the window's
// workers, report through the window's channel, and when one ends the
// wizard (back on the window thread) shows what it found and switches the
// layout.
#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/UiChannel.h"
#include "app/WindowParts.h"
#include "app/WindowReports.h"
#include "app/WindowState.h"
#include "workflow/Search.h"
#include "workflow/Session.h"
#include "workflow/Volume.h"

namespace app {

class DiskPartitionNodes;

class WizardController : public QObject {
    Q_OBJECT
public:
    WizardController(WindowParts& parts, workflow::Session& session, WindowState& state, UiChannel& channel,
                     QWidget* window);
    ~WizardController() override;

    static constexpr int kRawPanelPicture = 10;  // "Step4_1.bmp"

    // The layouts the wizard's window takes.
    enum class Layout {
        SearchStarted,   // a search runs
        Start,           // disk and mode
        VolumesListed,   // after a search or a loaded log alike
        MountStarted,
        TreeReady,
        MountFinished,
        VolumeList,      // back to the volumes
        RawPanel,
        RawPanelClosed,
    };
    void ShowStep(Layout layout);
    void ShowStepPicture(int picture);
    int PictureShown() const { return picture_; }

    // Draws the disk tree from the session's disk list: "My Computer" and a
    // "Disk"n item per disk.
    void ShowDisks();
    void DiskChosen(QTreeWidgetItem* node);
    void ModeHovered(int mode);
    void Next();
    void Back();
    void Stop();

    void TreePressed(WizardTree* tree, QTreeWidgetItem* item, WizardTree::Hit hit);
    void CheckBoxPressed(WizardTree* tree, QTreeWidgetItem* item);
    // Lists the folder of a directory-tree item, as a click on it does.
    void ShowFolderOf(QTreeWidgetItem* item);
    void OpenRow(QTreeWidgetItem* row);
    // Replaces the list's rows with the contents of folder node `node`.
    void ListFolder(std::uint32_t node);
    // A list row's check box clicked: the file (or the folder with all it
    // holds) is ticked or cleared in the selection, and tree and list show it.
    void RowTicked(QTreeWidgetItem* row, bool on);
    // The browsing layout over the open volume, as a finished mount (or a
    // reloaded log) leaves it: the directory tree drawn, the root listed.
    void ShowOpenVolume();
    // The volume list of the session's table of found volumes, under "Disk N".
    void ShowFoundVolumes();

    void EntireDisk();
    void SectorRange();

    // Stops what the workers do and waits for them; their questions are
    // answered as closing them would (the window's channel is closed first).
    void StopWorkers();

    // Called to view a file row (its index in the file list).
    std::function<void(std::size_t fileIndex)> viewFile;
    // Called (from the event loop) after the layout or the chosen disk changed.
    std::function<void()> stepShown;
    // Calls stepShown now and once more from the event loop.
    void NoteStepShown();
    // Mounts the chosen volume on the mount worker (the workflow's mount;
    // tests put a failing one in its place).
    std::function<workflow::MountOutcome(workflow::Session&, nw::MountReport&, const base::CancelFlag*)> mountVolume =
        &workflow::MountChosenVolume;

private:
    void ShowPictureByMode(int quick, int advanced);
    void RefreshListChecks(QTreeWidgetItem* clicked);
    Qt::CheckState RowCheck(bool isFolder, std::uint64_t number, std::size_t index) const;
    void StartVolumeTree();
    void SearchEnded(const workflow::SearchOutcome& outcome);
    // The work the Stop question was about has ended: the question goes.
    void CloseStopQuestion();
    void MountEnded(const workflow::MountOutcome& outcome);

    WindowParts& p_;
    workflow::Session& session_;
    WindowState& state_;
    UiChannel& channel_;
    QWidget* window_;
    // Made with the disk tree (ShowDisks); stopped with the workers.
    std::unique_ptr<DiskPartitionNodes> partitions_;
    SearchProgress searchProgress_;
    MountProgress mountProgress_;
    int picture_ = 0;
};

}  // namespace app
