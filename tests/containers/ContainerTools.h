// Container images made at test time from a raw image with the tools users
// make them with (qemu-img, ewfacquire), split raw sets cut here, and the
// raw image itself: pseudo-random sectors around a run of zeros that the
// sparse formats leave unallocated.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/TempDir.h"

namespace conttest {

constexpr std::uint32_t kSector = 512;

inline bool HasTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; true when it succeeded.
inline bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1 </dev/null").c_str()) == 0;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// `sectors` sectors of pseudo-random bytes (seeded), zeros in [holeFirst, holeFirst + holeCount).
inline std::string RawBytes(std::uint64_t sectors, std::uint64_t holeFirst, std::uint64_t holeCount,
                            std::uint32_t seed = 1) {
    std::string bytes(sectors * kSector, '\0');
    std::uint32_t x = seed;
    for (std::uint64_t s = 0; s < sectors; ++s) {
        if (s >= holeFirst && s < holeFirst + holeCount) continue;
        for (std::uint32_t b = 0; b < kSector; ++b) {
            x = x * 1103515245u + 12345u;
            bytes[s * kSector + b] = static_cast<char>(x >> 23);
        }
    }
    return bytes;
}

// One way of storing a raw image.
struct Kind {
    const char* name;    // test name part
    const char* tool;    // the program that makes it ("" when made here)
    const char* format;  // the disk's "Format" fact ("" for none)
    // Makes it from the raw image `raw` in `dir`; the path of its first file.
    std::string (*make)(const testutil::TempDir& dir, const std::string& raw);
};

inline std::string QemuConvert(const testutil::TempDir& dir, const std::string& raw, const std::string& format,
                               const std::string& options, const std::string& name) {
    const std::string out = dir.File(name);
    const std::string opts = options.empty() ? "" : " -o " + options;
    return Run("qemu-img convert -f raw -O " + format + opts + " " + Quote(raw) + " " + Quote(out)) ? out : "";
}

// An EWF set of segment files of at most 1 MiB each (several for a few MiB).
inline std::string EwfAcquire(const testutil::TempDir& dir, const std::string& raw, const std::string& base) {
    const std::string target = dir.File(base);
    return Run("ewfacquire -u -q -c deflate:fast -d sha1 -S 1048576 -t " + Quote(target) + " " + Quote(raw))
               ? target + ".E01"
               : "";
}

// The raw image cut into pieces of `pieceBytes` named STEM.001, STEM.002, ...
inline std::string SplitRaw(const testutil::TempDir& dir, const std::string& raw, const std::string& stem,
                            std::uint64_t pieceBytes) {
    const std::string bytes = testutil::ReadFile(raw);
    for (std::uint64_t i = 0; i * pieceBytes < bytes.size(); ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%03u", static_cast<unsigned>(i + 1));
        testutil::WriteFile(dir.File(stem + "." + suffix), bytes.substr(i * pieceBytes, pieceBytes));
    }
    return dir.File(stem + ".001");
}

inline const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"Raw", "", "", [](const testutil::TempDir&, const std::string& raw) { return raw; }},
        // named .img: the format is told by content
        {"Qcow2", "qemu-img", "QCOW2 (version 3)",
         [](const testutil::TempDir& d, const std::string& r) { return QemuConvert(d, r, "qcow2", "", "qcow.img"); }},
        {"Qcow2Compressed", "qemu-img", "QCOW2 (version 3)",
         [](const testutil::TempDir& d, const std::string& r) {
             const std::string out = d.File("packed.qcow2");
             return Run("qemu-img convert -c -f raw -O qcow2 " + Quote(r) + " " + Quote(out)) ? out : "";
         }},
        {"VmdkSparse", "qemu-img", "VMDK (monolithic sparse)",
         [](const testutil::TempDir& d, const std::string& r) { return QemuConvert(d, r, "vmdk", "", "sparse.vmdk"); }},
        {"VmdkStreamOptimized", "qemu-img", "VMDK (stream-optimized)",
         [](const testutil::TempDir& d, const std::string& r) {
             return QemuConvert(d, r, "vmdk", "subformat=streamOptimized", "stream.vmdk");
         }},
        {"VmdkFlatDescriptor", "qemu-img", "VMDK (monolithic flat)",
         [](const testutil::TempDir& d, const std::string& r) {
             return QemuConvert(d, r, "vmdk", "subformat=monolithicFlat", "flat.vmdk");
         }},
        {"VmdkSplitSparse", "qemu-img", "VMDK (split sparse)",
         [](const testutil::TempDir& d, const std::string& r) {
             return QemuConvert(d, r, "vmdk", "subformat=twoGbMaxExtentSparse", "split.vmdk");
         }},
        {"VhdDynamic", "qemu-img", "VHD (dynamic)",
         [](const testutil::TempDir& d, const std::string& r) {
             return QemuConvert(d, r, "vpc", "force_size=on", "dynamic.vhd");
         }},
        {"VhdFixed", "qemu-img", "VHD (fixed)",
         [](const testutil::TempDir& d, const std::string& r) {
             return QemuConvert(d, r, "vpc", "subformat=fixed,force_size=on", "fixed.vhd");
         }},
        {"Vhdx", "qemu-img", "VHDX (dynamic)",
         [](const testutil::TempDir& d, const std::string& r) { return QemuConvert(d, r, "vhdx", "", "disk.vhdx"); }},
        {"EwfSet", "ewfacquire", "EWF (E01)",
         [](const testutil::TempDir& d, const std::string& r) { return EwfAcquire(d, r, "evidence"); }},
        {"SplitRaw", "", "Split raw (5 pieces)",
         [](const testutil::TempDir& d, const std::string& r) { return SplitRaw(d, r, "pieces", 1u << 20); }},
    };
    return kinds;
}

}  // namespace conttest
