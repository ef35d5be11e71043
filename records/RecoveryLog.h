// The recovery log (a ".sav" file): the browsing state of a job — disk model
// and mode, the mounted volume, the table of found volumes, both entry lists,
// the suballocation table and the FAT block list — written to one binary file
// and read back in two stages (the volume list at the disk step, the mounted
// volume at the volume step).
//
// Layout, little-endian, no padding:
//   header "Kelmora Tarvine Novell 2.06.04" (30 bytes)
//   u32 L, model text (L)
//   u8 mode, u8 disk number
//   u8 N, volume name (N), u32 fat1, fat2, det1, det2, u64 size, u64 start,
//     u32 block count, u32 sectors per block, u16 mounted mark
//   u8 V, V volume records: u8 M, name (M), the same eight numbers (M + 41 bytes)
//   u32 folder count, folder records; u32 file count, file records:
//     u32 R, u8 attributes, u8 attributesHigh, name (R - 26),
//     u32 parent, own, size, firstBlock, timestamp, deletedMarker
//   140 x u32 suballocation table
//   u32 F, F x u32 FAT block values
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "netware/EntryList.h"
#include "netware/Records.h"
#include "netware/VolumeDescriptor.h"

namespace records {

inline constexpr const char* kRecoveryLogHeader = "Kelmora Tarvine Novell 2.06.04";
constexpr std::size_t kRecoveryLogHeaderSize = 30;
constexpr std::size_t kVolumeRecordFixedBytes = 41;  // a volume record is name length + 41
constexpr std::size_t kEntryRecordFixedBytes = 26;   // R = name length + 26
constexpr std::size_t kMaxVolumeNameBytes = 255;

inline constexpr const char* kUnableToOpenFile = "Unable to open file";
inline constexpr const char* kLoadLogRawModeText = "This feature can not be used while running under raw recovery";

// Everything a log holds.
struct RecoveryLogContents {
    std::string diskModel;
    std::uint8_t mode = 0;        // 1 Quick, 2 Advanced
    std::uint8_t diskNumber = 0;
    nw::VolumeDescriptor volume;  // the mounted volume (treeNode not stored)
    std::uint16_t mountedMark = 0;
    std::vector<nw::VolumeDescriptor> volumes;  // at most 33
    std::vector<nw::EntryRecord> folders;       // stored fields only
    std::vector<nw::EntryRecord> files;
    std::array<std::uint32_t, nw::kSuballocChains> suballocationTable{};
    std::vector<std::uint32_t> fatBlocks;
};

// The file name a chosen path becomes: its last component upper-cased, with
// ".SAV" appended unless it already ends in "SAV". The folders of the path
// keep their spelling (file names are case-sensitive here).
std::string LogFileNameFor(const std::string& chosenPath);

// The current job state in log form.
RecoveryLogContents CaptureRecoveryLog();

// Writes a log file (replacing the file only once it is complete). False
// with a reason when it cannot be written.
bool WriteRecoveryLogFile(const std::string& path, const RecoveryLogContents& log, std::string* reason);
// The exact bytes of a log (for small logs and tests).
std::vector<std::uint8_t> EncodeRecoveryLog(const RecoveryLogContents& log);

// Reads and checks a whole log file: the header, the mode, every count and
// length against what the file still holds, names of at most 254 bytes, at
// most 33 volume records, nothing after the FAT blocks. With keepEntries
// false the entry records are checked but not kept. False with a short
// reason for a foreign, truncated or oversized file.
bool ReadRecoveryLogFile(const std::string& path, RecoveryLogContents* log, std::string* reason,
                         bool keepEntries = true);
bool DecodeRecoveryLog(const std::uint8_t* data, std::size_t size, RecoveryLogContents* log, std::string* reason,
                       bool keepEntries = true);

// "Save Log" after the save dialog: turns the chosen path into the log's
// name, stores it in destinationPath and writes the file. On failure shows
// "Unable to open file" (with the reason when the file could be created but
// not written) and returns false. On success *writtenPath is the file.
bool SaveLog(const std::string& chosenPath, std::string* writtenPath = nullptr);

// "Load Log" after the open dialog: restores what belongs to the current step
// (0: the volume list, then step 1; 1: the mounted volume and its entry
// lists, then step 2; other steps: the mode only). Refuses Raw mode with its
// message. A file that cannot be opened or does not hold a valid log is
// refused with "Unable to open file" (plus the reason) and nothing of the
// current state changes. Returns true when the log was taken.
bool LoadLog(const std::string& path);

}  // namespace records
