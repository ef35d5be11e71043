#include "app/DetailsList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <charconv>

#include "app/Icons.h"
#include "app/WizardTree.h"
#include "app/job/WizardState.h"
#include "netware/TreeModel.h"

namespace app {

namespace {

// The record a six-column row names through its ID column.
const nw::EntryRecord* RecordOfRow(const std::vector<std::string>& c) {
    std::uint64_t id = 0;
    const std::string& text = c[5];
    if (std::from_chars(text.data(), text.data() + text.size(), id).ec != std::errc()) return nullptr;
    const QString type = QString::fromStdString(c[1]);
    if (DetailsList::IsFolderType(type))
        return nw::FindFolderByTreeItem(reinterpret_cast<job::TreeItem>(static_cast<std::uintptr_t>(id)));
    if (DetailsList::IsFileType(type) && id <= 0xFFFFFFFFu) return nw::FindFileByOrdinal(static_cast<std::uint32_t>(id));
    return nullptr;
}

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

bool DetailsList::IsFolderType(const QString& type) { return type.endsWith("Folder") || type.endsWith("FOLDER"); }

bool DetailsList::IsFileType(const QString& type) {
    return type.endsWith("FILE") || type.endsWith("file") || type.endsWith("File");
}

void DetailsList::AddRow(const std::vector<std::string>& columns) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (!ShowsEntries()) {
        std::string joined;
        for (const auto& c : columns) joined += c;
        item->setText(0, QString::fromStdString(joined));
        addTopLevelItem(item);
        return;
    }
    for (int i = 0; i < 6 && i < static_cast<int>(columns.size()); ++i)
        item->setText(i, QString::fromStdString(columns[static_cast<std::size_t>(i)]));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    if (columns.size() >= 6) {
        const QString type = item->text(1);
        item->setIcon(0, icons::ListImage(IsFolderType(type) ? nw::kFolderListImage
                                                             : nw::FileTypeFor(columns[0]).image));
        const nw::EntryRecord* record = RecordOfRow(columns);
        item->setCheckState(0, record && record->checked == 1 ? Qt::Checked : Qt::Unchecked);
    }
    addTopLevelItem(item);
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
