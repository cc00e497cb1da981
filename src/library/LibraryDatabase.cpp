#include "LibraryDatabase.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <array>
#include <vector>

namespace {
const QString kFileName = QStringLiteral("library.sqlite");
const QString kFoldersListName = QStringLiteral("library-folders.txt");
const QString kDriver = QStringLiteral("QSQLITE");
// SQLite's own codes for a file that is damaged or no database at all.
const QString kCorrupt = QStringLiteral("11");
const QString kNotADatabase = QStringLiteral("26");

// Each step takes the schema from the version before it to its own; a step once
// released never changes, so that every older file arrives at the same schema.
const std::array<std::vector<const char*>, LibraryDatabase::kSchemaVersion> kMigrations = {{
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
}};

bool isDamage(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == kCorrupt || code == kNotADatabase;
}

QString describe(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}
} // namespace

QString LibraryDatabase::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quenlor/") + kFileName;
}

LibraryDatabase::LibraryDatabase(QString path) : m_given(std::move(path)) {
    static QAtomicInteger<quint64> counter;
    m_connection = QStringLiteral("quenlor-library-%1").arg(++counter);
}

LibraryDatabase::~LibraryDatabase() { close(); }

void LibraryDatabase::close() {
    if (!m_database.isValid()) return;
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool LibraryDatabase::exec(const QString& statement) {
    QSqlQuery query(m_database);
    if (query.exec(statement)) return true;
    m_error = describe(query.lastError());
    return false;
}

bool LibraryDatabase::exec(QSqlQuery& query) {
    if (query.exec()) return true;
    m_error = describe(query.lastError());
    return false;
}

LibraryDatabase::Attempt LibraryDatabase::tryOpen(const QString& path, bool readOnly) {
    close();
    m_database = QSqlDatabase::addDatabase(kDriver, m_connection);
    m_database.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (readOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    m_database.setConnectOptions(options);
    if (!m_database.open()) {
        m_error = describe(m_database.lastError());
        return isDamage(m_database.lastError()) ? Attempt::Damaged : Attempt::Failed;
    }
    // Opening reads nothing yet: these are the first reads of the file's header and
    // schema, where a file that is not a database, or a damaged one, shows.
    std::vector<QString> statements = {QStringLiteral("PRAGMA foreign_keys = ON"),
                                       QStringLiteral("SELECT count(*) FROM sqlite_master"),
                                       QStringLiteral("PRAGMA quick_check(1)")};
    if (!readOnly) {
        // WAL: readers and the one writer never wait for each other; NORMAL loses at
        // most the last writes on a power cut, never the file.
        statements.insert(statements.begin(), {QStringLiteral("PRAGMA journal_mode = WAL"),
                                               QStringLiteral("PRAGMA synchronous = NORMAL")});
    }
    for (const QString& statement : statements) {
        QSqlQuery query(m_database);
        if (!query.exec(statement)) {
            m_error = describe(query.lastError());
            return isDamage(query.lastError()) ? Attempt::Damaged : Attempt::Failed;
        }
        if (statement.contains(QLatin1String("quick_check")) && query.next() &&
            query.value(0).toString() != QLatin1String("ok")) {
            m_error = query.value(0).toString();
            return Attempt::Damaged;
        }
    }
    return Attempt::Opened;
}

int LibraryDatabase::schemaVersion() {
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) return -1;
    return query.value(0).toInt();
}

bool LibraryDatabase::migrate(int target) {
    for (;;) {
        Transaction transaction(*this);
        if (!transaction.ok()) return false;
        // Read inside the transaction: another program may have migrated meanwhile.
        const int version = schemaVersion();
        if (version < 0) return false;
        if (version >= target) return true;
        for (const char* statement : kMigrations[static_cast<std::size_t>(version)])
            if (!exec(QLatin1String(statement))) return false;
        if (!exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1))) return false;
        if (!transaction.commit()) return false;
    }
}

