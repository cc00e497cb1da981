#include "LibraryDatabase.h"

#include "LibraryMigrations.h"
#include "LibraryRescue.h"

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
#include <QThread>

#include <vector>

static_assert(LibraryDatabase::kSchemaVersion == LibraryMigrations::kLatest);

namespace {
const QString kFileName = QStringLiteral("library.sqlite");
const QString kFoldersListName = QStringLiteral("library-folders.txt");
const QString kDriver = QStringLiteral("QSQLITE");
// SQLite's own codes for a file that is damaged or no database at all.
const QString kCorrupt = QStringLiteral("11");
const QString kNotADatabase = QStringLiteral("26");

// SQLite's codes for a file another connection holds: waited for, never a reason to
// give up on the file.
constexpr int kBusy = 5;
constexpr int kLocked = 6;
// Between two tries at a file another program holds.
constexpr int kRetryPauseMs = 20;

bool isBusy(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xFF; // the primary code of an extended one
    return code == kBusy || code == kLocked;
}

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
    m_busy = isBusy(query.lastError());
    return false;
}

bool LibraryDatabase::exec(QSqlQuery& query) {
    if (query.exec()) return true;
    m_error = describe(query.lastError());
    m_busy = isBusy(query.lastError());
    return false;
}

bool LibraryDatabase::waitTurn() {
    if (m_patience.hasExpired()) return false;
    QThread::msleep(kRetryPauseMs);
    return true;
}

LibraryDatabase::Attempt LibraryDatabase::tryOpen(const QString& path, bool readOnly) {
    close();
    m_database = QSqlDatabase::addDatabase(kDriver, m_connection);
    m_database.setDatabaseName(path);
    // The driver sets the busy timeout as it opens the file, before any statement.
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
        // SQLite answers "busy" at once, without waiting, where waiting could deadlock
        // (the journal mode switched while another program reads): tried again within
        // the same patience as every other statement.
        while (!query.exec(statement)) {
            if (isBusy(query.lastError()) && waitTurn()) continue;
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
    // A step that another program's write kept waiting is undone and tried again.
    const auto retry = [this] { return m_busy && waitTurn(); };
    for (;;) {
        Transaction transaction(*this);
        if (!transaction.ok()) {
            if (retry()) continue;
            return false;
        }
        // Read inside the transaction: another program may have migrated meanwhile.
        const int version = schemaVersion();
        if (version < 0) return false;
        if (version >= target) return true;
        if (!LibraryMigrations::step(*this, version) ||
            !exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1)) ||
            !transaction.commit()) {
            if (retry()) continue;
            return false;
        }
    }
}

QString LibraryDatabase::open() {
    m_rebuilt = false;
    m_patience = QDeadlineTimer(kBusyTimeoutMs);
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
    std::optional<LibraryRescue> rescue;
    Attempt attempt = tryOpen(m_path, false);
    if (attempt == Attempt::Damaged) {
        const QString aside = m_given + QStringLiteral(".damaged-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        close();
        // What can still be read of the user's own work, before the file goes aside.
        rescue = LibraryRescue::read(m_given);
        if (QFile::rename(m_given, aside)) {
            // The journal belongs to the damaged file and must not be replayed into the
            // new one.
            for (const char* suffix : {"-wal", "-shm"})
                QFile::rename(m_given + QLatin1String(suffix), aside + QLatin1String(suffix));
            attempt = tryOpen(m_path, false);
            m_rebuilt = attempt == Attempt::Opened;
            const QString carried = rescue->text();
            notice = QStringLiteral("The library file was damaged: it was set aside as %1%2; it "
                                    "is built again from the watched folders")
                         .arg(QFileInfo(aside).fileName(),
                              carried.isEmpty() ? QString() : QStringLiteral("; ") + carried);
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
    if (m_rebuilt) {
        restoreFoldersList();
        if (rescue && !rescue->writeInto(*this))
            notice += QStringLiteral(" (what was carried over could not be kept: %1)").arg(m_error);
        writeFoldersList();
    }
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

std::optional<std::vector<std::pair<qint64, QByteArray>>> LibraryDatabase::folders() {
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("SELECT id, path FROM folders ORDER BY id"))) {
        m_error = describe(query.lastError());
        return std::nullopt;
    }
    std::vector<std::pair<qint64, QByteArray>> found;
    while (query.next())
        found.emplace_back(query.value(0).toLongLong(), query.value(1).toByteArray());
    return found;
}

void LibraryDatabase::writeFoldersList() {
    if (m_mode != Mode::Writable) return;
    const auto watched = folders();
    if (!watched) return;
    QByteArray text;
    for (const auto& folder : *watched)
        text += folder.second + '\n';
    QSaveFile file(foldersListPath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
        file.commit();
    }
}

// One path a line, as the file system's bytes.
void LibraryDatabase::restoreFoldersList() {
    QFile file(foldersListPath());
    if (!file.open(QIODevice::ReadOnly)) return;
    QSqlQuery insert(m_database);
    insert.prepare(QStringLiteral("INSERT OR IGNORE INTO folders(path) VALUES (?)"));
    // No folder list of a musician comes near this; a larger file is not ours.
    constexpr qint64 kMaxListBytes = 1 << 20;
    for (QByteArray line : file.read(kMaxListBytes).split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (!line.startsWith('/')) continue;
        insert.bindValue(0, line);
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
