// The one tree class of the main window (disk tree, volume tree, directory
// tree). Items carry a normal image, a check-box state image (nw::CheckState:
// 1 not checked, 2 checked, 3 partly checked, 0 none) and a number: the disk
// number, the index of a found volume, or the node of the engine's folder
// tree that a directory item shows. Window thread only.
#pragma once

#include <QTreeWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "netware/FolderTree.h"

namespace nw {
class Selection;
struct MountedVolume;
}

namespace app {

class WizardTree : public QTreeWidget {
    Q_OBJECT
public:
    // Where a click hit an item.
    enum class Hit { Nowhere, Indent, CheckBox, Icon, Label, RightOfLabel };

    // Tree images (see Icons.h).
    static constexpr int kDiskImage = 1;    // a disk, a volume
    static constexpr int kRootImage = 2;    // the root of each tree
    static constexpr int kFolderImage = 3;  // a folder

    static constexpr std::uint32_t kNoNumber = 0xFFFFFFFFu;

    explicit WizardTree(const QString& objectName, QWidget* parent = nullptr);

    // Inserts an item as the last child of `parent` (nullptr: a top-level item).
    QTreeWidgetItem* InsertItem(QTreeWidgetItem* parent, const std::string& text, int image, int stateImage,
                                std::uint32_t number = kNoNumber);
    static int Image(const QTreeWidgetItem* item);
    static int StateImage(const QTreeWidgetItem* item);
    static void SetStateImage(QTreeWidgetItem* item, int state);
    // The number an item carries (kNoNumber for none or no item).
    static std::uint32_t NumberOf(const QTreeWidgetItem* item);
    // Removes every item.
    void Clear();

    // The directory tree: draws the folder tree of a mounted volume (the
    // root labelled with the tree's root text, expanded, every folder below
    // it in tree order), each item carrying its node; and shows a
    // selection's check states on its items.
    void ShowFolderTree(const nw::MountedVolume& volume);
    void ShowChecks(const nw::Selection& selection);
    // The item that shows a node (nullptr when none does).
    QTreeWidgetItem* ItemOfNode(std::uint32_t node) const;

    Hit HitTest(const QPoint& viewportPos, QTreeWidgetItem** item) const;
    // Points inside an item's check box and label, in viewport coordinates.
    QPoint CheckBoxPoint(QTreeWidgetItem* item) const;
    QPoint LabelPoint(QTreeWidgetItem* item) const;

    QTreeWidgetItem* LastCheckBoxItem() const { return lastCheckBoxItem_; }
    // Selects the item and opens every ancestor up to the root.
    void SelectAndReveal(QTreeWidgetItem* item);

signals:
    // A left-button press on the tree, before the tree's own handling (which
    // does not run for check-box hits).
    void Pressed(QTreeWidgetItem* item, app::WizardTree::Hit hit);
    void CheckBoxPressed(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect CheckRect(QTreeWidgetItem* item, QRect* iconRect, QRect* textRect) const;
    QTreeWidgetItem* lastCheckBoxItem_ = nullptr;
    std::vector<QTreeWidgetItem*> nodeItems_;  // by node, while a folder tree is shown
};

}  // namespace app
