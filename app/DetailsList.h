// The large list on the right of the main window: disk facts and volume
// facts under one "Details" column at the first two steps, a folder's
// contents in six columns (Name, Type, Size, Date, Time, ID) while browsing.
#pragma once

#include <QTreeWidget>
#include <string>
#include <vector>

namespace app {

class DetailsList : public QTreeWidget {
    Q_OBJECT
public:
    explicit DetailsList(QWidget* parent = nullptr);

    // The single column of the first steps (the word preceded by 69 blanks).
    static QString DetailsHeader();
    void UseDetailsColumn();
    void UseEntryColumns();
    bool ShowsEntries() const { return columnCount() == 6; }

    // Adds a row. Under the single column the texts are joined; under the
    // six columns the row gets its type image and, from the record it names,
    // its check box.
    void AddRow(const std::vector<std::string>& columns);
    void ClearRows();

    static bool IsFolderType(const QString& type);
    static bool IsFileType(const QString& type);

signals:
    void RowOpened(QTreeWidgetItem* item);
    void ContextMenuAt(const QPoint& globalPos);
    void Clicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace app
