// Document carving over one scan window: where Word, Excel, PowerPoint and
// ZIP documents begin (header signatures at sector starts), where they end
// (type markers at any byte), what kind they are, and writing each one into
// the destination folder as a numbered file.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raw/FormatKinds.h"

namespace raw {

constexpr std::uint32_t kWindowSectors = 800;
constexpr std::size_t kWindowBytes = 409600;
constexpr std::uint32_t kChunkSectors = 20;          // sectors per read
constexpr std::size_t kChunkBytes = 10240;
constexpr std::uint32_t kReadsPerWindow = 40;
constexpr std::uint64_t kCutBytes = 5242880;         // copies of unknown length stop past this
constexpr std::size_t kMaxCandidates = 800;
constexpr int kRecordCount = 6;

struct SignatureRecord {
    const std::uint8_t* header;
    std::size_t headerLength;
    const std::uint8_t* marker;
    std::size_t markerLength;
    int kind;
};

// The six records, in search order.
const std::array<SignatureRecord, kRecordCount>& SignatureRecords();
// Whether the bytes at `p` (at least `available` bytes) carry the header of
// record `record`. The ZIP record accepts any version byte 0x0A..0x3F.
bool HeaderMatches(int record, const std::uint8_t* p, std::size_t available);
// The record whose header the sector starting at `p` carries, or -1 (the
// first in table order).
int HeaderRecordAt(const std::uint8_t* p, std::size_t available);

struct Candidate {
    std::uint64_t sector = 0;
    int record = 0;
};

// Documents starting in the window, by ascending sector: a sector whose
// start carries a header is a candidate with the first record (in table
// order) whose header it carries.
std::size_t FindCandidates(const std::uint8_t* window, std::uint64_t base, std::vector<Candidate>& out);

// Every position of every type marker in the window, ascending per record.
struct MarkerMatches {
    std::array<std::vector<std::uint32_t>, kRecordCount> offsets;
    void Clear() {
        for (auto& o : offsets) o.clear();
    }
};
void FindMarkers(const std::uint8_t* window, MarkerMatches& out);

// What carries over from window to window during one scan.
struct CarryOver {
    std::uint64_t lastWrittenEnd = 0;   // markers must lie above it
    bool continuation = false;          // a document's end is still sought
    std::uint64_t continuedStart = 0;
    int continuedRecord = 0;
    bool multiCandidate = false;        // the candidates of a window are being worked through
    bool rowsInserted = false;          // the "Files Recovered" rows exist
    std::uint64_t coveredThrough = 0;   // last sector of the last document written to its recorded length
    void Clear() { *this = CarryOver{}; }
};

struct EndResult {
    std::uint64_t end = 0;  // 0: no end in this window
    int record = -1;        // the record whose marker gave the end
};

// The end of candidate `current` (ignored during a continuation) among the
// markers of this window. Updates the last written end when an end is chosen.
EndResult FindEnd(const MarkerMatches& markers, std::uint64_t base, const std::vector<Candidate>& candidates,
                  std::size_t current, CarryOver& carry);


// One document to be written, with what bounds its length from structure.
struct DocumentJob {
    std::uint64_t start = 0;
    std::uint64_t end = 0;             // the end sector chosen by the markers
    int code = 0;                      // type code before the probes
    int headerRecord = 0;              // record of the header at `start`
    std::uint64_t nextCandidate = 0;   // first candidate above the document, 0 = none in this window
    const std::uint8_t* window = nullptr;  // the window the end was found in
    std::uint64_t windowBase = 0;
    const MarkerMatches* markers = nullptr;
    const std::vector<Candidate>* candidates = nullptr;  // the window's candidates
};

// Reads `count` consecutive 512-byte sectors from sector `start` into
// `buffer` (count x 512 bytes). True when the buffer holds them as the disk
// gave them, unreadable sectors as the bad-sector policy leaves them; false
// when nothing could be read (no device).
using SectorReadFunction = std::function<bool(std::uint64_t start, std::uint32_t count, void* buffer)>;

// Where carving reports what it writes: the "Files Recovered" rows and each
// document file. Called on the scan's thread.
class CarvingOutput {
public:
    virtual ~CarvingOutput() = default;
    virtual void ClearFilesRecovered() = 0;
    virtual void AddFilesRecoveredRow(const std::string& text) = 0;
    virtual void SetFilesRecoveredRow(int row, const std::string& text) = 0;
    // A document file was created (also when its copy was then cut short by
    // a stop or failed part-way).
    virtual void DocumentWritten(const std::string& path, int kind) = 0;
};

// Everything the writer needs from the scan: the sector reader, where to
// report, the destination, the counters and the stop flag. The raw scan owns
// one.
struct CarvingContext {
    SectorReadFunction readSectors;
    CarvingOutput* output = nullptr;   // none: nothing is shown
    std::string destinationPath;
    std::array<bool, kinds::kCount> checked{};
    int* attemptNumber = nullptr;
    std::array<int, kinds::kCount>* typeCounts = nullptr;
    CarryOver* carry = nullptr;
    const std::atomic<std::int32_t>* stopRequested = nullptr;
    bool Stopped() const { return stopRequested && stopRequested->load(std::memory_order_relaxed) != 0; }
    bool Read(std::uint64_t start, std::uint32_t count, void* buffer) const {
        return readSectors && readSectors(start, count, buffer);
    }
};

// Adjusts the type code by the three probes over the first ten sectors;
// false when the start lies above the end.
bool Classify(const CarvingContext& ctx, int& code, std::uint64_t start, std::uint64_t end);

// Result of WriteDocument.
enum class WriteOutcome { NotHanded, Rejected, NotChecked, NotCreated, Written, Failed, Stopped };

// Hands the document to the writer: numbers it, classifies it, counts it,
// updates the rows and copies it. Returns what happened.
WriteOutcome WriteDocument(CarvingContext& ctx, const DocumentJob& doc);

// The file name of a document: prefix, number and extension ("XLS3.XLS").
std::string DocumentFileName(int code, int number);
// The "Files Recovered" row text of a kind with its count.
std::string FilesRecoveredRowText(int code, int count);

// Works through one filled window (base = its first sector): candidates,
// ends, continuation and writing. Sets `rereadBase` to true when a
// continued document ended here and the window must be read again.
void ProcessWindow(CarvingContext& ctx, const std::uint8_t* window, std::uint64_t base, bool& rereadBase);

}  // namespace raw
