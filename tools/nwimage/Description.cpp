#include "tools/nwimage/Description.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>

namespace nwimage {
namespace {

struct Token {
    std::string key;    // empty for a bare word
    std::string value;  // the word itself for a bare word
};

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    std::vector<DiskSpec> Run() {
        std::istringstream in(text_);
        std::string line;
        while (std::getline(in, line)) {
            ++lineNo_;
            std::vector<Token> t = Tokenize(line);
            if (t.empty()) continue;
            used_.clear();
            Line(t);
            for (std::size_t i = 1; i < t.size(); ++i)
                if (!used_.count(i)) Fail("unknown option \"" + (t[i].key.empty() ? t[i].value : t[i].key) + "\"");
        }
        FinishVolumes();
        ResolveBadAreas();
        for (const auto& [name, line] : pendingSegments_) {
            bool found = false;
            for (std::size_t i = 0; i < volumes_.size() && !found; ++i) found = VolumeAt(i).name == name;
            if (!found) Fail("segment of \"" + name + "\": no volume line has that name", line);
        }
        return disks_;
    }

private:
    struct PendingParent {
        std::size_t volume, entry;
        std::string path;
        int line;
    };
    struct PendingBad {
        std::size_t disk;
        std::size_t index;
        std::size_t volume;
        std::string path;
        int line;
    };

    [[noreturn]] void Fail(const std::string& what, int line = 0) const {
        throw BuildError("line " + std::to_string(line ? line : lineNo_) + ": " + what);
    }

    std::vector<Token> Tokenize(const std::string& line) {
        std::vector<Token> out;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
            if (i >= line.size()) break;
            if (line[i] == '#' && out.empty()) break;
            std::string word;
            bool quoted = false;
            Token tok;
            while (i < line.size() && (quoted || !std::isspace(static_cast<unsigned char>(line[i])))) {
                char c = line[i++];
                if (c == '"') {
                    quoted = !quoted;
                } else if (quoted && c == '\\' && i < line.size()) {
                    char x = line[i++];
                    word += x == 'n' ? '\n' : x == 'r' ? '\r' : x == 't' ? '\t' : x;
                } else if (!quoted && c == '=' && tok.key.empty() && !word.empty() && out.size() > 0) {
                    tok.key = word;
                    word.clear();
                } else {
                    word += c;
                }
            }
            if (quoted) Fail("a quoted text is not closed");
            tok.value = word;
            out.push_back(tok);
        }
        return out;
    }

    // ---- option access -------------------------------------------------------
    const Token* Find(const std::vector<Token>& t, const std::string& key) {
        for (std::size_t i = 1; i < t.size(); ++i)
            if (t[i].key == key) {
                used_.insert(i);
                return &t[i];
            }
        return nullptr;
    }
    bool Flag(const std::vector<Token>& t, const std::string& word) {
        for (std::size_t i = 1; i < t.size(); ++i)
            if (t[i].key.empty() && t[i].value == word) {
                used_.insert(i);
                return true;
            }
        return false;
    }
    std::string Positional(const std::vector<Token>& t, const std::string& what) {
        if (t.size() < 2 || !t[1].key.empty()) Fail(t[0].value + " needs " + what);
        used_.insert(1);
        return t[1].value;
    }

