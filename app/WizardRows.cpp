// The wizard's browsing step: a list row opened (a folder listed, a file
// viewed).
#include "app/WizardController.h"

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"

namespace app {

// ---- list rows ---------------------------------------------------------------------------------

void WizardController::OpenRow(QTreeWidgetItem* row) {
    if (state_.currentStep != 2 || !row || !p_.detailsList->ShowsEntries()) return;
    const std::uint64_t number = DetailsList::NumberOfRow(row);
    if (DetailsList::RowIsFolder(row)) {
        QTreeWidgetItem* item = number <= nw::kNoNode ? p_.directoryTree->ItemOfNode(static_cast<std::uint32_t>(number))
                                                      : nullptr;
        if (!item) item = p_.directoryTree->topLevelItem(0);  // an unknown folder lists the root
        if (!item) return;
        const std::uint32_t node = WizardTree::NumberOf(item);
        p_.statusLine->setText(QString::fromStdString(nw::ShownPath(session_.mounted, node)));
        state_.currentFolderNode = node;
        ListFolder(node);
        item->setExpanded(true);
        p_.directoryTree->setFocus();
        state_.treeHasFocus = true;
        p_.directoryTree->SelectAndReveal(item);
    } else if (viewFile) {
        viewFile(static_cast<std::size_t>(number));
    }
}

}  // namespace app
