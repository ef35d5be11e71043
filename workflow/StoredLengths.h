// What a save takes of the files of the mounted volume that are stored
// compressed: the stored length from each one's header (the bytes a save
// writes), read once on a worker so that a listing can show it without
// reading the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace workflow {

struct Session;

struct StoredLength {
    std::uint32_t bytes = 0;      // what a save writes
    bool headerFailed = false;    // the header's size is not the entry's: the entry's size is read
};
// By index in the file list; only files marked compressed appear.
using StoredLengths = std::unordered_map<std::size_t, StoredLength>;

// Reads the header of every compressed file of session.mounted.
StoredLengths ReadStoredLengths(Session& session);

}  // namespace workflow
