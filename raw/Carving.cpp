#include "raw/Carving.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "raw/DocumentFile.h"

namespace raw {

namespace {

// How many numbers past the current one are tried for a file name no
// document of the destination has yet.
constexpr int kMaxNumberTries = 1 << 20;

std::uint64_t LastSector(std::uint64_t start, std::uint64_t length) {
    return start + (length + kSectorBytes - 1) / kSectorBytes - 1;
}

// Bytes of a document from its first sector: taken from the window where
// it holds them, else read from the disk 20 sectors at a time.
DocumentReader DocumentBytes(const CarvingContext& ctx, std::uint64_t startSector, const std::uint8_t* window,
                             std::uint64_t windowBase) {
    return [&ctx, startSector, window, windowBase](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        const std::uint64_t at = startSector * kSectorBytes + offset;
        const std::uint64_t windowFirst = windowBase * kSectorBytes;
        if (window && at >= windowFirst && at - windowFirst <= kWindowBytes &&
            count <= kWindowBytes - (at - windowFirst)) {
            std::memcpy(out, window + (at - windowFirst), count);
            return true;
        }
        std::uint8_t buffer[kChunkBytes];
        while (count > 0) {
            if (ctx.Stopped()) return false;
            const std::uint64_t sector = startSector + offset / kSectorBytes;
            const std::size_t skip = offset % kSectorBytes;
            const std::size_t take = std::min(count, kChunkBytes - skip);
            const auto sectors = static_cast<std::uint32_t>((skip + take + kSectorBytes - 1) / kSectorBytes);
            if (!ctx.Read(sector, sectors, buffer)) return false;
            std::memcpy(out, buffer + skip, take);
            out += take;
            offset += take;
            count -= take;
        }
        return true;
    };
}

// The first sector in [from, to] whose start carries a header signature
// and is not one of `own` (ascending); none when there is none or the scan
// was stopped.
std::optional<std::uint64_t> FirstOtherHeaderBetween(const CarvingContext& ctx, std::uint64_t from, std::uint64_t to,
                                                     const std::vector<std::uint64_t>& own) {
    std::uint8_t buffer[kChunkBytes];
    for (std::uint64_t s = from; s <= to;) {
        if (ctx.Stopped()) return std::nullopt;
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, to - s + 1));
        if (!ctx.Read(s, count, buffer)) return std::nullopt;
        for (std::uint32_t i = 0; i < count; ++i)
            if (HeaderRecordAt(buffer + i * kSectorBytes, kSectorBytes) >= 0 &&
                !std::binary_search(own.begin(), own.end(), s + i))
                return s + i;
        s += count;
    }
    return std::nullopt;
}

// Where another document begins inside the sectors from `start` through
// `last`: the first candidate of the window and, beyond the window, the
// first header up to `last` that is not one of the document's own.
std::optional<std::uint64_t> OtherDocumentWithin(const CarvingContext& ctx, std::uint64_t start, std::uint64_t last,
                                                 const std::vector<std::uint64_t>& own,
                                                 const std::vector<Candidate>& candidates, std::uint64_t windowBase) {
    for (const Candidate& c : candidates)
        if (c.sector > start && c.sector <= last && !std::binary_search(own.begin(), own.end(), c.sector))
            return c.sector;
    const std::uint64_t windowEnd = windowBase + kWindowSectors;
    if (last < windowEnd) return std::nullopt;
    return FirstOtherHeaderBetween(ctx, std::max(windowEnd, start + 1), last, own);
}

// What a document's own structure says of its length.
struct Measure {
    std::optional<std::uint64_t> exact;       // whole: bytes, as its structure records them
    std::optional<std::uint64_t> incomplete;  // its structure reaches past the data found: the bytes found
};

// A document whose records stop before its end: incomplete, as far as they
// go and never into another document or past the disk's end.
Measure MeasurePartial(const CarvingContext& ctx, const DocumentFormat& format, const LengthQuery& query,
                       const std::vector<Candidate>& candidates) {
    const std::optional<StructureLength> part = format.partialLength(query);
    if (ctx.Stopped() || !part || part->bytes == 0) return {};
    const std::uint64_t start = query.start;
    const std::uint64_t last = LastSector(start, part->bytes);
    std::optional<std::uint64_t> found =
        OtherDocumentWithin(ctx, start, last, part->ownHeaders, candidates, query.windowBase);
    if (ctx.Stopped()) return {};
    if (ctx.diskSectors > start && last >= ctx.diskSectors)
        found = std::min(found.value_or(ctx.diskSectors), ctx.diskSectors);
    return {std::nullopt, found ? (*found - start) * kSectorBytes : part->bytes};
}

