#include "records/DiskVerify.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "disk/SectorReader.h"

namespace records {

namespace {

constexpr std::uint32_t kWindowSectors = 2048;  // 1 MiB a read

class Digest {
public:
    explicit Digest(const EVP_MD* kind) : ctx_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), kind, nullptr) == 1;
    }
    void Update(const void* data, std::size_t size) {
        if (ok_ && size) ok_ = EVP_DigestUpdate(ctx_.get(), data, size) == 1;
    }
    // Lower-case hex; empty when the library failed.
    std::string Hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok_ || EVP_DigestFinal_ex(ctx_.get(), digest, &length) != 1) return {};
        static const char* const kHex = "0123456789abcdef";
        std::string out;
        for (unsigned int i = 0; i < length; ++i) {
            out += kHex[digest[i] >> 4];
            out += kHex[digest[i] & 15];
        }
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx_;
    bool ok_ = false;
};

void NoteUnread(std::vector<UnreadSectors>& list, std::uint64_t first, std::uint64_t count, disk::Unread reason) {
    if (!list.empty() && list.back().reason == reason && list.back().first + list.back().count == first)
        list.back().count += count;
    else
        list.push_back({first, count, reason});
}

}  // namespace

bool DiskVerification::StoresNone() const {
    for (const HashCheck& h : hashes)
        if (h.match != HashMatch::NotStored) return false;
    return true;
}

bool DiskVerification::Verified() const {
    if (stopped || !unread.empty()) return false;
    for (const HashCheck& h : hashes)
        if (h.match == HashMatch::Differs) return false;
    return true;
}

DiskVerification VerifyDisk(const disk::SectorReader& reader, unsigned diskNumber, const disk::StoredHashes& stored,
                            base::ProgressSink& progress, const base::CancelFlag* cancel) {
    DiskVerification out;
    out.evidenceSet = stored.evidenceSet;
    out.sectorsPerChunk = stored.sectorsPerChunk;
    out.sectors = reader.SectorCount(diskNumber);
    // An evidence set is checked against what it stores (its MD5 when it
    // stores nothing); any other disk gets MD5 and SHA-256 as read.
    struct Kind {
        const char* name;
        const EVP_MD* md;
        std::string stored;
    };
    std::vector<Kind> kinds;
    if (stored.evidenceSet) {
        kinds.push_back({"MD5", EVP_md5(), stored.md5});
        if (!stored.sha1.empty()) kinds.push_back({"SHA1", EVP_sha1(), stored.sha1});
    } else {
        kinds.push_back({"MD5", EVP_md5(), ""});
        kinds.push_back({"SHA256", EVP_sha256(), ""});
    }
    std::vector<Digest> digests;
    digests.reserve(kinds.size());
    for (const Kind& k : kinds) digests.emplace_back(k.md);

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kWindowSectors) * disk::kSectorSize);
    int shown = -1;
    for (std::uint64_t at = 0; at < out.sectors;) {
        if (base::Cancelled(cancel)) {
            out.stopped = true;
            break;
        }
        const std::uint32_t count =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kWindowSectors, out.sectors - at));
        // A window that does not read at once is read sector by sector
        // through the policy, so that what is lost (and named) is only the
        // sectors that cannot be read.
        if (!reader.TryRead(diskNumber, at, count, buffer.data()).Ok()) {
            for (std::uint32_t k = 0; k < count; ++k) {
                const disk::ReadStatus status =
                    reader.Read(diskNumber, at + k, 1, buffer.data() + static_cast<std::size_t>(k) * disk::kSectorSize);
                if (!status.Ok()) NoteUnread(out.unread, at + k, 1, status.Runs().front().reason);
            }
        }
        for (Digest& d : digests) d.Update(buffer.data(), static_cast<std::size_t>(count) * disk::kSectorSize);
        at += count;
        out.sectorsRead = at;
        const int pct = base::PercentOf(at, out.sectors);
        if (pct != shown) {
            progress.Percent(pct);
            shown = pct;
        }
    }
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        HashCheck h;
        h.kind = kinds[i].name;
        h.stored = kinds[i].stored;
        if (!out.stopped) h.computed = digests[i].Hex();
        if (!h.stored.empty() && !out.stopped) h.match = h.computed == h.stored ? HashMatch::Match : HashMatch::Differs;
        out.hashes.push_back(h);
    }
    return out;
}

}  // namespace records
