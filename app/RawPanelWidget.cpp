#include "app/RawPanelWidget.h"

#include <QBoxLayout>
#include <QLabel>
#include <QThread>

#include "app/FileSavingDialog.h"
#include "app/UiThread.h"
#include "raw/RawScan.h"
#include "ui/CaptionProgressBar.h"

namespace app {

RawPanelWidget::RawPanelWidget(WindowParts& parts, workflow::Session& session, QWidget* window)
    : QObject(window), p_(parts), session_(session), window_(window) {
    askDestination = [this] { return FileSavingDialog::Ask(window_, session_.saveSettings); };

    // The raw status line and the raw progress bar sit under the panel's
    // left column, above "Start &Recovery".
    status_ = new QLabel(p_.rawPanel);
    status_->setObjectName("rawStatus");
    progress_ = new ui::CaptionProgressBar(p_.rawPanel);
    progress_->setObjectName("rawProgress");
    progress_->setRange(0, 100);
    progress_->SetCaption("0 % Completed");
    progress_->hide();
    if (auto* row = qobject_cast<QBoxLayout*>(p_.rawPanel->layout())) {
        if (auto* left = qobject_cast<QBoxLayout*>(row->itemAt(0) ? row->itemAt(0)->layout() : nullptr)) {
            const int at = left->indexOf(p_.startRecoveryButton);
            left->insertWidget(at < 0 ? left->count() : at, status_);
            left->insertWidget(at < 0 ? left->count() : at + 1, progress_);
        }
    }

    connect(p_.fileTypeList, &QTreeWidget::itemChanged, this, [this] { Mirror(); });
    connect(p_.startSectorField, &QLineEdit::textChanged, this, [this] { Mirror(); });
    connect(p_.endSectorField, &QLineEdit::textChanged, this, [this] { Mirror(); });
    connect(p_.startRecoveryButton, &QPushButton::clicked, this, [] { raw::OnStartRecoveryButton(); });
    Mirror();
    raw::InstallRawPanel(this);
}

RawPanelWidget::~RawPanelWidget() {
    auto& scan = raw::RawScan();
    if (scan.rawWorker.load() != 0) {
        scan.stopRequested = 1;
        WaitForScanWorker(scan.rawWorker);
    }
    if (raw::Panel() == this) raw::InstallRawPanel(nullptr);
}

void RawPanelWidget::Mirror() {
    std::lock_guard<std::mutex> lock(mutex_);
    checked_.clear();
    for (int i = 0; i < p_.fileTypeList->topLevelItemCount(); ++i)
        checked_.push_back(p_.fileTypeList->topLevelItem(i)->checkState(0) == Qt::Checked);
    startText_ = p_.startSectorField->text().toStdString();
    endText_ = p_.endSectorField->text().toStdString();
    buttonText_ = p_.startRecoveryButton->text().toStdString();
}

int RawPanelWidget::FileTypeRowCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(checked_.size());
}

bool RawPanelWidget::FileTypeChecked(int row) {
    std::lock_guard<std::mutex> lock(mutex_);
    return row >= 0 && row < static_cast<int>(checked_.size()) && checked_[static_cast<std::size_t>(row)];
}

void RawPanelWidget::EnableFileTypeList(bool on) {
    channel_.Post([this, on] { p_.fileTypeList->setEnabled(on); });
}

std::string RawPanelWidget::StartSectorText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return startText_;
}

std::string RawPanelWidget::EndSectorText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return endText_;
}

void RawPanelWidget::SetEndSectorText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        endText_ = text;
    }
    channel_.Post([this, text] { p_.endSectorField->setText(QString::fromStdString(text)); });
}

void RawPanelWidget::EnableRangeFields(bool on) {
    channel_.Post([this, on] {
        for (QWidget* w : std::initializer_list<QWidget*>{p_.startSectorField, p_.endSectorField,
                                                          p_.startSectorLabel, p_.endSectorLabel})
            w->setEnabled(on);
    });
}

void RawPanelWidget::EnableRangeButtons(bool on) {
    channel_.Post([this, on] {
        p_.entireDiskButton->setEnabled(on);
        p_.sectorRangeButton->setEnabled(on);
    });
}

std::string RawPanelWidget::StartButtonText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return buttonText_;
}

void RawPanelWidget::SetStartButtonText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buttonText_ = text;
    }
    channel_.Post([this, text] { p_.startRecoveryButton->setText(QString::fromStdString(text)); });
}

void RawPanelWidget::EnableStartButton(bool on) {
    channel_.Post([this, on] { p_.startRecoveryButton->setEnabled(on); });
}

void RawPanelWidget::ShowFileSavingDialog() {
    const std::string path = askDestination ? askDestination() : std::string();
    session_.destinationPath = path;
}

void RawPanelWidget::SetRawStatus(const std::string& text) {
    channel_.Post([this, text] { status_->setText(QString::fromStdString(text)); });
}

void RawPanelWidget::ShowRawProgress(bool visible) {
    channel_.Post([this, visible] { progress_->setVisible(visible); });
}

void RawPanelWidget::SetRawProgress(int percent, const std::string& caption) {
    channel_.Post([this, percent, caption] {
        progress_->setValue(std::clamp(percent, 0, 100));
        progress_->SetCaption(QString::fromStdString(caption));
    });
}

void RawPanelWidget::ClearFilesRecovered() {
    channel_.Post([this] { p_.filesRecoveredList->clear(); });
}

void RawPanelWidget::AddFilesRecoveredRow(const std::string& text) {
    channel_.Post([this, text] { p_.filesRecoveredList->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(text)})); });
}

void RawPanelWidget::SetFilesRecoveredRow(int row, const std::string& text) {
    channel_.Post([this, row, text] {
        if (QTreeWidgetItem* item = p_.filesRecoveredList->topLevelItem(row)) item->setText(0, QString::fromStdString(text));
    });
}

void RawPanelWidget::WaitForScanWorker(const std::atomic<std::uint64_t>& handle) {
    // Keep the window alive meanwhile: the worker may be asking a question.
    while (handle.load() != 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

}  // namespace app
