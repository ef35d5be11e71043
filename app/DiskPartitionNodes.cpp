#include "app/DiskPartitionNodes.h"

#include <QVariant>
#include <algorithm>

#include "app/DetailsList.h"
#include "app/Messages.h"
#include "app/WizardTree.h"
#include "netware/Selection.h"
#include "workflow/Disks.h"

namespace app {
namespace {

constexpr int kPartitionRole = Qt::UserRole + 20;  // the partition's number (0: not a partition)
constexpr int kFirstRole = Qt::UserRole + 21;
constexpr int kEndRole = Qt::UserRole + 22;

}  // namespace

DiskPartitionNodes::DiskPartitionNodes(WizardTree& diskTree, DetailsList& details, workflow::Session& session)
    : tree_(diskTree), details_(details), session_(session) {}

DiskPartitionNodes::~DiskPartitionNodes() { Stop(); }

void DiskPartitionNodes::Stop() {
    channel_.Close();
    worker_.Join();
}

bool DiskPartitionNodes::IsPartitionNode(const QTreeWidgetItem* item) {
    return item && item->data(0, kPartitionRole).toUInt() != 0;
}

std::string DiskPartitionNodes::NodeText(const disk::PartitionContents& p) {
    const std::string what = p.partition.extended   ? "extended"
                             : p.fileSystem.empty() ? p.partition.TypeText()
                                                    : p.fileSystem;
    return "Partition " + std::to_string(p.partition.number) + ": " + what + " (" +
           SizeText(p.partition.sectors * disk::kSectorSize).toStdString() + ")";
}

std::vector<std::pair<std::string, std::string>> DiskPartitionNodes::Rows(const disk::DiskContents& contents) {
    std::vector<std::pair<std::string, std::string>> rows;
    const char* scheme = contents.table.scheme == disk::PartitionScheme::Gpt   ? "GPT"
                         : contents.table.scheme == disk::PartitionScheme::Mbr ? "MBR"
                                                                               : "none found";
    rows.emplace_back("Partition Table   : ", scheme);
    for (const disk::PartitionContents& p : contents.partitions) {
        std::string value = p.partition.TypeText();
        if (!p.fileSystem.empty()) value += ", " + p.fileSystem;
        if (!p.label.empty()) value += " \"" + p.label + "\"";
        value += ", sectors " + std::to_string(p.partition.start) + " - " +
                 std::to_string(p.partition.start + p.partition.sectors - 1) + " (" +
                 SizeText(p.partition.sectors * disk::kSectorSize).toStdString() + ")";
        rows.emplace_back("Partition " + std::to_string(p.partition.number) + "   : ", value);
    }
    for (const std::string& problem : contents.table.problems) rows.emplace_back("Partition Table   : ", problem);
    if (!contents.table.unread.empty()) {
        std::uint64_t sectors = 0;
        for (const auto& u : contents.table.unread) sectors += u.count;
        rows.emplace_back("Partition Table   : ", std::to_string(sectors) + " sectors could not be read");
    }
    return rows;
}

QTreeWidgetItem* DiskPartitionNodes::DiskNode(unsigned number) const {
    QTreeWidgetItem* root = tree_.topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i)
        if (WizardTree::NumberOf(root->child(i)) == number) return root->child(i);
    return nullptr;
}

void DiskPartitionNodes::DiskChosen(unsigned number, QTreeWidgetItem* partitionNode) {
    chosen_ = number;
    chosenRange_.reset();
    if (IsPartitionNode(partitionNode)) {
        std::uint64_t end = partitionNode->data(0, kEndRole).toULongLong();
        if (const std::uint64_t total = workflow::DiskSectorCount(session_, number); total > 0)
            end = std::min(end, total);
        const std::uint64_t first = partitionNode->data(0, kFirstRole).toULongLong();
        if (end > first) chosenRange_ = workflow::SectorRange{first, end};
    }
    if (const auto it = known_.find(number); it != known_.end()) {
        for (const auto& row : Rows(it->second)) details_.AddRow({row.first, row.second});
        return;
    }
    if (reading_ == number) return;  // its rows come when the read ends
    wanted_ = number;
    ReadNext();
}

void DiskPartitionNodes::Forget() {
    known_.clear();
    chosenRange_.reset();
}

void DiskPartitionNodes::ReadNext() {
    if (!wanted_ || worker_.Running()) return;
    worker_.Join();
    const unsigned number = *wanted_;
    wanted_.reset();
    reading_ = number;
    worker_.Start([this, number] {
        disk::DiskContents contents = workflow::ReadDiskPartitions(session_, number);
        channel_.Post([this, number, contents = std::move(contents)] { Shown(number, contents); });
    });
}

void DiskPartitionNodes::Shown(unsigned number, const disk::DiskContents& contents) {
    worker_.Join();  // its routine has posted this as its last act
    reading_.reset();
    known_[number] = contents;
    if (QTreeWidgetItem* node = DiskNode(number)) {
        for (QTreeWidgetItem* child : node->takeChildren()) delete child;
        for (const disk::PartitionContents& p : contents.partitions) {
            QTreeWidgetItem* item =
                tree_.InsertItem(node, NodeText(p), WizardTree::kDiskImage, nw::kNoStateImage);
            item->setData(0, kPartitionRole, p.partition.number);
            item->setData(0, kFirstRole, QVariant::fromValue<qulonglong>(p.partition.start));
            item->setData(0, kEndRole, QVariant::fromValue<qulonglong>(p.partition.start + p.partition.sectors));
        }
        node->setExpanded(true);
    }
    if (number == chosen_)
        for (const auto& row : Rows(contents)) details_.AddRow({row.first, row.second});
    ReadNext();
}

}  // namespace app
