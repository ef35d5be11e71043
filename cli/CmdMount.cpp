// mount: shows a volume read-only as a folder (FUSE), exactly as a save of
// it with the same options would write it, until it is unmounted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/Cli.h"
#include "mountfs/FuseServer.h"
#include "mountfs/MountTree.h"
#include "recovery/SaveSettings.h"

namespace cli {
namespace {

// Puts the program in the background once the mount is up: the parent
// ends with 0, the child goes on serving in a session of its own. stderr
// stays where it was, for the notes about unreadable ranges.
bool Daemonise() {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child > 0) {
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(kExitOk);
    }
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    return true;
}

int RunMount(const Invocation& inv) {
    const Args& args = inv.parsed;
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const std::string deleted = args.Value("--deleted", "include");
    mountfs::TreeSettings settings;
    if (deleted == "include") settings.deletedMode = recovery::kIncludeDeleted;
    else if (deleted == "exclude") settings.deletedMode = recovery::kExcludeDeleted;
    else if (deleted == "only") settings.deletedMode = recovery::kDeletedOnly;
    else {
        Error("--deleted must be include, exclude or only");
        return kExitBadInput;
    }
    if (!ReadExtrasOptions(args, settings.extras)) return kExitBadInput;
    settings.extras.zone = inv.global.zone;  // --timezone
    if (args.Operands().empty()) {
        Error("mount: where? (MOUNTPOINT is missing)");
        return kExitBadInput;
    }
    const std::string mountPoint = args.Operands().front();
    struct stat st{};
    if (::stat(mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Error("mount: " + Shown(mountPoint) + " is not a folder");
        return kExitBadInput;
    }
    if (const std::string why = mountfs::FuseUnavailableReason(); !why.empty()) {
        Error("mount: FUSE is not available: " + why);
        return kExitBadInput;
    }

    // No one can answer a bad-sector question inside a mount: unreadable
    // sectors are skipped unless every read is to be retried.
    GlobalOptions global = inv.global;
    if (global.badSectors != BadSectorMode::RetryAll) global.badSectors = BadSectorMode::SkipAll;
    CommandSession cs(global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    cs.line.Finish();

    const disk::SectorReader reader = cs.session.Reader();
    mountfs::MountTree tree(cs.session.mounted, reader, settings);
    mountfs::ServeSettings serve;
    serve.eio = args.Has("--eio");
    serve.fsName = "tarvine:" + cs.session.mounted.currentVolume.name;
    serve.note = [eio = serve.eio](const std::string& path, std::uint64_t first, std::uint64_t end) {
        Note("mount: " + Shown(path) + ": bytes " + std::to_string(first) + " to " + std::to_string(end - 1) +
             " could not be read" + (eio ? " (the read fails with EIO)" : " (zeros in their place)"));
    };
    mountfs::FuseServer server(tree, serve);
    std::string error;
    if (!server.Mount(mountPoint, &error)) {
        Error("mount: " + error);
        return kExitBadInput;
    }
    if (!args.Has("-f") && !Daemonise()) {
        Error("mount: cannot run in the background");
        return kExitBadInput;
    }
    switch (server.Run()) {
        case mountfs::ServeEnd::Unmounted:
        case mountfs::ServeEnd::Terminated: return kExitOk;
        case mountfs::ServeEnd::Interrupted: return kExitStopped;
        case mountfs::ServeEnd::Failed: break;
    }
    Error("mount: the FUSE session failed");
    return kExitDamaged;
}

std::vector<OptionRow> MountRows() {
    std::vector<OptionRow> rows = VolumeRows();
    rows.insert(rows.end(),
                {{"--deleted", "include|exclude|only", "which deleted files to show (default include)"},
                 {"--forks", "appledouble|none",
                  "a file's resource fork and Finder info as an AppleDouble companion ._NAME beside it (default) "
                  "or not at all"},
                 {"--links", "link|copy",
                  "symbolic links of the NFS name space shown as links (default) or as small files holding their "
                  "target"},
                 {"--owners", nullptr, "show the NFS owner and group (only when run as root)"},
                 {"--eio", nullptr,
                  "a read that meets unreadable sectors fails with EIO (default: zeros in their place)"},
                 {"-f", nullptr, "stay in the foreground (Ctrl-C unmounts and exits 130)"}});
    return rows;
}

}  // namespace

const Command kMountCommand{"mount", "MOUNTPOINT", 1, MountRows(),
                            "show the volume read-only at MOUNTPOINT as a save with the same options writes it, "
                            "until umount or fusermount3 -u (exit 0); unreadable sectors are skipped unless "
                            "--bad-sectors retry-all",
                            RunMount};

}  // namespace cli
