#include "LibraryEdits.h"

#include "LibraryDatabase.h"

#include <QFile>
#include <QSqlQuery>
#include <QVariant>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace {
// Runs `statement` once per sound, binding the sound's id last, in one transaction.
bool forEachSound(LibraryDatabase& database, const std::vector<qint64>& sounds,
                  const QString& statement, const QVariantList& values) {
    if (!database.writable()) return false;
    LibraryDatabase::Transaction transaction(database);
    if (!transaction.ok()) return false;
    QSqlQuery query(database.database());
    query.prepare(statement);
    for (const qint64 sound : sounds) {
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values[i]);
        query.bindValue(int(values.size()), sound);
        if (!database.exec(query)) return false;
    }
    return transaction.commit();
}

bool runOne(LibraryDatabase& database, const QString& statement, const QVariantList& values) {
    if (!database.writable()) return false;
    QSqlQuery query(database.database());
    query.prepare(statement);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    return database.exec(query) && query.numRowsAffected() > 0;
}
} // namespace

namespace LibraryEdits {

bool addFolder(LibraryDatabase& database, const QByteArray& path) {
    struct stat info {};
    char canonical[PATH_MAX];
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        !::realpath(path.constData(), canonical))
        return false;
    if (!database.writable()) return false;
    QSqlQuery query(database.database());
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO folders(path) VALUES (?)"));
    query.bindValue(0, QByteArray(canonical));
    if (!database.exec(query)) return false;
    database.writeFoldersList();
    return true;
}

bool addFolder(LibraryDatabase& database, const QString& path) {
    return addFolder(database, QFile::encodeName(path));
}

bool removeFolder(LibraryDatabase& database, qint64 folder) {
    if (!runOne(database, QStringLiteral("DELETE FROM folders WHERE id = ?"), {folder}))
        return false;
    database.writeFoldersList();
    return true;
}

bool setFavourite(LibraryDatabase& database, const std::vector<qint64>& sounds, bool on) {
    return forEachSound(database, sounds,
                        QStringLiteral("UPDATE sounds SET favourite = ? WHERE id = ?"), {int(on)});
}

bool setHidden(LibraryDatabase& database, const std::vector<qint64>& sounds, bool on) {
    return forEachSound(database, sounds,
                        QStringLiteral("UPDATE sounds SET hidden = ? WHERE id = ?"), {int(on)});
}

qint64 addCategory(LibraryDatabase& database, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || !database.writable()) return 0;
    QSqlQuery query(database.database());
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO categories(name) VALUES (?) RETURNING id"));
    query.bindValue(0, trimmed);
    if (!database.exec(query) || !query.next()) return 0;
    return query.value(0).toLongLong();
}

bool renameCategory(LibraryDatabase& database, qint64 category, const QString& name) {
    const QString trimmed = name.trimmed();
    return !trimmed.isEmpty() &&
           runOne(database, QStringLiteral("UPDATE categories SET name = ? WHERE id = ?"),
                  {trimmed, category});
}

bool setCategory(LibraryDatabase& database, const std::vector<qint64>& sounds, qint64 category,
                 bool on) {
    return forEachSound(
        database, sounds,
        on ? QStringLiteral("INSERT OR IGNORE INTO sound_categories(category, sound) VALUES (?, ?)")
           : QStringLiteral("DELETE FROM sound_categories WHERE category = ? AND sound = ?"),
        {category});
}

bool addToCollection(LibraryDatabase& database, const QString& name,
                     const std::vector<FoundPatch>& patches) {
    if (!database.writable()) return false;
    LibraryDatabase::Transaction transaction(database);
    if (!transaction.ok()) return false;
    LibraryWriter writer(database);
    QSqlQuery existing(database.database());
    existing.prepare(QStringLiteral("SELECT id FROM files WHERE kind = ? AND path = ?"));
    existing.bindValue(0, LibraryFiles::kCollection);
    existing.bindValue(1, name);
    if (!database.exec(existing)) return false;
    qint64 file = existing.next() ? existing.value(0).toLongLong() : 0;
    existing.finish();
    if (file == 0) file = writer.recordFile(LibraryFiles::kCollection, name, 0, -1, -1, QString());
    return file > 0 && writer.addCopies(file, patches) && transaction.commit();
}

} // namespace LibraryEdits
