#include "raw/Carving.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "raw/CompoundLength.h"
#include "raw/ZipLength.h"

namespace raw {

namespace {

constexpr std::uint8_t kCompoundHeader[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint8_t kExcel5Header[] = "Microsoft Excel 5.0";
constexpr std::uint8_t kZipHeader[] = {0x50, 0x4B, 0x03, 0x04, 0x0A};
constexpr std::uint8_t kWordMarker[] = "Word.Document";
constexpr std::uint8_t kWorkbookMarker[] = {0x57, 0x00, 0x6F, 0x00, 0x72, 0x00, 0x6B, 0x00,
                                            0x62, 0x00, 0x6F, 0x00, 0x6F, 0x00, 0x6B};
constexpr std::uint8_t kWorksheetMarker[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ', 'E', 'x', 'c',
                                             'e', 'l', ' ', 'W', 'o', 'r', 'k', 's', 'h', 'e', 't', 0x00, 0x06};
constexpr std::uint8_t kPowerPointMarker[] = {'P', 0, 'o', 0, 'w', 0, 'e', 0, 'r', 0, 'P', 0, 'o', 0,
                                              'i', 0, 'n', 0, 't', 0, ' ', 0, 'D', 0, 'o', 0, 'c', 0,
                                              'u', 0, 'm', 0, 'e', 0, 'n', 0, 't'};
constexpr std::uint8_t kZipEndMarker[] = {0x50, 0x4B, 0x05, 0x06, 0x00};

static_assert(sizeof kPowerPointMarker == 37);
static_assert(sizeof kWorksheetMarker == 26);

const std::array<SignatureRecord, kRecordCount> kRecords{{
    {kCompoundHeader, 8, kWordMarker, 13, kinds::kWord},
    {kCompoundHeader, 8, kWorkbookMarker, 15, kinds::kExcel},
    {kCompoundHeader, 8, kWorksheetMarker, 26, kinds::kExcel},
    {kCompoundHeader, 8, kPowerPointMarker, 37, kinds::kPowerPoint},
    {kExcel5Header, 19, kWorksheetMarker, 26, kinds::kExcel},
    {kZipHeader, 5, kZipEndMarker, 5, kinds::kZip},
}};

constexpr int kZipRecord = 5;
constexpr int kExcel5Record = 4;

const char* const kPrefixes[kinds::kCount] = {"DOC", "XLS", "PPT", "ZIP"};
const char* const kExtensions[kinds::kCount] = {".DOC", ".XLS", ".PPT", ".ZIP"};
const char* const kRowTexts[kinds::kCount] = {
    "Total Word File(s) Recovered :  ", "Total Excel File(s) Recovered :  ",
    "Total PowerPoint File(s) Recovered :  ", "Total Zip File(s) Recovered :  "};

// Probes over the first ten sectors of a document.
constexpr std::size_t kProbe1Offset = 2080;
constexpr std::size_t kProbe2Offset = 4768;
constexpr std::size_t kProbe3Offset = 1152;
constexpr char kProbe2Text[] = "Microsoft Excel";

// The largest document whose length is taken from its structure.
constexpr std::uint64_t kMaxStructureLength = 1ull << 32;
// How far past its window an archive's end record is sought when one of its
// members may start a sector of the window.
constexpr std::uint64_t kArchiveLookAhead = 8u << 20;

bool ReadDiskSectors(const CarvingContext& ctx, std::uint64_t start, std::uint32_t count, std::uint8_t* buffer) {
    return ctx.Read(start, count, buffer);
}

// Bytes of the disk from a document's first sector, read 20 sectors at a time.
DocumentReader DiskDocumentReader(const CarvingContext& ctx, std::uint64_t startSector) {
    return [&ctx, startSector](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        std::uint8_t buffer[kChunkBytes];
        while (count > 0) {
            if (ctx.Stopped()) return false;
            const std::uint64_t sector = startSector + offset / kSectorBytes;
            const std::size_t skip = offset % kSectorBytes;
            const std::size_t take = std::min(count, kChunkBytes - skip);
            const auto sectors = static_cast<std::uint32_t>((skip + take + kSectorBytes - 1) / kSectorBytes);
            if (!ReadDiskSectors(ctx, sector, sectors, buffer)) return false;
            std::memcpy(out, buffer + skip, take);
            out += take;
            offset += take;
            count -= take;
        }
        return true;
    };
}

// Whether every sector in [from, to] whose start carries a header signature
// is one of `allowed` (ascending).
bool OnlyAllowedHeadersBetween(const CarvingContext& ctx, std::uint64_t from, std::uint64_t to,
                               const std::vector<std::uint64_t>& allowed) {
    std::uint8_t buffer[kChunkBytes];
    for (std::uint64_t s = from; s <= to;) {
        if (ctx.Stopped()) return false;
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, to - s + 1));
        if (!ReadDiskSectors(ctx, s, count, buffer)) return false;
        for (std::uint32_t i = 0; i < count; ++i)
            if (HeaderRecordAt(buffer + i * kSectorBytes, kSectorBytes) >= 0 &&
                !std::binary_search(allowed.begin(), allowed.end(), s + i))
                return false;
        s += count;
    }
    return true;
}

// Whether a document written from `doc.start` through sector `last` takes in
// no other document: every candidate of the window and every header beyond
// the window up to `last` must be one of `allowed` (ascending sectors: an
// archive's own members).
bool TakesInNoOtherDocument(const CarvingContext& ctx, const DocumentJob& doc, std::uint64_t last,
                            const std::vector<std::uint64_t>& allowed) {
    if (doc.candidates) {
        for (const Candidate& c : *doc.candidates)
            if (c.sector > doc.start && c.sector <= last && !std::binary_search(allowed.begin(), allowed.end(), c.sector))
                return false;
    } else if (doc.nextCandidate != 0 && last >= doc.nextCandidate &&
               !std::binary_search(allowed.begin(), allowed.end(), doc.nextCandidate)) {
        return false;
    }
    const std::uint64_t windowEnd = doc.windowBase + kWindowSectors;
    if (last >= windowEnd && !OnlyAllowedHeadersBetween(ctx, std::max(windowEnd, doc.start + 1), last, allowed))
        return false;
    return true;
}

std::uint64_t LastSector(std::uint64_t start, std::uint64_t length) {
    return start + (length + kSectorBytes - 1) / kSectorBytes - 1;
}

// The document's length in bytes when its own structure records it and it
// does not run into the next document. An archive's own members whose local
// headers happen to start a sector are part of it, not further documents.
std::optional<std::uint64_t> LengthFromStructure(const CarvingContext& ctx, const DocumentJob& doc) {
    const DocumentReader read = DiskDocumentReader(ctx, doc.start);
    const std::vector<std::uint64_t> none;
    if (doc.headerRecord >= 0 && doc.headerRecord < kExcel5Record) {
        const std::optional<std::uint64_t> length = CompoundDocumentLength(read, kMaxStructureLength);
        if (!length || *length == 0) return std::nullopt;
        if (!TakesInNoOtherDocument(ctx, doc, LastSector(doc.start, *length), none)) return std::nullopt;
        return length;
    }
    if (doc.headerRecord != kZipRecord || !doc.markers) return std::nullopt;
    // The first end record above the archive's start that places its
    // central directory consistently.
    const std::uint64_t first = doc.start * kSectorBytes;
    std::optional<std::uint64_t> verdict;
    bool decided = false;
    auto tryEndRecord = [&](std::uint64_t offset) {
        const std::optional<ZipLayout> layout = ReadZipLayout(read, offset);
        if (!layout || layout->length == 0 || layout->length > kMaxStructureLength) return;
        std::vector<std::uint64_t> members;
        std::vector<std::uint64_t> memberSectors;
        if (ZipMemberOffsets(read, *layout, members))
            for (std::uint64_t m : members)
                if (m > 0 && m % kSectorBytes == 0) memberSectors.push_back(doc.start + m / kSectorBytes);
        decided = true;
        if (TakesInNoOtherDocument(ctx, doc, LastSector(doc.start, layout->length), memberSectors))
            verdict = layout->length;
    };
    for (std::uint32_t off : doc.markers->offsets[kZipRecord]) {
        const std::uint64_t at = doc.windowBase * kSectorBytes + off;
        if (at < first + 30) continue;
        tryEndRecord(at - first);
        if (decided) return verdict;
    }
    // None in this window. When the next header of the window is another
    // local header, it may be one of this archive's members and the end
    // record lie further on: look ahead for it.
    if (!doc.candidates) return std::nullopt;
    const Candidate* next = nullptr;
    for (const Candidate& c : *doc.candidates)
        if (c.sector > doc.start) {
            next = &c;
            break;
        }
    if (!next || next->record != kZipRecord) return std::nullopt;
    const std::uint64_t windowEnd = (doc.windowBase + kWindowSectors) * kSectorBytes;
    if (windowEnd <= first) return std::nullopt;
    std::vector<std::uint8_t> buffer(64 * 1024);
    constexpr std::size_t kOverlap = sizeof kZipEndMarker - 1;
    for (std::uint64_t from = windowEnd - first - kOverlap; from < kArchiveLookAhead && !decided;
         from += buffer.size() - kOverlap) {
        if (!read(from, buffer.size(), buffer.data())) return std::nullopt;
        const std::uint8_t* p = buffer.data();
        const std::uint8_t* const stop = buffer.data() + buffer.size() - kOverlap;
        while (p < stop && !decided) {
            p = static_cast<const std::uint8_t*>(std::memchr(p, 'P', static_cast<std::size_t>(stop - p)));
            if (!p) break;
            if (std::memcmp(p, kZipEndMarker, sizeof kZipEndMarker) == 0)
                tryEndRecord(from + static_cast<std::uint64_t>(p - buffer.data()));
            ++p;
        }
    }
    return verdict;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

enum class CopyResult { Done, Failed, Stopped };

// Exactly `length` bytes from the start sector.
CopyResult CopyExact(const CarvingContext& ctx, int fd, std::uint64_t start, std::uint64_t length) {
    std::uint8_t buffer[kChunkBytes];
    for (std::uint64_t done = 0; done < length;) {
        if (ctx.Stopped()) return CopyResult::Stopped;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, length - done));
        const auto sectors = static_cast<std::uint32_t>((take + kSectorBytes - 1) / kSectorBytes);
        ReadDiskSectors(ctx, start + done / kSectorBytes, sectors, buffer);
        if (!WriteAll(fd, buffer, take)) return CopyResult::Failed;
        done += take;
    }
    return CopyResult::Done;
}

