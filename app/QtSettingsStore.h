// The settings store of the desktop program: the registry stand-in kept in
// an INI file (by default $XDG_CONFIG_HOME/tarvine/registry.ini). Key paths
// and value names are case-insensitive, as registry names are; they are kept
// in lower case in the file. Engine workers read it too, so every access is
// serialised.
#pragma once

#include <QSettings>
#include <QString>
#include <mutex>

#include "workflow/SettingsStore.h"

namespace app {

class QtSettingsStore : public workflow::SettingsStore {
public:
    explicit QtSettingsStore(const QString& iniPath = DefaultPath());
    ~QtSettingsStore() override;

    bool Read(const std::string& root, const std::string& keyPath, const std::string& valueName,
              std::string& out) override;
    bool Write(const std::string& root, const std::string& keyPath, const std::string& valueName,
               const std::string& text) override;
    bool DeleteKey(const std::string& root, const std::string& keyPath) override;
    void Sync();

    static QString DefaultPath();

private:
    static QString GroupOf(const std::string& root, const std::string& keyPath);
    std::mutex mutex_;
    QSettings settings_;
};

}  // namespace app
