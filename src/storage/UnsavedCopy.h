#pragma once

#include "PatchRecord.h"
#include "SaveFile.h"
#include "core/PatchBank.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The copy of a bank that has not been saved, which the program keeps so that work
// survives a quit, a crash or a power cut. It is a bank file, 74 records, followed by a
// trailer that a bank file reader never reaches (it stops after record 74): the marker
// line, the copy's format version, the bank's own file (percent-encoded, empty when the
// bank has none) and a checksum of the records, so that a damaged copy is told from a
// good one.
namespace UnsavedCopy {

inline constexpr std::string_view kMarker = "Quenlor unsaved bank";
inline constexpr int kVersion = 1;
// No copy written by the program comes near this (74 names of at most 64 KiB each).
inline constexpr std::size_t kMaxBytes = 8u * 1024 * 1024;

// A copy as read: every patch's values and name, and the bank's own file.
struct Image {
    std::array<ReadingBuffer, kPatchSlots> Values{}; // patches 1..74
    std::array<std::string, kPatchSlots> Names;      // 8-bit text, as in bank files
    std::string Origin;                              // a path, or empty
    uint64_t Checksum = 0; // of the records: two copies of one bank have the same
};

enum class ReadResult {
    Ok,
    Missing, // no such file
    Damaged, // truncated, altered or not a copy at all
    Newer,   // written by a later version of the program
};

// The bytes of the copy of a bank with these names and this file of its own.
std::string encode(const Bank& bank, const std::array<std::string, kPatchSlots>& names,
                   std::string_view origin);
// Checks and reads a copy; the image is complete only when the result is Ok.
ReadResult decode(std::string_view bytes, Image& image);

// Writes the bytes in place of the file, replacing it only once they are all written
// (and, unless `sync` is Later, on the disk). On failure `error` (when given) holds the
// system's error number.
bool Write(const std::string& path, std::string_view bytes, int* error = nullptr,
           SaveFile::Sync sync = SaveFile::Sync::ToDisk);
ReadResult read(const std::string& path, Image& image);
// Reads a plain bank file, as Open Bank does, into an image without a file of its own,
// for comparing a copy with the file it came from.
ReadResult readBankFile(const std::string& path, Image& image);

} // namespace UnsavedCopy
