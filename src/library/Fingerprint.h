#pragma once

#include "core/PatchBank.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// Which sound a patch is: a fingerprint of its 63 values, the name left out, so that the
// same sound under another name or in another file is one entry of the library.
// Libraries on disk are keyed by it: the function must never change.
uint64_t fingerprintOf(const PatchValues& values);
// As the companion prints it: 16 hexadecimal digits.
QString fingerprintText(uint64_t fingerprint);

// The values as the library keeps them: 63 little-endian 16-bit numbers.
QByteArray packValues(const PatchValues& values);
// False, and the values cleared, when the bytes are not 63 packed values.
bool unpackValues(const QByteArray& bytes, PatchValues& values);
