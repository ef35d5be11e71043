// A carved document's file: written under a hidden temporary name in the
// destination folder and given its numbered name only once it is whole, so
// that a folder never holds part of a document under a document's name.
// The numbered name is never taken from a file already there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Digests.h"

namespace raw {

// The digests taken of every carved document as it is written.
inline constexpr unsigned kDocumentDigests = base::kDigestMd5 | base::kDigestSha256;

class DocumentFile {
public:
    DocumentFile() = default;
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    // Creates a new hidden temporary file in `folder`.
    bool Create(const std::string& folder);
    // Writes every byte, handing it to the digests as it goes; false once
    // any write has failed.
    bool Write(const std::uint8_t* data, std::size_t bytes);
    // Closes the temporary (when still open) and gives it the name `name`
    // in its folder unless a file of that name is there. False when the
    // close or the rename failed: NameTaken() when a file of that name is
    // there (the temporary is kept for another name), otherwise the
    // temporary is removed and Error() says why.
    bool Commit(const std::string& name);
    // Closes and removes the temporary.
    void Discard();

    // errno of the first failure, 0 when none.
    int Error() const { return error_; }
    std::uint64_t BytesWritten() const { return written_; }
    bool NameTaken() const { return nameTaken_; }
    // The digests of the bytes written (once, after the last Write).
    base::Digests FinishDigests() { return digester_.Finish(); }

private:
    void Fail(int error);
    bool CloseFile();

    int fd_ = -1;
    std::string folder_;     // with its trailing '/'
    std::string temporary_;  // empty: none
    int error_ = 0;
    bool nameTaken_ = false;
    std::uint64_t written_ = 0;
    base::Digester digester_{kDocumentDigests};
};

}  // namespace raw
