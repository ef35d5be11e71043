#include "app/WizardController.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QPixmap>
#include <charconv>

#include "app/QtMessageSink.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "disk/DiskCatalogue.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "netware/VolumeSearch.h"
#include "records/ActivityLog.h"

namespace app {

namespace {

job::WizardState& W() { return job::Wizard(); }

const char* ModeName(int mode) {
    switch (mode) {
        case job::kModeQuick: return "QUICK";
        case job::kModeAdvanced: return "Advance";
        case job::kModeRaw: return "Raw";
        default: return "";
    }
}

void Message(const char* text, job::MessageIcon icon) { job::ShowMessage(text, icon); }

}  // namespace

WizardController::WizardController(WindowParts& parts, QWidget* window) : QObject(window), p_(parts), window_(window) {}

unsigned WizardController::DiskNumberOfLabel(const std::string& label) {
    if (label.size() <= 4) return 0;
    unsigned n = 0;
    const char* first = label.data() + 4;
    std::from_chars(first, label.data() + label.size(), n);
    return n;
}

std::vector<std::string> WizardController::VolumeFactsRows(const nw::VolumeDescriptor& v) {
    return {
        "Volume Name   :   " + v.name,
        "Volume Start     :   " + std::to_string(v.startSector),
        "Volume End      :   " + std::to_string(v.startSector + v.sizeInSectors),
        "First DET          :   " + std::to_string(v.det1FirstBlock),
        "Second DET    :   " + std::to_string(v.det2FirstBlock),
        "First FAT           :   " + std::to_string(v.fat1FirstBlock),
        "Second FAT     :   " + std::to_string(v.fat2FirstBlock),
        "Cluster Size       :   " + std::to_string(v.sectorsPerBlock),
    };
}

QString WizardController::DiskLabelTail() const {
    const std::string& label = W().selectedDiskLabel;
    return QString::fromStdString(label.size() > 4 ? label.substr(4) : std::string());
}

// ---- pictures ----------------------------------------------------------------------

void WizardController::ShowStepPicture(int picture) {
    static const char* const kFiles[] = {nullptr,       "Step1.bmp",  "Step2.bmp",  "Step3.bmp",
                                         "Step4.bmp",   "help4.bmp",  "help5.bmp",  "mount5.bmp",
                                         "mount6.bmp",  nullptr};
    QString file;
    if (picture >= 1 && picture <= 8) {
        file = kFiles[picture];
    } else if (picture == 9) {
        file = W().recoveryMode.load() == job::kModeAdvanced ? "step7.bmp" : "step6_1.bmp";
    } else if (picture == kRawPanelPicture) {
        file = "Step4_1.bmp";
    }
    picture_ = picture;
    QPixmap pixmap;
    if (!file.isEmpty()) pixmap.load(QString::fromStdString(W().installFolder) + "/" + file);
    // A picture that cannot be loaded leaves the control empty.
    if (pixmap.isNull())
        p_.stepPicture->clear();
    else
        p_.stepPicture->setPixmap(pixmap);
}

void WizardController::ShowPictureByMode(int quick, int advanced) {
    switch (W().recoveryMode.load()) {
        case job::kModeQuick: ShowStepPicture(quick); break;
        case job::kModeAdvanced: ShowStepPicture(advanced); break;
        default: break;  // Raw keeps the picture it has
    }
}

// ---- layouts -------------------------------------------------------------------------

void WizardController::ShowStep(int layout) {
    auto& w = W();
    const bool advanced = w.recoveryMode.load() == job::kModeAdvanced;
    auto greyAfterMount = [this](bool enabled) {
        for (QAction* a : {p_.saveAction, p_.saveSettingsAction, p_.saveLogAction, p_.listViewAction,
                           p_.listPrintAction, p_.listEmailAction})
            a->setEnabled(enabled);
    };
    switch (layout) {
        case 0:  // search started
            p_.modeFrame->hide();
            ShowPictureByMode(4, 5);
            p_.detailsList->ClearRows();
            p_.diskFrame->hide();
            p_.diskTree->setEnabled(false);
            p_.nextButton->setEnabled(false);
            for (ModeButton* b : p_.modeButtons) b->hide();
            p_.statusLine->show();
            if (advanced) {
                p_.stopButton->show();
                p_.stopButton->setEnabled(true);
                p_.searchProgress->show();
                p_.statusLine->setText("Searching Volumes Phase 1/2");
            }
            w.selectedDiskNumber = static_cast<std::uint16_t>(DiskNumberOfLabel(w.selectedDiskLabel));
            break;
        case 1:  // back to the start
            ShowStepPicture(1);
            for (ModeButton* b : p_.modeButtons) {
                b->show();
                b->setChecked(false);
                b->setEnabled(false);
            }
            p_.detailsList->ClearRows();
            p_.volumeCountText->clear();
            p_.diskTree->show();
            p_.modeFrame->show();
            p_.diskFrame->show();
            p_.backButton->hide();
            p_.diskTree->setEnabled(true);
            p_.nextButton->setEnabled(false);
            p_.statusLine->clear();
            p_.stopButton->hide();
            p_.searchProgress->hide();
            p_.volumeTree->hide();
            break;
        case 3:  // volumes listed
            p_.modeFrame->hide();
            if (advanced) ShowStepPicture(6);
            p_.diskTree->hide();
            p_.volumeTree->setEnabled(true);
            p_.volumeTree->show();
            p_.volumeCountText->clear();
            p_.statusLine->clear();
            p_.stopButton->hide();
            p_.searchProgress->hide();
            p_.backButton->show();
            p_.backButton->setEnabled(true);
            p_.nextButton->setEnabled(false);
            p_.detailsList->ClearRows();
            break;
        case 4:  // mount started
            ShowPictureByMode(7, 8);
            p_.statusLine->setText("Mounting Volume Please Wait....");
            p_.volumeTree->setEnabled(false);
            p_.backButton->setEnabled(false);
            p_.nextButton->setEnabled(false);
            p_.loadLogAction->setEnabled(false);
            break;
        case 5:  // tree ready
            p_.volumeTree->hide();
            p_.directoryTree->show();
            p_.directoryTree->setEnabled(false);
            p_.detailsList->UseEntryColumns();
            p_.searchProgress->hide();
            p_.statusLine->clear();
            break;
        case 6:  // mount finished
            ShowStepPicture(9);
            p_.searchProgress->hide();
            p_.searchProgress->setValue(0);
            p_.searchProgress->SetCaption("0% Complete");
            p_.directoryTree->setEnabled(true);
            p_.backButton->setEnabled(true);
            greyAfterMount(true);
            p_.loadLogAction->setEnabled(false);
            break;
        case 7:  // back to the volume list
            ShowPictureByMode(4, 6);
            p_.detailsList->UseDetailsColumn();
            p_.statusLine->clear();
            greyAfterMount(false);
            p_.loadLogAction->setEnabled(true);
            break;
        case 8:  // raw panel
            ShowStepPicture(kRawPanelPicture);
            p_.rawPanel->show();
            p_.rawPanel->raise();
            p_.plainFrame->hide();
            p_.nextButton->setEnabled(false);
            p_.entireDiskButton->setChecked(true);
            p_.detailsList->hide();
            for (int i = 0; i < p_.fileTypeList->topLevelItemCount(); ++i)
                p_.fileTypeList->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
            p_.filesRecoveredList->clear();
            for (ModeButton* b : p_.modeButtons) b->hide();
            p_.modeFrame->hide();
            p_.diskTree->hide();
            p_.diskFrame->hide();
            p_.backButton->show();
            p_.backButton->setEnabled(true);
            break;
        case 88:  // raw panel closed
            ShowStepPicture(1);
            p_.rawPanel->hide();
            p_.plainFrame->show();
            p_.detailsList->show();
            for (ModeButton* b : p_.modeButtons) b->show();
            p_.modeFrame->hide();
            p_.diskTree->show();
            p_.diskFrame->show();
            p_.backButton->hide();
            p_.backButton->setEnabled(false);
            break;
        default: break;
    }
}

// ---- step 0 ------------------------------------------------------------------------------

void WizardController::DiskChosen(QTreeWidgetItem* node) {
    auto& w = W();
    if (!node || node->text(0).isEmpty()) return;
    w.selectedDiskLabel = node->text(0).toStdString();
    p_.diskTree->setCurrentItem(node);
    const unsigned number = DiskNumberOfLabel(w.selectedDiskLabel);
    disk::ShowDiskFacts(number);
    for (ModeButton* b : p_.modeButtons) b->setEnabled(true);
    if (w.currentStep.load() == 0) ShowStepPicture(2);
    w.selectedDiskModel = job::RegistryTextRead(job::kClassesRoot, "TRV Windows\\Model", disk::StoreKey(number));
}

void WizardController::ModeHovered(int mode) {
    W().recoveryMode = static_cast<std::int16_t>(mode);
    for (ModeButton* b : p_.modeButtons) b->setChecked(b->Mode() == mode);
    p_.nextButton->setEnabled(true);
}

void WizardController::Next() {
    auto& w = W();
    const int mode = w.recoveryMode.load();
    const int step = w.currentStep.load();
    if (step == 0) {
        if (mode == job::kModeNone || w.searchWorker.load() != 0) return;
        records::AppendActivityLog("\r\n");
        records::AppendActivityLog("\r\n");
        records::AppendActivityLog("Selected Disk : ");
        records::AppendActivityLog(DiskLabelTail().toStdString());
        records::AppendActivityLog("\r\n");
        records::AppendActivityLog("Model Number : ");
        records::AppendActivityLog(w.selectedDiskModel);
        records::AppendActivityLog("\r\n");
        records::AppendActivityLog("Selected Mode : ");
        records::AppendActivityLog(ModeName(mode));
        if (mode == job::kModeRaw) {
            p_.startRecoveryButton->setEnabled(true);
        } else {
            p_.startRecoveryButton->setEnabled(false);
            ShowStep(0);
        }
        if (mode == job::kModeQuick) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const bool opened = nw::QuickVolumeSearch();
            QApplication::restoreOverrideCursor();
            if (!opened) {  // the search has said why the disk cannot be read
                ShowStep(1);
                return;
            }
            records::AppendActivityLog("\r\n");
            records::AppendActivityLog("Total Volumes Found : ");
            records::AppendActivityLog(std::to_string(w.volumeCount.load()));
            if (w.volumeCount.load() == 0) {
                Message("No volume found, use advance mode", job::MessageIcon::Information);
                ShowStep(1);
            } else {
                ShowStep(3);
                w.currentStep = 1;
            }
        } else if (mode == job::kModeAdvanced) {
            p_.volumeTree->Clear();
            p_.volumeTree->setEnabled(false);
            p_.volumeTree->InsertItem(nullptr, "Disk " + std::to_string(w.selectedDiskNumber.load()), 2,
                                      job::kUnchecked);
            // A stop asked for before this search began is not meant for it.
            w.searchStopRequested = 0;
            p_.searchProgress->setValue(0);
            p_.searchProgress->SetCaption(QString::fromStdString(job::ProgressCaption(0)));
            job::StartWorker(w.searchWorker, [] { nw::AdvancedVolumeSearch(); });
        } else if (mode == job::kModeRaw) {
            ShowStep(8);
            w.currentStep = 1;
        }
    } else if (step == 1) {
        if (mode == job::kModeRaw || w.mountWorker.load() != 0) return;
        p_.directoryTree->Clear();
        p_.directoryTree->hide();
        w.currentFolderItem = nullptr;
        p_.directoryTree->InsertItem(nullptr, w.selectedVolumeName, 2, job::kUnchecked);
        ShowStep(4);
        job::StartWorker(w.mountWorker, [] { nw::Mount(); });
    }
}

