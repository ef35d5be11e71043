#include "app/MainWindow.h"

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
#include <QStatusBar>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/AboutDialog.h"
#include "app/BalloonHelp.h"
#include "app/HelpFile.h"
#include "app/Icons.h"
#include "app/Messages.h"
#include "app/RawPanelWidget.h"
#include "app/SupportContacts.h"
#include "app/SupportDetails.h"
#include "app/WindowCommands.h"
#include "netware/MountedVolume.h"
#include "base/Identity.h"
#include "raw/FormatKinds.h"
#include "records/ActivityLog.h"
#include "disk/Disk.h"
#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace app {

namespace {

constexpr int kWidth = 860;
constexpr int kCentralHeight = 556;

// Left column, list and bottom line of the central area.
const QRect kPicture(5, 44, 240, 60);
const QRect kDiskFrame(5, 108, 240, 262);
const QRect kDiskTree(13, 128, 224, 234);
const QRect kModeFrame(5, 374, 240, 112);
const QRect kLeftTree(5, 108, 240, 378);
const QRect kDetails(255, 44, 600, 442);
const QRect kRawPanel(5, 108, 850, 378);
const QRect kVolumeCount(262, 8, 300, 28);
const QRect kStatusLine(5, 492, 545, 22);
const QRect kProgress(5, 518, 420, 26);
const QRect kStop(435, 516, 130, 30);
const QRect kBack(655, 516, 95, 30);
const QRect kNext(760, 516, 95, 30);
constexpr int kLeftWidth = 240;  // the left column at the default size
constexpr const char* kWindowSizeValue = "WindowSize";

struct Language {
    const char* label;
    const char* file;
};
const Language kLanguages[4] = {{"Dutch", "DutchA.dat"}, {"English", "EnglishA.dat"}, {"French", "FrenchA.dat"},
                                {"German", "GermanA.dat"}};

QString HelpTip(const char* text) { return QString(text).trimmed(); }

}  // namespace

