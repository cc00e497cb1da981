#pragma once

#include "core/PatchBank.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <array>
#include <memory>

struct EditorContext;
namespace UnsavedCopy {
struct Image;
}

// Keeps a copy of the bank on disk for as long as it differs from what was last opened
// or saved, and finds the copies left by programs that are no longer running. Each
// running program writes its own copy, held by a lock; copies are written and removed
// on a thread of their own, in the order they were asked for.
class UnsavedBank : public QObject {
    Q_OBJECT
public:
    // The copy follows a change within this time.
    static constexpr int kWriteDelayMs = 1000;
    static constexpr int kExpiryDays = 30;

    // `folder`: where the copies live; `origin`: the bank's own file (empty without one).
    UnsavedBank(const QString& folder, EditorContext& context, const QString& origin);
    // A copy still due is written before the program ends.
    ~UnsavedBank() override;

    // $XDG_STATE_HOME/Quenlor, by default ~/.local/state/Quenlor.
    static QString defaultFolder();

    // The bank now equals what is in a file (opened or saved), or holds nothing to keep
    // (start-up, New Bank): no copy is needed until it changes.
    void markSaved();
    // The bank's values or names changed.
    void bankChanged();

    // Looks for the newest copy that a program no longer running left behind; removes
    // copies past their time and sets aside those that cannot be read. Returns the note
    // for the status bar, empty when there is nothing to say.
    QString lookForCopies();
    bool hasOffer() const { return !m_offerPath.isEmpty(); }
    QDateTime offerTime() const { return m_offerTime; }
    // Reads the offered copy. A copy that cannot be read is set aside and `note` says so.
    bool readOffer(UnsavedCopy::Image& image, QString& note);
    // The offered copy has been read in: it is removed.
    void discardOffer();

    // This program's own copy.
    QString copyPath() const { return m_copyPath; }
    bool writePending() const { return m_timer.isActive(); }
    int writeDelay() const { return m_timer.interval(); }
    // What the wait ends in: takes the bank as it is now and hands the copy to the
    // writing thread, or has the copy removed when nothing is unsaved any more.
    void startWrite();
    // Writes (or removes) the copy at once instead of waiting; then waits for the disk.
    void writeNow();
    void waitForDisk() { m_pool.waitForDone(); }

private:
    bool differsFromSaved() const;
    void removeCopy();
    QString setAside(const QString& path, const QDateTime& time);
    void releaseOffer();

    QString m_folder;
    EditorContext& m_context;
    const QString& m_origin;
    QString m_copyPath;
    std::unique_ptr<QLockFile> m_lock; // none when the folder cannot be written
    bool m_copyMayExist = false;

    Bank m_savedValues;
    std::array<QString, kPatchSlots> m_savedNames;

    QString m_offerPath;
    QDateTime m_offerTime;
    std::unique_ptr<QLockFile> m_offerLock;

    QTimer m_timer;
    QThreadPool m_pool; // one thread: writes and removals keep their order
};
