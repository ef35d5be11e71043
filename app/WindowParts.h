// The controls of the main window that the wizard shows, hides, enables and
// fills. The main window builds them; the wizard and the published controls
// work on them.
#pragma once

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/DetailsList.h"
#include "app/ModeButton.h"
#include "app/WizardTree.h"
#include "ui/CaptionProgressBar.h"

namespace app {

struct WindowParts {
    QLabel* stepPicture = nullptr;

    QGroupBox* diskFrame = nullptr;       // "Select Disk"
    WizardTree* diskTree = nullptr;
    WizardTree* volumeTree = nullptr;
    WizardTree* directoryTree = nullptr;

    QFrame* plainFrame = nullptr;         // the unlabelled frame under the mode panel
    QGroupBox* modeFrame = nullptr;       // "Recovery Modes"
    ModeButton* modeButtons[3] = {};      // Quick, Advanced, Raw Recovery

    DetailsList* detailsList = nullptr;
    QLabel* volumeCountText = nullptr;

    QLabel* statusLine = nullptr;
    ui::CaptionProgressBar* searchProgress = nullptr;
    QPushButton* stopButton = nullptr;    // "Stop Searching"
    QPushButton* backButton = nullptr;
    QPushButton* nextButton = nullptr;
    QLabel* nextModeText = nullptr;       // "Next: Quick search", beside Next

    // The raw panel.
    QWidget* rawPanel = nullptr;
    QTreeWidget* fileTypeList = nullptr;
    QTreeWidget* filesRecoveredList = nullptr;
    QRadioButton* entireDiskButton = nullptr;
    QRadioButton* sectorRangeButton = nullptr;
    QLabel* startSectorLabel = nullptr;
    QLabel* endSectorLabel = nullptr;
    QLineEdit* startSectorField = nullptr;
    QLineEdit* endSectorField = nullptr;
    QPushButton* startRecoveryButton = nullptr;

    // Menu commands that the steps grey and enable.
    QAction* saveAction = nullptr;
    QAction* saveSettingsAction = nullptr;
    QAction* saveLogAction = nullptr;
    QAction* loadLogAction = nullptr;
    QAction* listViewAction = nullptr;
    QAction* listPrintAction = nullptr;
    QAction* listEmailAction = nullptr;
    QAction* openImageAction = nullptr;
};

}  // namespace app
