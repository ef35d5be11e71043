#include "app/WizardTree.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "app/Icons.h"
#include "netware/MountedVolume.h"
#include "netware/Selection.h"

namespace app {

namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;
constexpr int kNumberRole = Qt::UserRole + 3;

// Gives the tree access to the style options its items are painted with.
class TreeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    using QStyledItemDelegate::initStyleOption;
};

}  // namespace

WizardTree::WizardTree(const QString& objectName, QWidget* parent) : QTreeWidget(parent) {
    setObjectName(objectName);
    setColumnCount(1);
    header()->hide();
    setItemDelegate(new TreeDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setExpandsOnDoubleClick(true);
    setFrameShape(QFrame::StyledPanel);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void WizardTree::SetStateImage(QTreeWidgetItem* item, int state) {
    if (!item) return;
    item->setData(0, kStateRole, state);
    switch (state) {
        case nw::kUnchecked: item->setData(0, Qt::CheckStateRole, Qt::Unchecked); break;
        case nw::kChecked: item->setData(0, Qt::CheckStateRole, Qt::Checked); break;
        case nw::kPartlyChecked: item->setData(0, Qt::CheckStateRole, Qt::PartiallyChecked); break;
        default: item->setData(0, Qt::CheckStateRole, QVariant()); break;
    }
}

int WizardTree::StateImage(const QTreeWidgetItem* item) { return item ? item->data(0, kStateRole).toInt() : 0; }

int WizardTree::Image(const QTreeWidgetItem* item) { return item ? item->data(0, kImageRole).toInt() : 0; }

std::uint32_t WizardTree::NumberOf(const QTreeWidgetItem* item) {
    if (!item) return kNoNumber;
    const QVariant v = item->data(0, kNumberRole);
    return v.isValid() ? v.toUInt() : kNoNumber;
}

namespace {

QTreeWidgetItem* NewItem(const std::string& text, int image, int stateImage, std::uint32_t number) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, QString::fromStdString(text));
    item->setData(0, kImageRole, image);
    item->setIcon(0, icons::TreeImage(image));
    if (number != WizardTree::kNoNumber) item->setData(0, kNumberRole, number);
    // The check box is ours to toggle: the item never toggles itself.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    WizardTree::SetStateImage(item, stateImage);
    return item;
}

}  // namespace

QTreeWidgetItem* WizardTree::InsertItem(QTreeWidgetItem* parent, const std::string& text, int image, int stateImage,
                                        std::uint32_t number) {
    QTreeWidgetItem* item = NewItem(text, image, stateImage, number);
    if (parent)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    return item;
}

void WizardTree::Clear() {
    lastCheckBoxItem_ = nullptr;
    nodeItems_.clear();
    clear();
}

void WizardTree::ShowFolderTree(const nw::MountedVolume& volume) {
    Clear();
    const nw::FolderTree& tree = volume.tree;
    // Nodes are numbered in the order they were added, a parent before its
    // children and siblings in order: the items are made in node order, below
    // a root that joins the widget only when complete.
    nodeItems_.assign(tree.Size(), nullptr);
    QTreeWidgetItem* root = NewItem(tree.RootText(), kRootImage, nw::kUnchecked, nw::kRootNode);
    nodeItems_[nw::kRootNode] = root;
    for (std::uint32_t n = 1; n < tree.Size(); ++n) {
        const std::uint32_t parent = tree.Parent(n);
        QTreeWidgetItem* item = NewItem(nw::NodeText(volume, n), kFolderImage, nw::kUnchecked, n);
        const std::uint32_t folder = tree[n].folderIndex;
        if (folder < volume.FolderList.Size() && volume.FolderList[folder].IsDeleted()) {
            // A deleted folder is greyed, as its row in the list is.
            item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(0, item->text(0) + " (deleted)");
        }
        nodeItems_[n] = item;
        if (parent < n && nodeItems_[parent]) nodeItems_[parent]->addChild(item);
        else root->addChild(item);
    }
    addTopLevelItem(root);
    root->setExpanded(true);
}

void WizardTree::ShowChecks(const nw::Selection& selection) {
    for (std::uint32_t n = 0; n < nodeItems_.size(); ++n) {
        QTreeWidgetItem* item = nodeItems_[n];
        const int state = selection.NodeState(n);
        if (item && StateImage(item) != state) SetStateImage(item, state);
    }
}

QTreeWidgetItem* WizardTree::ItemOfNode(std::uint32_t node) const {
    return node < nodeItems_.size() ? nodeItems_[node] : nullptr;
}

QRect WizardTree::CheckRect(QTreeWidgetItem* item, QRect* iconRect, QRect* textRect) const {
    QStyleOptionViewItem opt;
    const_cast<WizardTree*>(this)->initViewItemOption(&opt);
    const QModelIndex index = indexFromItem(item);
    opt.rect = visualItemRect(item);
    static_cast<TreeDelegate*>(itemDelegate())->initStyleOption(&opt, index);
    const QWidget* w = this;
    const QRect check = (opt.features & QStyleOptionViewItem::HasCheckIndicator)
                            ? style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, w)
                            : QRect();
    if (iconRect) *iconRect = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, w);
    if (textRect) {
        QRect t = style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
        t.setWidth(fontMetrics().horizontalAdvance(item->text(0)) + 2 * margin);
        *textRect = t;
    }
    return check;
}

WizardTree::Hit WizardTree::HitTest(const QPoint& pos, QTreeWidgetItem** out) const {
    QTreeWidgetItem* item = itemAt(pos);
    if (out) *out = item;
    if (!item) return Hit::Nowhere;
    const QRect cell = visualItemRect(item);
    if (pos.x() < cell.left()) return Hit::Indent;
    QRect icon, text;
    const QRect check = CheckRect(item, &icon, &text);
    if (check.isValid() && check.contains(pos)) return Hit::CheckBox;
    if (icon.isValid() && icon.contains(pos)) return Hit::Icon;
    if (pos.x() < check.left() && check.isValid()) return Hit::Indent;
    if (pos.x() <= text.right()) return Hit::Label;
    return Hit::RightOfLabel;
}

QPoint WizardTree::CheckBoxPoint(QTreeWidgetItem* item) const { return CheckRect(item, nullptr, nullptr).center(); }

QPoint WizardTree::LabelPoint(QTreeWidgetItem* item) const {
    QRect text;
    CheckRect(item, nullptr, &text);
    return QPoint(text.left() + std::min(8, text.width() / 2), text.center().y());
}

void WizardTree::SelectAndReveal(QTreeWidgetItem* item) {
    if (!item) return;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) p->setExpanded(true);
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

void WizardTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    QTreeWidgetItem* item = nullptr;
    const Hit hit = HitTest(event->position().toPoint(), &item);
    emit Pressed(item, hit);
    if (hit == Hit::CheckBox) {
        lastCheckBoxItem_ = item;
        emit CheckBoxPressed(item);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void WizardTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* item = nullptr;
    // A quick second click on a check box is a second toggle, not an expand.
    if (event->button() == Qt::LeftButton && HitTest(event->position().toPoint(), &item) == Hit::CheckBox) {
        mousePressEvent(event);
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

}  // namespace app
