// The wizard of the main window: the step layouts, Next and Back, the disk
// choice, mode selection, the tree clicks of each step, opening list rows,
// Stop, and the raw range buttons. Runs on the window thread only; workers
// reach it through the published controls.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "app/WindowParts.h"
#include "netware/EntryList.h"
#include "netware/VolumeDescriptor.h"

namespace app {

class WizardController : public QObject {
    Q_OBJECT
public:
    WizardController(WindowParts& parts, QWidget* window);

    static constexpr int kRawPanelPicture = 10;  // "Step4_1.bmp"

    void ShowStep(int layout);
    void ShowStepPicture(int picture);
    int PictureShown() const { return picture_; }

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

    void EntireDisk();
    void SectorRange();

    // The disk number a disk label names ("Disk12" -> 12); 0 when none.
    static unsigned DiskNumberOfLabel(const std::string& label);
    // The eight volume facts rows of a volume.
    static std::vector<std::string> VolumeFactsRows(const nw::VolumeDescriptor& v);

    // Called to view a file row (the viewer comes with file viewing).
    std::function<void(const nw::EntryRecord* file)> viewFile;

private:
    void ShowPictureByMode(int quick, int advanced);
    void ToggleOwnTree(WizardTree* tree, QTreeWidgetItem* item);
    QString DiskLabelTail() const;

    WindowParts& p_;
    QWidget* window_;
    int picture_ = 0;
};

}  // namespace app
