// The large list on the right of the main window: disk facts and volume
// facts under one "Details" column at the first two steps, a folder's
// contents in seven columns (Name, Type, Size, Date, Time, ID, State) while
// browsing; deleted entries are greyed and say so in the State column.
#pragma once

#include <QTreeWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/SaveEngine.h"

namespace app {

class DetailsList : public QTreeWidget {
    Q_OBJECT
public:
    explicit DetailsList(QWidget* parent = nullptr);

    // The single column of the first steps (the word preceded by 69 blanks).
    static QString DetailsHeader();
    void UseDetailsColumn();
    void UseEntryColumns();
    bool ShowsEntries() const { return columnCount() == 7; }

    // Adds a row under the single column: the texts joined.
    void AddRow(const std::vector<std::string>& columns);
    // Adds a row under the seven columns, with its type image and check box;
    // it carries the folder's node (folder rows) or the file's index in the
    // file list (file rows).
    // The size shows in readable units, the exact byte count in its tooltip
    // (after `sizeNote` where there is one). A deleted row is greyed.
    void AddEntryRow(const std::vector<std::string>& columns, bool isFolder, std::uint64_t number,
                     Qt::CheckState check, bool deleted = false, const std::string& sizeNote = {});
    static bool RowIsDeleted(const QTreeWidgetItem* row);
    // Columns as wide as their contents, the name column taking the rest.
    void FitColumns();
    void ClearRows();

    static bool RowIsFolder(const QTreeWidgetItem* row);
    static std::uint64_t NumberOfRow(const QTreeWidgetItem* row);
    // Every row in its order, as a list-source save takes them.
    std::vector<recovery::ListItem> ListItems() const;

signals:
    void RowOpened(QTreeWidgetItem* item);
    // The user ticked or cleared a row's check box.
    void RowTicked(QTreeWidgetItem* item, bool on);
    void ContextMenuAt(const QPoint& globalPos);
    void Clicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace app
