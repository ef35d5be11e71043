// "File Saving": asks for the destination folder of a save or a raw scan.
#pragma once

#include <QDialog>
#include <string>

#include "recovery/SaveSettings.h"

class QLineEdit;

namespace app {

class FileSavingDialog : public QDialog {
    Q_OBJECT
public:
    // "&Settings" opens the settings dialog on `settings`.
    explicit FileSavingDialog(recovery::SaveSettings& settings, QWidget* parent = nullptr);

    // Runs the dialog: the typed or browsed folder (at most 1024
    // characters) on "&OK", an empty text on "&Cancel", close, or the owner
    // going away.
    static std::string Ask(QWidget* parent, recovery::SaveSettings& settings);

    QString Path() const;

private:
    void Browse();
    void OpenSettings();

    recovery::SaveSettings& settings_;
    QLineEdit* field_ = nullptr;
};

}  // namespace app
