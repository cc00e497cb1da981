#include "LibraryMigrations.h"

#include "Fingerprint.h"
#include "LibraryDatabase.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <vector>

namespace {

const std::array<std::vector<const char*>, LibraryMigrations::kLatest> kStatements = {{
    // 1: folders, files, sounds with their copies, and categories.
    {
        "CREATE TABLE folders(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, problem TEXT)",
        // kind 0: a file of a watched folder; kind 1: a collection of patches added from
        // the bank, named in `path`.
        "CREATE TABLE files(id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, path TEXT NOT NULL,"
        " folder INTEGER REFERENCES folders(id) ON DELETE CASCADE,"
        " size INTEGER NOT NULL DEFAULT -1, modified INTEGER NOT NULL DEFAULT -1,"
        " missing INTEGER NOT NULL DEFAULT 0, problem TEXT, UNIQUE(kind, path))",
        "CREATE INDEX files_folder ON files(folder)",
        "CREATE TABLE sounds(id INTEGER PRIMARY KEY, fingerprint INTEGER NOT NULL UNIQUE,"
        " parameters BLOB NOT NULL, name TEXT NOT NULL,"
        " favourite INTEGER NOT NULL DEFAULT 0, hidden INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE copies(id INTEGER PRIMARY KEY,"
        " sound INTEGER NOT NULL REFERENCES sounds(id),"
        " file INTEGER NOT NULL REFERENCES files(id) ON DELETE CASCADE,"
        " position INTEGER NOT NULL, name TEXT NOT NULL, UNIQUE(file, position, sound))",
        "CREATE INDEX copies_sound ON copies(sound)",
        "CREATE TABLE categories(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE)",
        "CREATE TABLE sound_categories(sound INTEGER NOT NULL REFERENCES sounds(id),"
        " category INTEGER NOT NULL REFERENCES categories(id) ON DELETE CASCADE,"
        " PRIMARY KEY(sound, category)) WITHOUT ROWID",
    },
    // 2: the categories every library starts with.
    {
        "INSERT OR IGNORE INTO categories(name) VALUES ('Bass'), ('Lead'), ('Pad'), ('Strings'),"
        " ('Brass'), ('Keys'), ('Organ'), ('Bell'), ('Sound Effect'), ('Percussion'),"
        " ('Sequence'), ('Other')",
    },
    // 3: the paths of watched folders and their files as the bytes the file system gave
    // (a blob), no longer as text, which could not hold a name that is not UTF-8. Such
    // names were kept with U+FFFD in their place and could never be read: their rows,
    // which hold no copies, go, and the next scan finds the files as they are.
    {
        "DELETE FROM files WHERE kind = 0 AND instr(path, char(65533)) > 0"
        " AND NOT EXISTS (SELECT 1 FROM copies WHERE copies.file = files.id)",
        "UPDATE files SET path = CAST(path AS BLOB) WHERE kind = 0 AND typeof(path) = 'text'",
        "UPDATE folders SET path = CAST(path AS BLOB) WHERE typeof(path) = 'text'",
    },
    // 4: done in code below.
    {},
}};

bool run(LibraryDatabase& database, QSqlQuery& query, const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    return database.exec(query);
}

// Sounds keyed by the patch as it is sent. Entries that now share a key are one sound:
// the first kept, with every copy, category, favourite mark of the others; it is hidden
// only when all of them were.
bool keyBySentPatch(LibraryDatabase& database) {
    QSqlDatabase& db = database.database();
    struct Sound {
        qint64 Id;
        uint64_t Fingerprint;
        bool Favourite;
        bool Hidden;
    };
    std::vector<Sound> sounds;
    Fingerprinter keyOf;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(
            QStringLiteral("SELECT id, parameters, favourite, hidden FROM sounds ORDER BY id"));
        if (!database.exec(query)) return false;
        while (query.next()) {
            PatchValues values{};
            unpackValues(query.value(1).toByteArray(), values);
            sounds.push_back({query.value(0).toLongLong(), keyOf(values), query.value(2).toBool(),
                              query.value(3).toBool()});
        }
    }
    QSqlQuery moveCopies(db);
    moveCopies.prepare(QStringLiteral("UPDATE OR IGNORE copies SET sound = ? WHERE sound = ?"));
    QSqlQuery moveCategories(db);
    moveCategories.prepare(
        QStringLiteral("INSERT OR IGNORE INTO sound_categories(sound, category)"
                       " SELECT ?, category FROM sound_categories WHERE sound = ?"));
    QSqlQuery marks(db);
    marks.prepare(QStringLiteral("UPDATE sounds SET favourite = ?, hidden = ? WHERE id = ?"));
    QSqlQuery setKey(db);
    setKey.prepare(QStringLiteral("UPDATE sounds SET fingerprint = ? WHERE id = ?"));
    std::vector<QSqlQuery> removals;
    for (const char* statement :
         {"DELETE FROM copies WHERE sound = ?", "DELETE FROM sound_categories WHERE sound = ?",
          "DELETE FROM sounds WHERE id = ?"}) {
        removals.emplace_back(db);
        removals.back().prepare(QLatin1String(statement));
    }

    // Keys no sound can have, first, so that no new key meets an old one on the way.
    if (!database.exec(QStringLiteral("UPDATE sounds SET fingerprint = -id"))) return false;
    QHash<quint64, std::size_t> first; // key -> the sound kept for it
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        const Sound& sound = sounds[i];
        const auto kept = first.constFind(sound.Fingerprint);
        if (kept == first.constEnd()) {
            first.insert(sound.Fingerprint, i);
            if (!run(database, setKey, {qint64(sound.Fingerprint), sound.Id})) return false;
            continue;
        }
        Sound& into = sounds[*kept];
        into.Favourite = into.Favourite || sound.Favourite;
        into.Hidden = into.Hidden && sound.Hidden;
        if (!run(database, moveCopies, {into.Id, sound.Id}) ||
            !run(database, moveCategories, {into.Id, sound.Id}) ||
            !run(database, marks, {int(into.Favourite), int(into.Hidden), into.Id}))
            return false;
        for (QSqlQuery& removal : removals)
            if (!run(database, removal, {sound.Id})) return false;
    }
    return true;
}

} // namespace

namespace LibraryMigrations {

bool step(LibraryDatabase& database, int version) {
    if (version < 0 || version >= kLatest) return false;
    for (const char* statement : kStatements[static_cast<std::size_t>(version)])
        if (!database.exec(QLatin1String(statement))) return false;
    if (version == 3) return keyBySentPatch(database);
    return true;
}

} // namespace LibraryMigrations