MainWindow::MainWindow(workflow::SettingsStore& store, std::vector<disk::DiskSource> sources, QWidget* parent)
    : QMainWindow(parent), sources_(std::move(sources)), session_(store) {
    setObjectName("mainWindow");
    setWindowTitle(base::kProductTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(icons::WindowIcon());
    // The control with the keyboard focus stands out.
    setStyleSheet("app--ModeButton:focus { background: palette(highlight); color: palette(highlighted-text);"
                  " border-radius: 3px; }"
                  "QTreeView:focus { border: 2px solid palette(highlight); }");
    wizard_ = new WizardController(parts_, session_, state_, channel_, this);
    BuildMenus();
    BuildCentral();
    BuildStatusBar();
    commands_ = new WindowCommands(*this);
    // The default size is the smallest: the window grows, the left column
    // and the list share the width through the handle between them.
    resize(kWidth, kCentralHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    setMinimumSize(size());
    LayOut();

    shellOpen = [](const QString& target, bool isUrl) {
        return QDesktopServices::openUrl(isUrl ? QUrl(target) : QUrl::fromLocalFile(target));
    };
    wizard_->stepShown = [this] { ShowStepState(); };
    endProcess = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };
    wizard_->endProcess = [this](int status) { endProcess(status); };
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    if (isVisible() && !isMaximized())
        session_.store->Write(base::kClassesRoot, base::kProductKey, kWindowSizeValue,
                              std::to_string(width()) + "x" + std::to_string(height()));
    Shutdown();
    // The job dialogs and the raw panel run workers over the session: they
    // go now, while the session still exists (the window's own children
    // would otherwise outlive it), and before the commands that own the
    // save job. Each answers its own questions, stops its work and waits.
    QList<QPointer<QDialog>> dialogs;
    for (QDialog* d : findChildren<QDialog*>()) dialogs.append(d);
    for (const QPointer<QDialog>& d : dialogs) delete d.data();
    delete commands_->RawPanel();
    delete commands_;
    commands_ = nullptr;
    session_.policy.SetPrompt(nullptr);
}

void MainWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // Questions still open get the answer that closing them gives; then the
    // workers are stopped and waited for (none of them waits for this thread
    // any more). The job dialogs do the same for their own workers when they
    // go with the window.
    wizard_->StopWorkers();
}

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
    QMenu* later = options->addMenu("Save &later");
    parts_.saveLogAction = add(later, "Save Log", "Save the recovery information\n");
    parts_.loadLogAction = add(later, "Load Log", "Load the recovery information\n");
    markAction_ = add(options, "&Mark Compressed Files", "Mark Compressed Files\n");
    markAction_->setEnabled(false);
    connect(markAction_, &QAction::triggered, this, [this] { commands_->MarkCompressed(); });
    options->addSeparator();
    parts_.openImageAction = add(options, "Open Disk Image...", "Use a disk image file as a disk");
    options->addSeparator();
    exitAction_ = add(options, "E&xit", "Quit from Tarvine\n");
    connect(exitAction_, &QAction::triggered, this, &MainWindow::MenuExit);
    connect(parts_.openImageAction, &QAction::triggered, this, &MainWindow::OpenDiskImage);
    connect(options, &QMenu::aboutToShow, this, [this] {
        parts_.openImageAction->setEnabled(state_.currentStep == 0 && !state_.searchWorker.Running());
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
        connect(tree, &QTreeWidget::itemExpanded, this, [this] { state_.treeHasFocus = 1; });
        connect(tree, &QTreeWidget::itemCollapsed, this, [this] { state_.treeHasFocus = 1; });
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
    connect(parts_.detailsList, &DetailsList::Clicked, this, [this] { state_.treeHasFocus = 0; });

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
    clock_->setMinimumWidth(60);
    clock_->setAlignment(Qt::AlignCenter);
    clock_->setFrameShape(QFrame::StyledPanel);
    bar->addPermanentWidget(clock_);
}

// ---- what can run now ----------------------------------------------------------------------

void MainWindow::ShowStepState() {
    const int step = state_.currentStep;
    const bool raw = session_.recoveryMode.load() == workflow::kModeRaw && step >= 1;
    const bool busy = state_.searchWorker.Running() || state_.mountWorker.Running();
    struct Gate {
        Tool tool;
        const char* name;
        bool open;
        const char* why;
    };
    const Gate gates[3] = {
        {Tool::SaveData, "Save Data", step == 2 && !busy, "available once a volume is open"},
        {Tool::LoadLog, "Load Log", !raw && step != 2 && !busy,
         raw ? "not available in Raw Recovery mode" : "available while choosing a disk or a volume"},
        {Tool::SaveLog, "Save Log", !raw && step == 2 && !busy,
         raw ? "not available in Raw Recovery mode" : "available once a volume is open"},
    };
    for (const Gate& g : gates) {
        QToolButton* b = ToolButton(g.tool);
        b->setEnabled(g.open);
        b->setToolTip(g.open ? QString(g.name) : QString("%1 (%2)").arg(g.name, g.why));
    }
    parts_.loadLogAction->setEnabled(ToolButton(Tool::LoadLog)->isEnabled());
    parts_.saveLogAction->setEnabled(ToolButton(Tool::SaveLog)->isEnabled());
    if (markAction_) markAction_->setEnabled(step == 2 && !busy);
    // The handle shares the width between a left column and the list.
    splitHandle_->setVisible(!parts_.rawPanel->isVisible());

    // Status bar: the disk, the volume, and what the volume holds.
    QStringList where;
    for (const disk::DiskInfo& d : session_.diskList)
        if (d.number == session_.selectedDiskNumber && !session_.selectedDiskLabel.empty())
            where << QString("%1 (%2)").arg(QString::fromStdString(session_.selectedDiskLabel),
                                            QFileInfo(QString::fromStdString(d.path)).fileName());
    if (session_.volumeOpen.load() && step == 2) {
        const nw::MountedVolume& v = session_.mounted;
        where << QString("Volume %1").arg(QString::fromStdString(v.currentVolume.name))
              << QString("%1 folders, %2 files").arg(v.FolderList.Size()).arg(v.FileList.Size());
    } else if (step == 1 && !raw) {
        where << QString("%1 volume(s) found").arg(session_.found.volumeCount.load());
    }
    where_->setText(where.join("   |   "));
}

// ---- size ----------------------------------------------------------------------------------

void MainWindow::LayOut() {
    QWidget* central = centralWidget();
    if (!central || !parts_.detailsList) return;
    const int w = std::max(kWidth, central->width());
    const int h = std::max(kCentralHeight, central->height());
    const int dx = w - kWidth;
    const int dy = h - kCentralHeight;
    const int left = std::clamp(leftWidth_, kLeftWidth, std::max(kLeftWidth, w / 2));
    const int listX = 5 + left + 10;

    parts_.diskFrame->setGeometry(kDiskFrame.x(), kDiskFrame.y(), left, kDiskFrame.height() + dy);
    parts_.diskTree->setGeometry(kDiskTree.x(), kDiskTree.y(), left - 16, kDiskTree.height() + dy);
    const QRect modes(kModeFrame.x(), kModeFrame.y() + dy, left, kModeFrame.height());
    parts_.plainFrame->setGeometry(modes);
    parts_.modeFrame->setGeometry(modes);
    for (int i = 0; i < 3; ++i)
        parts_.modeButtons[i]->setGeometry(modes.left() + 20, modes.top() + 26 + i * 27, left - 30, 24);
    const QRect tree(kLeftTree.x(), kLeftTree.y(), left, kLeftTree.height() + dy);
    parts_.volumeTree->setGeometry(tree);
    parts_.directoryTree->setGeometry(tree);
    parts_.detailsList->setGeometry(listX, kDetails.y(), w - listX - 5, kDetails.height() + dy);
    splitHandle_->setGeometry(5 + left + 2, kDetails.y(), 6, kDetails.height() + dy);
    parts_.rawPanel->setGeometry(kRawPanel.x(), kRawPanel.y(), kRawPanel.width() + dx, kRawPanel.height() + dy);
    parts_.volumeCountText->setGeometry(listX + 7, kVolumeCount.y(), kVolumeCount.width() + dx, kVolumeCount.height());
    parts_.statusLine->setGeometry(kStatusLine.x(), kStatusLine.y() + dy, kStatusLine.width() + dx,
                                   kStatusLine.height());
    parts_.searchProgress->setGeometry(kProgress.translated(0, dy));
    parts_.stopButton->setGeometry(kStop.translated(0, dy));
    parts_.backButton->setGeometry(kBack.translated(dx, dy));
    parts_.nextButton->setGeometry(kNext.translated(dx, dy));
    parts_.detailsList->FitColumns();
}

// ---- start-up ------------------------------------------------------------------------------

bool MainWindow::Initialise() {
    setWindowTitle(base::kProductTitle);
    session_.installFolder = workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey,
                                                        base::kInstallFolderValue);
    if (session_.installFolder.empty()) {
        ShowMessage(this, "Tarvine is not installed properly", MessageIcon::Error);
        return false;
    }
    const std::string dataFolder = records::UserDataFolder();
    session_.activityLog.path = dataFolder.empty() ? std::string() : dataFolder + "/" + records::kActivityLogName;
    session_.activityLog.WriteStartHeader(std::time(nullptr));
    session_.policy.SetPrompt(&badSectorQuestion_);

    clockTimer_ = startTimer(1000);
    if (clockTimer_ == 0) {
        ShowMessage(this, "No timers are available.", MessageIcon::Error);
    } else {
        ShowClock();
    }

    state_.currentStep = -1;
    std::string error;
    const bool listed = workflow::AttachDisks(session_, sources_, &error);
    wizard_->ShowDisks();
    state_.currentStep = 0;
    if (!listed) ShowMessage(this, QString::fromStdString(error), MessageIcon::Error);

    session_.tempFolder = QDir::tempPath().toStdString();

    // The balloon language: the menu shows the stored choice when it names
    // one of the four files exactly.
    const QString stored = QString::fromStdString(
        workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey, base::kLanguageValue));
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == stored);
    // Menu and mode balloons, the language file chosen from "LngFile".
    BalloonHelp* help = BalloonHelp::Install(this, *session_.store, session_.installFolder);
    help->on = balloonAction_->isChecked();

    state_.exitQuestionOpen = 0;
    wizard_->ShowStepPicture(1);
    // The size the window had when it was last closed.
    const QString size = QString::fromStdString(
        workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey, kWindowSizeValue));
    const QStringList wh = size.split('x');
    if (wh.size() == 2 && wh[0].toInt() > 0 && wh[1].toInt() > 0)
        resize(QSize(wh[0].toInt(), wh[1].toInt()).expandedTo(minimumSize()));
    ShowStepState();
    return true;
}

