#include "app/FatChoiceDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/UiChannel.h"

namespace app {

FatChoiceDialog::FatChoiceDialog(std::uint32_t fat1Length, std::uint32_t fat2Length, QWidget* parent)
    : ui::DialogEx(parent, "Select FAT to use") {
    setObjectName("fatChoiceDialog");
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QString("The two copies of the allocation table differ.\n"
                                    "FAT1 holds a chain of %1 blocks, FAT2 one of %2 blocks.")
                                .arg(fat1Length)
                                .arg(fat2Length));
    layout->addWidget(note);
    auto* group = new QGroupBox;
    auto* g = new QVBoxLayout(group);
    fat1_ = new QRadioButton("FAT1");
    fat2_ = new QRadioButton("FAT2");
    fat1_->setObjectName("fat1");
    fat2_->setObjectName("fat2");
    fat1_->setChecked(true);
    g->addWidget(fat1_);
    g->addWidget(fat2_);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    FixSize();
}

int FatChoiceDialog::Ask(std::uint32_t fat1Length, std::uint32_t fat2Length, QWidget* parent) {
    return RunModal(new FatChoiceDialog(fat1Length, fat2Length, parent), 0, [](FatChoiceDialog& d, int result) {
        if (result != QDialog::Accepted) return 0;
        return d.fat2_->isChecked() && !d.fat1_->isChecked() ? 2 : 1;
    });
}

}  // namespace app
