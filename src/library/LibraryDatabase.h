#pragma once

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QSqlQuery;
class QTemporaryDir;

// The library's one file, shared by the program and the companion: SQLite in WAL mode,
// so that readers never wait for the writer, with a busy timeout, so that two writers
// take turns instead of failing, and a schema version with forward migrations. Opening
// deals with every bad state the file or its folder can be in, and says so in one line.
// A connection belongs to the thread that opened it.
class LibraryDatabase {
public:
    // The version this program writes; migrations lead from every earlier one to it.
    static constexpr int kSchemaVersion = 4;
    // A writer holds the file for one batch of a scan at most, well below this. Opening
    // waits as long for another program's write, also where SQLite itself will not.
    static constexpr int kBusyTimeoutMs = 15000;

    enum class Mode {
        Closed,
        Writable,
        ReadOnly,    // the file was written by a newer version of the program
        ThisRunOnly, // the folder cannot be written: a temporary copy, gone at the end
    };

    // $XDG_DATA_HOME/Quenlor/library.sqlite (by default ~/.local/share/Quenlor).
    static QString defaultPath();

    explicit LibraryDatabase(QString path);
    ~LibraryDatabase();
    LibraryDatabase(const LibraryDatabase&) = delete;
    LibraryDatabase& operator=(const LibraryDatabase&) = delete;

    // Opens the file and brings its schema up to date. Returns the one line the status
    // bar shows about a bad state, empty when all is well; the library is usable in
    // every mode but Closed, which only a failure of the temporary folder too leaves.
    QString open();
    Mode mode() const { return m_mode; }
    bool writable() const { return m_mode == Mode::Writable || m_mode == Mode::ThisRunOnly; }
    // The file was damaged and set aside: the new one is empty but for the watched
    // folders, which a scan fills again.
    bool rebuilt() const { return m_rebuilt; }
    QSqlDatabase& database() { return m_database; }
    // The file in use: the given one, or the temporary copy.
    const QString& path() const { return m_path; }

    int schemaVersion();
    // Runs the migrations from the file's version up to `target`, each step one
    // transaction; false when one fails (the file stays at the last step done).
    bool migrate(int target = kSchemaVersion);

    // The watched folders, id and path (the file system's bytes), in the order they were
    // added; nothing when the file cannot be read.
    std::optional<std::vector<std::pair<qint64, QByteArray>>> folders();

    // The watched folders, kept beside the file as well (one path a line), so that a
    // damaged file can be rebuilt from them.
    QString foldersListPath() const;
    void writeFoldersList();

    // A write that waits its turn (BEGIN IMMEDIATE) and is undone unless committed.
    class Transaction {
    public:
        explicit Transaction(LibraryDatabase& database);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        bool ok() const { return m_open; }
        bool commit();

    private:
        LibraryDatabase& m_database;
        bool m_open = false;
    };

    // Runs one statement; false on an error, which lastError() then holds.
    bool exec(const QString& statement);
    bool exec(QSqlQuery& query);
    QString lastError() const { return m_error; }
    // The last error was another program holding the file.
    bool lastErrorWasBusy() const { return m_busy; }

private:
    enum class Attempt { Opened, Damaged, Failed };
    Attempt tryOpen(const QString& path, bool readOnly);
    // Waits a moment when the patience of this opening is not spent; false when it is.
    bool waitTurn();
    void close();
    bool setAside();
    bool openThisRunOnly(const QString& existing);
    void restoreFoldersList();

    QString m_given;
    QString m_path;
    QString m_connection;
    QSqlDatabase m_database;
    Mode m_mode = Mode::Closed;
    bool m_rebuilt = false;
    QString m_error;
    bool m_busy = false;
    QDeadlineTimer m_patience; // while opening: how long another program's write is waited for
    std::unique_ptr<QTemporaryDir> m_temporary;
};
