// tarvine: the desktop program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/MainWindow.h"
#include "app/QtSettingsStore.h"
#include "app/Startup.h"
#include "disk/LibraryVersions.h"

int main(int argc, char** argv) {
    // The arguments are read before the display is opened, so that --help and
    // wrong arguments work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::ParseCommandLine(arguments);
    if (line.help) {
        std::cout << app::UsageText();
        return 0;
    }
    if (line.version) {
        std::cout << "tarvine " << TARVINE_VERSION << '\n';
        for (const auto& [library, version] : disk::ContainerLibraryVersions())
            std::cout << library << ' ' << version << '\n';
        return 0;
    }
    if (!line.error.empty()) {
        std::cerr << "tarvine: " << line.error << "\n";
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("tarvine");
    // An image that cannot be read is named with its reason, on the terminal
    // and on the screen (a program started from a menu has no terminal).
    if (!app::ImagesReadable(line.images)) return 2;
    app::QtSettingsStore store;
    if (app::RegisterInstallFolder(store, QApplication::applicationDirPath())) store.Sync();

    int status = 0;
    app::MainWindow window(store, line.images);
    if (window.Initialise()) {
        window.show();
        status = application.exec();
        // A search or mount still running dies with the process, as it
        // would had the process been ended from the menu.
        const app::WindowState& state = window.State();
        if (state.searchWorker.Running() || state.mountWorker.Running()) {
            store.Sync();
            std::fflush(nullptr);
            std::_Exit(status);
        }
    }
    return status;
}
