// The partitions of the disk tree's disks: read on a worker of their own
// when a disk is chosen (the window thread never reads a disk), then shown
// as a node per partition under the disk's node and as rows after the
// disk's facts in the details list. Choosing a partition node chooses its
// disk and makes the partition the range the advanced search and the raw
// panel's sector fields take. Window thread only, except the worker.
#pragma once

#include <QObject>
#include <QTreeWidgetItem>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/UiChannel.h"
#include "disk/PartitionContents.h"
#include "workflow/Partitions.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"

namespace app {

class DetailsList;
class WizardTree;

class DiskPartitionNodes : public QObject {
    Q_OBJECT
public:
    DiskPartitionNodes(WizardTree& diskTree, DetailsList& details, workflow::Session& session);
    ~DiskPartitionNodes() override;

    // Whether a disk-tree item is a partition node (its parent is a disk).
    static bool IsPartitionNode(const QTreeWidgetItem* item);

    // Disk `number` was chosen (through its node or, with `partitionNode`,
    // through one of its partitions): its partitions are read unless known,
    // and shown under its node and in the details list.
    void DiskChosen(unsigned number, QTreeWidgetItem* partitionNode);
    // The disk tree was drawn again: what was read is read again when asked.
    void Forget();
    // The chosen partition's sectors [first, end); none when a whole disk is chosen.
    const std::optional<workflow::SectorRange>& ChosenRange() const { return chosenRange_; }

    // Ends the channel and waits for the worker (its reads' questions are
    // answered by closing the window's channel first).
    void Stop();

    // The details rows of a disk's partitions (label, value).
    static std::vector<std::pair<std::string, std::string>> Rows(const disk::DiskContents& contents);
    // A partition node's text: "Partition 2: nss (2.0 MB)".
    static std::string NodeText(const disk::PartitionContents& partition);

private:
    void Shown(unsigned number, const disk::DiskContents& contents);
    void ReadNext();
    QTreeWidgetItem* DiskNode(unsigned number) const;

    WizardTree& tree_;
    DetailsList& details_;
    workflow::Session& session_;
    UiChannel channel_{this};
    workflow::Worker worker_;
    std::map<unsigned, disk::DiskContents> known_;
    std::optional<unsigned> reading_;   // the disk the worker reads
    std::optional<unsigned> wanted_;    // the disk to read once it is done
    unsigned chosen_ = 0;               // the disk whose facts the list shows
    std::optional<workflow::SectorRange> chosenRange_;
};

}  // namespace app
