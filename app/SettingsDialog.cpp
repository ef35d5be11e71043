#include "app/SettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Messages.h"

namespace app {

namespace {

// A group of radio buttons whose clicks set a mode at once.
QGroupBox* RadioGroup(QWidget* owner, const QString& title, const std::vector<const char*>& texts, int checked,
                      const std::function<void(int)>& set, const char* name) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(owner);
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        auto* b = new QRadioButton(texts[static_cast<std::size_t>(i)]);
        b->setObjectName(QString("%1%2").arg(name).arg(i));
        b->setChecked(i == checked);
        group->addButton(b, i);
        layout->addWidget(b);
    }
    QObject::connect(group, &QButtonGroup::idClicked, owner, [set](int id) { set(id); });
    return box;
}

}  // namespace

SettingsDialog::SettingsDialog(recovery::SaveSettings& settings, QWidget* parent)
    : QDialog(parent), session_(settings) {
    setObjectName("settingsDialog");
    setWindowTitle("Settings");
    session_.Open();
    const recovery::SaveSettings& s = settings;

    QGroupBox* deleted = RadioGroup(
        this, QString(), {"Include Deleted File(s)", "Exclude Deleted File(s)", "Save Deleted Files only"},
        s.deletedMode, [this](int m) { session_.SetDeletedMode(m); }, "deletedMode");
    QGroupBox* selection =
        RadioGroup(this, QString(), {"Save Selected File(s)", "Save all File(s)", "Invert Selection"},
                   s.selectionMode, [this](int m) { session_.SetSelectionMode(m); }, "selectionMode");
    QGroupBox* saving = RadioGroup(this, "Saving Mode", {"Auto", "FAT1 ", "FAT2", "Contigious"}, s.savingMode,
                                   [this](int m) { session_.SetSavingMode(m); }, "savingMode");

    // "File Updated": the "Earlier" and "After" rows, each with DD, MM, YYYY.
    auto* updated = new QGroupBox("File Updated");
    auto* dl = new QGridLayout(updated);
    dl->addWidget(new QLabel("DD"), 0, 1);
    dl->addWidget(new QLabel("MM"), 0, 2);
    dl->addWidget(new QLabel("YYYY"), 0, 3);
    dl->addWidget(new QLabel("Earlier"), 1, 0);
    dl->addWidget(new QLabel("After"), 2, 0);
    const char* const names[6] = {"earlierDay", "earlierMonth", "earlierYear", "afterDay", "afterMonth", "afterYear"};
    for (int i = 0; i < kDateLists; ++i) {
        const auto list = static_cast<DateList>(i);
        auto* c = new QComboBox;
        c->setObjectName(names[i]);
        const int items = DateListItems(list);
        const bool year = list == kEarlierYear || list == kAfterYear;
        for (int k = 0; k < items; ++k)
            c->addItem(year ? QString::number(DateListValue(list, k)) : QString("%1").arg(DateListValue(list, k), 2, 10, QChar('0')));
        c->setCurrentIndex(session_.DatePosition(list));
        connect(c, &QComboBox::currentIndexChanged, this, [this, list](int pos) {
            if (pos >= 0) session_.SetDatePosition(list, pos);
        });
        dates_[i] = c;
        dl->addWidget(c, 1 + i / 3, 1 + i % 3);
    }

    auto* extensions = new QGroupBox("Select Extensions ( Ex:- DOC, XLS)");
    auto* el = new QGridLayout(extensions);
    extensionField_ = new QLineEdit;
    extensionField_->setObjectName("extensionField");
    extensionField_->setMaxLength(kExtensionFieldMax);
    extensionList_ = new QListWidget;
    extensionList_->setObjectName("extensionList");
    auto* add = new QPushButton("&Add ");
    removeButton_ = new QPushButton("&Remove");
    add->setAutoDefault(false);
    removeButton_->setAutoDefault(false);
    el->addWidget(extensionField_, 0, 0);
    el->addWidget(add, 0, 1);
    el->addWidget(extensionList_, 1, 0);
    el->addWidget(removeButton_, 1, 1, Qt::AlignTop);
    connect(add, &QPushButton::clicked, this, &SettingsDialog::Add);
    connect(removeButton_, &QPushButton::clicked, this, &SettingsDialog::Remove);
    FillExtensions();

    auto* apply = new QPushButton("&Apply");
    auto* cancel = new QPushButton("Cancel");
    apply->setDefault(true);
    cancel->setAutoDefault(false);
    connect(apply, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::reject);

    auto* left = new QVBoxLayout;
    left->addWidget(deleted);
    left->addWidget(updated);
    left->addWidget(selection);
    auto* right = new QVBoxLayout;
    right->addWidget(extensions);
    right->addWidget(saving);
    // Like the radio buttons, the box takes effect at once.
    auto* report = new QCheckBox("DFXML report");
    report->setObjectName("dfxmlReport");
    report->setChecked(settings.dfxmlReport);
    connect(report, &QCheckBox::toggled, this, [&settings](bool on) { settings.dfxmlReport = on; });
    right->addWidget(report);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
}

void SettingsDialog::FillExtensions() {
    extensionList_->clear();
    for (const std::string& e : session_.ListedExtensions()) extensionList_->addItem(QString::fromStdString(e));
    if (extensionList_->count() > 0) extensionList_->setCurrentRow(0);
}

void SettingsDialog::Add() {
    const recovery::AddResult result = session_.Add(extensionField_->text().toStdString());
    if (result != recovery::AddResult::Added) {
        if (const char* text = recovery::AddRefusalText(result))
            ShowMessage(this, text,
                        recovery::AddRefusalIsInformation(result) ? MessageIcon::Information : MessageIcon::Error);
        return;
    }
    extensionField_->clear();
    FillExtensions();
    removeButton_->setEnabled(true);
}

void SettingsDialog::Remove() {
    const int row = extensionList_->currentRow();
    if (!session_.Remove(static_cast<std::size_t>(row < 0 ? 0 : row))) {
        if (!session_.RemoveEnabled()) removeButton_->setEnabled(false);
        return;
    }
    FillExtensions();
}

void SettingsDialog::accept() {
    if (closed_) return;
    closed_ = true;
    session_.Apply();
    QDialog::accept();
}

void SettingsDialog::reject() {
    if (closed_) return;
    closed_ = true;
    session_.Cancel();
    QDialog::reject();
}

}  // namespace app