// The copy for documents whose length only the markers give: up to 20
// sectors in one piece, longer ones in chunks of 20 with the 5 MiB cut for
// all kinds but ZIP.
CopyResult CopyByMarkers(const CarvingContext& ctx, int fd, std::uint64_t start, std::uint64_t end, int code) {
    std::uint8_t buffer[kChunkBytes];
    const std::uint64_t length = end - start;
    if (length <= kChunkSectors) {
        if (length == 0) return CopyResult::Done;
        if (ctx.Stopped()) return CopyResult::Stopped;
        ReadDiskSectors(ctx, start, static_cast<std::uint32_t>(length), buffer);
        return WriteAll(fd, buffer, length * kSectorBytes) ? CopyResult::Done : CopyResult::Failed;
    }
    std::uint64_t l = kChunkSectors;
    std::uint64_t p = start;
    std::uint64_t w = 0;
    bool lastChunk = false;
    for (;;) {
        if (ctx.Stopped()) return CopyResult::Stopped;
        ReadDiskSectors(ctx, p, static_cast<std::uint32_t>(l), buffer);
        if (!WriteAll(fd, buffer, l * kSectorBytes)) return CopyResult::Failed;
        if (lastChunk) break;
        if (p + 2 * l > end && p + l < end) {
            p += l;
            l = end - p;
        } else if (p + l > end && p < end) {
            l = end - p;
            lastChunk = true;
        } else {
            p += l;
        }
        if (p > end) break;
        if (end - p > kChunkSectors) l = kChunkSectors;
        else if (end - p >= 1) l = end - p;
        w += l * kSectorBytes;
        if (w > kCutBytes && code != kinds::kZip) break;
        if (l == 0) break;
    }
    return CopyResult::Done;
}

