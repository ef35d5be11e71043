// Building the main window's controls: its menus, the central area with
// the wizard's trees, mode buttons, list, raw panel and bottom line, and the
// status bar with its clock.
#include "app/MainWindow.h"
#include "app/FolderMount.h"
#include "app/MainWindowGeometry.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFileInfo>
#include <algorithm>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/AboutDialog.h"
#include "app/BalloonHelp.h"
#include "app/DesktopOpen.h"
#include "app/HelpFile.h"
#include "app/Icons.h"
#include "app/Messages.h"
#include "app/RawPanelWidget.h"
#include "app/SupportContacts.h"
#include "app/SupportDetails.h"
#include "app/WindowCommands.h"
#include "app/VerifyDiskDialog.h"
#include "netware/MountedVolume.h"
#include "base/Identity.h"
#include "raw/FormatKinds.h"
#include "records/ActivityLog.h"
#include "disk/Disk.h"
#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace app {

using namespace mainwindow;

// ---- building ------------------------------------------------------------------------

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto add = [](QMenu* menu, const QString& text, const char* help) {
        QAction* a = menu->addAction(text);
        if (help) a->setStatusTip(HelpTip(help));
        return a;
    };

    QMenu* options = bar->addMenu("&Options");
    parts_.saveAction = add(options, "&Save ", "Save files that have been selected \n");
    parts_.saveSettingsAction = add(options, "Save Se&ttings", "Set the options for saving selected data\n");
    QAction* nameSpaces = add(options, "&Name Spaces...", "Choose the names shown and what a save makes of forks and links\n");
    nameSpacesAction_ = nameSpaces;
    connect(nameSpaces, &QAction::triggered, this, &MainWindow::ChooseNameSpaces);
    QMenu* later = options->addMenu("Save &later");
    parts_.saveLogAction = add(later, "Save Log", "Save the recovery information\n");
    parts_.loadLogAction = add(later, "Load Log", "Load the recovery information\n");
    markAction_ = add(options, "&Mark Compressed Files", "Mark Compressed Files\n");
    markAction_->setEnabled(false);
    connect(markAction_, &QAction::triggered, this, [this] { commands_->MarkCompressed(); });
    QAction* openAsFolder = add(options, kOpenAsFolderText, nullptr);
    folderMount_ = new FolderMount(*this, *openAsFolder);
    connect(openAsFolder, &QAction::triggered, this, [this] { folderMount_->Open(); });
    options->addSeparator();
    parts_.openImageAction = add(options, "Open Disk Image...", "Use a disk image file as a disk");
    QAction* verify = add(options, "&Verify Disk", "Check the chosen disk against the hashes stored with it");
    verify->setObjectName("verifyDiskAction");
    connect(verify, &QAction::triggered, this, [this] { VerifyChosenDisk(*this); });
    options->addSeparator();
    exitAction_ = add(options, "E&xit", "Quit from Tarvine\n");
    connect(exitAction_, &QAction::triggered, this, &MainWindow::MenuExit);
    connect(parts_.openImageAction, &QAction::triggered, this, &MainWindow::OpenDiskImage);
    connect(options, &QMenu::aboutToShow, this, [this] {
        parts_.openImageAction->setEnabled(state_.currentStep == 0 && !state_.searchWorker.Running());
        nameSpacesAction_->setEnabled(!state_.mountWorker.Running());
    });

    QMenu* maintenance = bar->addMenu("&Maintenance");
    QAction* update = add(maintenance, "&Update", "Update Tarvine\n");
    connect(update, &QAction::triggered, this,
            [this] { Info("Liveupdate", "Currently This Feature Is Not Available"); });
    QMenu* report = maintenance->addMenu("Report");
    QAction* viewReport = add(report, "&View Report", "View the recovery details\n");
    connect(viewReport, &QAction::triggered, this, [this] { commands_->ViewReport(); });
    connect(add(report, "&Email Report", nullptr), &QAction::triggered, this, [this] { commands_->EmailReport(); });
    QMenu* list = maintenance->addMenu("Directory List");
    parts_.listViewAction = add(list, "&View", "View Directory Information");
    parts_.listPrintAction = add(list, "&Print", "Print Directory Information");
    parts_.listEmailAction = add(list, "&Email List", "Email Directory Information");

    QMenu* support = bar->addMenu("&Support");
    connect(add(support, "&Online", nullptr), &QAction::triggered, this,
            [this] { OpenWithDesktop(support::WebSite(*session_.store), true); });
    connect(add(support, "&Email", "Support through email"), &QAction::triggered, this, [this] {
        Info(base::kProductTitle, QString("Send email to ") + support::MailAddress(*session_.store));
    });
    connect(add(support, "&Telephonic", nullptr), &QAction::triggered, this, [this] {
        Info("Telephonic Support", QString("Telephone Numbers : \n") + support::TelephoneLines(*session_.store));
    });

    QMenu* help = bar->addMenu("&Help");
    QAction* contents = add(help, "Contents        ", nullptr);
    connect(contents, &QAction::triggered, this, &MainWindow::HelpContents);
    balloonAction_ = add(help, "Show Balloon Help", "Show (or) Hide Balloon Help");
    balloonAction_->setCheckable(true);
    balloonAction_->setChecked(true);
    connect(balloonAction_, &QAction::toggled, this, [this](bool on) {
        if (BalloonHelp* help = BalloonHelp::Of(this)) help->on = on;
    });
    QMenu* language = help->addMenu("Balloon Help Language");
    languages_ = new QActionGroup(this);
    languages_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const Language& l : kLanguages) {
        QAction* a = language->addAction(l.label);
        a->setCheckable(true);
        a->setData(QString(l.file));
        languages_->addAction(a);
        const QString file = l.file;
        connect(a, &QAction::triggered, this, [this, file] { ChooseLanguage(file); });
    }
    QAction* about = add(help, "&About...", "About Tarvine");
    connect(about, &QAction::triggered, this, [this] {
        AboutDialog dialog(this);
        dialog.exec();
    });

    // Commands whose work needs a mounted volume start greyed.
    for (QAction* a : {parts_.saveAction, parts_.saveSettingsAction, parts_.saveLogAction, parts_.listViewAction,
                       parts_.listPrintAction, parts_.listEmailAction})
        a->setEnabled(false);
}

