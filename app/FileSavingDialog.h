// "File Saving": asks for the destination folder of a save or a raw scan.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace app {

class FileSavingDialog : public QDialog {
    Q_OBJECT
public:
    explicit FileSavingDialog(QWidget* parent = nullptr);

    // Runs the dialog: the typed or browsed folder (at most 1024
    // characters) on "&OK", an empty text on "&Cancel" or close.
    static std::string Ask(QWidget* parent);

    QString Path() const;

private:
    void Browse();
    void OpenSettings();

    QLineEdit* field_ = nullptr;
};

}  // namespace app
