#include "ui/DialogEx.h"

#include <QLayout>

namespace ui {

DialogEx::DialogEx(QWidget* parent, const QString& caption) : QDialog(parent) {
    setWindowTitle(caption.isEmpty() ? QStringLiteral("Tarvine For Novell NetWare") : caption);
    setWindowFlags((windowFlags() | Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
}

void DialogEx::FixSize() {
    if (layout()) layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
}

}  // namespace ui
