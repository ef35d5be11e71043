#include "app/DiskPartitionNodes.h"
#include "app/WizardController.h"

#include <QApplication>
#include <QCursor>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/EntryRows.h"
#include "app/Messages.h"
#include "disk/Disk.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/Selection.h"
#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace app {

namespace {

constexpr const char* kDiskTreeRootText = "My Computer";
constexpr const char* kStopQuestionText = "Do you want to stop this process";

// "Disk0 (SERVER1.img)": the number and the file the disk is read from.
std::string DiskLabel(const disk::DiskInfo& d) {
    const std::string key = disk::StoreKey(d.number);
    const std::size_t slash = d.path.find_last_of('/');
    const std::string name = slash == std::string::npos ? d.path : d.path.substr(slash + 1);
    return name.empty() ? key : key + " (" + name + ")";
}

}  // namespace

WizardController::WizardController(WindowParts& parts, workflow::Session& session, WindowState& state,
                                   UiChannel& channel, QWidget* window)
    : QObject(window),
      p_(parts),
      session_(session),
      state_(state),
      channel_(channel),
      window_(window),
      searchProgress_(channel, parts),
      mountProgress_(channel, parts, state, window) {}

// ---- pictures ----------------------------------------------------------------------

void WizardController::ShowStepPicture(int picture) {
    static const char* const kFiles[] = {nullptr,       "Step1.bmp",  "Step2.bmp",  "Step3.bmp",
                                         "Step4.bmp",   "help4.bmp",  "help5.bmp",  "mount5.bmp",
                                         "mount6.bmp",  nullptr};
    QString file;
    if (picture >= 1 && picture <= 8) {
        file = kFiles[picture];
    } else if (picture == 9) {
        file = session_.recoveryMode.load() == workflow::kModeAdvanced ? "step7.bmp" : "step6_1.bmp";
    } else if (picture == kRawPanelPicture) {
        file = "Step4_1.bmp";
    }
    picture_ = picture;
    QPixmap pixmap;
    if (!file.isEmpty()) pixmap.load(QString::fromStdString(session_.installFolder) + "/" + file);
    // A picture that cannot be loaded leaves the control empty.
    if (pixmap.isNull())
        p_.stepPicture->clear();
    else
        p_.stepPicture->setPixmap(pixmap);
}

void WizardController::ShowPictureByMode(int quick, int advanced) {
    switch (session_.recoveryMode.load()) {
        case workflow::kModeQuick: ShowStepPicture(quick); break;
        case workflow::kModeAdvanced: ShowStepPicture(advanced); break;
        default: break;  // Raw keeps the picture it has
    }
}

// ---- layouts -------------------------------------------------------------------------

