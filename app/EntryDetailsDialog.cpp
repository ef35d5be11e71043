#include "app/EntryDetailsDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "netware/NameSpaces.h"
#include "netware/Records.h"
#include "netware/Timestamps.h"
#include "workflow/Session.h"

namespace app {

namespace {

QString Hex(std::uint32_t value, int digits) { return QString("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

QString TrusteesText(const nw::EntryMetadata& m) {
    QStringList parts;
    for (const auto& [id, rights] : m.trustees) parts << Hex(id, 8) + ":" + Hex(rights, 4);
    return parts.join(", ");
}

}  // namespace

QString PackedDateText(std::uint32_t packed) {
    if (packed == 0) return {};
    const nw::UnpackedTimestamp u = nw::UnpackTimestamp(packed);
    if (u.month < 1 || u.month > 12 || u.day < 1 || u.day > 31) return {};
    return QString("%1-%2-%3 %4:%5:%6")
        .arg(u.year, 4, 10, QChar('0'))
        .arg(u.month, 2, 10, QChar('0'))
        .arg(u.day, 2, 10, QChar('0'))
        .arg(u.hour, 2, 10, QChar('0'))
        .arg(u.minute, 2, 10, QChar('0'))
        .arg(u.second, 2, 10, QChar('0'));
}

EntryDetailsDialog::EntryDetailsDialog(workflow::Session& session, const nw::EntryRecord& entry, QWidget* parent)
    : QDialog(parent) {
    setObjectName("entryDetailsDialog");
    setWindowTitle("Entry Details");
    facts_ = new QTreeWidget;
    facts_->setObjectName("entryDetails");
    facts_->setColumnCount(2);
    facts_->setHeaderLabels({"Fact", "Value"});
    facts_->setRootIsDecorated(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(facts_);
    layout->addWidget(buttons);
    resize(560, 420);

    // What the mount kept: every name, the Unix and Macintosh facts.
    const nw::MountedVolume& volume = session.mounted;
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(entry);
    if (!ns) {
        AddRow("DOS name", QString::fromStdString(entry.name));
    } else {
        for (std::uint8_t n : {nw::kNameSpaceDos, nw::kNameSpaceMac, nw::kNameSpaceNfs, nw::kNameSpaceLong,
                               nw::kNameSpaceNt})
            if (ns->Has(n) && !ns->names[n].empty())
                AddRow(QString::fromStdString(nw::NameSpaceText(n)) + " name", QString::fromStdString(ns->names[n]));
        if (ns->Has(nw::kNameSpaceNfs)) {
            AddRow("Unix mode", QString("%1").arg(ns->mode & 07777, 4, 8, QChar('0')));
            AddRow("Unix owner and group", QString("%1:%2").arg(ns->uid).arg(ns->gid));
            AddRow("Links", QString::number(ns->linkCount));
        }
        if (ns->HasFork()) AddRow("Resource fork", QString("%1 bytes").arg(ns->forkSize));
        if (ns->HasFinderInfo())
            AddRow("Finder type and creator",
                   QString::fromLatin1(reinterpret_cast<const char*>(ns->finderInfo.data()), 8));
    }

    // The record itself, read on the dialog's worker.
    const nw::EntryRecord record = entry;
    worker_.Start([this, &session, record] {
        const disk::SectorReader reader(session.disks, quiet_);
        const nw::EntryMetadata m = nw::ReadEntryMetadata(reader, record, &session.mounted);
        QMetaObject::invokeMethod(this, [this, m] { ShowMetadata(m); }, Qt::QueuedConnection);
    });
}

EntryDetailsDialog::~EntryDetailsDialog() { worker_.Join(); }

void EntryDetailsDialog::AddRow(const QString& caption, const QString& value) {
    auto* row = new QTreeWidgetItem(facts_);
    row->setText(0, caption);
    row->setText(1, value);
}

void EntryDetailsDialog::ShowMetadata(const nw::EntryMetadata& m) {
    if (!m.read) {
        AddRow("Directory record", "could not be read in either directory copy");
    } else {
        AddRow("Created", PackedDateText(m.created));
        AddRow("Modified", PackedDateText(m.modified));
        AddRow("Accessed", PackedDateText(static_cast<std::uint32_t>(m.accessDate) << 16).left(10));
        AddRow("Archived", PackedDateText(m.archived));
        AddRow("Deleted", PackedDateText(m.deleted));
        AddRow("Owner ID", Hex(m.owner, 8));
        AddRow("Archiver ID", Hex(m.archiver, 8));
        AddRow("Updater ID", Hex(m.updater, 8));
        AddRow("Deleter ID", Hex(m.deleter, 8));
        AddRow("Trustees", TrusteesText(m) + (m.trusteesUnreadable ? " (a trustee record could not be read)" : ""));
    }
    facts_->resizeColumnToContents(0);
    read_ = true;
    emit FactsShown();
}

QList<QPair<QString, QString>> EntryDetailsDialog::Rows() const {
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < facts_->topLevelItemCount(); ++i)
        rows.append({facts_->topLevelItem(i)->text(0), facts_->topLevelItem(i)->text(1)});
    return rows;
}

}  // namespace app
