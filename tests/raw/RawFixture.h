// Raw scan tests: a disk image attached as disk 0, a recording raw panel, a
// scripted message sink, and small hand-made documents.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/TempDir.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"
#include "workflow/Disks.h"
#include "workflow/Raw.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"
#include "raw/Carving.h"
#include "raw/RawScan.h"
#include "tools/nwimage/NwImage.h"

namespace rawtest {

using Bytes = std::vector<std::uint8_t>;

// What a front end puts into a raw scan request and what the running scan
// shows, recorded.
struct RecordingPanel : raw::RawScanView {
    std::array<bool, raw::kinds::kCount> checked{true, true, true, true};
    std::optional<std::int64_t> startSector, endSector;
    std::string destination;  // what "File Saving" hands back ("" = Cancel)

    // Called from the worker each time it writes the status line.
    std::function<void(const std::string&)> onStatus;

    void SetRawStatus(const std::string& text) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            status.push_back(text);
        }
        if (onStatus) onStatus(text);
    }
    void ShowRawProgress(bool visible) override { Log(visible ? "progress shown" : "progress hidden"); }
    void SetRawProgress(int percent) override {
        std::lock_guard<std::mutex> lock(mutex);
        progress.push_back(percent);
    }
    void DocumentCarved(const raw::CarvedDocument& d) override {
        std::lock_guard<std::mutex> lock(mutex);
        carved.push_back(d);
        if (d.state != raw::DocumentState::Failed) written.push_back(d.fileName);
    }
    void Log(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(what);
    }
    std::vector<std::string> Written() {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }

    std::mutex mutex;
    std::vector<std::string> status, written, events;
    std::vector<raw::CarvedDocument> carved;
    std::vector<int> progress;
};

// The notices the raw flow hands back for the front end to show.
struct ScriptedMessages {
    void Show(const workflow::Notice& n) {
        texts.push_back(n.text);
        icons.push_back(n.icon);
    }
    std::vector<std::string> Texts() const { return texts; }
    std::vector<std::string> texts;
    std::vector<workflow::Notice::Icon> icons;
};

// How a press of "Start Recovery" ended, as a front end sees it.
enum class Outcome { Started, NoFileType, InvalidEnd, EndPastDisk, InvalidStart, StartNotBelowEnd, NoDestination, DestinationFailed };

class RawTest : public ::testing::Test {
protected:
    void SetUp() override {
        session.recoveryMode = workflow::kModeRaw;
        session.policy.BadSectorDecision = disk::kRetryAll;
        panel.destination = dir.File("out");
    }
    void TearDown() override {
        scan.stopRequested = 1;
        worker.Join();
    }

    // Writes the image and selects it as disk 0 (its size in the store).
    void Use(const nwimage::DiskSpec& desc) {
        image = nwimage::Build(desc);
        path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        Attach();
    }
    void Attach() {
        std::string error;
        ASSERT_TRUE(workflow::AttachDisks(session, {{path, ""}}, &error)) << error;
        ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    }

    // The request the panel's controls make.
    raw::RawRequest Request() const {
        raw::RawRequest r;
        r.checked = panel.checked;
        r.wholeDisk = wholeDisk;
        r.startSector = panel.startSector;
        r.endSector = panel.endSector;
        return r;
    }

    // Presses "Start Recovery" as the front ends do: the checks, the
    // destination, then the scan on a worker.
    Outcome Press() {
        const raw::RawRequest request = Request();
        const workflow::RawStart start = workflow::CheckRawStart(session, request);
        if (!start.ok) {
            messages.Show(*start.notice);
            if (start.endFieldSector) panel.endSector = static_cast<std::int64_t>(*start.endFieldSector);
            switch (start.check) {
                case raw::RawCheck::NoFileType: return Outcome::NoFileType;
                case raw::RawCheck::InvalidEnd: return Outcome::InvalidEnd;
                case raw::RawCheck::EndPastDisk: return Outcome::EndPastDisk;
                case raw::RawCheck::InvalidStart: return Outcome::InvalidStart;
                default: return Outcome::StartNotBelowEnd;
            }
        }
        ++savingDialogs;
        if (panel.destination.empty()) return Outcome::NoDestination;
        if (const workflow::MaybeNotice n = workflow::PrepareRawDestination(panel.destination)) {
            messages.Show(*n);
            return Outcome::DestinationFailed;
        }
        scan.stopRequested = 0;
        const std::string destination = panel.destination;
        worker.Start([this, start, request, destination] {
            result = workflow::RunRaw(session, scan, start, request, destination, panel);
        });
        return Outcome::Started;
    }
    // Presses and waits for the scan to end.
    Outcome Scan() {
        const Outcome r = Press();
        worker.Join();
        return r;
    }
    // The first and the last sector to scan.
    void SetRange(std::int64_t start, std::int64_t last) {
        wholeDisk = false;
        panel.startSector = start;
        panel.endSector = last;
    }

