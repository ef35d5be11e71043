// Runs a fuzz target's entry function over files and folders of inputs, for
// builds without libFuzzer. Exit status 0 when every input ran through (a
// broken invariant aborts), 1 when an argument names nothing readable or no
// input was found.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

bool RunFile(const std::filesystem::path& file) {
    std::ifstream f(file, std::ios::binary);
    if (!f) return false;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            std::vector<std::filesystem::path> files;
            for (const auto& e : std::filesystem::recursive_directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                if (!RunFile(file)) {
                    std::fprintf(stderr, "cannot read %s\n", file.c_str());
                    return 1;
                }
                ++ran;
            }
        } else if (!RunFile(arg)) {
            std::fprintf(stderr, "cannot read %s\n", arg.c_str());
            return 1;
        } else {
            ++ran;
        }
    }
    std::printf("%zu inputs ran\n", ran);
    return ran > 0 ? 0 : 1;
}
