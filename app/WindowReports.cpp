#include "app/WindowReports.h"

#include <QFileInfo>
#include <algorithm>

#include "app/BadSectorDialog.h"
#include "app/SavingDialog.h"
#include "app/FatChoiceDialog.h"
#include "workflow/Texts.h"

namespace app {

void ShowSearchProgress(WindowParts& p, int percent) {
    percent = std::clamp(percent, 0, 100);
    p.searchProgress->setValue(percent);
    p.searchProgress->SetCaption(QString::fromStdString(workflow::ProgressCaption(percent)));
    p.searchProgress->show();
}

// ---- search ------------------------------------------------------------------------------

void SearchProgress::Percent(int percent) {
    channel_.Post([this, percent] { ShowSearchProgress(p_, percent); });
}

void SearchProgress::Status(const std::string& text) {
    channel_.Post([this, t = QString::fromStdString(text)] { p_.statusLine->setText(t); });
}

void SearchProgress::VolumeFound(const nw::VolumeDescriptor& volume, std::uint32_t volumeCount) {
    channel_.Post([this, name = volume.name, index = volumeCount - 1] {
        QTreeWidgetItem* root = p_.volumeTree->topLevelItem(0);
        if (!root) return;
        p_.volumeTree->InsertItem(root, name, WizardTree::kDiskImage, nw::kNoStateImage, index);
        root->setExpanded(true);
    });
}

void SearchProgress::VolumeCountText(const std::string& text) {
    channel_.Post([this, t = QString::fromStdString(text)] { p_.volumeCountText->setText(t); });
}

// ---- mount -------------------------------------------------------------------------------

void MountProgress::Percent(int percent) {
    channel_.Post([this, percent] { ShowSearchProgress(p_, percent); });
}

void MountProgress::Status(const std::string& text) {
    channel_.Post([this, t = QString::fromStdString(text)] { p_.statusLine->setText(t); });
}

int MountProgress::ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) {
    QWidget* owner = window_;
    // Cancel, closing the dialog and a closing window all mean FAT1.
    return channel_.Ask<int>([=] { return FatChoiceDialog::Ask(fat1Length, fat2Length, owner); }, 0);
}

void MountProgress::LostFolderPhase(bool running) {
    channel_.Post([this, running] {
        state_.lostFolderScanActive = running;
        p_.stopButton->setVisible(running);
        p_.stopButton->setEnabled(running);
    });
}

// ---- reads -------------------------------------------------------------------------------

std::int32_t BadSectorQuestion::Ask(const disk::BadSectorEvent& event) {
    QWidget* owner = window_;
    return channel_.Ask<std::int32_t>(
        [owner, event] {
            // During a save the question names the file being read and stays
            // clear of the "Saving" dialog.
            SavingDialog* saving = nullptr;
            for (SavingDialog* d : owner->findChildren<SavingDialog*>())
                if (d->isVisible()) saving = d;
            const QString file = QFileInfo(QString::fromStdString(event.diskPath)).fileName();
            QString where = event.sectorCount > 1
                                ? QString("Sectors %1 to %2 of %3")
                                      .arg(event.startSector)
                                      .arg(event.startSector + event.sectorCount - 1)
                                      .arg(file)
                                : QString("Sector %1 of %2").arg(event.startSector).arg(file);
            if (saving && !saving->CurrentFileName().isEmpty())
                where += QString(", reading %1").arg(saving->CurrentFileName());
            return BadSectorDialog::Ask(saving ? static_cast<QWidget*>(saving) : owner, where, saving);
        },
        disk::kSkip);
}

}  // namespace app
