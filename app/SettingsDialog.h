// "Settings": the save settings (deleted files, date range, extensions,
// saving mode, row selection). "&Apply" keeps the changes, "Cancel" and
// closing put everything back as it was when the dialog opened.
#pragma once

#include <QDialog>

#include "app/SaveSettingsSession.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace app {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Works on `settings` (the session's save settings).
    explicit SettingsDialog(recovery::SaveSettings& settings, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

private:
    void Add();
    void Remove();
    void FillExtensions();

    SaveSettingsSession session_;
    QComboBox* dates_[kDateLists] = {};
    QLineEdit* extensionField_ = nullptr;
    QListWidget* extensionList_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    bool closed_ = false;
};

}  // namespace app