// A document's length when its format reads one from its structure and the
// document runs into no other one nor past the disk's end. A document whose
// format tells what its header claims and whose claim reaches into another
// document or past the disk's end is incomplete: what lies before either is
// what was found of it; so is an archive whose records stop before its end
// (a cut one). Otherwise (a structure that does not read) its markers are to
// end it.
Measure MeasureDocument(const CarvingContext& ctx, std::uint64_t start, int record, const std::uint8_t* window,
                        std::uint64_t base, const MarkerMatches& markers, const std::vector<Candidate>& candidates) {
    const DocumentFormat& format = FormatOfRecord(record);
    const DocumentReader read = DocumentBytes(ctx, start, window, base);
    const LengthQuery query{read, start, base, markers, candidates};
    std::optional<StructureLength> exact = format.exactLength(query);
    if (ctx.Stopped()) return {};
    const bool recorded = exact && exact->bytes != 0;
    if (!recorded && format.partialLength) return MeasurePartial(ctx, format, query, candidates);
    const StructureLength s = recorded ? std::move(*exact) : StructureLength{};
    std::optional<std::uint64_t> claim;
    if (recorded)
        claim = s.bytes;
    else if (format.claimedLength)
        claim = format.claimedLength(read);
    if (!claim || *claim == 0 || ctx.Stopped()) return {};

    std::uint64_t last = LastSector(start, *claim);
    // A claim of the header alone (its tables do not read) is looked into
    // no further than a copy of unknown length runs.
    if (!recorded) last = std::min(last, start + kCutBytes / kSectorBytes);
    std::optional<std::uint64_t> found = OtherDocumentWithin(ctx, start, last, s.ownHeaders, candidates, base);
    if (ctx.Stopped()) return {};
    if (ctx.diskSectors > start && last >= ctx.diskSectors) found = std::min(found.value_or(ctx.diskSectors), ctx.diskSectors);
    if (!found) return recorded ? Measure{s.bytes, std::nullopt} : Measure{};
    if (!format.claimedLength) return {};
    return {std::nullopt, (*found - start) * kSectorBytes};
}

// The end rule's choice among the records' last matches (0 = none): the
// three compound-document markers by ascending end, then the others in
// table order.
EndResult ChooseEnd(const std::array<std::uint64_t, kRecordCount>& slot) {
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return slot[a] < slot[b]; });
    for (int r : order)
        if (slot[r] != 0) return {slot[r], r};
    for (int r = 3; r < kRecordCount; ++r)
        if (slot[r] != 0) return {slot[r], r};
    return {};
}

// The record the end rule would choose among the markers of the window
// that lie within [first, last]; -1 when none does.
int MarkerRecordWithin(const MarkerMatches& markers, std::uint64_t base, std::uint64_t first, std::uint64_t last) {
    std::array<std::uint64_t, kRecordCount> slot{};
    for (int r = 0; r < kRecordCount; ++r)
        for (std::uint32_t off : markers.offsets[r]) {
            const std::uint64_t s = base + off / kSectorBytes;
            if (s > last) break;
            if (s >= first) slot[r] = s;
        }
    return ChooseEnd(slot).record;
}

enum class CopyResult { Done, Failed, Stopped };

CopyResult ReadFailed(const CarvingContext& ctx) { return ctx.Stopped() ? CopyResult::Stopped : CopyResult::Failed; }

// Exactly `length` bytes from the start sector.
CopyResult CopyExact(const CarvingContext& ctx, DocumentFile& file, std::uint64_t start, std::uint64_t length) {
    std::uint8_t buffer[kChunkBytes];
    for (std::uint64_t done = 0; done < length;) {
        if (ctx.Stopped()) return CopyResult::Stopped;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, length - done));
        const auto sectors = static_cast<std::uint32_t>((take + kSectorBytes - 1) / kSectorBytes);
        if (!ctx.Read(start + done / kSectorBytes, sectors, buffer)) return ReadFailed(ctx);
        if (!file.Write(buffer, take)) return CopyResult::Failed;
        done += take;
    }
    return CopyResult::Done;
}

