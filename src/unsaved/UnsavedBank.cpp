#include "UnsavedBank.h"

#include "core/QuenlorCode.h"
#include "editors/BankHistory.h"
#include "editors/BankStep.h"
#include "editors/EditorContext.h"
#include "editors/Patch.h"
#include "storage/SaveFile.h"
#include "storage/UnsavedCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
const QString kPrefix = QStringLiteral("unsaved-");
const QString kSuffix = QStringLiteral(".bbk");
const QString kLockSuffix = QStringLiteral(".lock");
const QString kSetAsideFolder = QStringLiteral("set-aside");
constexpr int kNameTries = 100;
// Older than this, a half-written copy belongs to no running program.
constexpr int kHalfWrittenSeconds = 3600;

std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The names as a bank file holds them: 8-bit text.
std::array<std::string, kPatchSlots> fileNames(const std::array<QString, kPatchSlots>& names) {
    std::array<std::string, kPatchSlots> bytes;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        bytes[std::size_t(patch)] = names[std::size_t(patch)].toLatin1().toStdString();
    return bytes;
}

std::unique_ptr<QLockFile> lockFor(const QString& copy) {
    auto lock = std::make_unique<QLockFile>(copy + kLockSuffix);
    lock->setStaleLockTime(0); // a running program's lock never goes stale
    return lock;
}

QString when(const QDateTime& time) {
    return QLocale().toString(time, QLocale::ShortFormat);
}

// Why no copy can be kept, with the folder it was to go to.
QString problem(int error, const QString& folder) {
    return QString::fromLocal8Bit(std::strerror(error != 0 ? error : EIO)) + " (" +
           QDir::toNativeSeparators(folder) + ")";
}

QString newerNote(const QDateTime& time) {
    return QStringLiteral("The unsaved bank from %1 was kept by a newer version of Quenlor and "
                          "is left for it")
        .arg(when(time));
}
} // namespace

QString UnsavedBank::defaultFolder() {
    // The XDG rule for the state folder, which this Qt does not name yet.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) + "/.local/state";
    return base + "/Quenlor";
}

QString UnsavedBank::caption(const Copy& copy) {
    const QString bank =
        copy.Origin.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(copy.Origin).fileName();
    const QString changed = copy.ChangedPatches == 1
                                ? QStringLiteral("1 patch changed")
                                : QStringLiteral("%1 patches changed").arg(copy.ChangedPatches);
    return QStringLiteral("%1 \u2014 %2, %3").arg(bank, when(copy.Time), changed);
}

UnsavedBank::UnsavedBank(const QString& folder, EditorContext& context, const QString& origin)
    : m_folder(folder), m_context(context), m_origin(origin) {
    m_pool.setMaxThreadCount(1);
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &UnsavedBank::startWrite);
    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &UnsavedBank::syncCopy);
    // The copy's lock is held from start to end, so that no other program takes the
    // copy for one left behind. Taking it waits for the disk, so the writing thread takes
    // it, before any copy it writes, while the windows come up. A folder that cannot be
    // written is tried again, and reported, once a copy is due.
    auto taking = std::make_shared<std::promise<TakenLock>>();
    m_takingLock = taking->get_future();
    m_pool.start([this, taking] {
        TakenLock taken;
        QString reason;
        if (const auto path = newCopy(taken.Lock, reason)) taken.Path = *path;
        taking->set_value(std::move(taken));
    });
    markSaved(QString());
}

UnsavedBank::~UnsavedBank() {
    finish();
}

// A name already locked (two programs started in one millisecond) gives way to the next.
std::optional<QString> UnsavedBank::newCopy(std::unique_ptr<QLockFile>& lock, QString& reason) {
    errno = 0;
    if (!QDir().mkpath(m_folder)) {
        reason = problem(errno, m_folder);
        return std::nullopt;
    }
    const QString stem = kPrefix + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz") +
                         QStringLiteral("-%1").arg(QCoreApplication::applicationPid());
    for (int i = 0; i < kNameTries; ++i) {
        const QString name = i == 0 ? stem : stem + QStringLiteral("-%1").arg(i);
        const QString path = QDir(m_folder).filePath(name + kSuffix);
        auto candidate = lockFor(path);
        if (!QFileInfo::exists(path) && candidate->tryLock(0)) {
            lock = std::move(candidate);
            return path;
        }
        if (candidate->error() == QLockFile::PermissionError) break;
    }
    reason = problem(EACCES, m_folder);
    return std::nullopt;
}

