// A mount served on a worker thread of its own, for a front end that goes
// on with its own work meanwhile: the worker builds the tree (which reads
// the disk), mounts and serves; Stop ends it from any other thread without
// waiting for anything but the worker's current request. The mount keeps
// its own copy of the volume and skips unreadable sectors (nobody can be
// asked inside a mount), so nothing it does waits for the caller.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "disk/BadSectorPolicy.h"
#include "disk/SectorReader.h"
#include "mountfs/MountTree.h"
#include "netware/MountedVolume.h"

namespace disk {
class DiskSet;
}

namespace mountfs {

class FuseServer;

class BackgroundMount {
public:
    // Copies `volume`; reads through `disks`, which must outlive this.
    BackgroundMount(const nw::MountedVolume& volume, disk::DiskSet& disks, const TreeSettings& settings);
    ~BackgroundMount();
    BackgroundMount(const BackgroundMount&) = delete;
    BackgroundMount& operator=(const BackgroundMount&) = delete;

    // Starts the worker. `ready` is called once, on the worker: with "" when
    // the mount is up, else with why it could not be made.
    void Start(const std::string& mountPoint, std::function<void(const std::string& error)> ready);
    // Ends the mount (lazily: files still open read as errors) and waits
    // for the worker.
    void Stop();
    bool Running() const { return worker_.joinable(); }

private:
    void Work(std::string mountPoint, std::function<void(const std::string&)> ready);

    nw::MountedVolume volume_;
    disk::BadSectorPolicy policy_;
    disk::SectorReader reader_;
    TreeSettings settings_;
    std::thread worker_;
    std::mutex mutex_;                // guards server_ against Stop
    FuseServer* server_ = nullptr;    // while it serves
    bool stopRequested_ = false;
    std::atomic<bool> finished_{false};
};

}  // namespace mountfs
