// Shared pieces of the fuzz targets: a scratch folder and the disks of one
// input, a disk image file attached as disk 0.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"
#include "disk/SectorReader.h"

namespace fuzz {

using Sector = std::array<std::uint8_t, 512>;
using SparseSectors = std::map<std::uint64_t, Sector>;

// A folder of this process, removed at exit.
const std::string& ScratchDir();
std::string ScratchFile(const std::string& name);

// The disks one input is read from, as a session holds them, with "Retry
// All" as the bad-sector answer (no prompt can appear).
struct FuzzDisks {
    FuzzDisks() { policy.BadSectorDecision = disk::kRetryAll; }
    FuzzDisks(const FuzzDisks&) = delete;
    FuzzDisks& operator=(const FuzzDisks&) = delete;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::SectorReader Reader() { return disk::SectorReader(disks, policy); }
};

// Writes the bytes as the disk image (padded to whole sectors) and attaches
// it as disk 0 of `to`. False when the bytes begin (or end) like a disk
// container whose library refuses them: such a file is never read as a raw
// disk, and opening containers is fuzz_container_open's input. Aborts on any
// other failure: a fuzz run on a missing disk would test nothing.
[[nodiscard]] bool AttachBytes(FuzzDisks& to, const std::vector<std::uint8_t>& bytes);
// The same for an image of `totalSectors` sectors holding only `sectors`.
[[nodiscard]] bool AttachSparse(FuzzDisks& to, const SparseSectors& sectors, std::uint64_t totalSectors);

// An invariant of the code under test failed: print and abort so that the
// fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(cond) \
    do {                 \
        if (!(cond)) ::fuzz::Fail(#cond); \
    } while (0)

// When FUZZ_VERBOSE is set, prints what an input led to (to check seeds).
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Little-endian reading from the fuzz input with zeros past its end.
struct InputReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    std::uint8_t U8() { return pos < size ? data[pos++] : (pos++, 0); }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(U8()) << (8 * i);
        return v;
    }
    bool Done() const { return pos >= size; }
    // Copies up to 512 bytes into `out`; false when nothing was left.
    bool SectorInto(Sector& out) {
        if (pos >= size) return false;
        const std::size_t n = std::min<std::size_t>(512, size - pos);
        for (std::size_t i = 0; i < n; ++i) out[i] = data[pos + i];
        pos += n;
        return true;
    }
};

}  // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
