// The wizard's browsing step: a folder's rows and their ticks, the folder
// tree's check boxes, and a list row opened (a folder listed, a file viewed).
#include "app/WizardController.h"

#include <QSignalBlocker>

#include "app/EntryRows.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/Selection.h"

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

// ---- rows and ticks ---------------------------------------------------------------------------

void WizardController::ListFolder(std::uint32_t node) {
    const nw::MountedVolume& volume = session_.mounted;
    p_.detailsList->ClearRows();
    for (const Row& row : FolderRows(volume, nw::FolderNumberOfNode(volume, node), state_.storedLengths))
        p_.detailsList->AddEntryRow(row.columns, row.isFolder, row.isFolder ? row.node : row.index,
                                    RowCheck(row.isFolder, row.isFolder ? row.node : row.index, row.index),
                                    row.deleted, row.sizeNote);
    p_.detailsList->FitColumns();
}

Qt::CheckState WizardController::RowCheck(bool isFolder, std::uint64_t number, std::size_t index) const {
    const nw::Selection& s = session_.selection;
    if (!isFolder) return s.FileChecked(index) ? Qt::Checked : Qt::Unchecked;
    if (number < nw::kNoNode) {
        switch (s.NodeState(static_cast<std::uint32_t>(number))) {
            case nw::kChecked: return Qt::Checked;
            case nw::kPartlyChecked: return Qt::PartiallyChecked;
            case nw::kUnchecked: return Qt::Unchecked;
            default: break;
        }
    }
    return s.FolderChecked(index) ? Qt::Checked : Qt::Unchecked;
}

void WizardController::RowTicked(QTreeWidgetItem* row, bool on) {
    if (state_.currentStep != 2 || !row || !session_.volumeOpen.load()) return;
    const std::uint64_t number = DetailsList::NumberOfRow(row);
    nw::Selection& s = session_.selection;
    if (DetailsList::RowIsFolder(row)) {
        if (number < nw::kNoNode) {
            const auto node = static_cast<std::uint32_t>(number);
            // The row's box checks or clears the folder with everything
            // below it (a click toggles a checked folder off, anything else on).
            if (s.NodeState(node) == nw::kPartlyChecked || (on && s.NodeState(node) == nw::kUnchecked))
                s.ToggleFolder(session_.mounted, node);
            if (!on && s.NodeState(node) == nw::kChecked) s.ToggleFolder(session_.mounted, node);
        }
    } else {
        s.SetFile(session_.mounted, static_cast<std::size_t>(number), on, state_.currentFolderNode);
    }
    p_.directoryTree->ShowChecks(s);
    RefreshListChecks(row);
}

void WizardController::RefreshListChecks(QTreeWidgetItem* row) {
    if (!p_.detailsList->ShowsEntries()) return;
    // Every row shows the selection's mark, a clicked one included (a
    // folder shown nowhere in the tree cannot be ticked on its own).
    const QSignalBlocker quiet(p_.detailsList);
    for (int i = 0; i < p_.detailsList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* r = p_.detailsList->topLevelItem(i);
        const bool folder = DetailsList::RowIsFolder(r);
        const std::uint64_t n = DetailsList::NumberOfRow(r);
        if (!folder)
            r->setCheckState(0, RowCheck(false, n, static_cast<std::size_t>(n)));
        else if (n < session_.mounted.tree.Size())
            r->setCheckState(0, RowCheck(true, n, session_.mounted.tree[static_cast<std::uint32_t>(n)].folderIndex));
        else if (r == row)
            r->setCheckState(0, Qt::Unchecked);
    }
}

void WizardController::ShowFolderOf(QTreeWidgetItem* item) {
    const std::uint32_t node = WizardTree::NumberOf(item);
    if (node == WizardTree::kNoNumber) return;
    p_.detailsList->ClearRows();
    p_.directoryTree->setCurrentItem(item);
    p_.statusLine->setText(QString::fromStdString(nw::ShownPath(session_.mounted, node)));
    state_.currentFolderNode = node;
    ListFolder(node);
}

void WizardController::CheckBoxPressed(WizardTree* tree, QTreeWidgetItem* item) {
    if (!item) return;
    if (tree != p_.directoryTree) return;  // only folders carry check boxes
    const std::uint32_t node = WizardTree::NumberOf(item);
    if (node == WizardTree::kNoNumber || !session_.volumeOpen.load()) return;
    session_.selection.ToggleFolder(session_.mounted, node);
    p_.directoryTree->ShowChecks(session_.selection);
    // The list shows the new marks (its folder may lie in the toggled
    // branch, or hold the toggled folder, or be one of its ancestors).
    RefreshListChecks(nullptr);
}

}  // namespace app