void MainWindow::BuildCentral() {
    auto* central = new QWidget(this);
    central->setObjectName("central");
    central->setMinimumSize(kWidth, kCentralHeight);
    setCentralWidget(central);

    // Tool buttons, top left, in their order.
    struct ToolDef {
        Tool tool;
        icons::Tool picture;
        const char* tip;
        const char* name;
    };
    const ToolDef defs[5] = {{Tool::SaveData, icons::Tool::SaveData, "Save Data", "toolSaveData"},
                             {Tool::LoadLog, icons::Tool::LoadLog, "Load Log", "toolLoadLog"},
                             {Tool::SaveLog, icons::Tool::SaveLog, "Save Log", "toolSaveLog"},
                             {Tool::Exit, icons::Tool::Exit, "Exit from Tarvine", "toolExit"},
                             {Tool::Help, icons::Tool::Help, "Help", "toolHelp"}};
    for (int i = 0; i < 5; ++i) {
        auto* b = new QToolButton(central);
        b->setObjectName(defs[i].name);
        b->setIcon(icons::ToolImage(defs[i].picture));
        b->setIconSize(QSize(24, 24));
        b->setToolTip(defs[i].tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(5 + i * 44, 4, 38, 36);
        tools_[static_cast<int>(defs[i].tool)] = b;
    }
    connect(tools_[0], &QToolButton::clicked, this, &MainWindow::SaveDataTool);
    connect(tools_[1], &QToolButton::clicked, this, &MainWindow::LoadLogTool);
    connect(tools_[2], &QToolButton::clicked, this, &MainWindow::SaveLogTool);
    connect(tools_[3], &QToolButton::clicked, this, &QWidget::close);
    connect(tools_[4], &QToolButton::clicked, this, &MainWindow::HelpContents);

    parts_.volumeCountText = new QLabel(central);
    parts_.volumeCountText->setObjectName("volumeCountText");
    parts_.volumeCountText->setGeometry(kVolumeCount);
    QFont bold = parts_.volumeCountText->font();
    bold.setBold(true);
    parts_.volumeCountText->setFont(bold);

    parts_.stepPicture = new QLabel(central);
    parts_.stepPicture->setObjectName("stepPicture");
    parts_.stepPicture->setGeometry(kPicture);
    parts_.stepPicture->setScaledContents(true);

    // Left column.
    parts_.diskFrame = new QGroupBox("Select Disk", central);
    parts_.diskFrame->setObjectName("diskFrame");
    parts_.diskFrame->setGeometry(kDiskFrame);
    parts_.plainFrame = new QFrame(central);
    parts_.plainFrame->setObjectName("plainFrame");
    parts_.plainFrame->setFrameShape(QFrame::StyledPanel);
    parts_.plainFrame->setGeometry(kModeFrame);
    parts_.modeFrame = new QGroupBox("Recovery Modes", central);
    parts_.modeFrame->setObjectName("modeFrame");
    parts_.modeFrame->setGeometry(kModeFrame);

    parts_.diskTree = new WizardTree("diskTree", central);
    parts_.diskTree->setGeometry(kDiskTree);
    // "My Computer" is always open: its disks take no branch indent, so a
    // disk's name and file fit the column at the default size.
    parts_.diskTree->setRootIsDecorated(false);
    parts_.volumeTree = new WizardTree("volumeTree", central);
    parts_.volumeTree->setGeometry(kLeftTree);
    parts_.volumeTree->hide();
    parts_.directoryTree = new WizardTree("directoryTree", central);
    parts_.directoryTree->setGeometry(kLeftTree);
    parts_.directoryTree->hide();
    for (WizardTree* tree : {parts_.diskTree, parts_.volumeTree, parts_.directoryTree}) {
        connect(tree, &WizardTree::Pressed, this,
                [this, tree](QTreeWidgetItem* item, WizardTree::Hit hit) { wizard_->TreePressed(tree, item, hit); });
        connect(tree, &WizardTree::CheckBoxPressed, this,
                [this, tree](QTreeWidgetItem* item) { wizard_->CheckBoxPressed(tree, item); });
        // The arrows choose a disk or a volume as a click does.
        connect(tree, &QTreeWidget::currentItemChanged, this, [this, tree](QTreeWidgetItem* item) {
            if (!item || !item->parent() || !tree->hasFocus()) return;
            if ((tree == parts_.diskTree && state_.currentStep == 0 && !state_.searchWorker.Running()) ||
                (tree == parts_.volumeTree && state_.currentStep == 1 && !state_.mountWorker.Running()))
                wizard_->TreePressed(tree, item, WizardTree::Hit::Label);
        });
        connect(tree, &QTreeWidget::itemExpanded, this, [this] { state_.treeHasFocus = true; });
        connect(tree, &QTreeWidget::itemCollapsed, this, [this] { state_.treeHasFocus = true; });
    }

    const char* const modeTexts[3] = {"Quick ", "Advanced ", "Raw Recovery"};
    const char* const modeNames[3] = {"modeQuick", "modeAdvanced", "modeRaw"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new ModeButton(modeTexts[i], i + 1, central);
        b->setObjectName(modeNames[i]);
        b->setGeometry(kModeFrame.left() + 20, kModeFrame.top() + 26 + i * 27, kModeFrame.width() - 30, 24);
        b->setEnabled(false);
        connect(b, &ModeButton::Hovered, wizard_, [this](int mode) { wizard_->ModeHovered(mode); });
        parts_.modeButtons[i] = b;
    }

    parts_.detailsList = new DetailsList(central);
    parts_.detailsList->setGeometry(kDetails);
    connect(parts_.detailsList, &DetailsList::RowOpened, wizard_, &WizardController::OpenRow);
    connect(parts_.detailsList, &DetailsList::RowTicked, wizard_, &WizardController::RowTicked);
    connect(parts_.detailsList, &DetailsList::ContextMenuAt, this, &MainWindow::ListContextMenu);
    connect(parts_.detailsList, &DetailsList::Clicked, this, [this] { state_.treeHasFocus = false; });

    BuildRawPanel(central);

    // Bottom line.
    parts_.statusLine = new QLabel(central);
    parts_.statusLine->setObjectName("statusLine");
    parts_.statusLine->setGeometry(kStatusLine);
    parts_.searchProgress = new ui::CaptionProgressBar(central);
    parts_.searchProgress->setObjectName("searchProgress");
    parts_.searchProgress->setGeometry(kProgress);
    parts_.searchProgress->hide();
    parts_.stopButton = new QPushButton("Stop Searching", central);
    parts_.stopButton->setObjectName("stopButton");
    parts_.stopButton->setGeometry(kStop);
    parts_.stopButton->hide();
    connect(parts_.stopButton, &QPushButton::clicked, wizard_, &WizardController::Stop);
    parts_.backButton = new QPushButton("B&ack", central);
    parts_.backButton->setObjectName("backButton");
    parts_.backButton->setGeometry(kBack);
    parts_.backButton->setEnabled(false);
    parts_.backButton->hide();
    connect(parts_.backButton, &QPushButton::clicked, wizard_, &WizardController::Back);
    parts_.nextButton = new QPushButton("&Next", central);
    parts_.nextButton->setObjectName("nextButton");
    parts_.nextButton->setGeometry(kNext);
    parts_.nextButton->setEnabled(false);
    connect(parts_.nextButton, &QPushButton::clicked, wizard_, &WizardController::Next);
    parts_.nextModeText = new QLabel(central);
    parts_.nextModeText->setObjectName("nextModeText");
    parts_.nextModeText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    parts_.nextModeText->hide();
    for (QPushButton* b : {parts_.stopButton, parts_.backButton, parts_.nextButton}) b->setAutoDefault(false);

    splitHandle_ = new QFrame(central);
    splitHandle_->setObjectName("splitHandle");
    splitHandle_->setFrameShape(QFrame::VLine);
    splitHandle_->setFrameShadow(QFrame::Sunken);
    splitHandle_->setCursor(Qt::SplitHCursor);
    splitHandle_->setToolTip("Drag to share the width between the tree and the list");

    // Stacking: frames below the controls placed on them.
    parts_.plainFrame->lower();
    parts_.diskTree->raise();
    for (ModeButton* b : parts_.modeButtons) b->raise();
}

void MainWindow::BuildRawPanel(QWidget* central) {
    auto* panel = new QWidget(central);
    panel->setObjectName("rawPanel");
    panel->setGeometry(kRawPanel);
    panel->setAutoFillBackground(true);
    parts_.rawPanel = panel;

    auto* types = new QGroupBox("Select File Type(s) for Raw Recovery", panel);
    auto* tl = new QVBoxLayout(types);
    parts_.fileTypeList = new QTreeWidget;
    parts_.fileTypeList->setObjectName("fileTypeList");
    parts_.fileTypeList->setRootIsDecorated(false);
    parts_.fileTypeList->setHeaderLabels({"File Types"});
    parts_.fileTypeList->setColumnWidth(0, 260);
    for (const raw::DocumentKind& kind : raw::DocumentKinds()) {
        auto* item = new QTreeWidgetItem({QString(workflow::DocumentKindCaption(kind.code))});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(0, Qt::Unchecked);
        parts_.fileTypeList->addTopLevelItem(item);
    }
    tl->addWidget(parts_.fileTypeList);

    auto* method = new QGroupBox("Select Raw Recovery Method", panel);
    auto* ml = new QGridLayout(method);
    parts_.entireDiskButton = new QRadioButton("Entire Disk");
    parts_.sectorRangeButton = new QRadioButton("Sector Range");
    parts_.startSectorLabel = new QLabel("Start Sector");
    parts_.endSectorLabel = new QLabel("End Sector");
    parts_.startSectorField = new QLineEdit;
    parts_.endSectorField = new QLineEdit;
    parts_.startSectorField->setObjectName("startSector");
    parts_.endSectorField->setObjectName("endSector");
    for (QLineEdit* f : {parts_.startSectorField, parts_.endSectorField}) f->setEnabled(false);
    ml->addWidget(parts_.entireDiskButton, 0, 0);
    ml->addWidget(parts_.sectorRangeButton, 0, 1);
    ml->addWidget(parts_.startSectorLabel, 1, 0);
    ml->addWidget(parts_.startSectorField, 1, 1);
    ml->addWidget(parts_.endSectorLabel, 2, 0);
    ml->addWidget(parts_.endSectorField, 2, 1);
    connect(parts_.entireDiskButton, &QRadioButton::clicked, wizard_, &WizardController::EntireDisk);
    connect(parts_.sectorRangeButton, &QRadioButton::clicked, wizard_, &WizardController::SectorRange);

    parts_.startRecoveryButton = new QPushButton("Start &Recovery");
    parts_.startRecoveryButton->setObjectName("startRecovery");
    parts_.startRecoveryButton->setEnabled(false);
    parts_.startRecoveryButton->setAutoDefault(false);

    auto* report = new QGroupBox("Report", panel);
    auto* rl = new QVBoxLayout(report);
    parts_.filesRecoveredList = new QTreeWidget;
    parts_.filesRecoveredList->setObjectName("filesRecoveredList");
    parts_.filesRecoveredList->setRootIsDecorated(false);
    parts_.filesRecoveredList->setHeaderLabels({QString(51, ' ') + "Files Recovered"});
    parts_.filesRecoveredList->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    parts_.filesRecoveredList->setColumnWidth(0, 440);
    rl->addWidget(parts_.filesRecoveredList);

    auto* left = new QVBoxLayout;
    left->addWidget(types, 3);
    left->addWidget(method, 2);
    left->addWidget(parts_.startRecoveryButton);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(left, 0);
    layout->addWidget(report, 1);
    types->setMinimumWidth(300);
    panel->hide();
}

void MainWindow::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    where_ = new QLabel;
    where_->setObjectName("wherePane");
    bar->addPermanentWidget(where_, 1);
    clock_ = new QLabel;
    clock_->setObjectName("clockPane");
    clock_->setMinimumWidth(clock_->fontMetrics().horizontalAdvance("00:00 PM") + 16);
    clock_->setAlignment(Qt::AlignCenter);
    clock_->setFrameShape(QFrame::StyledPanel);
    bar->addPermanentWidget(clock_);
}

}  // namespace app