    std::string Out(const std::string& name) const { return panel.destination + "/" + name; }
    Bytes ReadOut(const std::string& name) const {
        const std::string s = testutil::ReadFile(Out(name));
        return Bytes(s.begin(), s.end());
    }
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        std::error_code ec;
        // The documents: the scan's DFXML report beside them is not one.
        for (const auto& e : std::filesystem::directory_iterator(panel.destination, ec))
            if (e.path().filename() != workflow::kRawReportName) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testutil::TempDir dir;
    workflow::MemorySettingsStore store;
    workflow::Session session{store};
    std::string path;
    nwimage::Image image;
    RecordingPanel panel;
    ScriptedMessages messages;
    bool wholeDisk = true;
    int savingDialogs = 0;
    raw::RawScan scan;
    raw::RawScanResult result;
    workflow::Worker worker;
};

// Carves a built image through a carving context of its own, the way the
// raw scan does: window after window from sector 0, a window read again when
// carving asks. Records the files it reports.
struct ImageCarver : raw::CarvingOutput {
    ImageCarver(const nwimage::Image& img, std::string dest) : image(img), destination(std::move(dest)) {}

    void Run() {
        raw::CarvingContext ctx;
        ctx.readSectors = [this](std::uint64_t start, std::uint32_t count, void* buffer) {
            for (std::uint32_t i = 0; i < count; ++i) image.Read(start + i, static_cast<std::uint8_t*>(buffer) + 512 * i);
            return true;
        };
        ctx.output = this;
        ctx.destinationPath = destination;
        ctx.diskSectors = image.totalSectors;
        ctx.checked = {true, true, true, true};
        ctx.attemptNumber = &attempts;
        ctx.typeCounts = &counts;
        ctx.incompleteCounts = &incompleteCounts;
        ctx.failedCount = &failed;
        ctx.carry = &carry;
        std::vector<std::uint8_t> window(raw::kWindowBytes);
        for (std::uint64_t base = 0; base < image.totalSectors;) {
            ctx.readSectors(base, raw::kWindowSectors, window.data());
            bool reread = false;
            raw::ProcessWindow(ctx, window.data(), base, reread);
            if (!reread) base += raw::kWindowSectors;
        }
    }
    void DocumentCarved(const raw::CarvedDocument& d) override {
        carved.push_back(d);
        if (d.state != raw::DocumentState::Failed) written.push_back(d.fileName);
    }

    const nwimage::Image& image;
    std::string destination;
    int attempts = 0, failed = 0;
    std::array<int, raw::kinds::kCount> counts{}, incompleteCounts{};
    raw::CarryOver carry;
    std::vector<std::string> written;
    std::vector<raw::CarvedDocument> carved;
};

inline nwimage::DocumentSpec Doc(nwimage::DocKind kind, std::uint64_t sector, std::uint32_t size,
                                 std::uint64_t seed = 7) {
    nwimage::DocumentSpec d;
    d.kind = kind;
    d.sector = sector;
    d.size = size;
    d.seed = seed;
    return d;
}

inline nwimage::RawBlock RawAt(std::uint64_t sector, const Bytes& bytes) {
    nwimage::RawBlock b;
    b.sector = sector;
    b.bytes = bytes;
    return b;
}

