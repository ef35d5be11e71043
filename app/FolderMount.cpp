#include "app/FolderMount.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMetaObject>

#include <cstdlib>
#include <unistd.h>

#include "app/MainWindow.h"
#include "app/Messages.h"
#include "mountfs/BackgroundMount.h"
#include "mountfs/FuseServer.h"
#include "workflow/Session.h"

namespace app {

FolderMount::FolderMount(MainWindow& window, QAction& action)
    : QObject(&window), window_(window), action_(action) {
    unavailable_ = QString::fromStdString(mountfs::FuseUnavailableReason());
    action_.setEnabled(false);
    action_.setStatusTip(unavailable_.isEmpty()
                             ? QString("Show the volume as a read-only folder in the file manager")
                             : "Open as Folder is not available: " + unavailable_);
    if (!unavailable_.isEmpty()) action_.setToolTip(action_.statusTip());
}

FolderMount::~FolderMount() { Stop(); }

void FolderMount::StepShown(int step, bool busy) {
    if (step != 2) Stop();
    action_.setEnabled(unavailable_.isEmpty() && step == 2 && !busy);
}

QString FolderMount::MakePrivateFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString base = !runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists()
                             ? QString::fromLocal8Bit(runtime)
                             : QDir::tempPath();
    // mkdtemp makes it 0700: only this user sees the volume.
    QByteArray pattern = QFile::encodeName(base + "/tarvine-volume-XXXXXX");
    if (!::mkdtemp(pattern.data())) return QString();
    return QFile::decodeName(pattern);
}

void FolderMount::Open() {
    if (!unavailable_.isEmpty()) return;
    if (mount_ && up_) {
        window_.OpenWithDesktop(folder_, false);
        return;
    }
    if (mount_) return;  // still coming up
    workflow::Session& session = window_.Session();
    if (!session.volumeOpen.load()) return;
    folder_ = MakePrivateFolder();
    if (folder_.isEmpty()) {
        ShowMessage(&window_, "Open as Folder", "No private folder could be made for the volume.",
                    MessageIcon::Error);
        return;
    }
    mountfs::TreeSettings settings;
    settings.deletedMode = session.saveSettings.deletedMode;
    settings.extras = session.saveSettings.extras;
    mount_ = std::make_unique<mountfs::BackgroundMount>(session.mounted, session.disks, settings);
    // `ready` runs on the mount's worker, which Stop joins before this
    // object goes: the answer is handed to the window thread.
    mount_->Start(QFile::encodeName(folder_).toStdString(), [this](const std::string& error) {
        const QString text = QString::fromStdString(error);
        QMetaObject::invokeMethod(this, [this, text] { MountReady(text); }, Qt::QueuedConnection);
    });
}

void FolderMount::MountReady(const QString& error) {
    if (!mount_) return;  // ended meanwhile
    if (!error.isEmpty()) {
        Stop();
        ShowMessage(&window_, "Open as Folder", "The volume could not be opened as a folder: " + error,
                    MessageIcon::Error);
        return;
    }
    up_ = true;
    window_.OpenWithDesktop(folder_, false);
}

void FolderMount::Stop() {
    if (mount_) {
        mount_->Stop();
        mount_.reset();
    }
    up_ = false;
    if (!folder_.isEmpty()) {
        QDir().rmdir(folder_);
        folder_.clear();
    }
}

}  // namespace app
