// Document carving over one scan window: where documents begin (header
// signatures at sector starts), where each ends (its own structure where it
// records its length, else the type markers), what kind it is, and writing
// each one into the destination folder as a numbered file. What is known of
// each format lies in the format files (Format.h); this is the window, the
// candidates and what carries over from window to window.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Digests.h"
#include "raw/Format.h"
#include "raw/FormatKinds.h"

namespace raw {

constexpr std::uint32_t kChunkSectors = 20;          // sectors per read
constexpr std::size_t kChunkBytes = kChunkSectors * kSectorBytes;
constexpr std::uint32_t kReadsPerWindow = kWindowSectors / kChunkSectors;
constexpr std::uint64_t kCutBytes = 5242880;         // copies of unknown length stop past this
constexpr std::size_t kMaxCandidates = kWindowSectors;

// Documents starting in the window, by ascending sector: a sector whose
// start carries a header is a candidate with the first record (in search
// order) of the format whose header it carries.
std::size_t FindCandidates(const std::uint8_t* window, std::uint64_t base, std::vector<Candidate>& out);

// Every position of every type marker in the window.
void FindMarkers(const std::uint8_t* window, MarkerMatches& out);

// What carries over from window to window during one scan.
struct CarryOver {
    std::uint64_t lastWrittenEnd = 0;   // markers must lie above it
    bool continuation = false;          // a document's end is still sought
    std::uint64_t continuedStart = 0;
    int continuedRecord = 0;
    bool multiCandidate = false;        // the candidates of a window are being worked through
    std::uint64_t coveredThrough = 0;   // last sector of the last document written to its recorded length
    void Clear() { *this = CarryOver{}; }
};

struct EndResult {
    std::uint64_t end = 0;  // 0: no end in this window
    int record = -1;        // the record whose marker gave the end
};

// The end of candidate `current` (ignored during a continuation) among the
// markers of this window. A marker at or past the next candidate (during a
// continuation: the window's first candidate) belongs to that document and
// is not taken. Updates the last written end when an end is chosen.
EndResult FindEnd(const MarkerMatches& markers, std::uint64_t base, const std::vector<Candidate>& candidates,
                  std::size_t current, CarryOver& carry);

// Reads `count` consecutive 512-byte sectors from sector `start` into
// `buffer` (count x 512 bytes). True when the buffer holds them as the disk
// gave them, unreadable sectors as the bad-sector policy leaves them; false
// when nothing could be read (no device).
using SectorReadFunction = std::function<bool(std::uint64_t start, std::uint32_t count, void* buffer)>;

// How a document handed to the writer ended.
enum class DocumentState {
    Whole,       // written to its end under its numbered name
    Incomplete,  // its structure reaches past the data found: what was found, under its "-incomplete" name
    Failed,      // not written: the file could not be created or completely written, or the disk read
};

// One document the writer handled.
struct CarvedDocument {
    int number = 0;
    int kind = 0;                      // kinds::Code
    DocumentState state = DocumentState::Whole;
    std::uint64_t firstSector = 0;
    std::uint64_t bytes = 0;           // bytes in the file; a failed one: bytes that reached its temporary
    std::string fileName;              // the name in the destination (a failed one: the name it was to have)
    std::string path;                  // the destination folder and the name
    int error = 0;                     // a failed one: errno of the write, 0 when the disk could not be read
    base::Digests digests;             // of the bytes written (MD5 and SHA-256); empty for a failed one
};

// Where carving reports the documents it handles. Called on the scan's thread.
class CarvingOutput {
public:
    virtual ~CarvingOutput() = default;
    virtual void DocumentCarved(const CarvedDocument& document) = 0;
};

// Everything the writer needs from the scan: the sector reader, where to
// report, the destination, the counters and the stop flag. The raw scan owns
// one; the counters are the scan's.
struct CarvingContext {
    SectorReadFunction readSectors;
    CarvingOutput* output = nullptr;   // none: nothing is shown
    std::string destinationPath;
    std::array<bool, kinds::kCount> checked{};
    int* attemptNumber = nullptr;      // documents handed to the writer; the last file number used
    // Documents written whole, per kind.
    std::array<int, kinds::kCount>* typeCounts = nullptr;
    // Incomplete documents written, per kind; none: not counted.
    std::array<int, kinds::kCount>* incompleteCounts = nullptr;
    // Documents whose file could not be created or completely written
    // (full file system, write or close error, the disk gone); none: not counted.
    int* failedCount = nullptr;
    CarryOver* carry = nullptr;
    std::uint64_t diskSectors = 0;     // the disk's size; 0: not known
    const std::atomic<std::int32_t>* stopRequested = nullptr;
    bool Stopped() const { return stopRequested && stopRequested->load(std::memory_order_relaxed) != 0; }
    bool Read(std::uint64_t start, std::uint32_t count, void* buffer) const {
        return readSectors && readSectors(start, count, buffer);
    }
};

// The kind of the document from `start` through `end`: what its format
// reads in the document itself (a compound document's directory, else the
// probes at fixed offsets of its first ten sectors; an archive is Zip, an
// Excel 5 stream Excel). When that tells nothing the code (the kind its
// markers gave) stays. False when the start lies above the end.
bool Classify(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end);

// One document to be written.
struct DocumentJob {
    std::uint64_t start = 0;
    std::uint64_t end = 0;             // its last sector by its structure, else the sector the markers chose
    int code = 0;                      // the kind its markers gave (or its format's), before its own say
    int headerRecord = 0;              // record of the header at `start`
    std::optional<std::uint64_t> exactLength;  // bytes, when its structure records them
    bool incomplete = false;           // its structure reaches past the data found
    const std::uint8_t* window = nullptr;      // the window it is worked through in, and its first sector
    std::uint64_t windowBase = 0;
};

// Result of WriteDocument.
enum class WriteOutcome { NotHanded, Rejected, NotChecked, NotCreated, Written, Failed, Stopped };

// Hands the document to the writer: numbers it, classifies it, copies it
// into a hidden temporary file that takes its numbered name once whole,
// counts it and reports it. Returns what happened.
WriteOutcome WriteDocument(CarvingContext& ctx, const DocumentJob& doc);

// The file name of a document: prefix, number and extension ("XLS3.XLS"),
// "-incomplete" before the extension for an incomplete one.
std::string DocumentFileName(int code, int number, bool incomplete = false);

// Works through one filled window (base = its first sector): candidates,
// ends, continuation and writing. Sets `rereadBase` to true when a
// continued document ended here and the window must be read again.
void ProcessWindow(CarvingContext& ctx, const std::uint8_t* window, std::uint64_t base, bool& rereadBase);

}  // namespace raw
