#pragma once

#include "Fingerprint.h"

#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <vector>

class LibraryDatabase;

// Where a copy of a sound was found.
namespace LibraryFiles {
inline constexpr int kWatched = 0;    // a file in a watched folder
inline constexpr int kCollection = 1; // patches added from the bank, under a name
} // namespace LibraryFiles

// One patch as found in a file or in the bank: its values, the name it has there and
// its position (patch number, or the dump's number in a SysEx file), from 1.
struct FoundPatch {
    PatchValues Values{};
    QString Name;
    int Position = 0;
};

// Records files and the patches found in them: each distinct sound once, each copy of
// it with its file, position and name. Statements are prepared once; the caller holds
// the transaction.
class LibraryWriter {
public:
    explicit LibraryWriter(LibraryDatabase& database);

    // The file's row, made or brought up to date (present again, with its size, time
    // and problem); -1 on an error. A watched file's path is the file system's bytes, a
    // collection's the name it was given.
    qint64 recordFile(int kind, const QByteArray& path, qint64 folder, qint64 size, qint64 modified,
                      const QString& problem);
    qint64 recordFile(int kind, const QString& name, qint64 folder, qint64 size, qint64 modified,
                      const QString& problem);
    // The file's copies become these.
    bool replaceCopies(qint64 file, const std::vector<FoundPatch>& patches);
    // The patches join the file's copies; a copy already there is kept as it is.
    bool addCopies(qint64 file, const std::vector<FoundPatch>& patches);

    // Sounds new to the library since this writer was made.
    int newSounds() const { return m_newSounds; }

private:
    qint64 record(int kind, const QVariant& path, qint64 folder, qint64 size, qint64 modified,
                  const QString& problem);
    qint64 soundOf(const FoundPatch& patch);

    LibraryDatabase& m_database;
    QSqlQuery m_file;
    QSqlQuery m_deleteCopies;
    QSqlQuery m_addCopy;
    QSqlQuery m_addSound;
    QSqlQuery m_findSound;
    Fingerprinter m_fingerprint;
    QHash<quint64, qint64> m_known; // fingerprint -> sound, filled as they are met
    int m_newSounds = 0;
};