void WizardController::ShowStep(Layout layout) {
    const bool advanced = session_.recoveryMode.load() == workflow::kModeAdvanced;
    auto greyAfterMount = [this](bool enabled) {
        for (QAction* a : {p_.saveAction, p_.saveSettingsAction, p_.saveLogAction, p_.listViewAction,
                           p_.listPrintAction, p_.listEmailAction})
            a->setEnabled(enabled);
    };
    // The chosen mode shows beside Next only while the mode is being chosen.
    p_.nextModeText->hide();
    if (layout == Layout::Start || layout == Layout::RawPanelClosed) p_.nextModeText->clear();
    switch (layout) {
        case Layout::SearchStarted:
            p_.modeFrame->hide();
            ShowPictureByMode(4, 5);
            p_.detailsList->ClearRows();
            p_.diskFrame->hide();
            p_.diskTree->setEnabled(false);
            p_.nextButton->setEnabled(false);
            for (ModeButton* b : p_.modeButtons) b->hide();
            p_.statusLine->show();
            // Both searches read the disk on a worker and can be stopped.
            p_.stopButton->show();
            p_.stopButton->setEnabled(true);
            if (advanced) {
                p_.searchProgress->show();
                p_.statusLine->setText(workflow::kSearchPhase1Text);
            }
            break;
        case Layout::Start:
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
        case Layout::VolumesListed:
            p_.modeFrame->hide();
            p_.diskFrame->hide();
            for (ModeButton* b : p_.modeButtons) b->hide();
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
        case Layout::MountStarted:
            ShowPictureByMode(7, 8);
            p_.statusLine->setText("Mounting Volume Please Wait....");
            p_.volumeTree->setEnabled(false);
            p_.backButton->setEnabled(false);
            p_.nextButton->setEnabled(false);
            p_.loadLogAction->setEnabled(false);
            break;
        case Layout::TreeReady:
            p_.volumeTree->hide();
            p_.directoryTree->show();
            p_.directoryTree->setEnabled(false);
            p_.detailsList->UseEntryColumns();
            p_.searchProgress->hide();
            p_.statusLine->clear();
            break;
        case Layout::MountFinished:
            ShowStepPicture(9);
            p_.searchProgress->hide();
            p_.searchProgress->setValue(0);
            p_.searchProgress->SetCaption("0% Complete");
            p_.directoryTree->setEnabled(true);
            p_.backButton->setEnabled(true);
            greyAfterMount(true);
            p_.loadLogAction->setEnabled(false);
            break;
        case Layout::VolumeList:
            ShowPictureByMode(4, 6);
            p_.detailsList->UseDetailsColumn();
            p_.statusLine->clear();
            greyAfterMount(false);
            p_.loadLogAction->setEnabled(true);
            break;
        case Layout::RawPanel:
            ShowStepPicture(kRawPanelPicture);
            p_.rawPanel->show();
            p_.rawPanel->raise();
            p_.plainFrame->hide();
            p_.nextButton->setEnabled(false);
            // The range the panel shows is the one a scan takes.
            p_.entireDiskButton->setChecked(true);
            EntireDisk();
            if (partitions_ && partitions_->ChosenRange()) {
                // A chosen partition is the range: its first and last sector.
                p_.sectorRangeButton->setChecked(true);
                SectorRange();
                p_.startSectorField->setText(QString::number(partitions_->ChosenRange()->first));
                p_.endSectorField->setText(QString::number(partitions_->ChosenRange()->end - 1));
            }
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
        case Layout::RawPanelClosed:
            ShowStepPicture(1);
            p_.rawPanel->hide();
            p_.plainFrame->show();
            p_.detailsList->show();
            for (ModeButton* b : p_.modeButtons) b->show();
            p_.modeFrame->show();
            p_.diskTree->show();
            p_.diskFrame->show();
            p_.backButton->hide();
            p_.backButton->setEnabled(false);
            break;
        default: break;
    }
    NoteStepShown();
}

void WizardController::NoteStepShown() {
    // The step number is often set just after the layout is shown: the
    // window looks now and again once the current event is done.
    if (stepShown) stepShown();
    QTimer::singleShot(0, this, [this] {
        if (stepShown) stepShown();
    });
}

// ---- step 0 ------------------------------------------------------------------------------

WizardController::~WizardController() = default;

void WizardController::ShowDisks() {
    if (partitions_)
        partitions_->Forget();
    else
        partitions_ = std::make_unique<DiskPartitionNodes>(*p_.diskTree, *p_.detailsList, session_);
    p_.diskTree->Clear();
    // Disks and volumes are chosen by clicking them: their trees carry no
    // check boxes.
    QTreeWidgetItem* root = p_.diskTree->InsertItem(nullptr, kDiskTreeRootText, WizardTree::kRootImage,
                                                    nw::kNoStateImage);
    root->setExpanded(true);
    for (const disk::DiskInfo& d : session_.diskList)
        p_.diskTree->InsertItem(root, DiskLabel(d), WizardTree::kDiskImage, nw::kNoStateImage, d.number);
}