int RowOf(const CarvingContext& ctx, int code) {
    int row = 0;
    for (int k = 0; k < code; ++k)
        if (ctx.checked[k]) ++row;
    return row;
}

}  // namespace

const std::array<SignatureRecord, kRecordCount>& SignatureRecords() { return kRecords; }

bool HeaderMatches(int record, const std::uint8_t* p, std::size_t available) {
    const SignatureRecord& r = kRecords[record];
    if (available < r.headerLength) return false;
    if (record == kZipRecord) return std::memcmp(p, r.header, 4) == 0 && p[4] >= 0x0A && p[4] <= 0x3F;
    return std::memcmp(p, r.header, r.headerLength) == 0;
}

int HeaderRecordAt(const std::uint8_t* p, std::size_t available) {
    for (int r = 0; r < kRecordCount; ++r)
        if (HeaderMatches(r, p, available)) return r;
    return -1;
}

std::size_t FindCandidates(const std::uint8_t* window, std::uint64_t base, std::vector<Candidate>& out) {
    out.clear();
    // Records 1 to 3 share the compound-document header of record 0, so a
    // sector carries at most one of three headers.
    for (std::uint32_t s = 0; s < kWindowSectors && out.size() < kMaxCandidates; ++s) {
        const std::uint8_t* p = window + static_cast<std::size_t>(s) * kSectorBytes;
        const std::size_t available = kWindowBytes - static_cast<std::size_t>(s) * kSectorBytes;
        int record = -1;
        switch (p[0]) {
            case 0xD0:
                if (HeaderMatches(0, p, available)) record = 0;
                break;
            case 'M':
                if (HeaderMatches(kExcel5Record, p, available)) record = kExcel5Record;
                break;
            case 'P':
                if (HeaderMatches(kZipRecord, p, available)) record = kZipRecord;
                break;
            default: break;
        }
        if (record >= 0) out.push_back({base + s, record});
    }
    return out.size();
}

