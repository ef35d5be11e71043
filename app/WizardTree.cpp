#include "app/WizardTree.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "app/Icons.h"
#include "app/UiThread.h"

namespace app {

namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;

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

void WizardTree::ApplyState(QTreeWidgetItem* item, int state) {
    item->setData(0, kStateRole, state);
    switch (state) {
        case job::kUnchecked: item->setData(0, Qt::CheckStateRole, Qt::Unchecked); break;
        case job::kChecked: item->setData(0, Qt::CheckStateRole, Qt::Checked); break;
        case job::kPartlyChecked: item->setData(0, Qt::CheckStateRole, Qt::PartiallyChecked); break;
        default: item->setData(0, Qt::CheckStateRole, QVariant()); break;
    }
}

job::TreeItem WizardTree::InsertItem(job::TreeItem parent, const std::string& text, int image, int stateImage) {
    return Call(this, [=, this]() -> job::TreeItem {
        auto* item = new QTreeWidgetItem();
        item->setText(0, QString::fromStdString(text));
        item->setData(0, kImageRole, image);
        item->setIcon(0, icons::TreeImage(image));
        // The check box is ours to toggle: the item never toggles itself.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        ApplyState(item, stateImage);
        if (parent)
            ItemOf(parent)->addChild(item);
        else
            addTopLevelItem(item);
        return item;
    });
}

job::TreeItem WizardTree::Parent(job::TreeItem item) {
    if (!item) return nullptr;
    return Call(this, [=]() -> job::TreeItem { return ItemOf(item)->parent(); });
}

job::TreeItem WizardTree::FirstChild(job::TreeItem item) {
    return Call(this, [=, this]() -> job::TreeItem {
        if (!item) return topLevelItemCount() ? topLevelItem(0) : nullptr;
        QTreeWidgetItem* i = ItemOf(item);
        return i->childCount() ? i->child(0) : nullptr;
    });
}

job::TreeItem WizardTree::NextSibling(job::TreeItem item) {
    if (!item) return nullptr;
    return Call(this, [=, this]() -> job::TreeItem {
        QTreeWidgetItem* i = ItemOf(item);
        if (QTreeWidgetItem* p = i->parent()) {
            const int at = p->indexOfChild(i);
            return at + 1 < p->childCount() ? p->child(at + 1) : nullptr;
        }
        const int at = indexOfTopLevelItem(i);
        return at >= 0 && at + 1 < topLevelItemCount() ? topLevelItem(at + 1) : nullptr;
    });
}

std::string WizardTree::Text(job::TreeItem item) {
    if (!item) return {};
    return Call(this, [=]() { return ItemOf(item)->text(0).toStdString(); });
}

int WizardTree::Image(job::TreeItem item) {
    if (!item) return 0;
    return Call(this, [=]() { return ItemOf(item)->data(0, kImageRole).toInt(); });
}

int WizardTree::StateImage(job::TreeItem item) {
    if (!item) return 0;
    return Call(this, [=]() { return ItemOf(item)->data(0, kStateRole).toInt(); });
}

void WizardTree::SetStateImage(job::TreeItem item, int state) {
    if (!item) return;
    Call(this, [=, this]() { ApplyState(ItemOf(item), state); });
}

void WizardTree::Expand(job::TreeItem item) {
    if (!item) return;
    Call(this, [=]() { ItemOf(item)->setExpanded(true); });
}

void WizardTree::Clear() {
    Call(this, [this]() {
        lastCheckBoxItem_ = nullptr;
        clear();
    });
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