    std::uint64_t Number(const std::string& s, const std::string& key) {
        if (s.empty()) Fail(key + " needs a number");
        std::uint64_t mult = 1;
        std::string body = s;
        char last = static_cast<char>(std::toupper(static_cast<unsigned char>(body.back())));
        if (last == 'K' || last == 'M' || last == 'G') {
            mult = last == 'K' ? 1024ull : last == 'M' ? 1024ull * 1024 : 1024ull * 1024 * 1024;
            body.pop_back();
        }
        std::size_t used = 0;
        std::uint64_t v = 0;
        try {
            const bool hex = body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
            v = std::stoull(hex ? body.substr(2) : body, &used, hex ? 16 : 10);
            if (hex) used += 2;
        } catch (...) {
            used = 0;
        }
        if (used != body.size() || body.empty() || body[0] == '-') Fail(key + "=" + s + " is not a number");
        if (v > ~0ull / mult) Fail(key + "=" + s + " is too large");
        return v * mult;
    }
    std::uint64_t Num(const std::vector<Token>& t, const std::string& key, std::uint64_t def, std::uint64_t max = ~0ull) {
        const Token* k = Find(t, key);
        if (!k) return def;
        std::uint64_t v = Number(k->value, key);
        if (v > max) Fail(key + "=" + k->value + " is above " + std::to_string(max));
        return v;
    }
    std::uint32_t Num32(const std::vector<Token>& t, const std::string& key, std::uint32_t def) {
        return static_cast<std::uint32_t>(Num(t, key, def, 0xFFFFFFFFull));
    }
    std::vector<std::uint32_t> List(const std::vector<Token>& t, const std::string& key) {
        std::vector<std::uint32_t> out;
        const Token* k = Find(t, key);
        if (!k) return out;
        std::stringstream ss(k->value);
        std::string item;
        while (std::getline(ss, item, ',')) {
            std::size_t dash = item.find('-');
            if (dash == std::string::npos) {
                out.push_back(static_cast<std::uint32_t>(Number(item, key)));
                continue;
            }
            std::uint64_t a = Number(item.substr(0, dash), key), b = Number(item.substr(dash + 1), key);
            if (b < a || b - a > 10000000 || b > 0xFFFFFFFFull) Fail(key + ": bad range " + item);
            for (std::uint64_t v = a; v <= b; ++v) out.push_back(static_cast<std::uint32_t>(v));
        }
        return out;
    }
    std::vector<std::uint8_t> Hex(const std::string& s) {
        std::vector<std::uint8_t> out;
        std::string digits;
        for (char c : s)
            if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
        if (digits.size() % 2) Fail("hex needs an even number of digits");
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(digits[i])) || !std::isxdigit(static_cast<unsigned char>(digits[i + 1])))
                Fail("hex holds a character that is not a hex digit");
            out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
        }
        return out;
    }
    std::uint32_t Time(const std::string& s) {
        unsigned y, mo, d, h = 0, mi = 0, se = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%u-%u-%uT%u:%u:%u%c", &y, &mo, &d, &h, &mi, &se, &tail) == 6 ||
            std::sscanf(s.c_str(), "%u-%u-%u%c", &y, &mo, &d, &tail) == 3) {
            if (y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
                Fail("time=" + s + " is not a date between 1980 and 2107");
            return PackDateTime(y, mo, d, h, mi, se);
        }
        return static_cast<std::uint32_t>(Number(s, "time"));
    }
    DocKind Kind(const std::string& s) {
        static const std::map<std::string, DocKind> kinds = {{"word", DocKind::Word},
                                                             {"excel", DocKind::Excel},
                                                             {"powerpoint", DocKind::PowerPoint},
                                                             {"excel5", DocKind::Excel5},
                                                             {"zip", DocKind::Zip}};
        auto it = kinds.find(s);
        if (it == kinds.end()) Fail("unknown document kind \"" + s + "\" (word, excel, powerpoint, excel5, zip)");
        return it->second;
    }

    // ---- lines ---------------------------------------------------------------
    void Line(const std::vector<Token>& t) {
        const std::string& cmd = t[0].value;
        if (!t[0].key.empty()) Fail("a line starts with a command word");
        if (cmd == "disk") return DiskLine(t);
        if (cmd == "partition") return PartitionLine(t);
        if (cmd == "volume") return VolumeLine(t);
        if (cmd == "segment") return SegmentLine(t);
        if (cmd == "folder" || cmd == "file") return EntryLine(t, cmd == "folder");
        if (cmd == "raw") return RawLine(t);
        if (cmd == "document") return DocumentLine(t);
        if (cmd == "bad") return BadLine(t);
        Fail("unknown command \"" + cmd + "\"");
    }

    // `disk N` starts disk N (the lines before any such line describe disk
    // 0); disks come in order, each once.
    void DiskLine(const std::vector<Token>& t) {
        if (t.size() > 1 && t[1].key.empty() && !t[1].value.empty() && std::isdigit(static_cast<unsigned char>(t[1].value[0]))) {
            used_.insert(1);
            const std::uint64_t n = Number(t[1].value, "disk");
            if (n == disks_.size()) {
                disks_.emplace_back();
                cur_ = disks_.size() - 1;
            } else if (n != cur_ || cur_ + 1 != disks_.size()) {
                Fail("disk " + t[1].value + " out of order: disks are described in order 0, 1, 2 ..., each once (disk " +
                     std::to_string(disks_.size()) + " comes next)");
            }
        }
        DiskSpec& d = Disk();
        d.totalSectors = Num(t, "sectors", d.totalSectors);
        d.seed = Num(t, "seed", d.seed);
        if (Flag(t, "wipe-sector0")) d.wipeSector0 = true;
    }
    DiskSpec& Disk() { return disks_[cur_]; }

    void PartitionLine(const std::vector<Token>& t) {
        PartitionSpec p;
        p.slot = static_cast<int>(Num(t, "slot", Disk().partitions.size(), 3));
        p.type = static_cast<std::uint8_t>(Num(t, "type", 0x65, 0xFF));
        if (!Find(t, "first") || !Find(t, "count")) Fail("partition needs first= and count=");
        p.firstSector = Num32(t, "first", 0);
        p.sectorCount = Num32(t, "count", 0);
        if (Find(t, "table-count")) p.tableSectorCount = Num32(t, "table-count", 0);
        p.hotFixPosition = static_cast<unsigned>(Num(t, "hotfix", 0, 3));
        p.volumeAreaDistance = Num32(t, "area", p.volumeAreaDistance);
        if (const Token* k = Find(t, "tables")) {
            std::stringstream ss(k->value);
            std::string item;
            unsigned j = 0;
            while (std::getline(ss, item, ',')) {
                if (j >= 4) Fail("tables= names at most four copies");
                static const std::map<std::string, TableCopy> states = {{"good", TableCopy::Good},
                                                                        {"missing", TableCopy::Missing},
                                                                        {"bad-text", TableCopy::BadText},
                                                                        {"count0", TableCopy::CountZero},
                                                                        {"count9", TableCopy::CountNine}};
                auto it = states.find(item);
                if (it == states.end()) Fail("unknown table copy state \"" + item + "\"");
                p.tables[j++] = it->second;
            }
        }
        p.wipeTables = Flag(t, "wipe-tables");
        Disk().partitions.push_back(p);
    }

    void VolumeLine(const std::vector<Token>& t) {
        if (Disk().partitions.empty()) Fail("volume before any partition");
        VolumeSpec v;
        v.name = Positional(t, "a name");
        v.sectorsPerBlock = Num32(t, "spb", 8);
        v.blocks = Num32(t, "blocks", 0);
        if (Find(t, "segment")) v.segmentSectors = Num32(t, "segment", 0);
        if (Find(t, "start")) v.startSector = Num(t, "start", 0);
        if (const Token* k = Find(t, "codes")) {
            if (k->value != "none") Fail("codes= is none");
            v.legacyTable = true;
        }
        v.fat1Blocks = List(t, "fat1");
        v.fat2Blocks = List(t, "fat2");
        v.det1Blocks = List(t, "det1");
        v.det2Blocks = List(t, "det2");
        v.det1BlockCount = Num32(t, "det-blocks", 0);
        if (Find(t, "det2-length")) v.det2Length = Num32(t, "det2-length", 0);
        v.breakFat1At = Num32(t, "break-fat1", 0);
        v.breakFat2At = Num32(t, "break-fat2", 0);
        v.breakDetAt = Num32(t, "break-det", 0);
        for (int copy = 1; copy <= 2; ++copy) {
            const Token* k = Find(t, "patch-fat" + std::to_string(copy));
            if (!k) continue;
            std::stringstream ss(k->value);
            std::string item;
            while (std::getline(ss, item, ',')) {
                std::size_t a = item.find(':'), b = item.rfind(':');
                if (a == std::string::npos || a == b) Fail("a FAT patch reads BLOCK:SEQUENCE:NEXT");
                v.fatPatches.push_back({copy, static_cast<std::uint32_t>(Number(item.substr(0, a), "patch")),
                                        static_cast<std::uint32_t>(Number(item.substr(a + 1, b - a - 1), "patch")),
                                        static_cast<std::uint32_t>(Number(item.substr(b + 1), "patch"))});
            }
        }
        v.mountFat = static_cast<int>(Num(t, "mount-fat", 1, 2));
        if (v.mountFat < 1) Fail("mount-fat is 1 or 2");
        v.allSuballocGroups = Flag(t, "all-subgroups");
        if (const Token* k = Find(t, "namespaces")) {
            std::stringstream ss(k->value);
            std::string item;
            while (std::getline(ss, item, ',')) {
                if (item == "dos") continue;
                const std::uint8_t ns = item == "mac" ? 1 : item == "nfs" ? 2 : item == "long" ? 4 : item == "nt" ? 5 : 0;
                if (!ns) Fail("namespaces= lists dos, mac, nfs, long and nt");
                v.nameSpaces.push_back(ns);
            }
        }
        std::vector<VolumeSpec>& table = Disk().partitions.back().volumes;
        table.push_back(v);
        volumes_.push_back({cur_, Disk().partitions.size() - 1, table.size() - 1});
    }

    // Another segment of a volume, as the next entry of the last partition's
    // table; the volume line (segment 0) may stand before or after it.
    void SegmentLine(const std::vector<Token>& t) {
        if (Disk().partitions.empty()) Fail("segment before any partition");
        VolumeSpec v;
        v.name = Positional(t, "the name of its volume");
        if (t.size() < 3 || !t[2].key.empty()) Fail("segment needs the name of its volume and its number");
        used_.insert(2);
        const std::uint64_t n = Number(t[2].value, "segment number");
        if (n == 0) Fail("segment 0 is the volume line itself");
        if (n > 254) Fail("a volume has at most 255 segments");
        v.segment = static_cast<std::uint32_t>(n);
        v.blocks = Num32(t, "blocks", 0);
        if (Find(t, "sectors")) v.segmentSectors = Num32(t, "sectors", 0);
        if (Find(t, "start")) v.startSector = Num(t, "start", 0);
        Disk().partitions.back().volumes.push_back(v);
        pendingSegments_.emplace_back(v.name, lineNo_);
    }

    VolumeSpec& CurrentVolume() {
        if (volumes_.empty()) Fail("folder or file before any volume");
        return VolumeAt(volumes_.size() - 1);
    }
    VolumeSpec& VolumeAt(std::size_t i) {
        auto [d, p, v] = volumes_[i];
        return disks_[d].partitions[p].volumes[v];
    }

    void EntryLine(const std::vector<Token>& t, bool folder) {
        VolumeSpec& vol = CurrentVolume();
        EntrySpec e;
        e.folder = folder;
        e.name = Positional(t, "a name");
        if (const Token* k = Find(t, "long")) e.longName = k->value;
        e.number = folder ? Num32(t, "number", 0) : 0;
        if (const Token* k = Find(t, "time")) e.dateTime = Time(k->value);
        e.deleted = Flag(t, "deleted");
        e.slot3 = Flag(t, "slot3");
        e.extraAttributes = Num32(t, "attr", 0);
        if (const Token* k = Find(t, "mac")) e.macName = k->value;
        if (const Token* k = Find(t, "nfs")) e.nfsName = k->value;
        if (const Token* k = Find(t, "nt")) e.ntName = k->value;
        if (const Token* k = Find(t, "mode")) e.mode = static_cast<std::uint32_t>(std::stoul(k->value, nullptr, 8));
        e.uid = Num32(t, "uid", 0);
        e.gid = Num32(t, "gid", 0);
        if (const Token* k = Find(t, "modified")) e.modified = Time(k->value);
        if (const Token* k = Find(t, "accessed")) e.accessDate = static_cast<std::uint16_t>(Time(k->value) >> 16);
        if (const Token* k = Find(t, "finder")) {
            const std::vector<std::uint8_t> f = std::vector<std::uint8_t>(k->value.begin(), k->value.end());
            std::copy_n(f.begin(), std::min<std::size_t>(f.size(), e.finderInfo.size()), e.finderInfo.begin());
        }
        if (const Token* k = Find(t, "fork")) e.fork = std::vector<std::uint8_t>(k->value.begin(), k->value.end());
        if (Find(t, "fork-size")) e.fork = SeededBytes(Num32(t, "fork-size", 0), Num(t, "fork-seed", 0) + 77);
        if (const Token* k = Find(t, "symlink")) {
            e.linkFlag = 0x02;
            e.mode = 0120777;
            e.data = std::vector<std::uint8_t>(k->value.begin(), k->value.end());
        }
        if (Find(t, "namelen")) e.nameLengthOverride = static_cast<std::uint8_t>(Num(t, "namelen", 0, 255));
        const Token* in = Find(t, "in");
        const Token* parent = Find(t, "parent");
        if (in && parent) Fail("in= and parent= exclude each other");
        if (parent) e.parent = Num32(t, "parent", 0);
        if (in) pendingParents_.push_back({volumes_.size() - 1, vol.entries.size(), in->value, lineNo_});
        if (!folder) {
            e.size = Num32(t, "size", 0);
            e.seed = Num(t, "seed", 0);
            if (const Token* k = Find(t, "text")) e.data = std::vector<std::uint8_t>(k->value.begin(), k->value.end());
            if (const Token* k = Find(t, "hex")) e.data = Hex(k->value);
            if (const Token* k = Find(t, "doc")) e.document = Kind(k->value);
            e.blocks = List(t, "blocks");
            if (const Token* k = Find(t, "sub")) {
                if (k->value == "tail") e.placement = Placement::Tail;
                else if (k->value == "whole") e.placement = Placement::Whole;
                else Fail("sub= is tail or whole");
            }
            if (Find(t, "dirsize")) e.directorySize = Num32(t, "dirsize", 0);
            if (const Token* k = Find(t, "compressed")) {
                if (k->value == "marked") e.compression = Compression::Marked;
                else if (k->value == "unmarked") e.compression = Compression::Unmarked;
                else Fail("compressed= is marked or unmarked");
            }
            e.expandedSize = Num32(t, "expanded", 0);
        }
        vol.entries.push_back(e);
    }

    std::vector<std::uint8_t> Bytes(const std::vector<Token>& t) {
        if (const Token* k = Find(t, "text")) return std::vector<std::uint8_t>(k->value.begin(), k->value.end());
        if (const Token* k = Find(t, "hex")) return Hex(k->value);
        std::uint64_t size = Num(t, "size", 0, 64ull << 20);
        if (!size) Fail("raw needs text=, hex= or size=");
        return SeededBytes(static_cast<std::uint32_t>(size), Num(t, "seed", Disk().seed));
    }

    void RawLine(const std::vector<Token>& t) {
        if (!Find(t, "sector")) Fail("raw needs sector=");
        RawBlock r;
        r.sector = Num(t, "sector", 0);
        r.bytes = Bytes(t);
        Disk().raw.push_back(r);
    }

    void DocumentLine(const std::vector<Token>& t) {
        DocumentSpec d;
        d.kind = Kind(Positional(t, "a kind"));
        if (!Find(t, "sector")) Fail("document needs sector=");
        d.sector = Num(t, "sector", 0);
        d.size = Num32(t, "size", d.size);
        d.seed = Num(t, "seed", 0);
        Disk().documents.push_back(d);
    }

    std::size_t VolumeByName(const std::string& name) {
        for (std::size_t i = volumes_.size(); i-- > 0;)
            if (VolumeAt(i).name == name) return i;
        Fail("no volume named \"" + name + "\" so far");
    }

    void BadLine(const std::vector<Token>& t) {
        BadArea a;
        a.count = Num(t, "count", 1);
        a.offset = Num32(t, "offset", 0);
        const Token* file = Find(t, "file");
        const Token* det = Find(t, "det");
        const Token* fat = Find(t, "fat");
        const Token* sector = Find(t, "sector");
        if ((file != nullptr) + (det != nullptr) + (fat != nullptr) + (sector != nullptr) != 1)
            Fail("bad needs exactly one of sector=, file=, det=, fat=");
        if (sector) {
            a.sector = Number(sector->value, "sector");
        } else if (file) {
            a.target = BadArea::Target::FileData;
            const Token* vol = Find(t, "volume");
            if (!vol && volumes_.empty()) Fail("bad file= before any volume");
            a.volume = vol ? VolumeByName(vol->value) : volumes_.size() - 1;
            pendingBad_.push_back({cur_, Disk().bad.size(), a.volume, file->value, lineNo_});
        } else {
            a.target = det ? BadArea::Target::Det1Block : BadArea::Target::Fat1Block;
            a.volume = VolumeByName((det ? det : fat)->value);
            a.block = Num32(t, "block", 0);
        }
        Disk().bad.push_back(a);
    }

    // ---- resolution ------------------------------------------------------------
    // Folders and files of one volume by (parent number, name), each name and
    // long name pointing at the last entry declared with it so far.
    struct NameIndex {
        std::unordered_map<std::string, std::size_t> folders, files;

        static std::string Key(std::uint32_t parent, const std::string& name) {
            std::string key(4, '\0');
            for (int i = 0; i < 4; ++i) key[i] = static_cast<char>(parent >> (8 * i));
            return key + name;
        }
        void Add(const EntrySpec& e, std::size_t i) {
            auto& map = e.folder ? folders : files;
            map[Key(e.parent, e.name)] = i;
            if (!e.longName.empty()) map[Key(e.parent, e.longName)] = i;
            for (const std::string* n : {&e.macName, &e.nfsName, &e.ntName})
                if (!n->empty()) map[Key(e.parent, *n)] = i;
        }
    };

    // Gives every folder its final number (explicit ones first, the rest
    // counted up from 1 around them), so that in= paths can name them; then
    // resolves the paths in declaration order, each against the entries
    // declared before it.
    void FinishVolumes() {
        std::vector<std::vector<const PendingParent*>> pending(volumes_.size());
        for (const PendingParent& p : pendingParents_) pending[p.volume].push_back(&p);
        indexes_.resize(volumes_.size());
        for (std::size_t vi = 0; vi < volumes_.size(); ++vi) {
            VolumeSpec& v = VolumeAt(vi);
            std::set<std::uint32_t> used;
            for (const EntrySpec& e : v.entries)
                if (e.folder && e.number) used.insert(e.number);
            std::uint32_t next = 1;
            for (EntrySpec& e : v.entries) {
                if (!e.folder || e.number) continue;
                while (used.count(next)) ++next;
                e.number = next;
                used.insert(next);
            }
            NameIndex& index = indexes_[vi];
            auto p = pending[vi].begin();
            for (std::size_t i = 0; i < v.entries.size(); ++i) {
                if (p != pending[vi].end() && (*p)->entry == i) {
                    v.entries[i].parent = ResolveFolder(v, index, (*p)->path, (*p)->line);
                    ++p;
                }
                index.Add(v.entries[i], i);
            }
        }
    }

    static std::vector<std::string> Split(const std::string& path) {
        std::vector<std::string> parts;
        std::string cur;
        for (char c : path) {
            if (c == '/' || c == '\\') {
                if (!cur.empty()) parts.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.empty()) parts.push_back(cur);
        return parts;
    }

    // The entry named by the path among the entries the index holds; the last
    // declared match wins. Folders only unless `file` is set for the last part.
    std::size_t ResolveEntry(const VolumeSpec& v, const NameIndex& index, const std::string& path, bool file, int line) {
        std::vector<std::string> parts = Split(path);
        if (parts.empty()) Fail("empty path", line);
        std::uint32_t number = 0;
        std::size_t found = 0;
        for (std::size_t k = 0; k < parts.size(); ++k) {
            const bool wantFile = file && k + 1 == parts.size();
            const auto& map = wantFile ? index.files : index.folders;
            auto it = map.find(NameIndex::Key(number, parts[k]));
            if (it == map.end())
                Fail("\"" + path + "\" names no " + (wantFile ? "file" : "folder") + " declared before in volume " + v.name, line);
            found = it->second;
            number = v.entries[found].number;
        }
        return found;
    }

    std::uint32_t ResolveFolder(const VolumeSpec& v, const NameIndex& index, const std::string& path, int line) {
        if (Split(path).empty()) return 0;
        return v.entries[ResolveEntry(v, index, path, false, line)].number;
    }

    void ResolveBadAreas() {
        for (const PendingBad& b : pendingBad_) {
            const VolumeSpec& v = VolumeAt(b.volume);
            disks_[b.disk].bad[b.index].entry = ResolveEntry(v, indexes_[b.volume], b.path, true, b.line);
        }
    }

    const std::string& text_;
    int lineNo_ = 0;
    std::set<std::size_t> used_;
    std::vector<DiskSpec> disks_ = std::vector<DiskSpec>(1);
    std::size_t cur_ = 0;
    std::vector<std::tuple<std::size_t, std::size_t, std::size_t>> volumes_;  // disk, partition, table entry
    std::vector<std::pair<std::string, int>> pendingSegments_;
    std::vector<PendingParent> pendingParents_;
    std::vector<PendingBad> pendingBad_;
    std::vector<NameIndex> indexes_;
};

}  // namespace