// ---- clock ---------------------------------------------------------------------------------

QString MainWindow::ClockText(int hour, int minute) {
    const int shown = hour > 12 ? hour - 12 : hour;
    return QString::asprintf("%02i:%02i", shown, minute);
}

void MainWindow::ShowSearchEstimate() {
    if (!state_.searchWorker.Running() || !parts_.searchProgress->isVisible()) {
        if (searchClock_.isValid()) {
            searchClock_.invalidate();
            ShowStepState();
        }
        return;
    }
    if (!searchClock_.isValid()) searchClock_.start();
    const std::uint64_t bytes = workflow::DiskSectorCount(session_, session_.selectedDiskNumber) * disk::kSectorSize;
    const QString estimate = EstimateText(parts_.searchProgress->value(), searchClock_.elapsed(), bytes);
    if (!estimate.isEmpty()) where_->setText("Searching: " + estimate);
}

void MainWindow::ShowClock() {
    const QTime now = QTime::currentTime();
    clock_->setText(ClockText(now.hour(), now.minute()));
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == clockTimer_) {
        ShowClock();
        ShowSearchEstimate();
        return;
    }
    QMainWindow::timerEvent(event);
}

// ---- exit ----------------------------------------------------------------------------------

bool MainWindow::AskExit() {
    if (state_.exitQuestionOpen == 1) return false;  // the question is already on screen
    state_.exitQuestionOpen = 1;
    QPointer<MainWindow> self(this);
    const MessageAnswer a =
        ShowMessage(this, "Do you want to exit from Tarvine?", MessageIcon::Question, MessageButtons::YesNo);
    if (!self) return false;
    if (a != MessageAnswer::Yes) {
        state_.exitQuestionOpen = 0;
        return false;
    }
    return true;
}