void UnsavedBank::takeCopyLock() {
    if (!m_takingLock.valid()) return;
    TakenLock taken = m_takingLock.get();
    m_lock = std::move(taken.Lock);
    m_copyPath = taken.Path;
}

bool UnsavedBank::haveCopyPath() {
    takeCopyLock();
    if (m_lock) return true;
    QString reason;
    if (const auto path = newCopy(m_lock, reason)) {
        m_copyPath = *path;
        return true;
    }
    tell(reason);
    return false;
}

UnsavedBank::Content UnsavedBank::current() const {
    Content content{m_context.Code.PatchBank, {}};
    if (const Patch* list = m_context.PatchWindow)
        for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
            content.Names[std::size_t(patch)] = list->PatchName(patch);
    return content;
}

bool UnsavedBank::equalsBank(const Content& content) const {
    if (m_context.Code.PatchBank != content.Values) return false;
    const Patch* list = m_context.PatchWindow;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        if ((list ? list->PatchName(patch) : QString()) != content.Names[std::size_t(patch)])
            return false;
    return true;
}

// A bank whose file this program never read or wrote (a restored copy's) differs.
bool UnsavedBank::differsFromSaved() const {
    const auto saved = m_saved.constFind(m_origin);
    return saved == m_saved.cend() || !equalsBank(*saved);
}

void UnsavedBank::markSaved(const QString& path) {
    m_saved.insert(path, current());
    bankChanged();
}

// What the windows show is in the copy within kWriteGapMs, so that a program killed
// straight after a change keeps it. The copy is written once the change's turn of the
// event loop is over, so that a command changing many patches writes one copy; a copy
// that waits takes every change that comes meanwhile.
void UnsavedBank::bankChanged() {
    if (m_finished) return;
    if (differsFromSaved()) {
        if (m_writeTimer.isActive()) return;
        const qint64 since = m_lastWrite.isValid() ? m_lastWrite.elapsed() : kWriteGapMs;
        m_writeTimer.start(int(std::clamp<qint64>(kWriteGapMs - since, 0, kWriteGapMs)));
        return;
    }
    m_writeTimer.stop();
    // While the bank is being replaced its copy stays: it may be the one to keep.
    if (m_copyMayExist && !m_replacing) removeCopy();
}

void UnsavedBank::gestureEnded() {
    // A copy that waits is written as one that ends a gesture, and synced then.
    if (m_unsynced && !m_writeTimer.isActive()) syncCopy();
}

void UnsavedBank::syncCopy() {
    m_syncTimer.stop();
    if (!m_unsynced) return;
    m_unsynced = false;
    m_lastSync.start();
    m_pool.start([this, path = toPath(m_copyPath)] {
        if (syncToDisk(path)) ++m_synced;
    });
}

void UnsavedBank::corrected(const std::vector<PatchChange>& changes) {
    const auto saved = m_saved.find(m_origin);
    if (saved == m_saved.end()) return;
    for (const PatchChange& change : changes) {
        const int16_t* was = saved->Values.row(change.Patch);
        if (!std::equal(change.ValuesBefore.begin(), change.ValuesBefore.end(), was) ||
            saved->Names[std::size_t(change.Patch)] != change.NameBefore)
            continue;
        for (int p = 0; p < kParameterSlots; ++p)
            saved->Values(change.Patch, p) = change.ValuesAfter[std::size_t(p)];
        saved->Names[std::size_t(change.Patch)] = change.NameAfter;
    }
}

void UnsavedBank::replacingBank() {
    m_replacing = true;
    m_replaced.reset();
    if (differsFromSaved()) m_replaced = Replaced{current(), m_origin};
}

