#include "UnsavedCopy.h"

#include "LineReader.h"
#include "SaveFile.h"
#include "core/NumberText.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace UnsavedCopy {
namespace {

constexpr std::string_view kLineEnd = PatchRecord::kLineEnd;
constexpr int kChecksumDigits = 16;

// FNV-1a, 64 bits: enough to tell a damaged copy, cheap to compute.
uint64_t checksum(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string hex(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(kChecksumDigits, '0');
    for (int i = kChecksumDigits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A path is any bytes but NUL; in the trailer it stays on one line of plain characters.
std::string percentEncoded(std::string_view path) {
    std::string text;
    for (unsigned char c : path) {
        if (c > ' ' && c < 0x7F && c != '%') {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += "0123456789ABCDEF"[c >> 4];
            text += "0123456789ABCDEF"[c & 0xF];
        }
    }
    return text;
}

bool percentDecoded(std::string_view text, std::string& path) {
    path.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Splits the trailer's lines off the end: each ends with CR LF, and nothing follows the
// last one.
bool takeLastLine(std::string_view& bytes, std::string_view& line) {
    if (bytes.size() < kLineEnd.size() || bytes.substr(bytes.size() - kLineEnd.size()) != kLineEnd)
        return false;
    bytes.remove_suffix(kLineEnd.size());
    const std::size_t start = bytes.rfind(kLineEnd);
    const std::size_t from = start == std::string_view::npos ? 0 : start + kLineEnd.size();
    line = bytes.substr(from);
    bytes = bytes.substr(0, from);
    return true;
}

// The 74 records of a bank, as Open Bank reads them.
bool readRecords(LineReader& reader, Image& image) {
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        const auto n = static_cast<std::size_t>(patch);
        if (!readPatchRecord(reader, image.Names[n], image.Values[n]).ok()) return false;
    }
    return true;
}

} // namespace

std::string encode(const Bank& bank, const std::array<std::string, kPatchSlots>& names,
                   std::string_view origin) {
    std::ostringstream records;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        WritePatchRecord(records, bank, patch, names[static_cast<std::size_t>(patch)]);
    std::string bytes = std::move(records).str();
    const std::string version = NumberText::writeNumber(kVersion);
    const std::string file = percentEncoded(origin);
    const std::string sum = hex(checksum(bytes));
    for (std::string_view line :
         {kMarker, std::string_view(version), std::string_view(file), std::string_view(sum)}) {
        bytes.append(line);
        bytes.append(kLineEnd);
    }
    return bytes;
}

ReadResult decode(std::string_view bytes, Image& image) {
    std::string_view records = bytes;
    std::string_view sum, origin, version, marker;
    if (!takeLastLine(records, sum) || !takeLastLine(records, origin) ||
        !takeLastLine(records, version) || !takeLastLine(records, marker) || marker != kMarker)
        return ReadResult::Damaged;
    const auto number = NumberText::readInt16(std::string(version));
    if (!number || *number < 1) return ReadResult::Damaged;
    if (*number > kVersion) return ReadResult::Newer;
    image.Checksum = checksum(records);
    if (sum != hex(image.Checksum) || !percentDecoded(origin, image.Origin))
        return ReadResult::Damaged;

    std::istringstream in{std::string(records)};
    LineReader reader(in);
    if (!readRecords(reader, image)) return ReadResult::Damaged;
    // The checksum matched, so nothing can follow record 74 but a damaged writer's
    // leftovers; a copy is exactly 74 records.
    std::string rest;
    if (reader.readLine(rest)) return ReadResult::Damaged;
    return ReadResult::Ok;
}

bool Write(const std::string& path, std::string_view bytes, int* error, SaveFile::Sync sync) {
    errno = 0;
    SaveFile file(path);
    bool ok = file.open();
    if (ok) file.stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ok = ok && file.stream().good() && file.commit(sync);
    if (!ok && error) *error = errno != 0 ? errno : EIO;
    return ok;
}

ReadResult read(const std::string& path, Image& image) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return errno == ENOENT ? ReadResult::Missing : ReadResult::Damaged;
    std::string bytes;
    char chunk[16 * 1024];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (bytes.size() > kMaxBytes) return ReadResult::Damaged;
    }
    if (file.bad()) return ReadResult::Damaged;
    return decode(bytes, image);
}

ReadResult readBankFile(const std::string& path, Image& image) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return errno == ENOENT ? ReadResult::Missing : ReadResult::Damaged;
    image.Origin.clear();
    LineReader reader(file);
    return readRecords(reader, image) ? ReadResult::Ok : ReadResult::Damaged;
}

} // namespace UnsavedCopy
