#include "app/DetailsList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

#include "app/EntryRows.h"
#include "app/Icons.h"

namespace app {

namespace {

constexpr int kIsFolderRole = Qt::UserRole + 1;
constexpr int kNumberRole = Qt::UserRole + 2;

}  // namespace

DetailsList::DetailsList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("detailsList");
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setIconSize(QSize(16, 16));
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    UseDetailsColumn();
}

QString DetailsList::DetailsHeader() { return QString(69, ' ') + "Details"; }

void DetailsList::UseDetailsColumn() {
    clear();
    setColumnCount(1);
    setHeaderLabels({DetailsHeader()});
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setColumnWidth(0, 500);
}

void DetailsList::UseEntryColumns() {
    clear();
    setColumnCount(6);
    setHeaderLabels({"Name", "Type", "Size", "Date", "Time", "ID"});
    // Wide enough for the longest type text and a full date in this font.
    static const int widths[6] = {165, 150, 65, 90, 62, 60};
    for (int i = 0; i < 6; ++i) setColumnWidth(i, widths[i]);
    headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
}

void DetailsList::AddRow(const std::vector<std::string>& columns) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    std::string joined;
    for (const auto& c : columns) joined += c;
    item->setText(0, QString::fromStdString(joined));
    addTopLevelItem(item);
}

void DetailsList::AddEntryRow(const std::vector<std::string>& columns, bool isFolder, std::uint64_t number,
                              bool checked) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    for (int i = 0; i < 6 && i < static_cast<int>(columns.size()); ++i)
        item->setText(i, QString::fromStdString(columns[static_cast<std::size_t>(i)]));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    const std::string name = columns.empty() ? std::string() : columns[0];
    item->setIcon(0, icons::ListImage(isFolder ? kFolderListImage : FileTypeFor(name).image));
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    item->setData(0, kIsFolderRole, isFolder);
    item->setData(0, kNumberRole, QVariant::fromValue<qulonglong>(number));
    addTopLevelItem(item);
}

bool DetailsList::RowIsFolder(const QTreeWidgetItem* row) { return row && row->data(0, kIsFolderRole).toBool(); }

std::uint64_t DetailsList::NumberOfRow(const QTreeWidgetItem* row) {
    return row ? row->data(0, kNumberRole).toULongLong() : 0;
}

std::vector<recovery::ListItem> DetailsList::ListItems() const {
    std::vector<recovery::ListItem> items;
    if (!ShowsEntries()) return items;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = topLevelItem(i);
        recovery::ListItem item;
        item.isFolder = RowIsFolder(row);
        if (item.isFolder)
            item.node = static_cast<std::uint32_t>(NumberOfRow(row));
        else
            item.fileIndex = static_cast<std::size_t>(NumberOfRow(row));
        item.selected = row->isSelected();
        items.push_back(item);
    }
    return items;
}

void DetailsList::ClearRows() { clear(); }

void DetailsList::contextMenuEvent(QContextMenuEvent* event) { emit ContextMenuAt(event->globalPos()); }

void DetailsList::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Clicked();
    QTreeWidget::mousePressEvent(event);
}

void DetailsList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) emit RowOpened(currentItem());
}

}  // namespace app