// The kept bank's copy is asked for before this program's own copy is rewritten or
// removed, and the writing thread keeps that order: one of them is always on the disk.
void UnsavedBank::bankReplaced() {
    m_replacing = false;
    if (m_replaced && !equalsBank(m_replaced->Bank)) keep(*m_replaced);
    m_replaced.reset();
    bankChanged();
}

bool UnsavedBank::offered(uint64_t checksum, const QString& origin) const {
    return std::any_of(m_copies.begin(), m_copies.end(), [&](const Copy& copy) {
        return copy.Checksum == checksum && copy.Origin == origin;
    });
}

void UnsavedBank::keep(const Replaced& replaced) {
    const std::string bytes = UnsavedCopy::encode(
        replaced.Bank.Values, fileNames(replaced.Bank.Names), toPath(replaced.Origin));
    UnsavedCopy::Image image;
    UnsavedCopy::decode(bytes, image);
    // Undo and redo can replace the same bank again and again: it is kept once.
    if (offered(image.Checksum, replaced.Origin)) return;
    std::unique_ptr<QLockFile> lock;
    QString reason;
    const std::optional<QString> path = newCopy(lock, reason);
    if (!path) {
        tell(reason);
        return;
    }
    queueWrite(*path, [bytes] { return bytes; }, true);
    addCopy({*path, QDateTime::currentDateTime(), replaced.Origin, changedPatches(image),
             image.Checksum},
            std::move(lock));
}

void UnsavedBank::addCopy(Copy copy, std::unique_ptr<QLockFile> lock) {
    const auto place = std::find_if(m_copies.begin(), m_copies.end(),
                                    [&](const Copy& c) { return c.Time < copy.Time; });
    m_copyLocks[copy.Path] = std::move(lock);
    m_copies.insert(place, std::move(copy));
    while (m_copies.size() > kMostKept)
        dropCopy(m_copies.back().Path, true);
    emit copiesChanged();
}

void UnsavedBank::dropCopy(const QString& path, bool removeFile) {
    m_copies.erase(std::remove_if(m_copies.begin(), m_copies.end(),
                                  [&](const Copy& c) { return c.Path == path; }),
                   m_copies.end());
    std::shared_ptr<QLockFile> lock = std::move(m_copyLocks[path]);
    m_copyLocks.erase(path);
    // The lock goes with the file, so that no other program takes the copy in between;
    // a copy still being written is removed after it.
    if (removeFile) m_pool.start([path, lock] { QFile::remove(path); });
    emit copiesChanged();
}

// What waits is written, and what was written without a sync is synced: the program or
// the session is about to end.
void UnsavedBank::writeNow() {
    if (m_writeTimer.isActive()) {
        m_writeTimer.stop();
        startWrite();
    }
    syncCopy();
    waitForDisk();
}

void UnsavedBank::waitForDisk() {
    m_pool.waitForDone();
    // What the disk answered is taken in now, not on a later turn of the event loop.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void UnsavedBank::finish() {
    writeNow();
    m_finished = true;
    m_syncTimer.stop();
}

// The bank is taken here, on the windows' thread, in a few microseconds; the copy is
// made and put on the disk by the pool's thread. It is synced at once when it ends a
// gesture or the last sync is a second old; otherwise a second after the last sync.
void UnsavedBank::startWrite() {
    m_writeTimer.stop();
    if (m_finished) return;
    if (!differsFromSaved()) {
        bankChanged();
        return;
    }
    // A folder that could not be written is tried again with each change.
    if (!haveCopyPath()) return;
    m_copyMayExist = true;
    m_lastWrite.start();
    const BankHistory* history = m_context.History;
    const bool sync = !(history && history->gestureOpen()) || !m_lastSync.isValid() ||
                      m_lastSync.elapsed() >= kSyncGapMs;
    const Content bank = current();
    queueWrite(
        m_copyPath,
        [values = bank.Values, names = fileNames(bank.Names), origin = toPath(m_origin)] {
            return UnsavedCopy::encode(values, names, origin);
        },
        sync, ++m_newestWrite);
    if (sync) {
        m_syncTimer.stop();
        m_unsynced = false;
        m_lastSync.start();
    } else if (!m_unsynced) {
        m_unsynced = true;
        m_syncTimer.start(int(std::max<qint64>(0, kSyncGapMs - m_lastSync.elapsed())));
    }
}