void FindMarkers(const std::uint8_t* window, MarkerMatches& out) {
    out.Clear();
    // The six markers begin with three different bytes; each first byte is
    // found with memchr and every record starting with it is tried there.
    const std::uint8_t firsts[3] = {'W', 'M', 'P'};
    for (std::uint8_t first : firsts) {
        const std::uint8_t* p = window;
        const std::uint8_t* const stop = window + kWindowBytes;
        while (p < stop) {
            const void* hit = std::memchr(p, first, static_cast<std::size_t>(stop - p));
            if (!hit) break;
            const auto* h = static_cast<const std::uint8_t*>(hit);
            const std::size_t off = static_cast<std::size_t>(h - window);
            for (int r = 0; r < kRecordCount; ++r) {
                const SignatureRecord& rec = kRecords[r];
                if (rec.marker[0] != first || off >= kWindowBytes - rec.markerLength) continue;
                if (h[1] == rec.marker[1] && std::memcmp(h, rec.marker, rec.markerLength) == 0)
                    out.offsets[r].push_back(static_cast<std::uint32_t>(off));
            }
            p = h + 1;
        }
    }
}

EndResult FindEnd(const MarkerMatches& markers, std::uint64_t base, const std::vector<Candidate>& candidates,
                  std::size_t current, CarryOver& carry) {
    const std::size_t n = candidates.size();
    std::array<std::uint64_t, kRecordCount> slot{};
    for (int r = 0; r < kRecordCount; ++r) {
        for (std::uint32_t off : markers.offsets[r]) {
            const std::uint64_t s = base + off / kSectorBytes;
            if (s <= carry.lastWrittenEnd) continue;
            std::uint64_t end = s;
            if (carry.continuation) {
                if (n >= 1 && s > candidates[0].sector) end = candidates[0].sector - 1;
            } else {
                if (current >= n || s < candidates[current].sector) continue;
                if (n > 1 && current + 1 < n && s > candidates[current + 1].sector)
                    end = candidates[current + 1].sector - 1;
            }
            slot[r] = end;  // a later match replaces an earlier one
        }
    }

    EndResult result;
    // The three compound-document markers by ascending end, then the others
    // in table order.
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return slot[a] < slot[b]; });
    for (int r : order) {
        if (slot[r] != 0) {
            result = {slot[r], r};
            break;
        }
    }
    if (result.end == 0) {
        for (int r = 3; r < kRecordCount; ++r) {
            if (slot[r] != 0) {
                result = {slot[r], r};
                break;
            }
        }
    }
    if (result.end != 0) {
        carry.lastWrittenEnd = result.end;
        return result;
    }
    if (carry.continuation && n >= 1 && candidates[0].sector > 0) {
        result.end = candidates[0].sector - 1;
        result.record = carry.continuedRecord;
    }
    return result;
}

