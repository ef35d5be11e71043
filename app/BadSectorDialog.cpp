#include "app/BadSectorDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/UiChannel.h"
#include "disk/BadSectorPolicy.h"

namespace app {

BadSectorDialog::BadSectorDialog(QWidget* parent, const QString& where)
    : ui::DialogEx(parent, "Bad Sector Encountered") {
    setObjectName("badSectorDialog");
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel("Encountered Bad Sector(s) while reading disk."));
    if (!where.isEmpty()) {
        auto* place = new QLabel(where);
        place->setObjectName("badSectorWhere");
        place->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(place);
    }
    top->addLayout(texts, 1);

    auto* buttons = new QHBoxLayout;
    const struct {
        const char* text;
        int value;
    } kButtons[] = {{"Retry", disk::kRetry}, {"Skip", disk::kSkip}, {"Retry All", disk::kRetryAll},
                    {"Skip All", disk::kSkipAll}};
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(b.text);
        const int value = b.value;
        connect(button, &QPushButton::clicked, this, [this, value] {
            answer_ = value;
            accept();
        });
        if (value == disk::kRetry) {
            button->setDefault(true);
            button->setFocus();
        }
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    FixSize();
}

void BadSectorDialog::reject() {
    answer_ = disk::kSkip;
    QDialog::reject();
}

int BadSectorDialog::Ask(QWidget* parent, const QString& where, QWidget* beside) {
    auto* dialog = new BadSectorDialog(parent, where);
    PlaceBeside(dialog, beside);
    dialog->answer_ = disk::kSkip;
    return RunModal(dialog, static_cast<int>(disk::kSkip), [](BadSectorDialog& d, int) { return d.answer_; });
}

}  // namespace app
