#include "app/DetailsList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMouseEvent>

#include "app/EntryRows.h"
#include "app/Icons.h"
#include "app/Messages.h"

namespace app {

namespace {

constexpr int kIsFolderRole = Qt::UserRole + 1;
constexpr int kNumberRole = Qt::UserRole + 2;
constexpr int kDeletedRole = Qt::UserRole + 3;

}  // namespace

DetailsList::DetailsList(QWidget* parent) : QTreeWidget(parent) {
    // Qt toggles a check box before it reports the change: a row the user
    // ticks is told apart from rows drawn with their marks by the signals
    // being blocked while rows are drawn.
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0 && ShowsEntries()) emit RowTicked(item, item->checkState(0) != Qt::Unchecked);
    });
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
    setColumnCount(kEntryColumnCount);
    setHeaderLabels({"Name", "Type", "Size", "Date", "Time", "ID", "State"});
    // Wide enough for the longest type text and a full date in this font.
    static const int widths[kEntryColumnCount] = {165, 150, 65, 90, 62, 60, 80};
    for (int i = 0; i < kEntryColumnCount; ++i) setColumnWidth(i, widths[i]);
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
                              Qt::CheckState check, bool deleted, const std::string& sizeNote) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    for (int i = 0; i < kEntryColumnCount && i < static_cast<int>(columns.size()); ++i)
        item->setText(i, QString::fromStdString(columns[static_cast<std::size_t>(i)]));
    if (!isFolder && columns.size() > kSizeColumn) {
        bool ok = false;
        const qulonglong bytes = QString::fromStdString(columns[kSizeColumn]).toULongLong(&ok);
        if (ok) {
            item->setText(kSizeColumn, SizeText(bytes));
            const QString exact = QLocale().toString(bytes) + " bytes";
            item->setToolTip(kSizeColumn,
                             sizeNote.empty() ? exact : QString::fromStdString(sizeNote) + "\n" + exact + " saved");
        }
    }
    if (!sizeNote.empty()) item->setToolTip(kStateColumn, QString::fromStdString(sizeNote));
    item->setToolTip(0, item->text(0));
    if (deleted) {
        // Greyed like a disabled entry, yet still selectable and saveable.
        const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
        for (int i = 0; i < kEntryColumnCount; ++i) item->setForeground(i, grey);
        item->setToolTip(0, item->text(0) + " (deleted)");
    }
    item->setData(0, kDeletedRole, deleted);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    const std::string name = columns.empty() ? std::string() : columns[0];
    item->setIcon(0, icons::ListImage(isFolder ? kFolderListImage : FileTypeFor(name).image));
    item->setCheckState(0, check);
    item->setData(0, kIsFolderRole, isFolder);
    item->setData(0, kNumberRole, QVariant::fromValue<qulonglong>(number));
    addTopLevelItem(item);
}

bool DetailsList::RowIsFolder(const QTreeWidgetItem* row) { return row && row->data(0, kIsFolderRole).toBool(); }

bool DetailsList::RowIsDeleted(const QTreeWidgetItem* row) { return row && row->data(0, kDeletedRole).toBool(); }

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

void DetailsList::FitColumns() {
    if (!ShowsEntries()) return;
    for (int i = 1; i < kEntryColumnCount; ++i) resizeColumnToContents(i);
    resizeColumnToContents(0);
    int others = 0;
    for (int i = 1; i < kEntryColumnCount; ++i) others += columnWidth(i);
    const int room = viewport()->width() - others;
    if (room > columnWidth(0)) setColumnWidth(0, room);
}

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