void WizardController::Back() {
    auto& w = W();
    p_.startRecoveryButton->setEnabled(false);
    const int step = w.currentStep.load();
    if (step == 1) {
        w.currentStep = 0;
        ShowStep(1);
        if (w.recoveryMode.load() == job::kModeRaw) ShowStep(88);
    } else if (step == 2) {
        nw::ClearEntryLists();
        w.currentFolderItem = nullptr;
        w.currentStep = 1;
        p_.directoryTree->hide();
        p_.volumeTree->show();
        p_.volumeTree->setEnabled(true);
        ShowStep(7);
    }
}

void WizardController::Stop() {
    auto& w = W();
    if (job::ShowMessage("Do you want to stop this process", job::MessageIcon::Question,
                         job::MessageButtons::YesNo) != job::MessageAnswer::Yes)
        return;
    if (w.lostFolderScanActive.load() == 1) {
        w.lostFolderScanActive = 0;
    } else if (w.searchWorker.load() != 0) {
        // Only a running search takes the request; a late answer after the
        // process ended must not stop the next search before it starts.
        w.searchStopRequested = 1;
    }
}

// ---- trees ------------------------------------------------------------------------------------

void WizardController::TreePressed(WizardTree* tree, QTreeWidgetItem* item, WizardTree::Hit hit) {
    auto& w = W();
    w.treeHasFocus = 1;
    if (!item || item->text(0).isEmpty()) {
        if (QTreeWidgetItem* root = tree->topLevelItem(0)) tree->setCurrentItem(root);
    }
    if (hit == WizardTree::Hit::CheckBox || hit == WizardTree::Hit::Indent) return;
    const int step = w.currentStep.load();
    if (step == 1 && tree == p_.volumeTree && item) {
        const std::string label = item->text(0).toStdString();
        if (label.empty() || label.rfind("Disk", 0) == 0) return;
        const std::uint32_t count = std::min<std::uint32_t>(w.volumeCount.load(), nw::kVolumeListCapacity);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (w.VolumeList[i].treeNode != WizardTree::HandleOf(item)) continue;
            tree->setCurrentItem(item);
            w.selectedVolumeIndex = static_cast<std::int32_t>(i);
            w.selectedVolumeName = w.VolumeList[i].name;
            w.currentVolume = w.VolumeList[i];
            item->setSelected(true);
            p_.detailsList->ClearRows();
            for (const std::string& row : VolumeFactsRows(w.currentVolume)) p_.detailsList->AddRow({row});
            p_.nextButton->setEnabled(true);
            return;
        }
    } else if (step == 0 && tree == p_.diskTree) {
        if (item && item != tree->topLevelItem(0) && !item->text(0).isEmpty()) DiskChosen(item);
    } else if (step == 2 && tree == p_.directoryTree && item && hit != WizardTree::Hit::Nowhere) {
        ShowFolderOf(item);
    }
}

