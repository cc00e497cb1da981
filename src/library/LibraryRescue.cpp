#include "LibraryRescue.h"

#include "Fingerprint.h"
#include "LibraryDatabase.h"
#include "LibraryWriter.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <limits>
#include <optional>

namespace {
const QString kDriver = QStringLiteral("QSQLITE");
// A seek further than this past the last row read gives up: no library has that many.
constexpr qint64 kFarthestStep = qint64(1) << 40;

// Whether a seek from `from` gets past the damage: true with the first key at or after
// it, or with none at the end of the table; false when the page it needs is damaged.
bool seekPasses(QSqlDatabase& db, const QString& table, const QString& key, qint64 from,
                std::optional<qint64>& found) {
    QSqlQuery seek(db);
    seek.setForwardOnly(true);
    seek.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %1 >= ? ORDER BY %1 LIMIT 1").arg(key, table));
    seek.bindValue(0, from);
    if (!seek.exec()) return false;
    found.reset();
    if (seek.next()) found = seek.value(0).toLongLong();
    return !seek.lastError().isValid();
}

// Reads a table's rows in the order of a positive integer key, stepping over the pages
// that cannot be read: a read that fails starts again at the first key a seek reaches
// past the damage. Returns the rows stepped over, counted from the keys where they run
// without gaps (`dense`); -1 when they cannot be counted, or the damage not passed.
int readRows(QSqlDatabase& db, const QString& table, const QString& key, const QString& columns,
             bool dense, const std::function<void(const QSqlQuery&)>& take) {
    int lost = 0;
    bool counted = true;
    qint64 from = 1; // the next key wanted: each read seeks to it, as the probes do
    for (;;) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 >= ? ORDER BY %1")
                          .arg(key, columns, table));
        query.bindValue(0, from);
        if (query.exec()) {
            while (query.next()) {
                from = query.value(0).toLongLong() + 1;
                take(query);
            }
            if (!query.lastError().isValid()) return counted ? lost : -1;
        }
        // Steps twice as far each time until a seek passes, then back to the nearest
        // key that does.
        std::optional<qint64> found;
        qint64 failing = from;
        qint64 step = 1;
        while (!seekPasses(db, table, key, from + step, found)) {
            failing = from + step;
            if (step >= kFarthestStep) return -1;
            step *= 2;
        }
        qint64 passing = from + step;
        while (passing - failing > 1) {
            const qint64 middle = failing + (passing - failing) / 2;
            std::optional<qint64> there;
            if (seekPasses(db, table, key, middle, there)) {
                passing = middle;
                found = there;
            } else {
                failing = middle;
            }
        }
        const qint64 next = found.value_or(passing);
        if (dense)
            lost += int(std::min<qint64>(next - from, std::numeric_limits<int>::max() / 2));
        else
            counted = false; // keys with gaps tell nothing of the rows between
        if (!found) return counted ? lost : -1;
        from = next;
    }
}
} // namespace

