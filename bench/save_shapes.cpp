// Save of awkward tree shapes against a flat volume of the same entry
// count: a chain of folders each inside the one before, and a folder whose
// files all have one name. Each save is a whole job over the ticked volume
// (the tree built, the whole volume ticked, every folder made, every file
// written, empty files so that the walk and the name plan are what is
// measured), as `tarvine-cli save` runs it. The one-name folder is also
// saved at half its size: twice the entries, about twice the time.
//   bench_save_shapes [DEPTH [SAME_NAMES]]   (default 200000 100000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchCommon.h"
#include "disk/SectorReader.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"
#include "netware/Selection.h"
#include "recovery/SaveEngine.h"

namespace {

void AddFolder(nw::MountedVolume& v, const std::string& name, std::uint32_t own, std::uint32_t parent) {
    nw::EntryRecord r;
    r.attributes = nw::kAttrFolder;
    r.name = name;
    r.ownNumber = own;
    r.parentNumber = parent;
    r.ordinal = static_cast<std::uint32_t>(v.FolderList.Size() + 1);
    v.FolderList.Append(std::move(r));
}

void AddFile(nw::MountedVolume& v, const std::string& name, std::uint32_t parent) {
    nw::EntryRecord r;
    r.name = name;
    r.parentNumber = parent;
    r.firstBlock = nw::kChainEnd;
    r.ordinal = static_cast<std::uint32_t>(v.FileList.Size() + 1);
    v.FileList.Append(std::move(r));
}

// Removes what a save left, a chain of any depth included: down to the
// bottom one folder at a time, then up through "..", removing as it climbs.
void RemoveTree(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    std::uint64_t depth = 0;
    for (;;) {
        const int next = ::openat(fd, "D", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (next < 0) break;
        ::close(fd);
        fd = next;
        ++depth;
    }
    for (; depth > 0; --depth) {
        ::unlinkat(fd, "BOTTOM.TXT", 0);
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = up;
        ::unlinkat(fd, "D", AT_REMOVEDIR);
    }
    ::close(fd);
    std::filesystem::remove_all(path);
    // What the removal left for the file system to write back is written
    // now, so that it does not fall into the next save's time.
    ::sync();
}

// Processor seconds (user and system) this process has used: unlike the
// time on the clock, they do not grow with what other programs of the
// machine do meanwhile.
double ProcessorSeconds() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Builds the tree, ticks the whole volume and saves it into `out`; the
// seconds it took, and in *processor the processor seconds.
double SaveWhole(nw::MountedVolume& volume, const std::string& out, std::uint32_t* filesStarted,
                 double* processor = nullptr) {
    const double cpu = ProcessorSeconds();
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    const disk::SectorReader reader(disks, policy);
    const auto t = std::chrono::steady_clock::now();
    nw::AppendLostFolder(volume.FolderList, static_cast<std::uint32_t>(volume.FolderList.Size() + 1));
    nw::PopulateFolderTree(volume, "BENCH");
    nw::Selection selection;
    selection.Reset(volume);
    selection.ToggleFolder(volume, nw::kRootNode);
    recovery::SaveInput input(volume, reader);
    input.selection = &selection;
    recovery::SaveProgressView quiet;
    recovery::KeepingPrompts prompts;
    recovery::SaveJob job;
    job.source = recovery::kTreeSource;
    job.destinationPath = out;
    recovery::RunSave(job, input, quiet, prompts);
    const double seconds = bench::Seconds(t);
    if (processor) *processor = ProcessorSeconds() - cpu;
    *filesStarted = job.filesStarted;
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t depth = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 200000;
    const std::uint32_t same = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 100000;
    if (depth == 0 || same == 0) {
        std::fprintf(stderr, "usage: bench_save_shapes [DEPTH [SAME_NAMES]]\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvine-bench-shapes";
    RemoveTree(dir.string());
    std::filesystem::create_directories(dir);
    // Each save writes into a folder of its own and nothing is removed
    // until every save has been timed: the file system avoids reusing the
    // inodes of files it removed moments ago, searching further for each
    // new one, so a save that follows a removal would be charged for it.
    int saves = 0;
    const auto nextOut = [&] { return (dir / ("out" + std::to_string(++saves))).string(); };
    std::string out;
    std::uint32_t started = 0;
    bool ok = true;

    // A chain DEPTH folders deep with one file at the bottom, against
    // DEPTH folders side by side in the root and the same file.
    double flatFolders = 0, chain = 0;
    {
        nw::MountedVolume v;
        out = nextOut();
        for (std::uint32_t i = 1; i <= depth; ++i) AddFolder(v, "F" + std::to_string(i), i, 0);
        AddFile(v, "BOTTOM.TXT", depth);
        flatFolders = SaveWhole(v, out, &started);
        ok = ok && started == 1;
    }
    {
        nw::MountedVolume v;
        out = nextOut();
        for (std::uint32_t i = 1; i <= depth; ++i) AddFolder(v, "D", i, i - 1);
        AddFile(v, "BOTTOM.TXT", depth);
        chain = SaveWhole(v, out, &started);
        ok = ok && started == 1;
    }

    // SAME_NAMES files of one name in the root, against as many files of
    // names of their own, and against half as many of one name (linear: 2).
    double flatFiles = 0, sameNames = 0, halfSameNames = 0;
    double flatFilesCpu = 0, sameNamesCpu = 0, halfSameNamesCpu = 0;
    {
        nw::MountedVolume v;
        out = nextOut();
        for (std::uint32_t i = 0; i < same / 2; ++i) AddFile(v, "SAME.TXT", 0);
        halfSameNames = SaveWhole(v, out, &started, &halfSameNamesCpu);
        ok = ok && started == same / 2;
    }
    {
        nw::MountedVolume v;
        out = nextOut();
        for (std::uint32_t i = 0; i < same; ++i) AddFile(v, "F" + std::to_string(i) + ".TXT", 0);
        flatFiles = SaveWhole(v, out, &started, &flatFilesCpu);
        ok = ok && started == same;
    }
    {
        nw::MountedVolume v;
        out = nextOut();
        for (std::uint32_t i = 0; i < same; ++i) AddFile(v, "SAME.TXT", 0);
        sameNames = SaveWhole(v, out, &started, &sameNamesCpu);
        ok = ok && started == same && std::filesystem::exists(out + "/SAME (" + std::to_string(same) + ").TXT");
    }
    for (int i = 1; i <= saves; ++i) RemoveTree((dir / ("out" + std::to_string(i))).string());
    std::filesystem::remove_all(dir);
    if (!ok) {
        std::fprintf(stderr, "a save did not write what the volume holds\n");
        return 1;
    }
    std::printf("%u-deep chain: %.3f s (goal: under 60 s)\n", depth, chain);
    std::printf("%u same-name files: %.3f s (goal: under 60 s)\n", same, sameNames);
    std::printf("deep chain against %u flat folders (%.3f s) ratio %.2f (goal: at most 3)\n", depth, flatFolders,
                chain / flatFolders);
    std::printf("same names against %u own names (%.3f s) ratio %.2f (goal: at most 3)\n", same, flatFiles,
                sameNames / flatFiles);
    std::printf("same names against %u same names (%.3f s) ratio %.2f (linear: about 2)\n", same / 2, halfSameNames,
                sameNames / halfSameNames);
    std::printf("processor seconds: %u same names %.3f, %u own names %.3f (ratio %.2f), %u same names %.3f (ratio %.2f)\n",
                same, sameNamesCpu, same, flatFilesCpu, sameNamesCpu / flatFilesCpu, same / 2, halfSameNamesCpu,
                sameNamesCpu / halfSameNamesCpu);
    return 0;
}