void WizardController::DiskChosen(QTreeWidgetItem* node) {
    // A partition's node chooses its disk, with the partition as the range.
    QTreeWidgetItem* partitionNode = DiskPartitionNodes::IsPartitionNode(node) ? node : nullptr;
    if (partitionNode) node = node->parent();
    const std::uint32_t number = WizardTree::NumberOf(node);
    if (!node || number == WizardTree::kNoNumber) return;
    std::string error;  // a disk that cannot be read says so when it is searched
    workflow::SelectDisk(session_, number, &error);
    p_.diskTree->setCurrentItem(partitionNode ? partitionNode : node);
    p_.detailsList->ClearRows();
    for (const auto& row : workflow::DiskFactsRows(session_, WizardTree::NumberOf(node)))
        p_.detailsList->AddRow({row.first, row.second});
    if (partitions_) partitions_->DiskChosen(number, partitionNode);
    for (ModeButton* b : p_.modeButtons) b->setEnabled(true);
    if (state_.currentStep == 0) ShowStepPicture(2);
    NoteStepShown();
}

void WizardController::ModeHovered(int mode) {
    if (state_.currentStep != 0) return;
    session_.recoveryMode = static_cast<std::int16_t>(mode);
    for (ModeButton* b : p_.modeButtons) b->setChecked(b->Mode() == mode);
    p_.nextButton->setEnabled(true);
    static const char* const kNextTexts[] = {"", "Next: Quick search", "Next: Advanced search", "Next: Raw recovery"};
    p_.nextModeText->setText(mode >= 1 && mode <= 3 ? kNextTexts[mode] : "");
    p_.nextModeText->setVisible(!p_.nextModeText->text().isEmpty());
}

void WizardController::StartVolumeTree() {
    p_.volumeTree->Clear();
    QTreeWidgetItem* root = p_.volumeTree->InsertItem(
        nullptr, "Disk " + std::to_string(session_.selectedDiskNumber), WizardTree::kRootImage, nw::kNoStateImage);
    root->setExpanded(true);
}

void WizardController::ShowFoundVolumes() {
    StartVolumeTree();
    QTreeWidgetItem* root = p_.volumeTree->topLevelItem(0);
    const std::vector<nw::VolumeDescriptor> volumes = session_.found.Snapshot();
    for (std::uint32_t i = 0; i < volumes.size(); ++i)
        p_.volumeTree->InsertItem(root, volumes[i].name, WizardTree::kDiskImage, nw::kNoStateImage, i);
    root->setExpanded(true);
}

void WizardController::Next() {
    const auto mode = static_cast<workflow::RecoveryMode>(session_.recoveryMode.load());
    if (state_.currentStep == 0) {
        if (mode == workflow::kModeNone || state_.searchWorker.Running()) return;
        workflow::BeginMode(session_, mode);
        if (mode == workflow::kModeRaw) {
            p_.startRecoveryButton->setEnabled(true);
        } else {
            p_.startRecoveryButton->setEnabled(false);
            ShowStep(Layout::SearchStarted);
        }
        if (mode == workflow::kModeQuick) {
            // The disk is read on the search worker: a failing drive's
            // retries and questions never hold the window.
            StartVolumeTree();
            p_.volumeTree->setEnabled(false);
            p_.statusLine->setText("Searching the partition tables...");
            // A stop asked for before this search began is not meant for it.
            state_.searchStop = false;
            state_.searchWorker.Start([this] {
                const workflow::SearchOutcome outcome =
                    workflow::RunQuickSearch(session_, searchProgress_, &state_.searchStop);
                channel_.Post([this, outcome] { SearchEnded(outcome); });
            });
        } else if (mode == workflow::kModeAdvanced) {
            StartVolumeTree();
            p_.volumeTree->setEnabled(false);
            // A stop asked for before this search began is not meant for it.
            state_.searchStop = false;
            ShowSearchProgress(p_, 0);
            const std::optional<workflow::SectorRange> range =
                partitions_ ? partitions_->ChosenRange() : std::nullopt;
            state_.searchWorker.Start([this, range] {
                const workflow::SearchOutcome outcome =
                    range ? workflow::RunAdvancedSearch(session_, searchProgress_, state_.searchStop, range->first,
                                                        range->end)
                          : workflow::RunAdvancedSearch(session_, searchProgress_, state_.searchStop);
                channel_.Post([this, outcome] { SearchEnded(outcome); });
            });
        } else if (mode == workflow::kModeRaw) {
            ShowStep(Layout::RawPanel);
            state_.currentStep = 1;
            NoteStepShown();
        }
    } else if (state_.currentStep == 1) {
        if (mode == workflow::kModeRaw || state_.mountWorker.Running()) return;
        p_.directoryTree->Clear();
        p_.directoryTree->hide();
        state_.currentFolderNode = nw::kNoNode;
        ShowStep(Layout::MountStarted);
        state_.lostScanStop = false;
        state_.storedLengths.clear();
        state_.mountWorker.Start([this] {
            const workflow::MountOutcome outcome =
                mountVolume(session_, mountProgress_, &state_.lostScanStop);
            if (outcome.mounted && !outcome.treeUnreadable)
                state_.storedLengths = workflow::ReadStoredLengths(session_);
            channel_.Post([this, outcome] { MountEnded(outcome); });
        });
    }
}

