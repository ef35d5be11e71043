#include "app/DesktopOpen.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace app {

QString OpenerFailureText(int status) {
    switch (status) {
        case 1: return "the opener did not accept the request";
        case 2: return "the file does not exist";
        case 3: return "no program on this system is set up to open it";
        case 4: return "the program that should open it failed";
        default: return QString("the opener ended with status %1").arg(status);
    }
}

void OpenWithProgram(const QString& program, const QString& target, QObject* context,
                     std::function<void(const QString& reason)> failed) {
    auto* process = new QProcess(context);
    QObject::connect(process, &QProcess::errorOccurred, context, [process, program, failed](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        failed(QString("%1 could not be started").arg(program));
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, context,
                     [process, failed](int status, QProcess::ExitStatus how) {
                         if (how == QProcess::CrashExit)
                             failed("the opener stopped unexpectedly");
                         else if (status != 0)
                             failed(OpenerFailureText(status));
                         process->deleteLater();
                     });
    process->start(program, {target});
}

void ShowOpenFailure(QWidget* owner, const QString& target, const QString& reason) {
    ShowHandOffFailure(owner, "Open", QString("Could not open %1: %2.").arg(target, reason), target);
}

void ShowHandOffFailure(QWidget* owner, const QString& title, const QString& text, const QString& target) {
    QMessageBox box(owner);
    box.setObjectName("openFailure");
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(title);
    box.setText(text);
    QPushButton* copy = box.addButton("Copy path", QMessageBox::ActionRole);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    if (box.clickedButton() == copy) QGuiApplication::clipboard()->setText(target);
}

}  // namespace app
