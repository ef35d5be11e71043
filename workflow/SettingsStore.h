// The settings store that stands in for the registry: text values under a
// root, a key path and a value name. The desktop program backs it with
// QSettings; tests and the command-line program use the in-memory store.
// The session holds the store it uses; nothing reaches a store otherwise.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace workflow {

constexpr std::size_t kRegistryTextMax = 260;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Returns false when the value does not exist or cannot be read.
    virtual bool Read(const std::string& root, const std::string& keyPath, const std::string& valueName,
                      std::string& out) = 0;
    virtual bool Write(const std::string& root, const std::string& keyPath, const std::string& valueName,
                       const std::string& text) = 0;
    virtual bool DeleteKey(const std::string& root, const std::string& keyPath) = 0;
};

class MemorySettingsStore : public SettingsStore {
public:
    bool Read(const std::string& root, const std::string& keyPath, const std::string& valueName,
              std::string& out) override;
    bool Write(const std::string& root, const std::string& keyPath, const std::string& valueName,
               const std::string& text) override;
    bool DeleteKey(const std::string& root, const std::string& keyPath) override;

private:
    static std::string Fold(const std::string& s);  // key names are case-insensitive
    std::mutex mutex_;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

// Reads a text value of at most 260 bytes; empty on any failure.
std::string RegistryTextRead(SettingsStore& store, const std::string& root, const std::string& keyPath, const std::string& valueName);

}  // namespace workflow
