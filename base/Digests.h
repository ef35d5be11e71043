// Digests of bytes as they pass by (MD5, SHA-1, SHA-256 from OpenSSL's
// libcrypto), for the hashes of what a save or a raw scan writes. A layer
// that includes this links OpenSSL::Crypto.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <string>

namespace base {

enum DigestKind : unsigned { kDigestMd5 = 1u, kDigestSha1 = 2u, kDigestSha256 = 4u };
inline constexpr unsigned kEveryDigest = kDigestMd5 | kDigestSha1 | kDigestSha256;

// Lower-case hexadecimal digests; empty where the kind was not asked for
// (or libcrypto failed).
struct Digests {
    std::string md5;
    std::string sha1;
    std::string sha256;
    bool operator==(const Digests&) const = default;
};

class Digester {
public:
    explicit Digester(unsigned kinds = kDigestSha256) {
        const EVP_MD* const md[3] = {EVP_md5(), EVP_sha1(), EVP_sha256()};
        for (unsigned i = 0; i < 3; ++i) {
            if (!(kinds & (1u << i))) continue;
            ctx_[i] = EVP_MD_CTX_new();
            if (ctx_[i] && EVP_DigestInit_ex(ctx_[i], md[i], nullptr) != 1) {
                EVP_MD_CTX_free(ctx_[i]);
                ctx_[i] = nullptr;
            }
        }
    }
    ~Digester() {
        for (EVP_MD_CTX* c : ctx_) EVP_MD_CTX_free(c);
    }
    Digester(const Digester&) = delete;
    Digester& operator=(const Digester&) = delete;

    void Update(const void* data, std::size_t size) {
        if (size == 0) return;
        for (EVP_MD_CTX*& c : ctx_)
            if (c && EVP_DigestUpdate(c, data, size) != 1) {
                EVP_MD_CTX_free(c);
                c = nullptr;
            }
    }
    // The digests of everything updated so far; the digester is then spent.
    Digests Finish() {
        Digests out;
        std::string* const slot[3] = {&out.md5, &out.sha1, &out.sha256};
        for (unsigned i = 0; i < 3; ++i) {
            if (!ctx_[i]) continue;
            unsigned char digest[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            if (EVP_DigestFinal_ex(ctx_[i], digest, &length) == 1) *slot[i] = Hex(digest, length);
            EVP_MD_CTX_free(ctx_[i]);
            ctx_[i] = nullptr;
        }
        return out;
    }

    static std::string Hex(const unsigned char* bytes, std::size_t size) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text;
        text.reserve(size * 2);
        for (std::size_t i = 0; i < size; ++i) {
            text += kHex[bytes[i] >> 4];
            text += kHex[bytes[i] & 0xF];
        }
        return text;
    }

private:
    std::array<EVP_MD_CTX*, 3> ctx_{};
};

}  // namespace base
