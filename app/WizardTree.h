// The one tree class of the main window (disk tree, volume tree, directory
// tree). Items carry a normal image and a check-box state image (1 not
// checked, 2 checked, 3 partly checked, 0 none); engine code fills the tree
// through job::TreeView from any thread, the calls being carried over to the
// window thread.
#pragma once

#include <QPointer>
#include <QTreeWidget>

#include "app/job/Tree.h"

namespace app {

class WizardTree : public QTreeWidget, public job::TreeView {
    Q_OBJECT
public:
    // Where a click hit an item.
    enum class Hit { Nowhere, Indent, CheckBox, Icon, Label, RightOfLabel };

    explicit WizardTree(const QString& objectName, QWidget* parent = nullptr);

    // job::TreeView
    job::TreeItem InsertItem(job::TreeItem parent, const std::string& text, int image, int stateImage) override;
    job::TreeItem Parent(job::TreeItem item) override;
    job::TreeItem FirstChild(job::TreeItem item) override;
    job::TreeItem NextSibling(job::TreeItem item) override;
    std::string Text(job::TreeItem item) override;
    int Image(job::TreeItem item) override;
    int StateImage(job::TreeItem item) override;
    void SetStateImage(job::TreeItem item, int state) override;
    void Expand(job::TreeItem item) override;
    void Clear() override;

    static QTreeWidgetItem* ItemOf(job::TreeItem item) { return static_cast<QTreeWidgetItem*>(item); }
    static job::TreeItem HandleOf(QTreeWidgetItem* item) { return item; }

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
    void ApplyState(QTreeWidgetItem* item, int state);
    QRect CheckRect(QTreeWidgetItem* item, QRect* iconRect, QRect* textRect) const;
    QTreeWidgetItem* lastCheckBoxItem_ = nullptr;
};

}  // namespace app
