#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <map>
#include <vector>

// Bank and patch files for the companion's tests, written byte by byte as the program
// writes them: "Name", the name, "Data" and 63 value lines, every line ended by CR LF.
namespace CompanionFiles {

using Values = std::map<int, int>; // parameter -> value, over a new patch

inline QByteArray record(const QByteArray& name = {}, const Values& changes = {}) {
    std::vector<int> values(64, 0);
    values[24] = 1;
    values[35] = 1;
    for (const auto& [parameter, value] : changes)
        values[static_cast<std::size_t>(parameter)] = value;
    QByteArray text = "Name\r\n" + name + "\r\nData\r\n";
    for (int p = 1; p <= 63; ++p) {
        const int value = values[static_cast<std::size_t>(p)];
        text += (value < 0 ? "" : " ") + QByteArray::number(value) + "\r\n";
    }
    return text;
}

// 74 records with empty names, 266 bytes each; `changes` maps a record number to the
// values it changes.
inline QByteArray bank(const std::map<int, Values>& changes = {}) {
    QByteArray text;
    for (int r = 1; r <= 74; ++r) {
        const auto found = changes.find(r);
        text += record({}, found == changes.end() ? Values{} : found->second);
    }
    return text;
}

// A bank whose patches all differ: every level parameter of patch r holds r mod 64,
// the flags follow the bits of r and every choice has exactly one member set.
inline QByteArray variedBank() {
    QByteArray text;
    for (int r = 1; r <= 74; ++r) {
        Values v;
        for (int p : {8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                      33, 34, 44, 45, 46, 47, 48, 49, 50, 51, 52, 60, 61, 62, 63})
            v[p] = (r + p) % 64;
        v[31] = r % 12;
        v[42] = (r + 5) % 12;
        v[32] = r % 31;
        v[43] = (r + 7) % 31;
        for (int bit = 0; bit < 4; ++bit) {
            v[4 + bit] = (r >> bit) & 1;
            v[56 + bit] = (r >> (bit + 1)) & 1;
        }
        v[23] = r & 1;
        v[28] = (r >> 1) & 1;
        v[29] = (r >> 2) & 1;
        v[30] = (r >> 3) & 1;
        v[39] = (r >> 4) & 1;
        v[40] = (r >> 5) & 1;
        v[41] = (r >> 6) & 1;
        v[1 + r % 3] = 1;
        v[53 + (r / 3) % 3] = 1;
        v[24] = 0;
        v[24 + r % 4] = 1;
        v[35] = 0;
        v[35 + (r / 4) % 4] = 1;
        text += record("Varied " + QByteArray::number(r), v);
    }
    return text;
}

inline bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A Standard MIDI File of one track with each 80-byte dump as a SysEx event.
inline QByteArray midiFileOf(const QByteArray& dumps) {
    QByteArray track;
    for (int at = 0; at + 80 <= dumps.size(); at += 80)
        track += QByteArray::fromHex("00F04F") + dumps.mid(at + 1, 79);
    track += QByteArray::fromHex("00FF2F00");
    QByteArray length(4, 0);
    for (int i = 0; i < 4; ++i)
        length[i] = char((track.size() >> (24 - 8 * i)) & 0xFF);
    return "MThd" + QByteArray::fromHex("00000006000000010060") + "MTrk" + length + track;
}

} // namespace CompanionFiles
