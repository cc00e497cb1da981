#pragma once

#include "core/PatchBank.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct EditorContext;
struct PatchChange;
namespace UnsavedCopy {
struct Image;
}

// Keeps a copy of the bank on disk for as long as it differs from what was last opened
// or saved, and keeps the copies the user can restore: those left by programs that are
// no longer running, and the banks this program replaced while they had unsaved
// changes. Each copy is held by a lock while a running program owns it; copies are
// written and removed on a thread of their own, in the order they were asked for.
class UnsavedBank : public QObject {
    Q_OBJECT
public:
    // Every change is in the copy within this time: it is written on the next turn of
    // the event loop (all the changes of that turn in one copy), and no sooner than this
    // after the copy before (a slider dragged writes ten copies a second at most).
    static constexpr int kWriteGapMs = 100;
    // A copy goes to the disk (fsync) at the end of a gesture, and during one (a slider
    // dragged, a name typed) at most this often: a power cut loses at most the last
    // second, a killed program nothing.
    static constexpr int kSyncGapMs = 1000;
    static constexpr int kExpiryDays = 30;
    // Copies offered at most; past this the oldest goes.
    static constexpr std::size_t kMostKept = 20;

    // `folder`: where the copies live; `origin`: the bank's own file (empty without one).
    UnsavedBank(const QString& folder, EditorContext& context, const QString& origin);
    // A copy still due is written before the program ends.
    ~UnsavedBank() override;

    // $XDG_STATE_HOME/Quenlor, by default ~/.local/state/Quenlor.
    static QString defaultFolder();

    // A copy the user can restore.
    struct Copy {
        QString Path;
        QDateTime Time;
        QString Origin;         // the bank's own file, empty without one
        int ChangedPatches = 0; // patches that differ from that file, or from a new bank
        uint64_t Checksum = 0;  // a bank kept twice is offered once
    };
    // Newest first.
    const std::vector<Copy>& copies() const { return m_copies; }
    // How File > Restore Unsaved Bank names a copy: the bank's file and how much of it
    // is work not in the file, "live.bbk — 12/08/2026 14:05, 3 patches changed".
    static QString caption(const Copy& copy);

    // The bank now equals the file at `path` (opened or saved), or holds nothing to keep
    // (`path` empty: start-up, New Bank): no copy is needed until it changes.
    void markSaved(const QString& path);
    // The bank's values or names changed.
    void bankChanged();
    // The bank differs from what its file held when it was last opened or saved.
    bool unsavedChanges() const { return differsFromSaved(); }
    // An editor put values into range as it showed them: the file's content counts as
    // so corrected, and the change alone needs no copy.
    void corrected(const std::vector<PatchChange>& changes);
    // Around a replacement of the whole bank: a bank with unsaved changes that is
    // replaced keeps its copy, written before this program's own copy moves on.
    void replacingBank();
    void bankReplaced();

    // Looks for the copies that programs no longer running left behind; removes those
    // past their time and the locks of programs that died before writing a copy, sets
    // aside those that cannot be read and leaves those of a newer version alone.
    // Returns the note for the status bar, empty when there is nothing to say.
    QString lookForCopies();
    // Reads a copy. One that is gone, cannot be read or is of a newer version is offered
    // no more (a damaged one is set aside) and `note` says so.
    bool read(const QString& path, UnsavedCopy::Image& image, QString& note);
    // The copy has been read in: it is removed once this program's own copy holds the
    // bank, or at once when the bank needs no copy.
    void restored(const QString& path);

