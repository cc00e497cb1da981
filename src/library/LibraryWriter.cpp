#include "LibraryWriter.h"

#include "LibraryDatabase.h"

#include <QSqlError>
#include <QVariant>

LibraryWriter::LibraryWriter(LibraryDatabase& database)
    : m_database(database), m_file(database.database()), m_deleteCopies(database.database()),
      m_addCopy(database.database()), m_addSound(database.database()),
      m_findSound(database.database()) {
    m_file.prepare(QStringLiteral(
        "INSERT INTO files(kind, path, folder, size, modified, missing, problem)"
        " VALUES (?, ?, ?, ?, ?, 0, ?) ON CONFLICT(kind, path) DO UPDATE SET"
        " folder = excluded.folder, size = excluded.size, modified = excluded.modified,"
        " missing = 0, problem = excluded.problem RETURNING id"));
    m_deleteCopies.prepare(QStringLiteral("DELETE FROM copies WHERE file = ?"));
    m_addCopy.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO copies(sound, file, position, name) VALUES (?, ?, ?, ?)"));
    // A row comes back only when the sound is new; otherwise it is looked up, also
    // when another program added it since this one last looked.
    m_addSound.prepare(QStringLiteral(
        "INSERT INTO sounds(fingerprint, parameters, name) VALUES (?, ?, ?)"
        " ON CONFLICT(fingerprint) DO NOTHING RETURNING id"));
    m_findSound.prepare(QStringLiteral("SELECT id FROM sounds WHERE fingerprint = ?"));
}

qint64 LibraryWriter::recordFile(int kind, const QString& name, qint64 folder, qint64 size,
                                 qint64 modified, const QString& problem) {
    return record(kind, name, folder, size, modified, problem);
}

qint64 LibraryWriter::recordFile(int kind, const QByteArray& path, qint64 folder, qint64 size,
                                 qint64 modified, const QString& problem) {
    return record(kind, path, folder, size, modified, problem);
}

qint64 LibraryWriter::record(int kind, const QVariant& path, qint64 folder, qint64 size,
                             qint64 modified, const QString& problem) {
    m_file.bindValue(0, kind);
    m_file.bindValue(1, path);
    m_file.bindValue(2, folder > 0 ? QVariant(folder) : QVariant());
    m_file.bindValue(3, size);
    m_file.bindValue(4, modified);
    m_file.bindValue(5, problem.isEmpty() ? QVariant() : QVariant(problem));
    if (!m_database.exec(m_file) || !m_file.next()) return -1;
    const qint64 id = m_file.value(0).toLongLong();
    m_file.finish();
    return id;
}

qint64 LibraryWriter::soundOf(const FoundPatch& patch) {
    const quint64 fingerprint = m_fingerprint(patch.Values);
    const auto known = m_known.constFind(fingerprint);
    if (known != m_known.constEnd()) return *known;
    m_addSound.bindValue(0, static_cast<qint64>(fingerprint));
    m_addSound.bindValue(1, packValues(patch.Values));
    m_addSound.bindValue(2, patch.Name);
    if (!m_database.exec(m_addSound)) return -1;
    qint64 id = -1;
    if (m_addSound.next()) {
        id = m_addSound.value(0).toLongLong();
        ++m_newSounds;
    }
    m_addSound.finish();
    if (id < 0) {
        m_findSound.bindValue(0, static_cast<qint64>(fingerprint));
        if (!m_database.exec(m_findSound) || !m_findSound.next()) return -1;
        id = m_findSound.value(0).toLongLong();
        m_findSound.finish();
    }
    m_known.insert(fingerprint, id);
    return id;
}

bool LibraryWriter::replaceCopies(qint64 file, const std::vector<FoundPatch>& patches) {
    m_deleteCopies.bindValue(0, file);
    if (!m_database.exec(m_deleteCopies)) return false;
    return addCopies(file, patches);
}

bool LibraryWriter::addCopies(qint64 file, const std::vector<FoundPatch>& patches) {
    for (const FoundPatch& patch : patches) {
        const qint64 sound = soundOf(patch);
        if (sound < 0) return false;
        m_addCopy.bindValue(0, sound);
        m_addCopy.bindValue(1, file);
        m_addCopy.bindValue(2, patch.Position);
        m_addCopy.bindValue(3, patch.Name);
        if (!m_database.exec(m_addCopy)) return false;
    }
    return true;
}