DiskSpec ParseDescription(const std::string& text) {
    std::vector<DiskSpec> disks = Parser(text).Run();
    if (disks.size() > 1)
        throw BuildError("the description holds " + std::to_string(disks.size()) + " disks; read it with ParseDisks");
    return disks.front();
}

std::vector<DiskSpec> ParseDisks(const std::string& text) { return Parser(text).Run(); }

const char* DescriptionHelp() {
    return R"(Usage: nwimage DESCRIPTION -o IMAGE [--output-disk N FILE]...
               [--manifest FILE] [--map FILE]

Writes NetWare traditional disk images (sparse) from a description, and
optionally the manifest of what a correct recovery must produce and GNU
ddrescue mapfiles of the damaged sectors. The same description always gives
the same bytes.

OUTPUT FILES
A description of one disk writes IMAGE, and FILE of --map. With several
disks, disk 0 goes to IMAGE and disk N to IMAGE with ".N" before the
extension of its name (set.img, set.1.img, set.2.img ...; a name without an
extension gets ".N" at its end), unless --output-disk N FILE names it; the
mapfile of disk N is named from --map's FILE the same way. The manifest is
one file for all disks. Outputs that would share a name are refused.

DESCRIPTION FORMAT
One command a line; words separated by blanks; key=value options; values
with blanks in double quotes (\" \\ \n \r \t escape inside). Lines starting
with # and blank lines are ignored. Numbers are decimal or 0x hex, with an
optional K, M or G suffix (x1024). LIST is 1,5,9-12.

disk [N] [sectors=N] [seed=N] [wipe-sector0]
    Disk size in sectors (default: just past the last content), the seed of
    all generated bytes, and a wiped sector 0 (no partition table), for the
    disk being described. "disk N" starts disk N: the lines before it
    describe disk 0, and disks come in order 0, 1, 2 ..., each once.
partition first=N count=N [slot=0..3] [type=0x65] [table-count=N]
          [hotfix=0..3] [area=N] [tables=S,S,S,S] [wipe-tables]
    A partition table entry. With volumes below it, the hot-fix sector goes
    to partition sector 32, 64, 96 or 128 (hotfix=0..3) and the volume
    tables to partition sector 32 + area (default 128), four copies 32
    sectors apart, each S = good, missing, bad-text, count0 or count9;
    wipe-tables zeroes all four. table-count= writes another count to the
    partition table than the one the volumes are checked against.
volume NAME [spb=8|16|32|64|128] blocks=N [segment=N] [start=N]
       [codes=none] [fat1=LIST] [fat2=LIST] [det1=LIST] [det2=LIST]
       [det-blocks=N] [det2-length=N] [break-fat1=K] [break-fat2=K]
       [break-det=K] [patch-fat1=B:S:N,...] [patch-fat2=B:S:N,...]
       [mount-fat=1|2] [all-subgroups] [namespaces=dos,mac,nfs,long,nt]
    A volume of the last partition: the next entry of its volume table,
    which is the volume's segment 0, of blocks= blocks (or segment=
    sectors). Segments lie one after another in table order from 128
    sectors past the volume tables; start= puts this one at an absolute
    sector instead.
    codes=none writes the entries of the volume without the segment fields
    (see VOLUME TABLE). FAT copy 1 is allocated from block 0, then DET copy
    1, FAT copy 2, DET copy 2, file data and suballocation chains, each in
    the lowest free blocks; fat1= .. det2= give explicit chains instead.
    det2-length= makes DET copy 2 mirror only its first blocks. break-X=K
    damages the FAT entry of the chain's block K-1 so that walks keep K
    blocks (FAT copy 1 or 2's own chain; break-det breaks DET copy 1's
    chain in both FAT copies). patch-fatC= overwrites FAT entries of copy C
    (block:sequence:next). mount-fat= is the copy the manifest mounts when
    the two FAT chains differ in length. all-subgroups writes
    suballocation records for all five groups. namespaces= loads name
    spaces besides DOS: every entry then has one record per name space
    right after its DOS record, linked by the primary entry (0x78) and the
    name list (0x7C), and the DOS record carries the last update (0x28)
    and last access (0x62) dates.
segment NAME K (blocks=N | sectors=N) [start=N]
    Segment K (1..254) of the volume NAME as the next entry of the last
    partition's table, on the volume line's disk or another; the volume
    line may stand before or after it. A volume's segments are numbered
    from 0 without gaps, and segment K holds the blocks that follow those
    of segments 0 .. K-1: block numbers (fat1= .. det2=, blocks=) count over
    the whole volume, whose size is the sum of its segments. The manifest
    lists the volume once, with the disk of its volume line.
folder NAME [long=TEXT] [number=N] [in=PATH | parent=N] [time=T]
       [deleted] [slot3] [attr=N] [namelen=N]
file NAME [long=TEXT] [in=PATH | parent=N] [time=T] [deleted] [slot3]
     [attr=N] [namelen=N] [size=N] [seed=N] [text=TEXT] [hex=HEX]
     [doc=KIND] [blocks=LIST] [sub=tail|whole] [dirsize=N]
     [compressed=marked|unmarked] [expanded=N]
     [mac=TEXT] [nfs=TEXT] [nt=TEXT] [mode=OCTAL] [uid=N] [gid=N]
     [modified=T] [accessed=T] [finder=TEXT] [fork=TEXT | fork-size=N]
     [symlink=TARGET]
    Directory entries of the last volume, in directory order. NAME is the
    DOS name (1..15 characters), long= the long name (1..80). in= names the
    parent by a path of folder names declared earlier (/ or \ between
    them); parent= gives any number (orphans, cycles, own parent), and
    with number= describes folder chains too deep for paths. Folder
    numbers not given count up from 1. T is YYYY-MM-DD[THH:MM:SS] or a
    packed number. slot3 puts the entry in the last slot of a sector, so
    that its long name starts the next sector and is not shown. namelen=
    writes another name length (malformed entries).
    File data is text=, hex=, a generated document of about size= bytes
    (doc=word, excel, powerpoint, excel5, zip), or size= seeded bytes.
    blocks= gives the data chain; sub=tail puts the part past the last
    whole block into a suballocated piece, sub=whole the whole file.
    dirsize= writes another size to the entry. compressed= writes the
    compressed-file header (01 01 00 00, expanded size, stored length)
    over the first 12 bytes; marked also sets attribute 0x04000000 and the
    expanded size (expanded=, default 3 x stored length) in the entry.
    On volumes with namespaces=: mac=, nfs=, nt= name the entry in those
    name spaces (default: the long name, else the DOS name); mode= (octal,
    default 100644 for files and 40755 for folders), uid= and gid= fill
    the NFS record; symlink= makes the file a symbolic link (link flag
    0x02, mode 120777) whose data is the target; finder= gives the Finder
    info's first bytes and fork= or fork-size= (seeded bytes) the resource
    fork, a chain of whole blocks of its own, in the MAC record; modified=
    and accessed= the DOS record's last update and last access.
raw sector=N (text=TEXT | hex=HEX | size=N [seed=N])
    Bytes at a sector: outside structures, or in a volume's free blocks.
document KIND sector=N [size=N] [seed=N]
    A carvable document (KIND as for doc=) at a sector.
bad sector=N [count=N]
bad file=PATH [volume=NAME] [offset=N] [count=N]
bad det=VOLUME [block=I] [offset=N] [count=N]
bad fat=VOLUME [block=I] [offset=N] [count=N]
    Damaged sectors for the mapfile: absolute, the Nth data sectors of a
    file, or sectors of block I of DET or FAT copy 1. The image keeps the
    bytes; only the mapfile marks them.

The description is refused, with the reason, when it cannot be built:
a volume larger than its partition, a block size that does not divide the
segment, names over their limits, a file larger than its chain, blocks or
sectors used twice, segments that overlap, are missing or listed twice,
and the like.

VOLUME TABLE
Each entry is 60 bytes at 0x20 + 60 x k of a table copy: the name length
at 0x00 and the name after it; the volume's last segment number at 0x10;
the block-size code at 0x14 (3 = 8 sectors a block, 4 = 16, 5 = 32, 6 = 64,
7 = 128); the segment count at 0x15; the entry's segment number at 0x16;
the segment's first sector at 0x18, counted from the partition's first
sector plus the hot-fix sector's distance (160 for a segment right after
the tables); the segment's sectors at 0x1C; the whole volume's blocks at
0x20; the segment's first block at 0x24; the first blocks of FAT copy 1,
FAT copy 2, DET copy 1 and DET copy 2 at 0x28, 0x2C, 0x30 and 0x34.
codes=none, and names over 15 characters (they run into 0x10), leave
0x10 .. 0x18 and 0x24 zero; a volume of several segments needs a name of
at most 15 characters.

MANIFEST
One line per folder or file that the rebuilt tree shows, in tree order,
tab-separated:
  D|F  deleted(0|1)  compressed(0|1)  size  time  sha256  volume  path
size is the entry's size (0 for folders), time the packed date-time as 8
hex digits, sha256 the hash of the bytes a correct reader delivers (empty
for folders; a compressed file delivers the stored length its header
gives), volume the name as the volume table shows it, path the folders
below the volume root joined with \ using long names where they apply;
orphaned folders and their contents are under LOST\, and so are folders
in a parent cycle (each cycle cut at its first folder in directory order);
the LOST folder itself is listed. Entries the tree does not show (a file
whose folder is missing) are not listed. Sectors marked bad in
the mapfile are hashed as the image holds them. A manifest of more than
1 GiB (folder chains thousands deep: its paths grow with the square of the
depth) is refused; leave --manifest out for such trees.
)";
}

}  // namespace nwimage
