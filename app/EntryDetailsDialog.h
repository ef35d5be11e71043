// "Entry Details": everything the directory tells of one folder or file:
// every name it has, its dates by name, the owner, archiver, updater and
// deleter IDs, its trustees, and its Unix and Macintosh facts. The record is
// read again on a worker of the dialog's own, through a reader that never
// prompts, so the window never waits for a read.
#pragma once

#include <QDialog>

#include "disk/BadSectorPolicy.h"
#include "netware/EntryList.h"
#include "netware/EntryMetadata.h"
#include "workflow/Worker.h"

class QTreeWidget;

namespace workflow {
struct Session;
}

namespace app {

class EntryDetailsDialog : public QDialog {
    Q_OBJECT
public:
    // `entry` of the session's mounted volume.
    EntryDetailsDialog(workflow::Session& session, const nw::EntryRecord& entry, QWidget* parent = nullptr);
    ~EntryDetailsDialog() override;

    // The facts' rows as shown: caption and value.
    QList<QPair<QString, QString>> Rows() const;
    // Whether the record's reading has ended and its facts are shown.
    bool Read() const { return read_; }

signals:
    void FactsShown();

private:
    void AddRow(const QString& caption, const QString& value);
    void ShowMetadata(const nw::EntryMetadata& m);

    QTreeWidget* facts_ = nullptr;
    bool read_ = false;
    disk::BadSectorPolicy quiet_;  // Retry without asking: the reader never waits for the window
    workflow::Worker worker_;      // destroyed (joined) before the policy it reads through
};

// "2007-04-03 12:30:00"; empty where the packed value is 0 or no date.
QString PackedDateText(std::uint32_t packed);

}  // namespace app
