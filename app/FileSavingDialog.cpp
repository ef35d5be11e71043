#include "app/FileSavingDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/SettingsDialog.h"
#include "app/UiChannel.h"
#include "recovery/SaveJob.h"

namespace app {

FileSavingDialog::FileSavingDialog(recovery::SaveSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName("fileSavingDialog");
    setWindowTitle("File Saving");
    auto* label = new QLabel("Enter Path for Saving or Click on Browse Button");
    field_ = new QLineEdit;
    field_->setObjectName("savePath");
    field_->setMaxLength(static_cast<int>(recovery::kDestinationPathMax));
    field_->setMinimumWidth(320);
    auto* browse = new QPushButton("&Browse");
    auto* ok = new QPushButton("&OK");
    auto* cancel = new QPushButton("&Cancel");
    auto* settingsButton = new QPushButton("&Settings");
    ok->setDefault(true);
    browse->setAutoDefault(false);
    settingsButton->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(field_, 1, 0);
    grid->addWidget(browse, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(settingsButton);
    grid->addLayout(buttons, 2, 0, 1, 2);

    connect(browse, &QPushButton::clicked, this, &FileSavingDialog::Browse);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(settingsButton, &QPushButton::clicked, this, &FileSavingDialog::OpenSettings);
}

QString FileSavingDialog::Path() const { return field_->text().left(static_cast<int>(recovery::kDestinationPathMax)); }

void FileSavingDialog::Browse() {
    QFileDialog picker(this, "Please specify a folder for Copying...");
    picker.setObjectName("folderPicker");
    picker.setOption(QFileDialog::DontUseNativeDialog);
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly);
    if (picker.exec() == QDialog::Accepted && !picker.selectedFiles().isEmpty())
        field_->setText(picker.selectedFiles().first());
}

void FileSavingDialog::OpenSettings() {
    auto* dialog = new SettingsDialog(settings_, this);
    RunModal(dialog, 0, [](SettingsDialog&, int result) { return result; });
}

std::string FileSavingDialog::Ask(QWidget* parent, recovery::SaveSettings& settings) {
    return RunModal(new FileSavingDialog(settings, parent), std::string(), [](FileSavingDialog& d, int result) {
        return result == QDialog::Accepted ? d.Path().toStdString() : std::string();
    });
}

}  // namespace app
