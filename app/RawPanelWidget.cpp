#include "app/RawPanelWidget.h"

#include <QBoxLayout>
#include <QLabel>
#include <algorithm>
#include <cstring>
#include <optional>

#include "app/FileSavingDialog.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "disk/Disk.h"
#include "raw/FormatKinds.h"
#include "ui/CaptionProgressBar.h"
#include "workflow/Raw.h"
#include "workflow/Texts.h"

namespace app {

namespace {

// How many incomplete and failed documents the summary names.
constexpr int kNotesShown = 20;

// A range field's text as a signed decimal number, blanks around it
// allowed; nothing when it holds no number.
std::optional<std::int64_t> SectorFieldValue(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

}  // namespace

RawPanelWidget::RawPanelWidget(WindowParts& parts, workflow::Session& session, WindowState& state, QWidget* window)
    : QObject(window), p_(parts), session_(session), state_(state), window_(window) {
    askDestination = [this] { return FileSavingDialog::Ask(window_, session_.saveSettings); };

    // The raw status line and the raw progress bar sit under the panel's
    // left column, above the start button.
    status_ = new QLabel(p_.rawPanel);
    status_->setObjectName("rawStatus");
    progress_ = new ui::CaptionProgressBar(p_.rawPanel);
    progress_->setObjectName("rawProgress");
    progress_->setRange(0, 100);
    progress_->SetCaption(QString::fromStdString(workflow::ProgressCaption(0)));
    progress_->hide();
    estimate_ = new QLabel(p_.rawPanel);
    estimate_->setObjectName("rawEstimate");
    if (auto* row = qobject_cast<QBoxLayout*>(p_.rawPanel->layout())) {
        if (auto* left = qobject_cast<QBoxLayout*>(row->itemAt(0) ? row->itemAt(0)->layout() : nullptr)) {
            const int at = left->indexOf(p_.startRecoveryButton);
            left->insertWidget(at < 0 ? left->count() : at, status_);
            left->insertWidget(at < 0 ? left->count() : at + 1, progress_);
            left->insertWidget(at < 0 ? left->count() : at + 2, estimate_);
        }
    }
    connect(p_.startRecoveryButton, &QPushButton::clicked, this, &RawPanelWidget::StartOrStop);
}

RawPanelWidget::~RawPanelWidget() {
    channel_.Close();
    if (scan_) scan_->stopRequested = 1;
    worker_.Join();
}

void RawPanelWidget::StartOrStop() {
    if (worker_.Running())
        Stop();
    else
        Start();
}

void RawPanelWidget::EnableRequestControls(bool on) {
    p_.fileTypeList->setEnabled(on);
    p_.entireDiskButton->setEnabled(on);
    p_.sectorRangeButton->setEnabled(on);
    if (sectorRange_)
        for (QWidget* w : std::initializer_list<QWidget*>{p_.startSectorField, p_.endSectorField, p_.startSectorLabel,
                                                          p_.endSectorLabel})
            w->setEnabled(on);
}

void RawPanelWidget::Start() {
    raw::RawRequest request;
    for (int row = 0; row < p_.fileTypeList->topLevelItemCount() && row < raw::kinds::kCount; ++row)
        request.checked[static_cast<std::size_t>(row)] = p_.fileTypeList->topLevelItem(row)->checkState(0) == Qt::Checked;
    // The range comes from the fields unless "Entire Disk" was clicked.
    request.wholeDisk = state_.rangeIsWholeDisk;
    request.startSector = SectorFieldValue(p_.startSectorField->text());
    request.endSector = SectorFieldValue(p_.endSectorField->text());

    const workflow::RawStart start = workflow::CheckRawStart(session_, request);
    if (!start.ok) {
        const bool noType = start.check == raw::RawCheck::NoFileType;
        if (noType) p_.startRecoveryButton->setEnabled(false);
        QPointer<RawPanelWidget> self(this);
        ShowNotice(window_, start.notice);
        if (!self) return;
        if (noType) p_.startRecoveryButton->setEnabled(true);
        if (start.endFieldSector) p_.endSectorField->setText(QString::number(*start.endFieldSector));
        return;
    }

    QPointer<RawPanelWidget> self(this);
    const std::string destination = askDestination ? askDestination() : std::string();
    if (!self) return;
    session_.destinationPath = destination;
    if (destination.empty()) return;
    if (const workflow::MaybeNotice refused = workflow::PrepareRawDestination(destination)) {
        ShowNotice(window_, *refused);
        return;
    }

    sectorRange_ = !request.wholeDisk;
    p_.startRecoveryButton->setText(kRawStopText);
    EnableRequestControls(false);
    p_.backButton->setEnabled(false);
    scan_ = std::make_unique<raw::RawScan>();
    // The rows of the last scan stay until the next one starts.
    p_.filesRecoveredList->clear();
    checked_ = request.checked;
    wholeCounts_ = {};
    documentNotes_.clear();
    clock_.start();
    worker_.Start([this, start, request, destination] {
        const raw::RawScanResult result = workflow::RunRaw(session_, *scan_, start, request, destination, *this);
        channel_.Post([this, result, destination] { ScanEnded(result, destination); });
    });
}

void RawPanelWidget::Stop() {
    QPointer<RawPanelWidget> self(this);
    const MessageAnswer answer = ShowMessage(window_, workflow::kRawTerminateText, MessageIcon::Question, MessageButtons::YesNo);
    if (!self || answer != MessageAnswer::Yes || !worker_.Running()) return;
    scan_->stopRequested = 1;  // the scan ends at its next read and the panel goes back to idle
}

void RawPanelWidget::ScanEnded(const raw::RawScanResult& result, const std::string& destination) {
    worker_.Join();  // its routine has posted this as its last act
    CloseMessages(window_, workflow::kRawTerminateText);
    p_.startRecoveryButton->setText(kRawStartText);
    status_->clear();
    progress_->setValue(0);
    progress_->SetCaption(QString::fromStdString(workflow::ProgressCaption(0)));
    progress_->hide();
    estimate_->clear();
    p_.backButton->setEnabled(true);
    EnableRequestControls(true);

    QStringList figures;
    for (int k = 0; k < raw::kinds::kCount; ++k) {
        const int n = result.typeCounts[static_cast<std::size_t>(k)];
        if (n > 0) figures << QString("%1: %2").arg(workflow::DocumentKindCaption(k)).arg(n);
    }
    figures.prepend(QString("Documents recovered: %1").arg(result.documentsWritten));
    figures << QString("Incomplete documents: %1").arg(result.documentsIncomplete)
            << QString("Not written (failed): %1").arg(result.documentsFailed)
            << QString("Unreadable sectors skipped: %1").arg(result.sectorsSkipped);
    figures << documentNotes_.mid(0, kNotesShown);
    if (documentNotes_.size() > kNotesShown)
        figures << QString("... and %1 more").arg(documentNotes_.size() - kNotesShown);
    figures << QString("Time: %1").arg(DurationText(clock_.elapsed() / 1000));
    const QString folder = QString::fromStdString(destination);
    std::function<void()> openFolder;
    if (auto* window = qobject_cast<MainWindow*>(window_))
        openFolder = [window, folder] {
            if (window->shellOpen) window->shellOpen(folder, false);
        };
    ShowSummary(window_, "Raw Recovery Summary", result.stopped ? "Raw recovery stopped" : "Raw recovery finished",
                figures, openFolder);
}

// ---- what the scan shows -------------------------------------------------------------------

void RawPanelWidget::SetRawStatus(const std::string& text) {
    channel_.Post([this, text] { status_->setText(QString::fromStdString(text)); });
}

void RawPanelWidget::ShowRawProgress(bool visible) {
    channel_.Post([this, visible] { progress_->setVisible(visible); });
}

void RawPanelWidget::SetRawProgress(int percent) {
    channel_.Post([this, percent] {
        progress_->setValue(std::clamp(percent, 0, 100));
        progress_->SetCaption(QString::fromStdString(workflow::ProgressCaption(percent)));
        if (scan_ && worker_.Running())
            estimate_->setText(EstimateText(percent, clock_.elapsed(),
                                            (scan_->scanEnd - scan_->scanStart) * disk::kSectorSize));
    });
}

void RawPanelWidget::DocumentCarved(const raw::CarvedDocument& document) {
    channel_.Post([this, document] { ShowCarved(document); });
}

void RawPanelWidget::ShowCarved(const raw::CarvedDocument& document) {
    const QString name = QString::fromStdString(document.fileName);
    switch (document.state) {
        case raw::DocumentState::Whole: break;
        case raw::DocumentState::Incomplete:
            documentNotes_ << QString("%1: incomplete, %2 found").arg(name, SizeText(document.bytes));
            return;
        case raw::DocumentState::Failed:
            documentNotes_ << QString("%1: not written (%2)")
                                  .arg(name, document.error ? QString::fromLocal8Bit(std::strerror(document.error))
                                                            : QString("the disk could not be read"));
            return;
    }
    // The rows appear with the first document written, one per checked kind.
    if (p_.filesRecoveredList->topLevelItemCount() == 0)
        for (int k = 0; k < raw::kinds::kCount; ++k)
            if (checked_[static_cast<std::size_t>(k)])
                p_.filesRecoveredList->addTopLevelItem(
                    new QTreeWidgetItem({QString::fromStdString(workflow::FilesRecoveredRowText(k, 0))}));
    if (document.kind < 0 || document.kind >= raw::kinds::kCount) return;
    const int count = ++wholeCounts_[static_cast<std::size_t>(document.kind)];
    int row = 0;
    for (int k = 0; k < document.kind; ++k)
        if (checked_[static_cast<std::size_t>(k)]) ++row;
    if (QTreeWidgetItem* item = p_.filesRecoveredList->topLevelItem(row))
        item->setText(0, QString::fromStdString(workflow::FilesRecoveredRowText(document.kind, count)));
}

}  // namespace app
