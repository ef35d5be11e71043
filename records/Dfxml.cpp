#include "records/Dfxml.h"

#include <ctime>

#include "base/Escape.h"
#include "base/Identity.h"
#include "recovery/EntryExtras.h"

namespace records {

namespace {

constexpr std::uint64_t kSectorBytes = 512;

void AddEntities(std::string& out, char c) {
    switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
    }
}

std::string Element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + text + "</" + name + ">";
}

std::string Number(std::uint64_t n) { return std::to_string(n); }

// "11.06.07" of "Version 11.06.07".
std::string VersionNumber() {
    const std::string text = base::kVersionText;
    const std::size_t space = text.rfind(' ');
    return space == std::string::npos ? text : text.substr(space + 1);
}

}  // namespace

std::string XmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) AddEntities(out, c);
    return out;
}

std::string XmlName(std::string_view name) {
    // First the escaper every record uses; what it keeps of bytes that are
    // not valid UTF-8 (0xA0 and up alone), and the two code points XML
    // refuses, are then written \xHH as well.
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string escaped = base::EscapeControls(name, true);
    std::string out;
    out.reserve(escaped.size());
    const auto hex = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const auto c = static_cast<unsigned char>(escaped[i]);
        if (c < 0x80) {
            AddEntities(out, escaped[i]);
            continue;
        }
        const std::size_t length = base::Utf8SequenceLength(escaped, i);
        if (length == 0) {
            hex(c);
            continue;
        }
        // U+FFFE and U+FFFF: EF BF BE, EF BF BF.
        if (length == 3 && c == 0xEF && static_cast<unsigned char>(escaped[i + 1]) == 0xBF &&
            static_cast<unsigned char>(escaped[i + 2]) >= 0xBE) {
            for (std::size_t k = 0; k < 3; ++k) hex(static_cast<unsigned char>(escaped[i + k]));
        } else {
            out.append(escaped, i, length);
        }
        i += length - 1;
    }
    return out;
}

std::string DfxmlTime(std::uint32_t packed, const nw::TimeZone& zone) {
    if (packed == 0) return {};
    const std::optional<struct timespec> when = recovery::PackedLocalTime(packed, zone);
    if (!when) return {};
    const std::time_t t = when->tv_sec;
    std::tm utc{};
    if (!::gmtime_r(&t, &utc)) return {};
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return {};
    return text;
}

bool DfxmlWriter::Open(const std::string& path, const DfxmlSource& source, std::string* reason) {
    if (!file_.Open(path, reason)) return false;
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    head += std::string("<dfxml xmlns=\"") + kDfxmlNamespace +
            "\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:tarvine=\"" + kTarvineDfxmlNamespace +
            "\" version=\"1.2.0\">\n";
    head += "  <metadata>\n    " + Element("dc:type", XmlText(source.type)) + "\n  </metadata>\n";
    head += "  <creator>\n    " + Element("program", XmlText(base::kProductTitle)) + "\n    " +
            Element("version", XmlText(VersionNumber())) + "\n";
    if (!source.commandLine.empty())
        head += "    <execution_environment>\n      " + Element("command_line", XmlName(source.commandLine)) +
                "\n    </execution_environment>\n";
    head += "  </creator>\n  <source>\n";
    // The schema admits no elements of another namespace under source, but
    // attributes of one on each image_filename.
    for (const DfxmlImage& image : source.images) {
        head += "    <image_filename tarvine:disk=\"" + Number(image.disk) + "\" tarvine:format=\"" +
                XmlText(image.format) + "\"";
        if (!image.storedMd5.empty()) head += " tarvine:stored_md5=\"" + XmlText(image.storedMd5) + "\"";
        if (!image.storedSha1.empty()) head += " tarvine:stored_sha1=\"" + XmlText(image.storedSha1) + "\"";
        head += ">" + XmlName(image.path) + "</image_filename>\n";
    }
    head += "  </source>\n";
    file_.Write(head);
    return true;
}