    // This program's own copy.
    QString copyPath() {
        takeCopyLock();
        return m_copyPath;
    }
    // A change waits for its copy to be written (on the next turn of the event loop).
    bool writePending() const { return m_writeTimer.isActive(); }
    // How long it waits, in milliseconds: no more than kWriteGapMs.
    int writeDelay() const { return m_writeTimer.interval(); }
    // Copies written, and copies put on the disk, so far (after waitForDisk()).
    int copiesWritten() const { return m_written; }
    int copiesSynced() const { return m_synced; }
    // A copy was written during a gesture and waits for its sync.
    bool syncPending() const { return m_unsynced; }
    // Takes the bank as it is now and hands the copy to the writing thread, or has the
    // copy removed when nothing is unsaved any more.
    void startWrite();
    // Writes (or removes) the copy at once instead of waiting; then waits for the disk.
    void writeNow();
    void waitForDisk();
    // The program ends: the copy is written now and follows no change after.
    void finish();
    // The gesture of the last change has ended: a copy written during it goes to the disk.
    void gestureEnded();

signals:
    void copiesChanged();
    // Work cannot be kept on disk; said once, and again only after a copy was written.
    void cannotKeep(const QString& reason);
    // A copy was written after cannotKeep.
    void keptAgain();

private:
    // Values and names as they stand, or as a file held them.
    struct Content {
        Bank Values;
        std::array<QString, kPatchSlots> Names;
    };
    struct Replaced {
        Content Bank;
        QString Origin;
    };
    Content current() const;
    bool equalsBank(const Content& content) const;
    bool differsFromSaved() const;
    // A new copy's name in the folder, with its lock held; none, and why, when the
    // folder cannot be written.
    std::optional<QString> newCopy(std::unique_ptr<QLockFile>& lock, QString& reason);
    // Takes over the copy's name and lock once the writing thread has them.
    void takeCopyLock();
    bool haveCopyPath();
    // `sync`: the copy goes to the disk as it is written, or waits for syncCopy().
    // `generation`: the own copy's write, 0 for another copy's.
    void queueWrite(const QString& path, std::function<std::string()> bytes, bool sync,
                    uint64_t generation = 0);
    void syncCopy();
    void written(bool ok, int error);
    void tell(const QString& reason);
    void removeCopy();
    void keep(const Replaced& replaced);
    bool offered(uint64_t checksum, const QString& origin) const;
    void addCopy(Copy copy, std::unique_ptr<QLockFile> lock);
    void dropCopy(const QString& path, bool removeFile);
    int changedPatches(const UnsavedCopy::Image& copy) const;
    QString setAside(const QString& path, const QDateTime& time);

    QString m_folder;
    EditorContext& m_context;
    const QString& m_origin;
    QString m_copyPath;
    std::unique_ptr<QLockFile> m_lock; // none while the folder cannot be written
    // The lock as the writing thread takes it at start-up, until it is taken over.
    struct TakenLock {
        std::unique_ptr<QLockFile> Lock;
        QString Path;
    };
    std::future<TakenLock> m_takingLock;
    bool m_copyMayExist = false;
    bool m_finished = false;
    bool m_told = false;
    bool m_newerTold = false;
    std::atomic<int> m_lastError{0};

    // What each file held when this program last opened or saved it ("": a new bank).
    QHash<QString, Content> m_saved;
    bool m_replacing = false;
    std::optional<Replaced> m_replaced;

    std::vector<Copy> m_copies;
    std::map<QString, std::shared_ptr<QLockFile>> m_copyLocks;

    QTimer m_writeTimer;       // a change waits for its copy
    QElapsedTimer m_lastWrite; // when the last copy was handed to the writing thread
    QTimer m_syncTimer;        // a copy written without a sync waits for its sync
    QElapsedTimer m_lastSync;
    bool m_unsynced = false; // a copy was written without a sync since the last one
    // The own copy's writes handed over; one that a newer write follows is skipped, and
    // the sync it was to make falls to that one.
    std::atomic<uint64_t> m_newestWrite{0};
    std::atomic<bool> m_syncOwed{false};
    std::atomic<int> m_written{0};
    std::atomic<int> m_synced{0};
    QThreadPool m_pool; // one thread: writes and removals keep their order
};