inline void Put16(Bytes& v, std::size_t at, std::uint16_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
inline void Put32(Bytes& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
inline void PutUtf16(Bytes& v, std::size_t at, const char* s) {
    for (std::size_t i = 0; s[i]; ++i) v[at + 2 * i] = static_cast<std::uint8_t>(s[i]);
}

// A compound document with 512- or 4096-byte sectors whose sectors after
// the header are: the allocation table, the directory (a root entry and one
// stream named `stream`), then `streamSectors` sectors of stream data. The
// directory sits right behind the header, as small and Mac-written files
// have it. Filler is printable text, so no signature appears in it.
inline Bytes DirectoryFirstCompound(const char* stream, std::uint32_t streamSectors, std::uint32_t sectorSize = 512) {
    const std::uint32_t total = 2 + streamSectors;
    Bytes d(static_cast<std::size_t>(total + 1) * sectorSize, 0);
    static const std::uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(d.data(), kSig, 8);
    Put16(d, 0x18, 0x003E);
    Put16(d, 0x1A, sectorSize == 512 ? 3 : 4);
    Put16(d, 0x1C, 0xFFFE);
    Put16(d, 0x1E, sectorSize == 512 ? 9 : 12);
    Put16(d, 0x20, 6);
    Put32(d, 0x2C, 1);
    Put32(d, 0x30, 1);
    Put32(d, 0x38, 4096);
    Put32(d, 0x3C, 0xFFFFFFFE);
    Put32(d, 0x44, 0xFFFFFFFE);
    Put32(d, 0x4C, 0);
    for (std::size_t i = 1; i < 109; ++i) Put32(d, 0x4C + 4 * i, 0xFFFFFFFF);
    auto at = [&](std::uint32_t s) { return static_cast<std::size_t>(s + 1) * sectorSize; };
    for (std::uint32_t i = 0; i < sectorSize / 4; ++i) Put32(d, at(0) + 4 * i, 0xFFFFFFFF);
    Put32(d, at(0), 0xFFFFFFFD);
    Put32(d, at(0) + 4, 0xFFFFFFFE);
    for (std::uint32_t i = 2; i + 1 < total; ++i) Put32(d, at(0) + 4 * i, i + 1);
    Put32(d, at(0) + 4 * (total - 1), 0xFFFFFFFE);
    const std::size_t dir = at(1);
    PutUtf16(d, dir, "Root Entry");
    Put16(d, dir + 0x40, 22);
    d[dir + 0x42] = 5;
    Put32(d, dir + 0x4C, 1);
    PutUtf16(d, dir + 128, stream);
    Put16(d, dir + 128 + 0x40, static_cast<std::uint16_t>(2 * (std::strlen(stream) + 1)));
    d[dir + 128 + 0x42] = 2;
    Put32(d, dir + 128 + 0x74, 2);
    Put32(d, dir + 128 + 0x78, streamSectors * sectorSize);
    for (std::size_t i = at(2); i < d.size(); ++i) d[i] = static_cast<std::uint8_t>('a' + i % 23);
    return d;
}

// A compound document of any size with 512-byte sectors laid out as Office
// writes large files: the stream first, then the allocation table sectors,
// the directory, and for Word a last sector with the class text.
inline Bytes LargeCompound(nwimage::DocKind kind, std::uint32_t streamSectors, std::uint64_t seed = 1) {
    const bool word = kind == nwimage::DocKind::Word;
    const char* stream = word ? "WordDocument" : kind == nwimage::DocKind::Excel ? "Workbook" : "PowerPoint Document";
    const std::uint32_t tail = word ? 2 : 1;
    std::uint32_t fatSectors = 1;
    while (fatSectors * 128 < streamSectors + fatSectors + tail) ++fatSectors;
    if (fatSectors > 109) throw std::runtime_error("too large for the header's table list");
    const std::uint32_t fatFirst = streamSectors, dirSec = streamSectors + fatSectors, compObj = dirSec + 1;
    const std::uint32_t total = dirSec + tail;
    Bytes d(static_cast<std::size_t>(total + 1) * 512, 0);
    static const std::uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(d.data(), kSig, 8);
    Put16(d, 0x18, 0x003E);
    Put16(d, 0x1A, 3);
    Put16(d, 0x1C, 0xFFFE);
    Put16(d, 0x1E, 9);
    Put16(d, 0x20, 6);
    Put32(d, 0x2C, fatSectors);
    Put32(d, 0x30, dirSec);
    Put32(d, 0x38, 4096);
    Put32(d, 0x3C, 0xFFFFFFFE);
    Put32(d, 0x44, 0xFFFFFFFE);
    for (std::uint32_t i = 0; i < 109; ++i) Put32(d, 0x4C + 4 * i, i < fatSectors ? fatFirst + i : 0xFFFFFFFF);
    auto at = [](std::uint32_t s) { return static_cast<std::size_t>(s + 1) * 512; };
    const std::size_t fat = at(fatFirst);
    for (std::uint32_t i = 0; i < fatSectors * 128; ++i) Put32(d, fat + 4 * i, 0xFFFFFFFF);
    for (std::uint32_t i = 0; i + 1 < streamSectors; ++i) Put32(d, fat + 4 * i, i + 1);
    Put32(d, fat + 4 * (streamSectors - 1), 0xFFFFFFFE);
    for (std::uint32_t i = 0; i < fatSectors; ++i) Put32(d, fat + 4 * (fatFirst + i), 0xFFFFFFFD);
    Put32(d, fat + 4 * dirSec, 0xFFFFFFFE);
    if (word) Put32(d, fat + 4 * compObj, 0xFFFFFFFE);
    std::uint64_t state = seed;
    for (std::size_t i = at(0); i < at(streamSectors); ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        d[i] = static_cast<std::uint8_t>('a' + (state >> 33) % 26);
    }
    const std::size_t dir = at(dirSec);
    PutUtf16(d, dir, "Root Entry");
    Put16(d, dir + 0x40, 22);
    d[dir + 0x42] = 5;
    Put32(d, dir + 0x4C, 1);
    PutUtf16(d, dir + 128, stream);
    Put16(d, dir + 128 + 0x40, static_cast<std::uint16_t>(2 * (std::strlen(stream) + 1)));
    d[dir + 128 + 0x42] = 2;
    Put32(d, dir + 128 + 0x78, streamSectors * 512);
    if (word) std::memcpy(d.data() + at(compObj) + 60, "Word.Document.8", 15);
    return d;
}

// A ZIP archive of stored members "m0", "m1", ... whose bodies have the
// given sizes (filled with 'z'), as current tools write it (version needed
// 2.0), with an archive comment. With `zip64Offsets` the central directory
// gives each local header's offset in a ZIP64 extra field. `localOffsets`
// receives where each member begins.
inline Bytes StoredZip(const std::vector<std::size_t>& bodySizes, const std::string& comment = "",
                       bool zip64Offsets = false, std::vector<std::size_t>* localOffsets = nullptr) {
    Bytes z;
    auto u16 = [&](std::uint16_t v) { z.push_back(v & 0xFF); z.push_back(static_cast<std::uint8_t>(v >> 8)); };
    auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) z.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < bodySizes.size(); ++i) {
        offsets.push_back(z.size());
        const std::string name = "m" + std::to_string(i % 10);
        u32(0x04034B50); u16(20); u16(0); u16(0); u16(0); u16(0); u32(0);
        u32(static_cast<std::uint32_t>(bodySizes[i])); u32(static_cast<std::uint32_t>(bodySizes[i]));
        u16(static_cast<std::uint16_t>(name.size())); u16(0);
        z.insert(z.end(), name.begin(), name.end());
        z.insert(z.end(), bodySizes[i], 'z');
    }
    const auto cd = static_cast<std::uint32_t>(z.size());
    for (std::size_t i = 0; i < bodySizes.size(); ++i) {
        const std::string name = "m" + std::to_string(i % 10);
        u32(0x02014B50); u16(zip64Offsets ? 45 : 20); u16(20); u16(0); u16(0); u16(0); u16(0); u32(0);
        u32(static_cast<std::uint32_t>(bodySizes[i])); u32(static_cast<std::uint32_t>(bodySizes[i]));
        u16(static_cast<std::uint16_t>(name.size())); u16(zip64Offsets ? 12 : 0); u16(0); u16(0); u16(0); u32(0);
        u32(zip64Offsets ? 0xFFFFFFFFu : static_cast<std::uint32_t>(offsets[i]));
        z.insert(z.end(), name.begin(), name.end());
        if (zip64Offsets) {
            u16(1); u16(8); u32(static_cast<std::uint32_t>(offsets[i])); u32(0);
        }
    }
    const auto cdSize = static_cast<std::uint32_t>(z.size()) - cd;
    const auto n = static_cast<std::uint16_t>(bodySizes.size());
    u32(0x06054B50); u16(0); u16(0); u16(n); u16(n); u32(cdSize); u32(cd);
    u16(static_cast<std::uint16_t>(comment.size()));
    z.insert(z.end(), comment.begin(), comment.end());
    if (localOffsets) *localOffsets = offsets;
    return z;
}

}  // namespace rawtest