void WizardController::SearchEnded(const workflow::SearchOutcome& outcome) {
    state_.searchWorker.Join();  // its routine has posted this as its last act
    state_.searchStop = false;
    CloseStopQuestion();
    if (outcome.stopped && outcome.diskOpened) {
        // The user ended it: say what it found so far, not that the disk
        // holds nothing.
        const std::uint32_t n = outcome.volumeCount;
        ShowMessage(window_, QString("Search stopped: %1 volume%2 found").arg(n).arg(n == 1 ? "" : "s"),
                    MessageIcon::Information);
    } else {
        ShowNotice(window_, workflow::SearchEndNotice(outcome));
    }
    if (!outcome.Found()) {
        ShowStep(Layout::Start);
        return;
    }
    if (QTreeWidgetItem* root = p_.volumeTree->topLevelItem(0)) root->setExpanded(true);
    ShowStep(Layout::VolumesListed);
    state_.currentStep = 1;
    NoteStepShown();
}

void WizardController::MountEnded(const workflow::MountOutcome& outcome) {
    state_.mountWorker.Join();  // its routine has posted this as its last act
    state_.lostFolderScanActive = false;
    CloseStopQuestion();
    p_.stopButton->hide();
    if (!outcome.mounted) {
        // Nothing usable was built from this volume: back to the volume
        // list with the reason, where another volume (or, after Back,
        // another disk) can be tried.
        ShowNotice(window_, outcome.notice);
        p_.directoryTree->Clear();
        p_.directoryTree->hide();
        p_.volumeTree->show();
        p_.volumeTree->setEnabled(true);
        p_.backButton->setEnabled(true);
        ShowStep(Layout::VolumeList);
        p_.statusLine->setText(outcome.notice ? QString("The volume could not be opened: %1")
                                                     .arg(QString::fromStdString(outcome.notice->text))
                                               : QString("The volume could not be opened."));
        return;
    }
    if (outcome.treeUnreadable) {
        // No tree to show: the warning, and back to the volumes (another
        // volume or disk may be tried) instead of an empty tree.
        workflow::Unmount(session_);
        state_.currentStep = 1;
        NoteStepShown();
        p_.volumeTree->show();
        p_.volumeTree->setEnabled(true);
        ShowStep(Layout::VolumeList);
        ShowNotice(window_, outcome.notice);
        return;
    }
    ShowOpenVolume();
    ShowNotice(window_, outcome.notice);
}

void WizardController::ShowOpenVolume() {
    ShowStep(Layout::TreeReady);
    p_.directoryTree->ShowFolderTree(session_.mounted);
    p_.directoryTree->ShowChecks(session_.selection);
    ShowStep(Layout::MountFinished);
    state_.currentStep = 2;
    NoteStepShown();
    p_.statusLine->setText(QString::fromStdString(session_.mounted.currentVolume.name + ":\\"));
    state_.currentFolderNode = nw::kRootNode;
    ListFolder(nw::kRootNode);
    state_.treeHasFocus = false;
}

