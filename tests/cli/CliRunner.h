// What the command-line tests share: where the built tarvine-cli is, shell
// quoting, and the outcome of one run.
#pragma once

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

namespace clitest {

inline std::string CliPath() {
#ifdef TARVINE_CLI_PATH
    if (std::filesystem::exists(TARVINE_CLI_PATH)) return TARVINE_CLI_PATH;
#endif
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "tarvine-cli";
    return (std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path().parent_path() /
            "cli" / "tarvine-cli")
        .string();
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

}  // namespace clitest