namespace {

bool ClassifyOn(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end) {
    if (start > end) return false;
    std::uint8_t head[10 * kSectorBytes];
    ReadDiskSectors(ctx, start, 10, head);
    if (std::memcmp(head + kProbe1Offset, kExcel5Header, 19) == 0) code = kinds::kExcel;
    else if (std::memcmp(head + kProbe2Offset, kProbe2Text, 15) == 0) code = kinds::kExcel;
    else if (std::memcmp(head + kProbe3Offset, kPowerPointMarker, sizeof kPowerPointMarker) == 0) code = kinds::kPowerPoint;
    return true;
}

}  // namespace

bool Classify(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end) {
    return ClassifyOn(ctx, code, start, end);
}

std::string DocumentFileName(int code, int number) {
    return std::string(kPrefixes[code]) + std::to_string(number) + kExtensions[code];
}

std::string FilesRecoveredRowText(int code, int count) { return kRowTexts[code] + std::to_string(count); }

WriteOutcome WriteDocument(CarvingContext& ctx, const DocumentJob& doc) {
    if (ctx.Stopped()) return WriteOutcome::Stopped;
    const int number = ++*ctx.attemptNumber;
    int code = doc.code;
    if (code < 0 || code >= kinds::kCount) return WriteOutcome::Rejected;
    if (!ClassifyOn(ctx, code, doc.start, doc.end)) return WriteOutcome::Rejected;
    if (!(doc.start <= doc.end) || !ctx.checked[code]) return WriteOutcome::NotChecked;

    auto& counts = *ctx.typeCounts;
    counts[code] += 1;
    CarvingOutput* panel = ctx.output;
    if (!ctx.carry->rowsInserted) {
        ctx.carry->rowsInserted = true;
        if (panel) {
            panel->ClearFilesRecovered();
            for (int k = 0; k < kinds::kCount; ++k)
                if (ctx.checked[k]) panel->AddFilesRecoveredRow(FilesRecoveredRowText(k, 0));
        }
    }
    std::string path = ctx.destinationPath;
    if (path.empty() || path.back() != '/') path += '/';
    path += DocumentFileName(code, number);
    if (panel) panel->SetFilesRecoveredRow(RowOf(ctx, code), FilesRecoveredRowText(code, counts[code]));

    const std::optional<std::uint64_t> exact = LengthFromStructure(ctx, doc);
    if (ctx.Stopped()) return WriteOutcome::Stopped;

    // A link placed where the file goes is not followed.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return WriteOutcome::NotCreated;
    CopyResult copied;
    if (exact) {
        copied = CopyExact(ctx, fd, doc.start, *exact);
        const std::uint64_t last = LastSector(doc.start, *exact);
        ctx.carry->lastWrittenEnd = std::max(ctx.carry->lastWrittenEnd, last);
        ctx.carry->coveredThrough = std::max(ctx.carry->coveredThrough, last);
    } else {
        copied = CopyByMarkers(ctx, fd, doc.start, doc.end, code);
    }
    if (::close(fd) != 0 && copied == CopyResult::Done) copied = CopyResult::Failed;
    if (panel) panel->DocumentWritten(path, code);
    switch (copied) {
        case CopyResult::Done: return WriteOutcome::Written;
        case CopyResult::Stopped: return WriteOutcome::Stopped;
        case CopyResult::Failed: break;
    }
    return WriteOutcome::Failed;
}

