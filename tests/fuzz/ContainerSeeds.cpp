// Seeds of the container_open target: a small raw image stored in each
// container format by the tools users make them with (a format whose tool
// is missing gets no seed), and the raw image itself.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRawBytes = 65536;  // half pseudo-random, half zeros

struct Made {
    const char* name;
    const char* command;  // %i: the raw image, %o: the seed (for ewfacquire: its base)
};

const Made kMade[] = {
    {"qcow2", "qemu-img convert -f raw -O qcow2 -o cluster_size=4096 %i %o"},
    {"qcow2_v2", "qemu-img convert -f raw -O qcow2 -o compat=0.10,cluster_size=4096 %i %o"},
    {"qcow2_compressed", "qemu-img convert -c -f raw -O qcow2 -o cluster_size=4096 %i %o"},
    {"vmdk_sparse", "qemu-img convert -f raw -O vmdk %i %o"},
    {"vmdk_stream", "qemu-img convert -f raw -O vmdk -o subformat=streamOptimized %i %o"},
    {"vhd_fixed", "qemu-img convert -f raw -O vpc -o force_size=on,subformat=fixed %i %o"},
    {"vhd_dynamic_empty", "qemu-img create -f vpc -o force_size=on %o 64K"},
    {"vhdx", "qemu-img convert -f raw -O vhdx -o block_size=1M,log_size=1M %i %o"},
    {"ewf", "ewfacquire -u -q -c deflate:fast -t %o %i"},
};

std::string Fill(std::string command, const std::string& in, const std::string& out) {
    for (std::size_t at; (at = command.find("%i")) != std::string::npos;) command.replace(at, 2, in);
    for (std::size_t at; (at = command.find("%o")) != std::string::npos;) command.replace(at, 2, out);
    return command;
}

}  // namespace

void ContainerSeeds(const std::filesystem::path& out) {
    const std::filesystem::path dir = out / "container_open";
    std::filesystem::create_directories(dir);
    std::vector<char> raw(kRawBytes, 0);
    std::uint32_t x = 99;
    for (std::size_t i = 0; i < kRawBytes / 2; ++i) raw[i] = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    const std::string rawPath = (dir / "raw").string();
    std::ofstream(rawPath, std::ios::binary).write(raw.data(), static_cast<std::streamsize>(raw.size()));
    for (const Made& m : kMade) {
        const std::string seed = (dir / m.name).string();
        const std::string command = Fill(m.command, rawPath, seed);
        if (std::system((command + " >/dev/null 2>&1 </dev/null").c_str()) != 0) {
            std::fprintf(stderr, "container_open: no %s seed (%s failed)\n", m.name, command.c_str());
            continue;
        }
        // ewfacquire names its file after the base: the seed takes the base's name
        if (std::filesystem::exists(seed + ".E01")) std::filesystem::rename(seed + ".E01", seed);
    }
}
