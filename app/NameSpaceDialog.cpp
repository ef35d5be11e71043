#include "app/NameSpaceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "netware/NameSpaces.h"
#include "netware/Records.h"

namespace app {

namespace {

// The choices of "Names", in their order, and the name space each stands for.
constexpr std::uint8_t kNameChoices[] = {nw::kDefaultNameSpace, nw::kNameSpaceLong, nw::kNameSpaceNt,
                                         nw::kNameSpaceMac,     nw::kNameSpaceNfs,  nw::kNameSpaceDos};

}  // namespace

NameSpaceDialog::NameSpaceDialog(recovery::ExtrasSettings& extras, std::uint8_t& preferred, QWidget* parent)
    : QDialog(parent), extras_(extras), preferred_(preferred) {
    setObjectName("nameSpaceDialog");
    setWindowTitle("Name Spaces");

    names_ = new QComboBox;
    names_->setObjectName("nameSpaceNames");
    names_->addItems({"LONG, NT, MAC, NFS, DOS: the first the entry has", "LONG", "NT", "MAC", "NFS", "DOS"});
    for (int i = 0; i < static_cast<int>(std::size(kNameChoices)); ++i)
        if (kNameChoices[i] == preferred) names_->setCurrentIndex(i);
    forks_ = new QComboBox;
    forks_->setObjectName("nameSpaceForks");
    forks_->addItems({"AppleDouble companion \"._NAME\"", "Not saved"});
    forks_->setCurrentIndex(extras.forks == recovery::ForkForm::AppleDouble ? 0 : 1);
    links_ = new QComboBox;
    links_->setObjectName("nameSpaceLinks");
    links_->addItems({"As links", "As files holding the link's target"});
    links_->setCurrentIndex(extras.links == recovery::LinkForm::Link ? 0 : 1);
    owners_ = new QCheckBox("Give saved entries their Unix owner and group (when running as root)");
    owners_->setObjectName("nameSpaceOwners");
    owners_->setChecked(extras.owners);

    auto* form = new QFormLayout;
    form->addRow("Names", names_);
    form->addRow("Resource forks and Finder info", forks_);
    form->addRow("Symbolic and hard links", links_);
    form->addRow(owners_);
    auto* note = new QLabel("The names apply to the next volume opened.");
    note->setObjectName("nameSpaceNote");

    auto* apply = new QPushButton("&Apply");
    auto* cancel = new QPushButton("Cancel");
    apply->setDefault(true);
    cancel->setAutoDefault(false);
    connect(apply, &QPushButton::clicked, this, &NameSpaceDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &NameSpaceDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addLayout(buttons);
}

void NameSpaceDialog::accept() {
    const int name = names_->currentIndex();
    if (name >= 0 && name < static_cast<int>(std::size(kNameChoices))) preferred_ = kNameChoices[name];
    extras_.forks = forks_->currentIndex() == 0 ? recovery::ForkForm::AppleDouble : recovery::ForkForm::None;
    extras_.links = links_->currentIndex() == 0 ? recovery::LinkForm::Link : recovery::LinkForm::Copy;
    extras_.owners = owners_->isChecked();
    QDialog::accept();
}

}  // namespace app
