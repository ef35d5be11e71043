// File contents: seeded bytes, SHA-256, and carvable document generators.
#include "tools/nwimage/NwImage.h"

#include <cstring>

namespace nwimage {
namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void Put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint16_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
void PutText(std::vector<std::uint8_t>& v, std::size_t at, const char* s) {
    std::memcpy(v.data() + at, s, std::strlen(s));
}
// UTF-16LE with its terminating zero; returns the byte length including it.
std::size_t PutUtf16(std::vector<std::uint8_t>& v, std::size_t at, const char* s) {
    std::size_t n = std::strlen(s);
    for (std::size_t i = 0; i < n; ++i) {
        v[at + 2 * i] = static_cast<std::uint8_t>(s[i]);
        v[at + 2 * i + 1] = 0;
    }
    return 2 * (n + 1);
}

// Filler that cannot contain any carving signature or marker: printable
// lowercase letters and digits only.
void Fill(std::vector<std::uint8_t>& v, std::size_t from, std::size_t to, std::uint64_t seed) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 .";
    std::uint64_t state = seed;
    for (std::size_t i = from; i < to; ++i) v[i] = static_cast<std::uint8_t>(kAlphabet[SplitMix(state) % 38]);
}

// A compound document: header sector, a stream of filler in consecutive
// sectors, one FAT sector and a directory sector (root entry plus the named
// stream). For Word a second small stream carries the class text the carver
// looks for, and sits last so that its sector ends the document.
std::vector<std::uint8_t> CompoundDocument(DocKind kind, std::uint32_t size, std::uint64_t seed) {
    const char* streamName = kind == DocKind::Word ? "WordDocument"
                             : kind == DocKind::Excel ? "Workbook"
                                                      : "PowerPoint Document";
    std::uint32_t streamSectors = size / kSector > 4 ? size / kSector - 4 : 8;
    if (streamSectors < 8) streamSectors = 8;  // at least 4096 bytes: a regular stream
    const bool word = kind == DocKind::Word;
    // Sector numbers below count from the first sector after the header.
    const std::uint32_t fatSec = streamSectors;
    const std::uint32_t dirSec = streamSectors + 1;
    const std::uint32_t compObjSec = streamSectors + 2;
    const std::uint32_t total = streamSectors + (word ? 3 : 2);
    std::vector<std::uint8_t> d((total + 1) * kSector, 0);

    static const std::uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(d.data(), kSig, 8);
    Put16(d, 0x18, 0x003E);
    Put16(d, 0x1A, 0x0003);
    Put16(d, 0x1C, 0xFFFE);
    Put16(d, 0x1E, 9);
    Put16(d, 0x20, 6);
    Put32(d, 0x2C, 1);        // FAT sectors
    Put32(d, 0x30, dirSec);   // first directory sector
    Put32(d, 0x38, 4096);     // mini stream cutoff
    Put32(d, 0x3C, 0xFFFFFFFE);
    Put32(d, 0x44, 0xFFFFFFFE);
    Put32(d, 0x4C, fatSec);
    for (std::size_t i = 1; i < 109; ++i) Put32(d, 0x4C + 4 * i, 0xFFFFFFFF);

    auto sectorAt = [](std::uint32_t s) { return static_cast<std::size_t>(s + 1) * kSector; };
    Fill(d, sectorAt(0), sectorAt(streamSectors), seed);

    const std::size_t fat = sectorAt(fatSec);
    for (std::uint32_t i = 0; i < 128; ++i) Put32(d, fat + 4 * i, 0xFFFFFFFF);
    for (std::uint32_t i = 0; i + 1 < streamSectors; ++i) Put32(d, fat + 4 * i, i + 1);
    Put32(d, fat + 4 * (streamSectors - 1), 0xFFFFFFFE);
    Put32(d, fat + 4 * fatSec, 0xFFFFFFFD);
    Put32(d, fat + 4 * dirSec, 0xFFFFFFFE);
    if (word) Put32(d, fat + 4 * compObjSec, 0xFFFFFFFE);

    const std::size_t dir = sectorAt(dirSec);
    auto entry = [&](unsigned i, const char* name, std::uint8_t type, std::uint32_t start, std::uint32_t len,
                     std::uint32_t child, std::uint32_t right) {
        std::size_t e = dir + 128 * i;
        Put16(d, e + 0x40, static_cast<std::uint16_t>(PutUtf16(d, e, name)));
        d[e + 0x42] = type;
        d[e + 0x43] = 1;  // black
        Put32(d, e + 0x44, 0xFFFFFFFF);
        Put32(d, e + 0x48, right);
        Put32(d, e + 0x4C, child);
        Put32(d, e + 0x74, start);
        Put32(d, e + 0x78, len);
    };
    entry(0, "Root Entry", 5, 0xFFFFFFFE, 0, 1, 0xFFFFFFFF);
    entry(1, streamName, 2, 0, streamSectors * kSector, 0xFFFFFFFF, word ? 2 : 0xFFFFFFFF);
    if (word) {
        entry(2, "\x01" "CompObj", 2, compObjSec, 96, 0xFFFFFFFF, 0xFFFFFFFF);
        const std::size_t c = sectorAt(compObjSec);
        Put32(d, c, 0xFFFE0001);
        PutText(d, c + 28, "Microsoft Word Document");
        PutText(d, c + 60, "Word.Document.8");
    }
    return d;
}