void WizardController::Back() {
    p_.startRecoveryButton->setEnabled(false);
    if (state_.currentStep == 1) {
        state_.currentStep = 0;
        NoteStepShown();
        ShowStep(Layout::Start);
        if (session_.recoveryMode.load() == workflow::kModeRaw) ShowStep(Layout::RawPanelClosed);
        // The disk still highlighted is the chosen one: its facts and the
        // modes come back with it, and the modes can be reached by keyboard.
        session_.recoveryMode = workflow::kModeNone;
        QTreeWidgetItem* disk = p_.diskTree->currentItem();
        if (disk && disk->parent()) {
            DiskChosen(disk);
            p_.diskTree->setFocus(Qt::OtherFocusReason);
        }
    } else if (state_.currentStep == 2) {
        workflow::Unmount(session_);
        p_.directoryTree->Clear();
        state_.currentFolderNode = nw::kNoNode;
        state_.currentStep = 1;
        NoteStepShown();
        p_.directoryTree->hide();
        p_.volumeTree->show();
        p_.volumeTree->setEnabled(true);
        ShowStep(Layout::VolumeList);
    }
}

void WizardController::CloseStopQuestion() { CloseMessages(window_, kStopQuestionText); }

void WizardController::Stop() {
    if (ShowMessage(window_, kStopQuestionText, MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    if (state_.lostFolderScanActive) {
        state_.lostFolderScanActive = false;
        state_.lostScanStop = true;
    } else if (state_.searchWorker.Running()) {
        // Only a running search takes the request; a late answer after the
        // process ended must not stop the next search before it starts.
        state_.searchStop = true;
    }
}

void WizardController::StopWorkers() {
    channel_.Close();
    state_.searchStop = true;
    state_.lostScanStop = true;
    state_.searchWorker.Join();
    state_.mountWorker.Join();
    if (partitions_) partitions_->Stop();
}

// ---- trees ------------------------------------------------------------------------------------

void WizardController::TreePressed(WizardTree* tree, QTreeWidgetItem* item, WizardTree::Hit hit) {
    state_.treeHasFocus = true;
    if (!item || item->text(0).isEmpty()) {
        if (QTreeWidgetItem* root = tree->topLevelItem(0)) tree->setCurrentItem(root);
    }
    if (hit == WizardTree::Hit::CheckBox || hit == WizardTree::Hit::Indent) return;
    const int step = state_.currentStep;
    if (step == 1 && tree == p_.volumeTree && item) {
        if (item->parent() == nullptr) return;  // the disk root
        const std::uint32_t index = WizardTree::NumberOf(item);
        if (index == WizardTree::kNoNumber || !workflow::ChooseVolume(session_, index)) return;
        tree->setCurrentItem(item);
        item->setSelected(true);
        p_.detailsList->ClearRows();
        for (const std::string& row : workflow::VolumeFactsRows(session_.mounted.currentVolume))
            p_.detailsList->AddRow({row});
        const std::uint64_t sectors = session_.mounted.currentVolume.sizeInSectors;
        p_.detailsList->AddRow({QString("Volume Size       :   %1 (%2 sectors)")
                                    .arg(SizeText(sectors * disk::kSectorSize))
                                    .arg(sectors)
                                    .toStdString()});
        p_.nextButton->setEnabled(true);
    } else if (step == 0 && tree == p_.diskTree) {
        if (item && item != tree->topLevelItem(0) && !item->text(0).isEmpty()) DiskChosen(item);
    } else if (step == 2 && tree == p_.directoryTree && item && hit != WizardTree::Hit::Nowhere) {
        ShowFolderOf(item);
    }
}

// ---- raw panel -----------------------------------------------------------------------------------

void WizardController::EntireDisk() {
    for (QLineEdit* f : {p_.startSectorField, p_.endSectorField}) {
        f->clear();
        f->setEnabled(false);
    }
    state_.rangeIsWholeDisk = true;
    state_.rangeIsSectorRange = false;
}

void WizardController::SectorRange() {
    p_.startSectorField->setEnabled(true);
    p_.endSectorField->setEnabled(true);
    p_.startSectorLabel->setEnabled(true);
    p_.endSectorLabel->setEnabled(true);
    const std::uint64_t sectors = workflow::DiskSectorCount(session_, session_.selectedDiskNumber);
    p_.endSectorField->setText(QString::number(sectors > 0 ? sectors - 1 : 0));  // the last sector
    p_.startSectorField->setText("0");
    state_.rangeIsWholeDisk = false;
    state_.rangeIsSectorRange = true;
}

}  // namespace app
