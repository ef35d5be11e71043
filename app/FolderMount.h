// "Open as Folder" on the browse step: the open volume mounted read-only
// (as a save with the current save settings would write it) at a private
// folder, served on a worker of its own, and handed to the desktop's file
// manager. The mount ends when the window leaves the browse step or closes.
// Where FUSE cannot be used the command is greyed and says why.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QAction;

namespace mountfs {
class BackgroundMount;
}

namespace app {

class MainWindow;

inline constexpr const char* kOpenAsFolderText = "Open as &Folder";

class FolderMount : public QObject {
    Q_OBJECT
public:
    FolderMount(MainWindow& window, QAction& action);
    ~FolderMount() override;

    // After every step change: on the browse step the command is offered
    // (when nothing else runs); anywhere else a mount ends.
    void StepShown(int step, bool busy);
    // The command: mounts and opens the folder (opens it again when the
    // mount is up already).
    void Open();
    // Ends the mount and removes its folder.
    void Stop();

    // Where the mount is ("" when there is none).
    const QString& Folder() const { return folder_; }
    // Why FUSE cannot be used here ("" when it can).
    const QString& Unavailable() const { return unavailable_; }

private:
    void MountReady(const QString& error);
    static QString MakePrivateFolder();

    MainWindow& window_;
    QAction& action_;
    QString unavailable_;
    QString folder_;
    bool up_ = false;
    std::unique_ptr<mountfs::BackgroundMount> mount_;
};

}  // namespace app
