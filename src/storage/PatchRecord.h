#pragma once

#include "core/PatchBank.h"

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

class LineReader;

// The text record of one patch, shared by bank files (74 records) and patch files
// (one): the marker "Name", the name, the marker "Data" and the values of parameters
// 1 to 63, one per line, every line ended by CR LF. Names are 8-bit text and pass
// through byte for byte.
namespace PatchRecord {
inline constexpr std::string_view kNameMarker = "Name";
inline constexpr std::string_view kDataMarker = "Data";
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr int kLines = 66;
} // namespace PatchRecord

// Which of the two files a path names, by its name alone as the file dialogs' filters
// tell them: a file named *.b01 (in any case) is a patch file, one record; every other
// file is read as a bank, 74 records.
enum class FileKind {
    Bank,
    Patch,
};
FileKind kindOf(const std::string& path);

// One record's values, held apart from the bank until the whole record has been read,
// so that a record that fails part-way changes no patch. Slots 1 to 63 are used.
using ReadingBuffer = std::array<int16_t, kParameterSlots>;

// Writes the record of the patch with the given name. A CR or LF inside the name is
// written as a blank, so that the record always has its 66 lines, and a name longer
// than the 64 KiB a line may hold is cut there, so that the record reads back. False
// on any write error; what was written stays in the stream.
bool WritePatchRecord(std::ostream& file, const Bank& bank, int patch, std::string_view name);
// The same for values held apart from the bank: slots 1 to 63 of `values`.
bool WritePatchRecord(std::ostream& file, const int16_t* values, std::string_view name);

// Why a record could not be read, and where: the line within the record (1..66) and
// the parameter on it (1..63; 0 on the marker and name lines).
struct RecordFailure {
    enum class Reason { FileEnds, LineTooLong, ReadError, ValueTooBig };
    Reason Why = Reason::FileEnds;
    int Line = 0;
    int Parameter = 0;
    std::string Text;              // the line, when its value does not fit 16 bits
    bool FirstLineHadLineFeed = false; // as in a file whose lines end with LF alone
};

struct RecordReading {
    std::optional<RecordFailure> Failure;
    bool ok() const { return !Failure; }
};

// Reads one record: the marker lines are not examined, the values are read by the
// program's number rule. Fails when the file ends early, a line is too long or cannot
// be read, or a value does not fit 16 bits; `name` and `values` then hold what was
// read so far.
RecordReading readPatchRecord(LineReader& reader, std::string& name, ReadingBuffer& values);
