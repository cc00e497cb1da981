#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class LibraryDatabase;

// What one scan did, for the status bar and the companion.
struct ScanSummary {
    int Files = 0;     // patch files found in the watched folders
    int Read = 0;      // of them read anew, being new or changed
    int Patches = 0;   // copies found in the files read
    int NewSounds = 0; // sounds the library did not hold before
    int Missing = 0;   // files gone since the last scan
    int Problems = 0;  // files and folders that could not be read, now
    QStringList LinksOut;     // "link → target": followed out of the watched folders
    QStringList LinksRefused; // the same for links into the system's folders, not followed
    bool Cancelled = false;
    QString Error; // the database refused a write: the scan stopped there

    // "1000 files, 12 read, 888 patches, 40 new sounds, 2 gone, 1 not readable", and the
    // first link of each kind.
    QString text() const;
};

// Scans the watched folders, recursively, for .bbk, .b01, .syx and .mid files, and
// reads those that are new or whose size or time changed. A file that cannot be read is
// recorded with the reason and never stops the scan; a file no longer there is marked
// missing, and its sounds stay. Runs on the caller's thread with the caller's database;
// the program runs it on a thread of its own, the companion on its only one.
class LibraryScanner {
public:
    // Larger files are refused unread: no file of patches comes near.
    static constexpr qint64 kMaxFileSize = 16 << 20;
    // Files read per write transaction: other programs wait for one batch at most.
    static constexpr int kBatch = 25;

    explicit LibraryScanner(LibraryDatabase& database) : m_database(database) {}

    // Asked between files; a scan stops soon after it is set, keeping what it wrote.
    void setCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    // Called after each file read, with the files read so far and the number to read.
    void setProgress(std::function<void(int done, int total)> progress) {
        m_progress = std::move(progress);
    }

    ScanSummary scan();

private:
    bool cancelled() const { return m_cancel && m_cancel->load(); }

    LibraryDatabase& m_database;
    const std::atomic<bool>* m_cancel = nullptr;
    std::function<void(int, int)> m_progress;
};