void MainWindow::MenuExit() {
    if (AskExit()) endProcess(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (AskExit()) {
        // A worker still asking a question gets its answer now; one still
        // running ends with the program.
        channel_.Close();
        event->accept();
        QMainWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

// ---- tool buttons and commands -------------------------------------------------------------

void MainWindow::Info(const QString& caption, const QString& text) {
    ShowMessage(this, caption, text, MessageIcon::Information);
}

void MainWindow::Refuse(const char* text) { ShowMessage(this, text, MessageIcon::Error); }

void MainWindow::SaveDataTool() {
    if (state_.currentStep < 2) {
        Refuse(workflow::kGoToStep2Text);
        return;
    }
    commands_->SaveTree(true);
}

void MainWindow::LoadLogTool() {
    if (session_.recoveryMode.load() == workflow::kModeRaw) {
        Refuse(workflow::kRawModeRefusalText);
        return;
    }
    if (state_.currentStep == 2) {
        Refuse(workflow::kGoToStep1Or2Text);
        return;
    }
    commands_->LoadLog();
}

void MainWindow::SaveLogTool() {
    if (session_.recoveryMode.load() == workflow::kModeRaw) {
        Refuse(workflow::kRawModeRefusalText);
        return;
    }
    if (state_.currentStep != 2) {
        Refuse(workflow::kGoToStep2Text);
        return;
    }
    commands_->SaveLog();
}

void MainWindow::HelpContents() {
    const QString help = HelpFileIn(QString::fromStdString(session_.installFolder));
    if (!QFileInfo::exists(help)) {
        ShowMessage(this, "The help file cannot be found: " + help, MessageIcon::Error);
        return;
    }
    OpenWithDesktop(help, false);
}

void MainWindow::OpenWithDesktop(const QString& target, bool isUrl) {
    if (shellOpen && shellOpen(target, isUrl)) return;
    ShowMessage(this,
                QString("Could not open %1: no program on this system is set up to open it.").arg(target),
                MessageIcon::Error);
}

void MainWindow::ListContextMenu(const QPoint& globalPos) {
    if (state_.currentStep != 2 || parts_.detailsList->selectedItems().isEmpty()) return;
    QMenu menu(this);
    QAction* save = menu.addAction("Save");
    menu.setDefaultAction(save);
    if (menu.exec(globalPos) == save) commands_->SaveList();
}

void MainWindow::ChooseLanguage(const QString& file) {
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == file);
    session_.store->Write(base::kClassesRoot, base::kProductKey, base::kLanguageValue, file.toStdString());
}

void MainWindow::OpenDiskImage() {
    if (state_.currentStep != 0 || state_.searchWorker.Running()) return;
    QFileDialog dialog(this, "Open Disk Image");
    dialog.setObjectName("openImageDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"Disk images (*.img *.dd *.raw *.bin *.ima *.vhd *.vhdx *.vmdk *.qcow2 *.qcow *.E01 *.e01 *.001 *.aa)", "All files (*)"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AttachImage(dialog.selectedFiles().first());
}

bool MainWindow::AttachImage(const QString& path) {
    unsigned number = 0;
    std::string error;
    if (!workflow::AddImageDisk(session_, path.toStdString(), &number, &error)) {
        Refuse(error.c_str());
        return false;
    }
    wizard_->ShowDisks();
    QTreeWidgetItem* root = parts_.diskTree->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i)
        if (WizardTree::NumberOf(root->child(i)) == number) wizard_->DiskChosen(root->child(i));
    return true;
}

// ---- keyboard ----------------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) LayOut();
    if (watched == splitHandle_ && event->type() == QEvent::MouseMove) {
        auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() & Qt::LeftButton) {
            leftWidth_ = splitHandle_->mapTo(centralWidget(), move->position().toPoint()).x() - 5;
            LayOut();
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    auto* target = static_cast<QWidget*>(watched);
    // Keys of this window and its controls only; dialogs, menus and message
    // boxes keep their own handling.
    if (target->window() != this) return QMainWindow::eventFilter(watched, event);
    return HandleKey(target, static_cast<QKeyEvent*>(event));
}

bool MainWindow::HandleKey(QWidget* target, QKeyEvent* event) {
    WindowState& w = state_;
    const int step = w.currentStep;
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (step != 2) return false;
            if (w.treeHasFocus == 0) {
                w.treeHasFocus = 1;
                parts_.directoryTree->setFocus(Qt::TabFocusReason);
            } else {
                w.treeHasFocus = 0;
                parts_.detailsList->setFocus(Qt::TabFocusReason);
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (step == 2 && w.treeHasFocus == 1) {
                if (QTreeWidgetItem* item = parts_.directoryTree->currentItem()) wizard_->ShowFolderOf(item);
            } else if (step == 2 && target == parts_.detailsList) {
                wizard_->OpenRow(parts_.detailsList->currentItem());
            }
            return true;  // Enter never presses a button
        case Qt::Key_Escape:
            return true;
        case Qt::Key_F6:
            if (step == 1) {
                parts_.volumeTree->setFocus(Qt::OtherFocusReason);
            } else if (step == 2) {
                parts_.directoryTree->setFocus(Qt::OtherFocusReason);
                w.treeHasFocus = 1;
            }
            return false;
        case Qt::Key_F7:
            parts_.detailsList->setFocus(Qt::OtherFocusReason);
            if (QTreeWidgetItem* first = parts_.detailsList->topLevelItem(0))
                parts_.detailsList->setCurrentItem(first, 0, QItemSelectionModel::NoUpdate);
            return false;
        case Qt::Key_F1:
            OpenWithDesktop(HelpFileForKey(QDir::currentPath(), QString::fromStdString(session_.installFolder)), false);
            return true;
        default:
            return false;
    }
}

}  // namespace app