void ProcessWindow(CarvingContext& ctx, const std::uint8_t* window, std::uint64_t base, bool& rereadBase) {
    rereadBase = false;
    thread_local std::vector<Candidate> candidates;
    thread_local MarkerMatches markers;
    CarryOver& carry = *ctx.carry;
    const std::size_t n = FindCandidates(window, base, candidates);
    if (n == 0 && !carry.continuation) return;
    FindMarkers(window, markers);

    auto job = [&](std::uint64_t start, const EndResult& end, int headerRecord, std::uint64_t next) {
        DocumentJob doc;
        doc.start = start;
        doc.end = end.end;
        doc.code = kRecords[end.record].kind;
        // A marker of another document's kind does not make an archive or an
        // Excel 5 stream into that kind.
        if (headerRecord == kZipRecord) doc.code = kinds::kZip;
        if (headerRecord == kExcel5Record) doc.code = kinds::kExcel;
        doc.headerRecord = headerRecord;
        doc.nextCandidate = next;
        doc.window = window;
        doc.windowBase = base;
        doc.markers = &markers;
        doc.candidates = &candidates;
        return doc;
    };

    if (carry.continuation) {
        const EndResult end = FindEnd(markers, base, candidates, 0, carry);
        if (end.end == 0) return;
        if (carry.continuedStart > 0)
            WriteDocument(ctx, job(carry.continuedStart, end, carry.continuedRecord, n ? candidates[0].sector : 0));
        carry.continuation = false;
        carry.lastWrittenEnd = 0;
        // The window's own candidates are worked through when it is read again.
        rereadBase = n > 0;
        return;
    }

    carry.multiCandidate = n > 1;
    for (std::size_t c = 0; c < n; ++c) {
        if (ctx.Stopped()) break;
        // Inside a document already written to its recorded length (an
        // archive's member that starts a sector).
        if (candidates[c].sector <= carry.coveredThrough) continue;
        EndResult end = FindEnd(markers, base, candidates, c, carry);
        if (end.end == 0) {
            if (c + 1 < n) {
                // No marker above this document in its window, and the next
                // document begins here: this one ends right before it.
                end = {candidates[c + 1].sector - 1, candidates[c].record};
            } else {
                carry.continuation = true;
                carry.continuedStart = candidates[c].sector;
                carry.continuedRecord = candidates[c].record;
                break;
            }
        }
        if (candidates[c].sector > 0)
            WriteDocument(ctx, job(candidates[c].sector, end, candidates[c].record,
                                   c + 1 < n ? candidates[c + 1].sector : 0));
    }
    carry.multiCandidate = false;
}

}  // namespace raw