void DfxmlWriter::BeginVolume(const nw::VolumeDescriptor& volume) {
    const std::uint64_t blockBytes = static_cast<std::uint64_t>(volume.sectorsPerBlock) * kSectorBytes;
    std::string text = "  <volume offset=\"" + Number(volume.startSector * kSectorBytes) + "\">\n";
    text += "    " + Element("sector_size", Number(kSectorBytes)) + "\n";
    if (blockBytes > 0) text += "    " + Element("block_size", Number(blockBytes)) + "\n";
    text += "    " + Element("ftype_str", "NetWare") + "\n";
    text += "    " + Element("block_count", Number(volume.blockCount)) + "\n";
    file_.Write(text);
    pending_ = "    <tarvine:volume_name>" + XmlName(volume.name) + "</tarvine:volume_name>\n";
    pending_ += "    <tarvine:disk>" + Number(volume.disk) + "</tarvine:disk>\n";
    if (volume.Spanned()) {
        pending_ += "    <tarvine:segments>\n";
        for (const nw::VolumeSegment& s : volume.segments) {
            pending_ += "      <tarvine:segment number=\"" + Number(s.number) + "\"";
            if (s.present) pending_ += " disk=\"" + Number(s.disk) + "\" first_sector=\"" + Number(s.startSector) + "\"";
            else pending_ += " present=\"0\"";
            pending_ += " first_block=\"" + Number(s.firstBlock) + "\" block_count=\"" + Number(s.blockCount) + "\"/>\n";
        }
        pending_ += "    </tarvine:segments>\n";
    }
    inVolume_ = true;
}

void DfxmlWriter::EndVolume() {
    if (!inVolume_) return;
    file_.Write(pending_ + "  </volume>\n");
    pending_.clear();
    inVolume_ = false;
}

void DfxmlWriter::FileObject(const DfxmlFileObject& f, bool diskAttribute) {
    const std::string in = inVolume_ ? "    " : "  ";
    std::string text = in + "<fileobject>\n";
    text += in + "  " + Element("filename", XmlName(f.filename)) + "\n";
    text += in + "  " + Element("filesize", Number(f.filesize)) + "\n";
    if (f.alloc) text += in + "  " + Element("alloc", *f.alloc ? "1" : "0") + "\n";
    if (!f.mtime.empty()) text += in + "  " + Element("mtime", f.mtime) + "\n";
    if (!f.atime.empty()) text += in + "  " + Element("atime", f.atime) + "\n";
    if (!f.crtime.empty()) text += in + "  " + Element("crtime", f.crtime) + "\n";
    text += in + "  <byte_runs>\n";
    for (const nw::FileByteRun& r : f.runs) {
        text += in + "    <byte_run file_offset=\"" + Number(r.fileOffset) + "\"";
        if (r.placed) text += " img_offset=\"" + Number(r.diskOffset) + "\"";
        text += " len=\"" + Number(r.length) + "\"";
        if (r.placed && diskAttribute) text += " tarvine:disk=\"" + Number(r.disk) + "\"";
        if (r.unreadable) text += " tarvine:unreadable=\"1\"";
        text += "/>\n";
    }
    text += in + "  </byte_runs>\n";
    if (!f.digests.md5.empty()) text += in + "  <hashdigest type=\"md5\">" + f.digests.md5 + "</hashdigest>\n";
    if (!f.digests.sha1.empty()) text += in + "  <hashdigest type=\"sha1\">" + f.digests.sha1 + "</hashdigest>\n";
    if (!f.digests.sha256.empty())
        text += in + "  <hashdigest type=\"sha256\">" + f.digests.sha256 + "</hashdigest>\n";
    for (const auto& [name, value] : f.extras)
        text += in + "  " + Element("tarvine:" + name, XmlName(value)) + "\n";
    text += in + "</fileobject>\n";
    file_.Write(text);
}

bool DfxmlWriter::Finish(std::string* reason) {
    EndVolume();
    file_.Write(std::string("</dfxml>\n"));
    return file_.Commit(reason);
}

}  // namespace records