// The copy for documents whose length only the markers give: up to 20
// sectors in one piece, longer ones in chunks of 20 with the 5 MiB cut for
// all kinds but ZIP.
CopyResult CopyByMarkers(const CarvingContext& ctx, DocumentFile& file, std::uint64_t start, std::uint64_t end, int code) {
    std::uint8_t buffer[kChunkBytes];
    const std::uint64_t length = end - start;
    if (length <= kChunkSectors) {
        if (length == 0) return CopyResult::Done;
        if (ctx.Stopped()) return CopyResult::Stopped;
        if (!ctx.Read(start, static_cast<std::uint32_t>(length), buffer)) return ReadFailed(ctx);
        return file.Write(buffer, length * kSectorBytes) ? CopyResult::Done : CopyResult::Failed;
    }
    std::uint64_t l = kChunkSectors;
    std::uint64_t p = start;
    std::uint64_t w = 0;
    bool lastChunk = false;
    for (;;) {
        if (ctx.Stopped()) return CopyResult::Stopped;
        if (!ctx.Read(p, static_cast<std::uint32_t>(l), buffer)) return ReadFailed(ctx);
        if (!file.Write(buffer, l * kSectorBytes)) return CopyResult::Failed;
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

// Whether a document file of number `number` (of any kind, whole or
// incomplete) is in the folder.
bool NumberTaken(const std::string& folder, int number) {
    for (const DocumentKind& k : DocumentKinds())
        for (bool incomplete : {false, true}) {
            struct stat st{};
            if (::lstat((folder + DocumentFileName(k.code, number, incomplete)).c_str(), &st) == 0) return true;
        }
    return false;
}

// The current file number or, when a document file of that number is
// already in the destination, the next number that has none; the attempt
// number follows, so that numbers stay unique and ascending. 0 when none
// is left.
int FreeNumber(CarvingContext& ctx, const std::string& folder) {
    for (int tries = 0; tries < kMaxNumberTries && *ctx.attemptNumber < INT_MAX; ++tries) {
        if (!NumberTaken(folder, *ctx.attemptNumber)) return *ctx.attemptNumber;
        ++*ctx.attemptNumber;
    }
    return 0;
}

bool ClassifyIn(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end,
                const std::uint8_t* window, std::uint64_t windowBase) {
    if (start > end) return false;
    const DocumentReader read = DocumentBytes(ctx, start, window, windowBase);
    std::uint8_t first[kSectorBytes];
    if (!read(0, sizeof first, first)) return true;
    const int record = HeaderRecordAt(first, sizeof first);
    if (record < 0) return true;
    if (const std::optional<int> kind = FormatOfRecord(record).kindOf(read, (end - start + 1) * kSectorBytes))
        code = *kind;
    return true;
}

}  // namespace

std::size_t FindCandidates(const std::uint8_t* window, std::uint64_t base, std::vector<Candidate>& out) {
    out.clear();
    const std::array<bool, 256>& mayStart = HeaderFirstBytes();
    for (std::uint32_t s = 0; s < kWindowSectors && out.size() < kMaxCandidates; ++s) {
        const std::size_t at = static_cast<std::size_t>(s) * kSectorBytes;
        if (!mayStart[window[at]]) continue;
        const int record = HeaderRecordAt(window + at, kWindowBytes - at);
        if (record >= 0) out.push_back({base + s, record});
    }
    return out.size();
}

void FindMarkers(const std::uint8_t* window, MarkerMatches& out) {
    // The markers begin with a few different bytes; each first byte is found
    // with memchr and every record starting with it is tried there.
    struct FirstBytes {
        std::vector<std::uint8_t> bytes;
        FirstBytes() {
            for (const SignatureRecord& r : SignatureRecords())
                if (std::find(bytes.begin(), bytes.end(), r.marker[0]) == bytes.end()) bytes.push_back(r.marker[0]);
        }
    };
    static const FirstBytes firsts;
    const auto& records = SignatureRecords();
    out.Clear();
    for (std::uint8_t first : firsts.bytes) {
        const std::uint8_t* p = window;
        const std::uint8_t* const stop = window + kWindowBytes;
        while (p < stop) {
            const void* hit = std::memchr(p, first, static_cast<std::size_t>(stop - p));
            if (!hit) break;
            const auto* h = static_cast<const std::uint8_t*>(hit);
            const std::size_t off = static_cast<std::size_t>(h - window);
            for (int r = 0; r < kRecordCount; ++r) {
                const SignatureRecord& rec = records[r];
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
    // Markers are taken from `from` up to, not including, `below`.
    std::uint64_t from = 0;
    std::uint64_t below = UINT64_MAX;
    if (carry.continuation) {
        if (n >= 1) below = candidates[0].sector;
    } else {
        if (current >= n) return {};
        from = candidates[current].sector;
        if (current + 1 < n) below = candidates[current + 1].sector;
    }
    std::array<std::uint64_t, kRecordCount> slot{};
    for (int r = 0; r < kRecordCount; ++r) {
        for (std::uint32_t off : markers.offsets[r]) {
            const std::uint64_t s = base + off / kSectorBytes;
            if (s >= below) break;
            if (s <= carry.lastWrittenEnd || s < from) continue;
            slot[r] = s;  // a later match replaces an earlier one
        }
    }
    EndResult result = ChooseEnd(slot);
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

bool Classify(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end) {
    return ClassifyIn(ctx, code, start, end, nullptr, 0);
}

std::string DocumentFileName(int code, int number, bool incomplete) {
    const DocumentKind& k = DocumentKinds()[code];
    return std::string(k.prefix) + std::to_string(number) + (incomplete ? "-incomplete" : "") + k.extension;
}

WriteOutcome WriteDocument(CarvingContext& ctx, const DocumentJob& doc) {
    if (ctx.Stopped()) return WriteOutcome::Stopped;
    ++*ctx.attemptNumber;
    int code = doc.code;
    if (code < 0 || code >= kinds::kCount) return WriteOutcome::Rejected;
    if (!ClassifyIn(ctx, code, doc.start, doc.end, doc.window, doc.windowBase)) return WriteOutcome::Rejected;
    if (!ctx.checked[code]) return WriteOutcome::NotChecked;

    std::string folder = ctx.destinationPath;
    if (folder.empty() || folder.back() != '/') folder += '/';
    CarvedDocument carved;
    carved.kind = code;
    carved.firstSector = doc.start;
    carved.state = doc.incomplete ? DocumentState::Incomplete : DocumentState::Whole;
    auto report = [&](WriteOutcome outcome) {
        carved.path = folder + carved.fileName;
        if (outcome == WriteOutcome::Written) {
            auto* counts = doc.incomplete ? ctx.incompleteCounts : ctx.typeCounts;
            if (counts) (*counts)[code] += 1;
        } else {
            carved.state = DocumentState::Failed;
            if (ctx.failedCount) ++*ctx.failedCount;
        }
        if (ctx.output) ctx.output->DocumentCarved(carved);
        return outcome;
    };
    auto name = [&] {
        carved.number = FreeNumber(ctx, folder);
        carved.fileName = DocumentFileName(code, carved.number, doc.incomplete);
        return carved.number != 0;
    };

    if (!name()) {
        carved.error = EEXIST;
        return report(WriteOutcome::NotCreated);
    }
    DocumentFile file;
    if (!file.Create(folder)) {
        carved.error = file.Error();
        return report(WriteOutcome::NotCreated);
    }
    const CopyResult copied = doc.exactLength ? CopyExact(ctx, file, doc.start, *doc.exactLength)
                                              : CopyByMarkers(ctx, file, doc.start, doc.end, code);
    carved.bytes = file.BytesWritten();
    if (copied == CopyResult::Stopped) return WriteOutcome::Stopped;  // the temporary goes with `file`
    if (copied == CopyResult::Failed) {
        carved.error = file.Error();
        return report(WriteOutcome::Failed);
    }
    // A file that took the number meanwhile moves the document on to the next one.
    while (!file.Commit(carved.fileName)) {
        if (!file.NameTaken()) {
            carved.error = file.Error();
            return report(WriteOutcome::Failed);
        }
        ++*ctx.attemptNumber;
        if (!name()) {
            carved.error = EEXIST;
            return report(WriteOutcome::Failed);
        }
    }
    carved.digests = file.FinishDigests();
    return report(WriteOutcome::Written);
}

void ProcessWindow(CarvingContext& ctx, const std::uint8_t* window, std::uint64_t base, bool& rereadBase) {
    rereadBase = false;
    thread_local std::vector<Candidate> candidates;
    thread_local MarkerMatches markers;
    CarryOver& carry = *ctx.carry;
    const std::size_t n = FindCandidates(window, base, candidates);
    if (n == 0 && !carry.continuation) return;
    FindMarkers(window, markers);

    // A document's kind before its own say: the marker's, else its format's.
    auto job = [&](std::uint64_t start, std::uint64_t end, int markerRecord, int headerRecord,
                   std::optional<std::uint64_t> exact) {
        DocumentJob doc;
        doc.start = start;
        doc.end = end;
        doc.code = markerRecord >= 0 ? SignatureRecords()[markerRecord].kind : FormatOfRecord(headerRecord).kind;
        doc.headerRecord = headerRecord;
        doc.exactLength = exact;
        doc.window = window;
        doc.windowBase = base;
        return doc;
    };
    // A document whose structure gives its length (or that is incomplete)
    // ends there: later candidates inside it (an archive's members) are
    // passed over, and its markers end no other document.
    auto cover = [&](std::uint64_t start, std::uint64_t length) {
        const std::uint64_t last = LastSector(start, length);
        carry.coveredThrough = std::max(carry.coveredThrough, last);
        carry.lastWrittenEnd = std::max(carry.lastWrittenEnd, last);
        return last;
    };

    if (carry.continuation) {
        const EndResult end = FindEnd(markers, base, candidates, 0, carry);
        if (end.end == 0) return;
        if (carry.continuedStart > 0) {
            const Measure m =
                MeasureDocument(ctx, carry.continuedStart, carry.continuedRecord, window, base, markers, candidates);
            const std::optional<std::uint64_t> bytes = m.exact ? m.exact : m.incomplete;
            const std::uint64_t last = bytes ? cover(carry.continuedStart, *bytes) : end.end;
            DocumentJob doc = job(carry.continuedStart, last, end.record, carry.continuedRecord, bytes);
            doc.incomplete = m.incomplete.has_value();
            WriteDocument(ctx, doc);
        }
        carry.continuation = false;
        carry.lastWrittenEnd = 0;
        // The window's own candidates are worked through when it is read again.
        rereadBase = n > 0;
        return;
    }

    carry.multiCandidate = n > 1;
    for (std::size_t c = 0; c < n; ++c) {
        if (ctx.Stopped()) break;
        const Candidate candidate = candidates[c];
        // A document at the disk's first sector is never written; one inside
        // a document already written to its recorded length is part of it.
        if (candidate.sector == 0 || candidate.sector <= carry.coveredThrough) continue;
        const Measure m = MeasureDocument(ctx, candidate.sector, candidate.record, window, base, markers, candidates);
        if (const std::optional<std::uint64_t> bytes = m.exact ? m.exact : m.incomplete) {
            const std::uint64_t last = cover(candidate.sector, *bytes);
            DocumentJob doc = job(candidate.sector, last, MarkerRecordWithin(markers, base, candidate.sector, last),
                                  candidate.record, bytes);
            doc.incomplete = m.incomplete.has_value();
            WriteDocument(ctx, doc);
            continue;
        }
        EndResult end = FindEnd(markers, base, candidates, c, carry);
        if (end.end == 0) {
            if (c + 1 < n) {
                // No marker of this document in its window, and the next
                // document begins here: this one ends right before it.
                end = {candidates[c + 1].sector - 1, candidate.record};
            } else {
                carry.continuation = true;
                carry.continuedStart = candidate.sector;
                carry.continuedRecord = candidate.record;
                break;
            }
        }
        WriteDocument(ctx, job(candidate.sector, end.end, end.record, candidate.record, std::nullopt));
    }
    carry.multiCandidate = false;
}

}  // namespace raw
