#include "mountfs/BackgroundMount.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "mountfs/FuseServer.h"

namespace mountfs {

namespace {

// The signal that interrupts the worker's wait for the next request; its
// handler does nothing, the interrupted wait is what ends the loop.
constexpr int kWakeSignal = SIGUSR1;
extern "C" void Wake(int) {}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction act{};
        act.sa_handler = Wake;
        sigemptyset(&act.sa_mask);
        act.sa_flags = 0;  // no restart
        sigaction(kWakeSignal, &act, nullptr);
    });
}

void CopyList(const nw::EntryList& from, nw::EntryList& to) {
    to.Clear();
    for (const nw::EntryRecord& r : from) to.Append(r);
}

// The entry lists cannot be copied as a whole (their indexes are built on
// use): their records are appended again, in order.
void CopyVolume(const nw::MountedVolume& from, nw::MountedVolume& to) {
    to.currentVolume = from.currentVolume;
    to.mountedMark = from.mountedMark;
    CopyList(from.FolderList, to.FolderList);
    CopyList(from.FileList, to.FileList);
    to.tree = from.tree;
    to.nameSpaces = from.nameSpaces;
    to.preferredNameSpace = from.preferredNameSpace;
    to.FatBlockList = from.FatBlockList;
    to.Det1BlockList = from.Det1BlockList;
    to.Det2BlockList = from.Det2BlockList;
    to.detBlockCount = from.detBlockCount;
    to.SuballocationTable = from.SuballocationTable;
    to.fatChoice = from.fatChoice;
    to.folderCount = from.folderCount;
    to.fileCount = from.fileCount;
}

}  // namespace

BackgroundMount::BackgroundMount(const nw::MountedVolume& volume, disk::DiskSet& disks, const TreeSettings& settings)
    : reader_(disks, policy_), settings_(settings) {
    CopyVolume(volume, volume_);
    policy_.BadSectorDecision = disk::kSkipAll;
}

BackgroundMount::~BackgroundMount() { Stop(); }

void BackgroundMount::Start(const std::string& mountPoint, std::function<void(const std::string&)> ready) {
    Stop();
    InstallWakeHandler();
    stopRequested_ = false;
    finished_ = false;
    worker_ = std::thread([this, mountPoint, ready = std::move(ready)] { Work(mountPoint, ready); });
}

void BackgroundMount::Work(std::string mountPoint, std::function<void(const std::string&)> ready) {
    MountTree tree(volume_, reader_, settings_);
    FuseServer server(tree, ServeSettings{false, "tarvine:" + volume_.currentVolume.name, nullptr});
    std::string error;
    bool mounted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopRequested_) error = "stopped";
        else if ((mounted = server.Mount(mountPoint, &error))) server_ = &server;
    }
    if (ready) ready(mounted ? std::string() : error);
    if (mounted) server.Run(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        server_ = nullptr;
    }
    finished_ = true;
}

void BackgroundMount::Stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
        if (server_) server_->End();
    }
    // The worker may be waiting for a request: interrupt the wait until it
    // has seen the end (a signal that comes just before the wait is lost,
    // so it is sent again).
    while (!finished_.load()) {
        pthread_kill(worker_.native_handle(), kWakeSignal);
        ::usleep(1000);
    }
    worker_.join();
}

}  // namespace mountfs
