// Timing and the plain-read baseline shared by the benchmark programs.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace bench {

inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Bytes folded in from what was read, so that no read can be left out.
inline std::uint64_t& Sink() {
    static std::uint64_t sink = 0;
    return sink;
}

// The seconds a plain sequential read of the first `bytes` of `path` (all
// of it by default) takes, in 1 MiB pieces: the baseline of the ratios.
inline double PlainReadSeconds(const std::string& path,
                               std::uint64_t bytes = std::numeric_limits<std::uint64_t>::max()) {
    std::vector<std::uint8_t> buf(1 << 20);
    const auto t = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return 0;
    for (std::uint64_t off = 0; off < bytes; off += buf.size()) {
        if (::pread(fd, buf.data(), buf.size(), static_cast<off_t>(off)) <= 0) break;
        Sink() += buf[off % 4096];
    }
    ::close(fd);
    return Seconds(t);
}

}  // namespace bench
