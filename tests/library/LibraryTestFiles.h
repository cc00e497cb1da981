#pragma once

#include "core/QuenlorCode.h"
#include "library/Fingerprint.h"
#include "storage/PatchRecord.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <fstream>

// Patch files for the library's tests: sound n is a new patch with two levels set from n,
// so that sounds 0..4095 all differ and survive a dump's round trip.
namespace LibraryTestFiles {

inline PatchValues sound(int n) {
    QuenlorCode code;
    code.InitPatchModel();
    PatchValues values{};
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        values[std::size_t(p)] = code.PatchBank(kFirstPatch, p);
    values[8] = int16_t(n % 64);
    values[9] = int16_t(n / 64 % 64);
    return values;
}

// Records of the given sounds with the given names, as the program writes them.
inline void writeRecords(const QString& path, const std::vector<std::pair<int, QString>>& patches) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
    for (const auto& [n, name] : patches)
        WritePatchRecord(file, sound(n).data(), name.toLatin1().toStdString());
}

// A bank of sounds first..first + 73 named prefix + patch number.
inline void writeBank(const QString& path, int first, const QString& prefix) {
    std::vector<std::pair<int, QString>> patches;
    for (int i = 0; i < kLastPatch; ++i)
        patches.emplace_back(first + i, prefix + QString::number(i + 1));
    writeRecords(path, patches);
}

// The dumps of the sounds back to back, as the program sends them.
inline QByteArray dumps(const std::vector<int>& sounds) {
    QuenlorCode code;
    code.InitPatchModel();
    QByteArray bytes;
    for (const int n : sounds) {
        const PatchValues values = sound(n);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(kFirstPatch, p) = values[std::size_t(p)];
        code.preparePatchDump(kFirstPatch);
        bytes += QByteArray(reinterpret_cast<const char*>(code.PatchDump.data()), 80);
    }
    return bytes;
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

} // namespace LibraryTestFiles
