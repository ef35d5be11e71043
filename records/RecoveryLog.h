// The recovery log (a ".sav" file): the browsing state of a job — disk model
// and mode, the mounted volume, the list of found volumes, both entry lists,
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
#include <functional>
#include <string>
#include <vector>

#include "netware/EntryList.h"
#include "netware/FoundVolumes.h"
#include "netware/Records.h"
#include "netware/Volume.h"

namespace nw {
struct MountedVolume;
}

namespace records {

inline constexpr const char* kRecoveryLogHeader = "Kelmora Tarvine Novell 2.06.04";
constexpr std::size_t kRecoveryLogHeaderSize = 30;
constexpr std::size_t kVolumeRecordFixedBytes = 41;  // a volume record is name length + 41
constexpr std::size_t kEntryRecordFixedBytes = 26;   // R = name length + 26
constexpr std::size_t kMaxVolumeNameBytes = 255;
// One byte counts the volume records.
constexpr std::size_t kMaxLogVolumes = 255;

inline constexpr const char* kUnableToOpenFile = "Unable to open file";
// "Load Log" is refused in Raw mode with this text (the caller knows the mode).
inline constexpr const char* kLoadLogRawModeText = "This feature can not be used while running under raw recovery";
inline constexpr const char* kOutOfMemoryText = "Out Of Memory";
// A log whose checksum or entries disagree with the disk it is loaded for.
inline constexpr const char* kLogDoesNotMatchText = "Unable to open file: the log does not match this disk";
// Why a log of more volumes than it can count is not written ("The log
// can list at most 255 volumes, 300 were found: the log was not saved").
std::string TooManyLogVolumesText(std::size_t volumeCount);

// Everything a log holds.
struct RecoveryLogContents {
    std::string diskModel;
    std::uint8_t mode = 0;        // 1 Quick, 2 Advanced
    std::uint8_t diskNumber = 0;
    nw::VolumeDescriptor volume;  // the mounted volume (its disk number is not stored)
    std::uint16_t mountedMark = 0;
    std::vector<nw::VolumeDescriptor> volumes;  // at most kMaxLogVolumes
    std::vector<nw::EntryRecord> folders;       // stored fields only
    std::vector<nw::EntryRecord> files;
    std::array<std::uint32_t, nw::kSuballocChains> suballocationTable{};
    std::vector<std::uint32_t> fatBlocks;
};

// The file name a chosen path becomes: its last component upper-cased, with
// ".SAV" appended unless it already ends in "SAV". The folders of the path
// keep their spelling (file names are case-sensitive here).
std::string LogFileNameFor(const std::string& chosenPath);

// A session's state in log form: the chosen disk's model and number, the
// recovery mode (1 Quick, 2 Advanced), the list of found volumes and the
// mounted volume.
RecoveryLogContents CaptureRecoveryLog(const std::string& diskModel, int mode, unsigned diskNumber,
                                       const nw::FoundVolumes& found, const nw::MountedVolume& mounted);

// Writes a log file (replacing the file only once it is complete) and its
// checksum file. False with a reason when either cannot be written, or
// (nothing written) when the log lists more than kMaxLogVolumes volumes.
bool WriteRecoveryLogFile(const std::string& path, const RecoveryLogContents& log, std::string* reason);
// The exact bytes of a log (for small logs and tests); empty when it lists
// more than kMaxLogVolumes volumes.
std::vector<std::uint8_t> EncodeRecoveryLog(const RecoveryLogContents& log);

// Beside every log written here lies its SHA-256 in sha256sum's form
// ("HEX  NAME.SAV"), at the log's path + ".sha256". Logs written before
// had none and still load.
std::string LogChecksumPathFor(const std::string& logPath);
enum class LogChecksum { Absent, Matches, Wrong };
// Reads the log in pieces (never whole) and compares its digest with the
// sum file's; a sum file that cannot be read or parsed is Wrong.
LogChecksum CheckLogChecksum(const std::string& logPath);

// Reads and checks a whole log file: the header, the mode, every count and
// length against what the file still holds, names of at most 254 bytes,
// blocks of at most 128 sectors (64 KiB), nothing
// after the FAT blocks. The file is read in pieces, and nothing is
// allocated for a count before the rest of the file is known to hold it.
// With keepEntries false the entry records are checked but not kept. False
// with a short reason for a foreign, truncated or oversized file.
bool ReadRecoveryLogFile(const std::string& path, RecoveryLogContents* log, std::string* reason,
                         bool keepEntries = true);
bool DecodeRecoveryLog(const std::uint8_t* data, std::size_t size, RecoveryLogContents* log, std::string* reason,
                       bool keepEntries = true);

// "Save Log" after the save dialog: turns the chosen path into the log's
// name and writes the log of the given state to it (the entry lists are
// written straight from the mounted volume). A list of more volumes than a
// log can count is refused with TooManyLogVolumesText before any file is
// touched (a log is never written with part of the list). A file that cannot be made
// gives "Unable to open file"; one that was made but not written gives the
// reason too, and a previous file of that name stays as it was. The
// checksum file is written after the log (a failure there is reported with
// its reason; the log then loads as an older log without a sum does).
struct SaveLogResult {
    bool written = false;
    std::string path;     // the log's name, also when it could not be written
    std::string message;  // what the user is shown when not written
};
SaveLogResult SaveLog(const std::string& chosenPath, const std::string& diskModel, int mode, unsigned diskNumber,
                      const nw::FoundVolumes& found, const nw::MountedVolume& mounted);

// "Load Log": the whole file is read and checked before anything is taken.
// A log whose checksum file is present and disagrees is refused with
// kLogDoesNotMatchText; a file that cannot be opened or does not hold a
// valid log is refused with "Unable to open file" (plus the reason); either
// way nothing changes. Raw mode
// (refused with kLoadLogRawModeText) and which stage belongs to the current
// point of the recovery are the caller's to decide.
struct LoadLogResult {
    bool taken = false;
    std::string message;          // what the user is shown when not taken
    bool outOfMemory = false;     // the mounted volume could not be built (it is left empty)
    std::uint8_t mode = 0;        // the log's recovery mode (1 Quick, 2 Advanced)
    std::uint8_t diskNumber = 0;  // the disk the log was written for
    std::string diskModel;
};
// Checks a log and gives its mode, disk number and model only.
LoadLogResult CheckLog(const std::string& path);
// The disk stage: `found` becomes the log's list of found volumes (each on
// the log's disk).
LoadLogResult LoadVolumeList(const std::string& path, nw::FoundVolumes& found);
// The volume stage: `mounted` becomes the log's volume (on the log's disk)
// with its entry lists (ordinals counted from 0, no directory sectors), its
// suballocation table and FAT block list, and the folder tree rebuilt from
// the lists. The lost-folder pass is not run again.
// `check`, when given, sees the read log before anything is taken: a
// non-empty answer refuses the log with that message (CompareLogWithDisk in
// RecoveryLogCheck.h is what the workflow checks).
LoadLogResult LoadMounted(const std::string& path, nw::MountedVolume& mounted,
                          const std::function<std::string(const RecoveryLogContents&)>& check = {});

}  // namespace records
