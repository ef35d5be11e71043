#include "app/QtSettingsStore.h"

#include <QDir>
#include <QStandardPaths>

namespace app {

namespace {

QString Folded(const std::string& s) { return QString::fromStdString(s).toLower(); }

// Value names become keys of the INI file; a separator in one must not open
// a sub-key.
QString ValueKey(const std::string& valueName) {
    QString v = Folded(valueName);
    v.replace('/', '_').replace('\\', '_');
    return v.isEmpty() ? QStringLiteral("@default") : v;
}

}  // namespace

QtSettingsStore::QtSettingsStore(const QString& iniPath) : settings_(iniPath, QSettings::IniFormat) {}

QtSettingsStore::~QtSettingsStore() { Sync(); }

QString QtSettingsStore::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tarvine/registry.ini";
}

QString QtSettingsStore::GroupOf(const std::string& root, const std::string& keyPath) {
    QString group = Folded(root) + "/" + Folded(keyPath);
    group.replace('\\', '/');
    while (group.endsWith('/')) group.chop(1);
    return group;
}

bool QtSettingsStore::Read(const std::string& root, const std::string& keyPath, const std::string& valueName,
                           std::string& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QString key = GroupOf(root, keyPath) + "/" + ValueKey(valueName);
    const QVariant v = settings_.value(key);
    if (!v.isValid()) return false;
    out = v.toString().toStdString();
    return true;
}

bool QtSettingsStore::Write(const std::string& root, const std::string& keyPath, const std::string& valueName,
                            const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.setValue(GroupOf(root, keyPath) + "/" + ValueKey(valueName), QString::fromStdString(text));
    return settings_.status() == QSettings::NoError;
}

bool QtSettingsStore::DeleteKey(const std::string& root, const std::string& keyPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QString group = GroupOf(root, keyPath);
    settings_.beginGroup(group);
    const bool existed = !settings_.allKeys().isEmpty();
    settings_.endGroup();
    settings_.remove(group);
    return existed;
}

void QtSettingsStore::Sync() {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.sync();
}

}  // namespace app
