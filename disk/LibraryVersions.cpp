#include "disk/LibraryVersions.h"

#include <libbfio.h>
#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

namespace disk {

std::vector<std::pair<std::string, std::string>> ContainerLibraryVersions() {
    auto text = [](const char* version) { return std::string(version ? version : "?"); };
    return {{"libewf", text(libewf_get_version())},   {"libvmdk", text(libvmdk_get_version())},
            {"libvhdi", text(libvhdi_get_version())}, {"libqcow", text(libqcow_get_version())},
            {"libbfio", text(libbfio_get_version())}};
}

}  // namespace disk