void WizardController::ShowFolderOf(QTreeWidgetItem* item) {
    auto& w = W();
    p_.detailsList->ClearRows();
    p_.directoryTree->setCurrentItem(item);
    const job::TreeItem handle = WizardTree::HandleOf(item);
    p_.statusLine->setText(QString::fromStdString(nw::ShownPath(handle)));
    w.currentFolderItem = handle;
    nw::ListFolder(nw::FolderNumberOfItem(handle));
}

void WizardController::ToggleOwnTree(WizardTree* tree, QTreeWidgetItem* item) {
    const int target = tree->StateImage(item) != job::kUnchecked ? job::kUnchecked : job::kChecked;
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* it = pending.back();
        pending.pop_back();
        tree->SetStateImage(it, target);
        for (int i = 0; i < it->childCount(); ++i) pending.push_back(it->child(i));
    }
    for (QTreeWidgetItem* a = item->parent(); a; a = a->parent()) {
        int all = -1;
        for (int i = 0; i < a->childCount(); ++i) {
            const int s = tree->StateImage(a->child(i));
            if (all == -1) all = s;
            if (s != all || s == job::kPartlyChecked) all = job::kPartlyChecked;
        }
        tree->SetStateImage(a, all == -1 ? target : all);
    }
}

void WizardController::CheckBoxPressed(WizardTree* tree, QTreeWidgetItem* item) {
    if (!item) return;
    if (tree == p_.directoryTree)
        nw::ToggleFolderCheck(WizardTree::HandleOf(item));
    else
        ToggleOwnTree(tree, item);
}

