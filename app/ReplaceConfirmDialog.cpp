#include "app/ReplaceConfirmDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/UiChannel.h"

namespace app {

ReplaceConfirmDialog::ReplaceConfirmDialog(const QString& target, QWidget* parent) : QDialog(parent) {
    setObjectName("replaceDialog");
    setWindowTitle("Replace File Confirmation");
    setModal(true);
    auto* text = new QLabel(recovery::kReplaceQuestionText);
    text->setWordWrap(true);
    auto* file = new QLabel(target);
    file->setObjectName("replaceTarget");
    file->setWordWrap(true);
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QHBoxLayout;
    struct Def {
        const char* text;
        recovery::ReplaceAnswer answer;
    };
    const Def defs[4] = {{"&Yes", recovery::ReplaceAnswer::Yes},
                         {"&No", recovery::ReplaceAnswer::No},
                         {"Yes to &All", recovery::ReplaceAnswer::YesToAll},
                         {"No &to All", recovery::ReplaceAnswer::NoToAll}};
    for (const Def& d : defs) {
        auto* b = new QPushButton(d.text);
        b->setDefault(d.answer == recovery::ReplaceAnswer::Yes);
        b->setAutoDefault(d.answer == recovery::ReplaceAnswer::Yes);
        const recovery::ReplaceAnswer a = d.answer;
        connect(b, &QPushButton::clicked, this, [this, a] {
            answer_ = a;
            accept();
        });
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(file);
    layout->addLayout(buttons);
}

recovery::ReplaceAnswer ReplaceConfirmDialog::Ask(QWidget* parent, const QString& target, QWidget* beside) {
    auto* dialog = new ReplaceConfirmDialog(target, parent);
    PlaceBeside(dialog, beside);
    return RunModal(dialog, recovery::ReplaceAnswer::No,
                    [](ReplaceConfirmDialog& d, int result) {
                        return result == QDialog::Accepted ? d.Answer() : recovery::ReplaceAnswer::No;
                    });
}

}  // namespace app
