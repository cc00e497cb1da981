#pragma once

#include "core/PatchBank.h"
#include "core/PatchDump.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// Which sound a patch is: a fingerprint of the patch as the instrument receives it (the
// data bytes of its dump, as the core's encoder writes them), the name left out. The
// same sound under another name or in another file is one entry of the library, and so
// are two patches that differ only in values the dump never carries (several members of
// one switch group set, a level beyond its range). Libraries on disk are keyed by it:
// a change of it needs a migration that keys every entry again.
uint64_t fingerprintOf(const PatchValues& values);

// The same for patch after patch, with one scratch bank and dump: a scan takes tens of
// thousands.
class Fingerprinter {
public:
    Fingerprinter();
    uint64_t operator()(const PatchValues& values);

private:
    ParamTable m_table;
    Bank m_bank;
    SysExMessage m_dump;
};
// As the companion prints it: 16 hexadecimal digits.
QString fingerprintText(uint64_t fingerprint);

// The values as the library keeps them: 63 little-endian 16-bit numbers.
QByteArray packValues(const PatchValues& values);
// False, and the values cleared, when the bytes are not 63 packed values.
bool unpackValues(const QByteArray& bytes, PatchValues& values);