// ---- list rows ---------------------------------------------------------------------------------

void WizardController::OpenRow(QTreeWidgetItem* row) {
    auto& w = W();
    if (w.currentStep.load() != 2 || !row || !p_.detailsList->ShowsEntries()) return;
    const QString type = row->text(1);
    const std::string idText = row->text(5).toStdString();
    std::uint64_t id = 0;
    const bool numeric = std::from_chars(idText.data(), idText.data() + idText.size(), id).ec == std::errc();
    if (DetailsList::IsFolderType(type)) {
        const job::TreeItem handle = numeric ? reinterpret_cast<job::TreeItem>(static_cast<std::uintptr_t>(id)) : nullptr;
        QTreeWidgetItem* item = nullptr;
        if (handle && nw::FindFolderByTreeItem(handle)) {
            item = WizardTree::ItemOf(handle);
        } else {
            item = p_.directoryTree->topLevelItem(0);  // an unknown folder lists the root
        }
        if (!item) return;
        const job::TreeItem target = WizardTree::HandleOf(item);
        p_.statusLine->setText(QString::fromStdString(nw::ShownPath(target)));
        w.currentFolderItem = target;
        nw::ListFolder(nw::FolderNumberOfItem(target));
        item->setExpanded(true);
        p_.directoryTree->setFocus();
        w.treeHasFocus = 1;
        p_.directoryTree->SelectAndReveal(item);
    } else if (DetailsList::IsFileType(type)) {
        const nw::EntryRecord* file =
            numeric && id <= 0xFFFFFFFFu ? nw::FindFileByOrdinal(static_cast<std::uint32_t>(id)) : nullptr;
        if (viewFile) viewFile(file);
    }
}

