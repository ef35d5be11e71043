#include "workflow/SettingsStore.h"

#include <algorithm>
#include <cctype>

namespace workflow {

std::string MemorySettingsStore::Fold(const std::string& s) {
    std::string r = s;
    std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

bool MemorySettingsStore::Read(const std::string& root, const std::string& keyPath, const std::string& valueName,
                               std::string& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find({Fold(root), Fold(keyPath), Fold(valueName)});
    if (it == values_.end()) return false;
    out = it->second;
    return true;
}

bool MemorySettingsStore::Write(const std::string& root, const std::string& keyPath, const std::string& valueName,
                                const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[{Fold(root), Fold(keyPath), Fold(valueName)}] = text;
    return true;
}

bool MemorySettingsStore::DeleteKey(const std::string& root, const std::string& keyPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string r = Fold(root), k = Fold(keyPath);
    bool any = false;
    for (auto it = values_.begin(); it != values_.end();) {
        const std::string& key = std::get<1>(it->first);
        // the key itself and every key below it
        bool below = key == k || (key.size() > k.size() && key.compare(0, k.size(), k) == 0 && key[k.size()] == '\\');
        if (std::get<0>(it->first) == r && below) {
            it = values_.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    return any;
}

std::string RegistryTextRead(SettingsStore& store, const std::string& root, const std::string& keyPath, const std::string& valueName) {
    std::string text;
    if (!store.Read(root, keyPath, valueName, text)) return {};
    if (text.size() > kRegistryTextMax) return {};  // does not fit the 260-byte buffer
    return text;
}

}  // namespace workflow