QString LibraryDatabase::open() {
    m_rebuilt = false;
    const QString folder = QFileInfo(m_given).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        const bool opened = openThisRunOnly(m_given);
        return opened ? QStringLiteral("The library folder %1 cannot be written: the library "
                                       "is kept for this run only")
                            .arg(QDir::toNativeSeparators(folder))
                      : QStringLiteral("The library cannot be opened: %1").arg(m_error);
    }
    m_path = m_given;
    QString notice;
    Attempt attempt = tryOpen(m_path, false);
    if (attempt == Attempt::Damaged) {
        const QString aside = m_given + QStringLiteral(".damaged-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        close();
        if (QFile::rename(m_given, aside)) {
            // The journal belongs to the damaged file and must not be replayed into the
            // new one.
            for (const char* suffix : {"-wal", "-shm"})
                QFile::rename(m_given + QLatin1String(suffix), aside + QLatin1String(suffix));
            attempt = tryOpen(m_path, false);
            m_rebuilt = attempt == Attempt::Opened;
            notice = QStringLiteral("The library file was damaged: it was set aside as %1 "
                                    "and is built again from the watched folders")
                         .arg(QFileInfo(aside).fileName());
        }
    }
    if (attempt != Attempt::Opened) {
        const QString why = m_error;
        if (!openThisRunOnly(QString()))
            return QStringLiteral("The library cannot be opened: %1").arg(why);
        return QStringLiteral("The library cannot be opened (%1): a library for this run only "
                              "is used")
            .arg(why);
    }
    if (schemaVersion() > kSchemaVersion) {
        if (tryOpen(m_path, true) != Attempt::Opened) {
            close();
            return QStringLiteral("The library cannot be opened: %1").arg(m_error);
        }
        m_mode = Mode::ReadOnly;
        return QStringLiteral("The library was written by a newer version of Quenlor: it is "
                              "shown read-only");
    }
    if (!migrate()) {
        const QString why = m_error;
        close();
        return QStringLiteral("The library cannot be brought up to date: %1").arg(why);
    }
    m_mode = Mode::Writable;
    if (m_rebuilt) restoreFoldersList();
    return notice;
}

// A copy of the file, if there is one, in a temporary folder: what the library held
// can be searched, and changes last until the program ends.
bool LibraryDatabase::openThisRunOnly(const QString& existing) {
    m_temporary = std::make_unique<QTemporaryDir>();
    if (!m_temporary->isValid()) {
        m_error = m_temporary->errorString();
        close();
        m_mode = Mode::Closed;
        return false;
    }
    m_path = m_temporary->filePath(kFileName);
    if (!existing.isEmpty() && QFileInfo::exists(existing)) {
        QFile::copy(existing, m_path);
        QFile::copy(existing + QStringLiteral("-wal"), m_path + QStringLiteral("-wal"));
    }
    Attempt attempt = tryOpen(m_path, false);
    if (attempt == Attempt::Damaged || schemaVersion() > kSchemaVersion) {
        close();
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(m_path + QLatin1String(suffix));
        attempt = tryOpen(m_path, false);
    }
    if (attempt != Attempt::Opened || !migrate()) {
        close();
        m_mode = Mode::Closed;
        return false;
    }
    m_mode = Mode::ThisRunOnly;
    return true;
}

QString LibraryDatabase::foldersListPath() const {
    return QFileInfo(m_given).absolutePath() + QLatin1Char('/') + kFoldersListName;
}

std::optional<std::vector<std::pair<qint64, QString>>> LibraryDatabase::folders() {
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("SELECT id, path FROM folders ORDER BY id"))) {
        m_error = describe(query.lastError());
        return std::nullopt;
    }
    std::vector<std::pair<qint64, QString>> found;
    while (query.next())
        found.emplace_back(query.value(0).toLongLong(), query.value(1).toString());
    return found;
}

void LibraryDatabase::writeFoldersList() {
    if (m_mode != Mode::Writable) return;
    const auto watched = folders();
    if (!watched) return;
    QByteArray text;
    for (const auto& folder : *watched)
        text += folder.second.toUtf8() + '\n';
    QSaveFile file(foldersListPath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
        file.commit();
    }
}

void LibraryDatabase::restoreFoldersList() {
    QFile file(foldersListPath());
    if (!file.open(QIODevice::ReadOnly)) return;
    QSqlQuery insert(m_database);
    insert.prepare(QStringLiteral("INSERT OR IGNORE INTO folders(path) VALUES (?)"));
    // No folder list of a musician comes near this; a larger file is not ours.
    constexpr qint64 kMaxListBytes = 1 << 20;
    for (const QByteArray& line : file.read(kMaxListBytes).split('\n')) {
        const QString path = QString::fromUtf8(line).trimmed();
        if (!path.startsWith(QLatin1Char('/'))) continue;
        insert.bindValue(0, path);
        insert.exec();
    }
}

LibraryDatabase::Transaction::Transaction(LibraryDatabase& database) : m_database(database) {
    m_open = m_database.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

LibraryDatabase::Transaction::~Transaction() {
    if (m_open) m_database.exec(QStringLiteral("ROLLBACK"));
}

bool LibraryDatabase::Transaction::commit() {
    if (!m_open) return false;
    m_open = false;
    if (m_database.exec(QStringLiteral("COMMIT"))) return true;
    m_database.exec(QStringLiteral("ROLLBACK"));
    return false;
}