// ---- raw panel -----------------------------------------------------------------------------------

void WizardController::EntireDisk() {
    auto& w = W();
    for (QLineEdit* f : {p_.startSectorField, p_.endSectorField}) {
        f->clear();
        f->setEnabled(false);
    }
    w.rangeIsWholeDisk = 1;
    w.rangeIsSectorRange = 0;
}

void WizardController::SectorRange() {
    auto& w = W();
    p_.startSectorField->setEnabled(true);
    p_.endSectorField->setEnabled(true);
    p_.startSectorLabel->setEnabled(true);
    p_.endSectorLabel->setEnabled(true);
    const std::string text = job::RegistryTextRead(job::kClassesRoot, "TRV WINDOWS\\Size",
                                                   disk::StoreKey(w.selectedDiskNumber.load()));
    std::int64_t bytes = 0;
    std::from_chars(text.data(), text.data() + text.size(), bytes);
    const std::uint64_t sectors = bytes > 0 ? static_cast<std::uint64_t>(bytes) / 512 : 0;
    // The field shows the whole count; a disk past 2^31 sectors would come
    // out negative as a signed 32-bit number.
    p_.endSectorField->setText(QString::number(sectors));
    p_.startSectorField->setText("0");
    w.diskSectorCount = static_cast<std::uint32_t>(sectors);
    w.rangeIsWholeDisk = 0;
    w.rangeIsSectorRange = 1;
}

}  // namespace app
