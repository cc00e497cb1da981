#pragma once

#include "core/ParameterLocks.h"
#include "core/ParameterTable.h"
#include "core/PatchBank.h"
#include "storage/PatchRecord.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

// What the windowed program makes of a bank or patch file: whether Open Bank or Open
// Patch would load it, and where a file it would not load, or a value the editors
// would never have written, stands.

// One fault, placed by record (1..74), line within the record (1..66) and parameter
// (1..63; 0 on the marker and name lines). Record 0 stands for the file as a whole.
struct Finding {
    int Record = 0;
    int Line = 0;
    int Parameter = 0;
    std::string Text;
};

// "bank.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1"
std::string formatFinding(const std::string& file, const Finding& finding);
// The same without the file: "record 12, line 40 (parameter 37): value 5 outside 0..1"
std::string describeFinding(const Finding& finding);

struct LoadedFile {
    FileKind Kind = FileKind::Bank;
    int Records = 0;                // complete records read into the bank
    std::vector<std::string> Names; // the names of those records, in order
    std::optional<Finding> Failure; // why the program would not load it
    bool loads() const { return !Failure; }
};

// Reads the file with the program's own record reader into patches 1, 2, ... of the
// bank, each record only once it is complete, as Open Bank does; a patch file goes
// into patch 1. On a failure the patches read before it keep their new values. With
// `names`, the names of the records read are added to it.
LoadedFile loadFile(const std::string& path, Bank& bank, std::vector<std::string>* names = nullptr);
// The same for contents read already, as a file of that kind: the library reads each
// file whole, without ever waiting, before it reads the records.
LoadedFile loadRecords(std::istream& in, FileKind kind, Bank& bank,
                       std::vector<std::string>* names = nullptr);

// Values of the records read that the editors would never have written: a value
// outside its parameter's range, a choice group with more than one member set, or none
// where one is needed (an oscillator's octave).
std::vector<Finding> checkValues(const Bank& bank, int records, const ParamTable& table);

// The values of `before` that the editors would never have written and that locks kept
// from a new sound made of it, each with what the new sound holds instead (the value the
// instrument plays), as "pad.b01: record 1, line 22 (parameter 19): value 99 outside
// 0..63; locked, written as 63".
std::vector<std::string> lockedRepairs(const std::string& file, const PatchValues& before,
                                       const PatchValues& made, const ParameterLocks& locks,
                                       const ParamTable& table);
