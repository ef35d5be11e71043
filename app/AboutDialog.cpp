#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "app/SupportContacts.h"

namespace app {

AboutDialog::AboutDialog(QWidget* parent) : ui::DialogEx(parent, "About Tarvine - Novell Netware") {
    setObjectName("aboutDialog");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(icons::WindowIcon().pixmap(48, 48));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    auto* title = new QLabel("Tarvine For Novell NetWare (11.06.07)");
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    text->addWidget(title);
    text->addWidget(new QLabel(QString(support::kMakerLines)));
    top->addLayout(text, 1);
    layout->addLayout(top);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    FixSize();
}

}  // namespace app