void UnsavedBank::queueWrite(const QString& path, std::function<std::string()> bytes, bool sync,
                             uint64_t generation) {
    m_pool.start([this, path = toPath(path), bytes = std::move(bytes), sync, generation] {
        if (generation != 0 && generation != m_newestWrite) {
            if (sync) m_syncOwed = true;
            return;
        }
        const bool toDisk = sync || (generation != 0 && m_syncOwed.exchange(false));
        int error = 0;
        const bool ok = UnsavedCopy::Write(path, bytes(), &error,
                                           toDisk ? SaveFile::Sync::ToDisk : SaveFile::Sync::Later);
        m_lastError = ok ? 0 : error;
        if (ok) {
            ++m_written;
            if (toDisk) ++m_synced;
        }
        QMetaObject::invokeMethod(
            this, [this, ok, error] { written(ok, error); }, Qt::QueuedConnection);
    });
}

void UnsavedBank::written(bool ok, int error) {
    if (m_finished) return;
    if (ok) {
        if (m_told) emit keptAgain();
        m_told = false;
        return;
    }
    tell(problem(error, m_folder));
}

void UnsavedBank::tell(const QString& reason) {
    if (m_told) return;
    m_told = true;
    emit cannotKeep(reason);
}

void UnsavedBank::removeCopy() {
    m_copyMayExist = false;
    m_unsynced = false;
    m_syncTimer.stop();
    m_pool.start([path = m_copyPath] { QFile::remove(path); });
}

QString UnsavedBank::lookForCopies() {
    takeCopyLock(); // this program's own copy is not one to offer
    QStringList notes;
    const QDateTime now = QDateTime::currentDateTime();
    const QDir folder(m_folder);
    // A program killed while it wrote its copy leaves the half-written file beside it
    // (the copy itself is whole: it is replaced only once the new one is on the disk).
    const QFileInfoList halfWritten = folder.entryInfoList(
        {"." + kPrefix + "*" + kSuffix + ".save-*"}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& file : halfWritten)
        if (file.lastModified().addSecs(kHalfWrittenSeconds) < now)
            QFile::remove(file.absoluteFilePath());
    // A program that ended before it wrote a copy leaves its lock alone: a lock whose
    // program is no longer running is taken over, and so removed.
    const QFileInfoList locks =
        folder.entryInfoList({kPrefix + "*" + kSuffix + kLockSuffix}, QDir::Files);
    for (const QFileInfo& file : locks) {
        const QString copy = file.absoluteFilePath().chopped(kLockSuffix.size());
        if (QFileInfo::exists(copy)) continue;
        if (auto lock = lockFor(copy); lock->tryLock(0)) lock->unlock();
    }
    const QFileInfoList found =
        folder.entryInfoList({kPrefix + "*" + kSuffix}, QDir::Files, QDir::Time);
    for (const QFileInfo& file : found) { // newest first
        const QString path = file.absoluteFilePath();
        if (path == m_copyPath || m_copyLocks.count(path) != 0) continue;
        auto lock = lockFor(path);
        if (!lock->tryLock(0)) continue; // the program that keeps it is still running
        UnsavedCopy::Image image;
        const UnsavedCopy::ReadResult result = UnsavedCopy::read(toPath(path), image);
        // Only a version that can read a copy decides what becomes of it.
        if (result == UnsavedCopy::ReadResult::Newer) {
            if (!m_newerTold) notes << newerNote(file.lastModified());
            m_newerTold = true;
            continue;
        }
        if (file.lastModified().addDays(kExpiryDays) <= now) {
            QFile::remove(path);
            continue;
        }
        if (result == UnsavedCopy::ReadResult::Missing) continue;
        if (result != UnsavedCopy::ReadResult::Ok) {
            notes << setAside(path, file.lastModified());
            continue;
        }
        const QString origin = fromPath(image.Origin);
        // The same bank left twice (a bank kept and then left again) is offered once.
        if (offered(image.Checksum, origin)) {
            QFile::remove(path);
            continue;
        }
        addCopy({path, file.lastModified(), origin, changedPatches(image), image.Checksum},
                std::move(lock));
    }
    return notes.join(QStringLiteral("  "));
}