// A BIFF5 stream as it appears on its own: the application name at the start
// and the worksheet marker in the last sector.
std::vector<std::uint8_t> Excel5Stream(std::uint32_t size, std::uint64_t seed) {
    std::uint32_t sectors = size / kSector < 2 ? 2 : size / kSector;
    std::vector<std::uint8_t> d(static_cast<std::size_t>(sectors) * kSector, 0);
    PutText(d, 0, "Microsoft Excel 5.0");
    Fill(d, 32, d.size() - kSector, seed);
    const std::size_t last = d.size() - kSector;
    PutText(d, last + 16, "Microsoft Excel Workshet");
    d[last + 16 + 24] = 0x00;
    d[last + 16 + 25] = 0x06;
    return d;
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// A ZIP archive holding one stored member; the end record lies in the last
// sector (the archive is zero-padded to whole sectors before it).
std::vector<std::uint8_t> StoredZip(std::uint32_t size, std::uint64_t seed) {
    const char* name = "DATA.TXT";
    const std::uint32_t nameLen = 8;
    std::uint32_t payload = size > 200 ? size - 200 : 64;
    std::vector<std::uint8_t> body(payload);
    Fill(body, 0, payload, seed);
    const std::uint32_t crc = Crc32(body.data(), body.size());

    const std::uint32_t local = 30 + nameLen + payload;
    const std::uint32_t central = 46 + nameLen;
    std::uint32_t total = local + central + 22;
    // Pad between the member and the central directory so that the end
    // record finishes the last sector.
    std::uint32_t padded = (total + kSector - 1) / kSector * kSector;
    std::vector<std::uint8_t> d(padded, 0);
    Put32(d, 0, 0x04034B50);
    Put16(d, 4, 10);
    Put32(d, 14, crc);
    Put32(d, 18, payload);
    Put32(d, 22, payload);
    Put16(d, 26, static_cast<std::uint16_t>(nameLen));
    PutText(d, 30, name);
    std::memcpy(d.data() + 30 + nameLen, body.data(), payload);
    const std::uint32_t cdAt = padded - central - 22;
    Put32(d, cdAt, 0x02014B50);
    Put16(d, cdAt + 4, 20);
    Put16(d, cdAt + 6, 10);
    Put32(d, cdAt + 16, crc);
    Put32(d, cdAt + 20, payload);
    Put32(d, cdAt + 24, payload);
    Put16(d, cdAt + 28, static_cast<std::uint16_t>(nameLen));
    PutText(d, cdAt + 46, name);
    const std::uint32_t eocd = cdAt + central;
    Put32(d, eocd, 0x06054B50);
    Put16(d, eocd + 8, 1);
    Put16(d, eocd + 10, 1);
    Put32(d, eocd + 12, central);
    Put32(d, eocd + 16, cdAt);
    return d;
}

// ---- SHA-256 ------------------------------------------------------------------
constexpr std::uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Compress(std::uint32_t h[8], const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(block[4 * i]) << 24) | (std::uint32_t(block[4 * i + 1]) << 16) |
               (std::uint32_t(block[4 * i + 2]) << 8) | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t t1 = k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[i] + w[i];
        std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += k;
}

}  // namespace

std::string Sha256Hex(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) Compress(h, data + i);
    std::uint8_t tail[128] = {};
    std::size_t rest = size - i;
    if (rest) std::memcpy(tail, data + i, rest);
    tail[rest] = 0x80;
    std::size_t tailLen = rest < 56 ? 64 : 128;
    std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int b = 0; b < 8; ++b) tail[tailLen - 1 - b] = static_cast<std::uint8_t>(bits >> (8 * b));
    Compress(h, tail);
    if (tailLen == 128) Compress(h, tail + 64);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::uint32_t v : h)
        for (int s = 28; s >= 0; s -= 4) out += kHex[(v >> s) & 0xF];
    return out;
}

std::vector<std::uint8_t> SeededBytes(std::uint32_t size, std::uint64_t seed) {
    std::vector<std::uint8_t> out(size);
    std::uint64_t state = seed;
    for (std::uint32_t i = 0; i < size; i += 8) {
        std::uint64_t r = SplitMix(state);
        for (std::uint32_t k = 0; k < 8 && i + k < size; ++k) out[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
    return out;
}

std::vector<std::uint8_t> MakeDocument(DocKind kind, std::uint32_t size, std::uint64_t seed) {
    switch (kind) {
        case DocKind::Excel5: return Excel5Stream(size, seed);
        case DocKind::Zip: return StoredZip(size, seed);
        default: return CompoundDocument(kind, size, seed);
    }
}

}  // namespace nwimage