LibraryRescue LibraryRescue::read(const QString& path) {
    static QAtomicInteger<quint64> counter;
    const QString connection = QStringLiteral("quenlor-library-rescue-%1").arg(++counter);
    LibraryRescue rescue;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, connection);
        // Read-only: closing must not write the journal back into the file set aside.
        // With no journal beside it, the file is read as it lies, which leaves no new
        // journal behind either.
        if (QFileInfo::exists(path + QStringLiteral("-wal"))) {
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        } else {
            db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                               QStringLiteral("?immutable=1"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        }
        if (db.open()) {
            rescue.readFrom(connection);
            db.close();
        } else {
            rescue.m_unreadable = -1;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rescue;
}

void LibraryRescue::lose(int rows) {
    if (m_unreadable < 0) return;
    m_unreadable = rows < 0 ? -1 : m_unreadable + rows;
}

void LibraryRescue::readFrom(const QString& connection) {
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    lose(readRows(db, QStringLiteral("folders"), QStringLiteral("id"), QStringLiteral("path"),
                  false,
                  [&](const QSqlQuery& row) { m_folders.push_back(row.value(1).toByteArray()); }));
    lose(readRows(db, QStringLiteral("categories"), QStringLiteral("id"), QStringLiteral("name"),
                  false, [&](const QSqlQuery& row) {
                      m_categories.push_back({row.value(0).toLongLong(), row.value(1).toString()});
                  }));
    lose(readRows(
        db, QStringLiteral("files"), QStringLiteral("id"), QStringLiteral("kind, path"), false,
        [&](const QSqlQuery& row) {
            if (row.value(1).toInt() == LibraryFiles::kCollection)
                m_collections.push_back({row.value(0).toLongLong(), row.value(2).toString()});
        }));
    QSet<qint64> collections;
    for (const Collection& collection : m_collections)
        collections.insert(collection.Id);
    if (!collections.isEmpty())
        lose(readRows(db, QStringLiteral("copies"), QStringLiteral("id"),
                      QStringLiteral("sound, file, position, name"), false,
                      [&](const QSqlQuery& row) {
                          const qint64 file = row.value(2).toLongLong();
                          if (collections.contains(file))
                              m_copies.push_back({row.value(1).toLongLong(), file,
                                                  row.value(3).toInt(), row.value(4).toString()});
                      }));
    // Keyed by sound, a membership at a time.
    lose(readRows(db, QStringLiteral("sound_categories"), QStringLiteral("sound"),
                  QStringLiteral("category"), false, [&](const QSqlQuery& row) {
                      m_memberships.emplace_back(row.value(0).toLongLong(),
                                                 row.value(1).toLongLong());
                  }));

    QSet<qint64> wanted;
    for (const auto& membership : m_memberships)
        wanted.insert(membership.first);
    for (const Copy& copy : m_copies)
        wanted.insert(copy.Sound);
    QSet<qint64> read;
    lose(readRows(
        db, QStringLiteral("sounds"), QStringLiteral("id"),
        QStringLiteral("parameters, name, favourite, hidden"), true, [&](const QSqlQuery& row) {
            Sound sound{row.value(0).toLongLong(), row.value(1).toByteArray(),
                        row.value(2).toString(), row.value(3).toBool(), row.value(4).toBool()};
            PatchValues values{};
            if (!unpackValues(sound.Parameters, values)) return;
            read.insert(sound.Id);
            if (!sound.Favourite && !sound.Hidden && !wanted.contains(sound.Id)) return;
            m_carried += int(sound.Favourite) + int(sound.Hidden);
            m_sounds.push_back(std::move(sound));
        }));
    // A membership or copy whose sound could not be read cannot be carried over.
    QSet<qint64> categories;
    for (const Category& category : m_categories)
        categories.insert(category.Id);
    for (const auto& [sound, category] : m_memberships) {
        if (read.contains(sound) && categories.contains(category))
            ++m_carried;
        else
            lose(1);
    }
    for (const Copy& copy : m_copies) {
        if (read.contains(copy.Sound))
            ++m_collected;
        else
            lose(1);
    }
}

bool LibraryRescue::writeInto(LibraryDatabase& database) const {
    LibraryDatabase::Transaction transaction(database);
    if (!transaction.ok()) return false;
    QSqlDatabase& db = database.database();
    const auto run = [&](QSqlQuery& query, const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values[i]);
        return database.exec(query);
    };

    QSqlQuery folder(db);
    folder.prepare(QStringLiteral("INSERT OR IGNORE INTO folders(path) VALUES (?)"));
    for (const QByteArray& path : m_folders)
        if (path.startsWith('/') && !run(folder, {path})) return false;

    QHash<qint64, qint64> categoryOf; // old id -> new id
    QSqlQuery category(db);
    category.prepare(QStringLiteral("INSERT INTO categories(name) VALUES (?) ON CONFLICT(name)"
                                    " DO UPDATE SET name = name RETURNING id"));
    for (const Category& old : m_categories) {
        if (old.Name.trimmed().isEmpty()) continue;
        if (!run(category, {old.Name}) || !category.next()) return false;
        categoryOf.insert(old.Id, category.value(0).toLongLong());
        category.finish();
    }

    // Sounds that meet under their key are one, favourite if either was, hidden only if
    // both were.
    QHash<qint64, qint64> soundOf;
    QSqlQuery sound(db);
    sound.prepare(QStringLiteral(
        "INSERT INTO sounds(fingerprint, parameters, name, favourite, hidden) VALUES (?, ?, ?, ?, "
        "?)"
        " ON CONFLICT(fingerprint) DO UPDATE SET favourite = max(favourite, excluded.favourite),"
        " hidden = min(hidden, excluded.hidden) RETURNING id"));
    Fingerprinter keyOf;
    for (const Sound& old : m_sounds) {
        PatchValues values{};
        unpackValues(old.Parameters, values);
        if (!run(sound, {qint64(keyOf(values)), old.Parameters, old.Name, int(old.Favourite),
                         int(old.Hidden)}) ||
            !sound.next())
            return false;
        soundOf.insert(old.Id, sound.value(0).toLongLong());
        sound.finish();
    }

    QSqlQuery membership(db);
    membership.prepare(
        QStringLiteral("INSERT OR IGNORE INTO sound_categories(sound, category) VALUES (?, ?)"));
    for (const auto& [old, oldCategory] : m_memberships) {
        const auto to = soundOf.constFind(old);
        const auto in = categoryOf.constFind(oldCategory);
        if (to != soundOf.constEnd() && in != categoryOf.constEnd() && !run(membership, {*to, *in}))
            return false;
    }

    LibraryWriter writer(database);
    QSqlQuery copy(db);
    copy.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO copies(sound, file, position, name) VALUES (?, ?, ?, ?)"));
    for (const Collection& collection : m_collections) {
        const qint64 file =
            writer.recordFile(LibraryFiles::kCollection, collection.Name, 0, -1, -1, QString());
        if (file < 0) return false;
        for (const Copy& old : m_copies) {
            const auto to = soundOf.constFind(old.Sound);
            if (old.File == collection.Id && to != soundOf.constEnd() &&
                !run(copy, {*to, file, old.Position, old.Name}))
                return false;
        }
    }
    return transaction.commit();
}

QString LibraryRescue::text() const {
    if (m_carried == 0 && m_collected == 0 && m_unreadable == 0) return {};
    if (m_carried == 0 && m_collected == 0 && m_unreadable < 0)
        return QStringLiteral("nothing in it could be read");
    QString text = QStringLiteral("%1 favourites, hidden marks and categories were carried over")
                       .arg(m_carried);
    if (m_collected > 0)
        text += m_collected == 1
                    ? QStringLiteral(" with 1 patch of the collections")
                    : QStringLiteral(" with %1 patches of the collections").arg(m_collected);
    if (m_unreadable < 0)
        text += QStringLiteral(", some could not be read");
    else if (m_unreadable > 0)
        text += QStringLiteral(", %1 could not be read").arg(m_unreadable);
    return text;
}
