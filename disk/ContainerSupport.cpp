#include "disk/ContainerSupport.h"

#include <sys/stat.h>

namespace disk {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string Beside(const std::string& path, const std::string& name) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string LibraryMessage(const char* text) {
    std::string line(text);
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) line.erase(end);
    // "libxyz_function: unable to ..." -> "unable to ..."
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos && line.compare(0, 3, "lib") == 0 && line.find(' ') > colon)
        line.erase(0, colon + 2);
    while (!line.empty() && (line.back() == '.' || line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line.empty() ? std::string("unknown error") : line;
}

std::string FindParent(const std::string& childPath, const std::string& storedName) {
    if (storedName.empty()) return {};
    const std::size_t cut = storedName.find_last_of("/\\");
    const std::string last = cut == std::string::npos ? storedName : storedName.substr(cut + 1);
    if (!last.empty() && Exists(Beside(childPath, last))) return Beside(childPath, last);
    const std::string asNamed = storedName[0] == '/' ? storedName : Beside(childPath, storedName);
    return Exists(asNamed) ? asNamed : std::string();
}

std::string ParentToOpen(const std::string& childPath, const std::string& storedName, std::size_t levels,
                         std::string* reason) {
    const std::string parentPath = FindParent(childPath, storedName);
    if (parentPath.empty()) {
        *reason = childPath + ": parent image " + storedName + " not found beside it";
        return {};
    }
    if (levels > kMaxParentChain) {
        *reason = childPath + ": more than " + std::to_string(kMaxParentChain) + " parent images";
        return {};
    }
    return parentPath;
}

}  // namespace disk