bool UnsavedBank::read(const QString& path, UnsavedCopy::Image& image, QString& note) {
    const auto copy = std::find_if(m_copies.begin(), m_copies.end(),
                                   [&](const Copy& c) { return c.Path == path; });
    if (copy == m_copies.end()) return false;
    const QDateTime time = copy->Time;
    waitForDisk(); // a bank this program replaced may still be on its way there
    switch (UnsavedCopy::read(toPath(path), image)) {
    case UnsavedCopy::ReadResult::Ok:
        return true;
    case UnsavedCopy::ReadResult::Missing:
        note = QStringLiteral("The unsaved bank from %1 is no longer there").arg(when(time));
        break;
    case UnsavedCopy::ReadResult::Newer:
        note = newerNote(time);
        break;
    case UnsavedCopy::ReadResult::Damaged:
        note = setAside(path, time);
        break;
    }
    dropCopy(path, false);
    return false;
}

// Until this program's own copy holds the bank, the restored copy is the only one on
// the disk: it stays while that copy cannot be written.
void UnsavedBank::restored(const QString& path) {
    writeNow();
    takeCopyLock();
    if (differsFromSaved() && (!m_lock || m_lastError != 0)) return;
    dropCopy(path, true);
}

int UnsavedBank::changedPatches(const UnsavedCopy::Image& copy) const {
    const QString origin = fromPath(copy.Origin);
    Content base;
    UnsavedCopy::Image file;
    if (const auto saved = m_saved.constFind(origin); saved != m_saved.cend()) {
        base = *saved;
    } else if (!origin.isEmpty() && QFileInfo(origin).isFile() &&
               UnsavedCopy::readBankFile(copy.Origin, file) == UnsavedCopy::ReadResult::Ok) {
        for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
            const auto n = std::size_t(patch);
            for (int p = kFirstParameter; p <= kLastParameter; ++p)
                base.Values(patch, p) = file.Values[n][std::size_t(p)];
            base.Names[n] =
                QString::fromLatin1(file.Names[n].data(), qsizetype(file.Names[n].size()));
        }
    } else {
        // Without its file, the work is all that differs from a new bank.
        QuenlorCode fresh;
        fresh.ClearBank();
        base.Values = fresh.PatchBank;
    }
    int changed = 0;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        const auto n = std::size_t(patch);
        bool differs = QString::fromLatin1(copy.Names[n].data(), qsizetype(copy.Names[n].size())) !=
                       base.Names[n];
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            differs = differs || copy.Values[n][std::size_t(p)] != base.Values(patch, p);
        changed += differs ? 1 : 0;
    }
    return changed;
}

// A copy that cannot be read is never loaded in part and never deleted: it goes into a
// folder of its own, where the user can look at it.
QString UnsavedBank::setAside(const QString& path, const QDateTime& time) {
    const QDir folder(m_folder);
    folder.mkpath(kSetAsideFolder);
    const QString name = QFileInfo(path).fileName();
    QString target = folder.filePath(kSetAsideFolder + "/" + name);
    for (int i = 1; QFileInfo::exists(target) && i < kNameTries; ++i)
        target = folder.filePath(kSetAsideFolder + QStringLiteral("/%1.%2").arg(name).arg(i));
    if (!QFile::rename(path, target)) target = path;
    return QStringLiteral("The unsaved bank from %1 could not be read and was set aside as %2")
        .arg(when(time), QDir::toNativeSeparators(target));
}
