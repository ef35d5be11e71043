#include "app/MainWindow.h"

#include <fcntl.h>
#include <unistd.h>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/AboutDialog.h"
#include "app/BalloonHelp.h"
#include "app/HelpFile.h"
#include "app/Icons.h"
#include "app/SupportContacts.h"
#include "app/SupportDetails.h"
#include "app/WindowCommands.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "disk/SectorReader.h"
#include "netware/VolumeSearch.h"
#include "records/ActivityLog.h"

namespace app {

namespace {

job::WizardState& W() { return job::Wizard(); }

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

const char* const kFileTypes[4] = {"Microsoft Word File(s) (.DOC)", "Microsoft Excel File(s) (.XLS)",
                                   "Microsoft PowerPoint File(s) (.PPT)", "Compressed File(s) (.Zip)"};

struct Language {
    const char* label;
    const char* file;
};
const Language kLanguages[4] = {{"Dutch", "DutchA.dat"}, {"English", "EnglishA.dat"}, {"French", "FrenchA.dat"},
                                {"German", "GermanA.dat"}};

QString HelpTip(const char* text) { return QString(text).trimmed(); }

}  // namespace

MainWindow::MainWindow(std::vector<disk::DiskSource> sources, QWidget* parent)
    : QMainWindow(parent), sources_(std::move(sources)) {
    setObjectName("mainWindow");
    setWindowTitle(job::kProductTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(icons::WindowIcon());
    wizard_ = new WizardController(parts_, this);
    BuildMenus();
    BuildCentral();
    BuildStatusBar();
    commands_ = new WindowCommands(*this);
    setFixedSize(kWidth, kCentralHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());

    shellOpen = [](const QString& target, bool isUrl) {
        QDesktopServices::openUrl(isUrl ? QUrl(target) : QUrl::fromLocalFile(target));
    };
    endProcess = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    Unpublish();
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
    connect(add(options, "&Mark Compressed Files", "Mark Compressed Files\n"), &QAction::triggered, this,
            [this] { commands_->MarkCompressed(); });
    options->addSeparator();
    parts_.openImageAction = add(options, "Open Disk Image...", "Use a disk image file as a disk");
    options->addSeparator();
    exitAction_ = add(options, "E&xit", "Quit from Tarvine\n");
    connect(exitAction_, &QAction::triggered, this, &MainWindow::MenuExit);
    connect(parts_.openImageAction, &QAction::triggered, this, &MainWindow::OpenDiskImage);
    connect(options, &QMenu::aboutToShow, this, [this] {
        parts_.openImageAction->setEnabled(W().currentStep.load() == 0 && W().searchWorker.load() == 0);
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
            [this] { shellOpen(support::WebSite(), true); });
    connect(add(support, "&Email", "Support through email"), &QAction::triggered, this,
            [this] { Info(job::kProductTitle, QString("Send email to ") + support::MailAddress()); });
    connect(add(support, "&Telephonic", nullptr), &QAction::triggered, this, [this] {
        Info("Telephonic Support", QString("Telephone Numbers : \n") + support::TelephoneLines());
    });

    QMenu* help = bar->addMenu("&Help");
    QAction* contents = add(help, "Contents        ", nullptr);
    connect(contents, &QAction::triggered, this, &MainWindow::HelpContents);
    balloonAction_ = add(help, "Show Balloon Help", "Show (or) Hide Balloon Help");
    balloonAction_->setCheckable(true);
    balloonAction_->setChecked(true);
    connect(balloonAction_, &QAction::toggled, this, [](bool on) { W().balloonHelpOn = on ? 1 : 0; });
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
    central->setFixedSize(kWidth, kCentralHeight);
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
        connect(tree, &QTreeWidget::itemExpanded, this, [] { W().treeHasFocus = 1; });
        connect(tree, &QTreeWidget::itemCollapsed, this, [] { W().treeHasFocus = 1; });
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
    connect(parts_.detailsList, &DetailsList::ContextMenuAt, this, &MainWindow::ListContextMenu);
    connect(parts_.detailsList, &DetailsList::Clicked, this, [] { W().treeHasFocus = 0; });

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
    for (const char* t : kFileTypes) {
        auto* item = new QTreeWidgetItem({t});
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
    bar->setSizeGripEnabled(false);
    clock_ = new QLabel;
    clock_->setObjectName("clockPane");
    clock_->setMinimumWidth(60);
    clock_->setAlignment(Qt::AlignCenter);
    clock_->setFrameShape(QFrame::StyledPanel);
    bar->addPermanentWidget(clock_);
}

// ---- start-up ------------------------------------------------------------------------------

bool MainWindow::Initialise() {
    auto& w = W();
    setWindowTitle(job::kProductTitle);
    w.installFolder = job::RegistryTextRead(job::kClassesRoot, job::kProductKey, job::kInstallFolderValue);
    if (w.installFolder.empty()) {
        QtMessageSink::Show(this, job::kProductTitle, "Tarvine is not installed properly", job::MessageIcon::Error,
                            job::MessageButtons::Ok);
        return false;
    }
    const std::string dataFolder = records::UserDataFolder();
    w.activityLogPath = dataFolder.empty() ? std::string() : dataFolder + "/" + records::kActivityLogName;
    records::WriteStartHeader(std::time(nullptr));
    Publish();

    clockTimer_ = startTimer(1000);
    if (clockTimer_ == 0) {
        QtMessageSink::Show(this, job::kProductTitle, "No timers are available.", job::MessageIcon::Error,
                            job::MessageButtons::Ok);
    } else {
        ShowClock();
    }

    w.currentStep = -1;
    std::vector<disk::DiskInfo> disks;
    std::string error;
    const bool listed = disk::EnumerateDisks(sources_, disks, &error);
    w.currentStep = 0;
    if (!listed) QtMessageSink::Show(this, job::kProductTitle, QString::fromStdString(error),
                                     job::MessageIcon::Error, job::MessageButtons::Ok);

    w.tempFolder = QDir::tempPath().toStdString();

    // The balloon language: the menu shows the stored choice when it names
    // one of the four files exactly.
    const QString stored = QString::fromStdString(
        job::RegistryTextRead(job::kClassesRoot, job::kProductKey, job::kLanguageValue));
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == stored);
    BalloonHelp::Install(this);  // menu and mode balloons, language file chosen from "LngFile"

    w.exitQuestionOpen = 0;
    wizard_->ShowStepPicture(1);
    return true;
}

void MainWindow::Publish() {
    auto& w = W();
    controls_ = std::make_unique<QtControls>(parts_, *wizard_, this);
    messages_ = std::make_unique<QtMessageSink>(this);
    badSectorPrompt_ = std::make_unique<QtBadSectorPrompt>(this);
    fatPrompt_ = std::make_unique<QtFatChoicePrompt>(this);
    w.controls = controls_.get();
    w.messages = messages_.get();
    w.diskTree = parts_.diskTree;
    w.volumeTree = parts_.volumeTree;
    w.directoryTree = parts_.directoryTree;
    disk::SetBadSectorPrompt(badSectorPrompt_.get());
    nw::SetFatChoicePrompt(fatPrompt_.get());
    published_ = true;
}

void MainWindow::Unpublish() {
    if (!published_) return;
    auto& w = W();
    if (w.controls == controls_.get()) w.controls = nullptr;
    if (w.messages == messages_.get()) w.messages = nullptr;
    if (w.diskTree == parts_.diskTree) w.diskTree = nullptr;
    if (w.volumeTree == parts_.volumeTree) w.volumeTree = nullptr;
    if (w.directoryTree == parts_.directoryTree) w.directoryTree = nullptr;
    disk::SetBadSectorPrompt(nullptr);
    nw::SetFatChoicePrompt(nullptr);
    published_ = false;
}

// ---- clock ---------------------------------------------------------------------------------

QString MainWindow::ClockText(int hour, int minute) {
    const int shown = hour > 12 ? hour - 12 : hour;
    return QString::asprintf("%02i:%02i", shown, minute);
}

void MainWindow::ShowClock() {
    const QTime now = QTime::currentTime();
    clock_->setText(ClockText(now.hour(), now.minute()));
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == clockTimer_) {
        ShowClock();
        return;
    }
    QMainWindow::timerEvent(event);
}

// ---- exit ----------------------------------------------------------------------------------

bool MainWindow::AskExit() {
    auto& w = W();
    if (w.exitQuestionOpen.load() == 1) return false;  // the question is already on screen
    w.exitQuestionOpen = 1;
    const job::MessageAnswer a = QtMessageSink::Show(this, job::kProductTitle, "Do you want to exit from Tarvine?",
                                                     job::MessageIcon::Question, job::MessageButtons::YesNo);
    if (a != job::MessageAnswer::Yes) {
        w.exitQuestionOpen = 0;
        return false;
    }
    return true;
}

void MainWindow::MenuExit() {
    if (AskExit()) endProcess();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (AskExit()) {
        event->accept();
        QMainWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

// ---- tool buttons and commands -------------------------------------------------------------

void MainWindow::Info(const QString& caption, const QString& text) {
    QtMessageSink::Show(this, caption, text, job::MessageIcon::Information, job::MessageButtons::Ok);
}

void MainWindow::Refuse(const char* text) {
    QtMessageSink::Show(this, job::kProductTitle, text, job::MessageIcon::Error, job::MessageButtons::Ok);
}

void MainWindow::SaveDataTool() {
    if (W().currentStep.load() < 2) {
        Refuse("Go to step 2 and then use this option");
        return;
    }
    commands_->SaveTree(true);
}

void MainWindow::LoadLogTool() {
    if (W().recoveryMode.load() == job::kModeRaw) {
        Refuse("This Feature can not be used while running under RAW Recovery Mode");
        return;
    }
    if (W().currentStep.load() == 2) {
        Refuse("Go to step 1 OR 2 and then use this option.");
        return;
    }
    commands_->LoadLog();
}

void MainWindow::SaveLogTool() {
    if (W().recoveryMode.load() == job::kModeRaw) {
        Refuse("This Feature can not be used while running under RAW Recovery Mode");
        return;
    }
    if (W().currentStep.load() != 2) {
        Refuse("Go to step 2 and then use this option");
        return;
    }
    commands_->SaveLog();
}

void MainWindow::HelpContents() {
    shellOpen(HelpFileIn(QString::fromStdString(W().installFolder)), false);
}

void MainWindow::ListContextMenu(const QPoint& globalPos) {
    if (W().currentStep.load() != 2 || parts_.detailsList->selectedItems().isEmpty()) return;
    QMenu menu(this);
    QAction* save = menu.addAction("Save");
    menu.setDefaultAction(save);
    if (menu.exec(globalPos) == save) commands_->SaveList();
}

void MainWindow::ChooseLanguage(const QString& file) {
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == file);
    job::Settings().Write(job::kClassesRoot, job::kProductKey, job::kLanguageValue, file.toStdString());
}

void MainWindow::OpenDiskImage() {
    if (W().currentStep.load() != 0 || W().searchWorker.load() != 0) return;
    QFileDialog dialog(this, "Open Disk Image");
    dialog.setObjectName("openImageDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"Disk images (*.img *.dd *.raw *.bin *.ima *.vhd)", "All files (*)"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AttachImage(dialog.selectedFiles().first());
}

bool MainWindow::AttachImage(const QString& path) {
    auto& w = W();
    QTreeWidgetItem* root = parts_.diskTree->topLevelItem(0);
    unsigned next = 0;
    if (root)
        for (int i = 0; i < root->childCount(); ++i)
            next = std::max(next, WizardController::DiskNumberOfLabel(root->child(i)->text(0).toStdString()) + 1);
    if (next >= disk::kDeviceCount) {
        Refuse("No more disks can be added: at most 10 disks can be read.");
        return false;
    }
    const std::string file = path.toStdString();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const std::string reason = file + ": " + std::strerror(errno);
        job::ShowMessage(nw::UnableToOpenDiskText(reason), job::MessageIcon::Error);
        return false;
    }
    ::close(fd);
    std::string error;
    if (!disk::AttachDevice(next, file, "", &error)) {
        job::ShowMessage(nw::UnableToOpenDiskText(error), job::MessageIcon::Error);
        return false;
    }
    const disk::DiskInfo d = disk::DescribeImage(next, file);
    const std::string key = disk::StoreKey(next);
    auto put = [&](const char* k, const std::string& v) { job::Settings().Write(job::kClassesRoot, k, key, v); };
    put(disk::kGeometryRoot, "");
    put(disk::kGeometryCylinder, std::to_string(static_cast<std::uint32_t>(d.cylinders)));
    put(disk::kGeometryHead, std::to_string(d.heads));
    put(disk::kGeometrySectorsPerTrack, std::to_string(d.sectorsPerTrack));
    put(disk::kGeometrySize, std::to_string(d.sizeBytes));
    put(disk::kGeometryModel, d.model);
    put(disk::kGeometryMediaType, d.mediaType);
    if (!root) {
        w.currentStep = -1;
        root = WizardTree::ItemOf(parts_.diskTree->InsertItem(nullptr, "My Computer", 2, job::kUnchecked));
        root->setExpanded(true);
        w.currentStep = 0;
    }
    auto* node = WizardTree::ItemOf(parts_.diskTree->InsertItem(root, key, 1, job::kUnchecked));
    wizard_->DiskChosen(node);
    return true;
}

// ---- keyboard ----------------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    auto* target = static_cast<QWidget*>(watched);
    // Keys of this window and its controls only; dialogs, menus and message
    // boxes keep their own handling.
    if (target->window() != this) return QMainWindow::eventFilter(watched, event);
    return HandleKey(target, static_cast<QKeyEvent*>(event));
}

bool MainWindow::HandleKey(QWidget* target, QKeyEvent* event) {
    auto& w = W();
    const int step = w.currentStep.load();
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
            shellOpen(HelpFileForKey(QDir::currentPath(), QString::fromStdString(W().installFolder)), false);
            return true;
        default:
            return false;
    }
}

}  // namespace app
