// The versions of the container libraries this program reads images with,
// as the libraries themselves report them (for --version and bug reports).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace disk {

// {"libewf", "20140812"}, {"libvmdk", ...}, ... in a fixed order.
std::vector<std::pair<std::string, std::string>> ContainerLibraryVersions();

}  // namespace disk
