#pragma once

#include "core/DumpDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Patch dumps found in a SysEx file: a raw file of messages back to back (anything between
// them skipped), or a Standard MIDI File's SysEx events, escape events included. Real-time
// bytes (a sequencer's clock) may stand anywhere, also inside a message, and are left
// out. Hostile input is refused or skipped with a reason; memory stays bounded by the
// file size limit and the counts kept.
namespace SysExFile {
inline constexpr std::size_t kMaxFileSize = 16u << 20; // larger files are refused unread
inline constexpr std::size_t kMaxMessage = 64u << 10;  // longer messages are skipped
inline constexpr std::size_t kMaxKept = 1024;          // dumps and reasons kept; all counted
} // namespace SysExFile

struct FoundDump {
    std::size_t Offset = 0; // of the message's F0 in the file
    DecodedPatch Patch;
};

struct SkippedMessage {
    std::size_t Offset = 0; // of the byte refused, or where the message or damage starts
    std::string Reason;
};

struct SysExScan {
    std::vector<FoundDump> Dumps;        // the first kMaxKept valid dumps, in file order
    std::vector<SkippedMessage> Skipped; // the first kMaxKept reasons, in file order
    std::size_t DumpCount = 0;           // all valid dumps
    std::size_t SkippedCount = 0;        // all messages skipped
    std::string Refusal;                 // set when the file as a whole could not be read
    bool StandardMidiFile = false;

    bool refused() const { return !Refusal.empty(); }
};

// Reads the bytes as a Standard MIDI File when they start with "MThd", else as raw SysEx.
SysExScan scanSysEx(const uint8_t* bytes, std::size_t size);

// Reads a file of at most kMaxFileSize bytes and scans it; a larger or unreadable file is
// refused with the reason.
SysExScan readSysExFile(const std::string& path);

// The name an imported patch takes: the file's name without folder and extension,
// followed by " n" (n = 1, 2, ...) when the file holds several dumps; in the file
// system's encoding, as the path is.
std::string importedPatchName(const std::string& path, std::size_t index, std::size_t count);

// "offset 160: data byte 0xFD of parameter 10 has bits 0-1 set"
std::string formatSkipped(const SkippedMessage& skipped);

// The first `most` reasons of a scan, one a line, each after the prefix, and then how
// many more there were ("and 12 more"); empty when nothing was skipped.
std::string skippedReasons(const SysExScan& scan, std::size_t most, const std::string& prefix);
