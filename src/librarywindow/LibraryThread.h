#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class LibraryDatabase;

// The library's database on a thread of its own: jobs run there one after another, in
// the order posted, so that neither a scan nor reading a large library holds up the
// windows. The database is made, used and closed on that thread only.
class LibraryThread {
public:
    using Job = std::function<void(LibraryDatabase&)>;

    explicit LibraryThread(const QString& path);
    // Stops a scan, runs the jobs still posted (the user's changes among them) and
    // closes the database.
    ~LibraryThread();
    LibraryThread(const LibraryThread&) = delete;
    LibraryThread& operator=(const LibraryThread&) = delete;

    void post(Job job);
    // Set to stop the scan that runs; a new scan clears it.
    std::atomic<bool>& cancel() { return m_cancel; }
    // The program is ending: scans and reads still posted are skipped.
    bool stopping() const { return m_stopping; }

private:
    QThread m_thread;
    QObject* m_context; // lives on the thread; the jobs run through its event queue
    std::unique_ptr<LibraryDatabase> m_database;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_stopping{false};
};
