#include "UnsavedBank.h"

#include "core/QuenlorCode.h"
#include "editors/EditorContext.h"
#include "editors/Patch.h"
#include "storage/UnsavedCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

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

// The names as a bank file holds them: 8-bit text.
std::array<std::string, kPatchSlots> fileNames(const Patch* list) {
    std::array<std::string, kPatchSlots> names;
    if (list)
        for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
            names[static_cast<std::size_t>(patch)] =
                list->PatchName(patch).toLatin1().toStdString();
    return names;
}
} // namespace

QString UnsavedBank::defaultFolder() {
    // The XDG rule for the state folder, which this Qt does not name yet.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) + "/.local/state";
    return base + "/Quenlor";
}

UnsavedBank::UnsavedBank(const QString& folder, EditorContext& context, const QString& origin)
    : m_folder(folder), m_context(context), m_origin(origin) {
    m_pool.setMaxThreadCount(1);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kWriteDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &UnsavedBank::startWrite);
    // The copy's lock is held from start to end, so that no other program takes the
    // copy for one left behind. A name already locked (two programs started in one
    // millisecond) gives way to the next.
    if (QDir().mkpath(folder)) {
        const QString stem = kPrefix +
                             QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz") +
                             QStringLiteral("-%1").arg(QCoreApplication::applicationPid());
        for (int i = 0; i < kNameTries && !m_lock; ++i) {
            const QString name = i == 0 ? stem : stem + QStringLiteral("-%1").arg(i);
            const QString path = QDir(folder).filePath(name + kSuffix);
            auto lock = std::make_unique<QLockFile>(path + kLockSuffix);
            lock->setStaleLockTime(0);
            if (!QFileInfo::exists(path) && lock->tryLock(0)) {
                m_lock = std::move(lock);
                m_copyPath = path;
            }
        }
    }
    markSaved();
}

UnsavedBank::~UnsavedBank() {
    writeNow();
}

void UnsavedBank::markSaved() {
    m_savedValues = m_context.Code.PatchBank;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        m_savedNames[patch] =
            m_context.PatchWindow ? m_context.PatchWindow->PatchName(patch) : QString();
    bankChanged();
}

bool UnsavedBank::differsFromSaved() const {
    if (m_context.Code.PatchBank != m_savedValues) return true;
    if (!m_context.PatchWindow) return false;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        if (m_context.PatchWindow->PatchName(patch) != m_savedNames[patch]) return true;
    return false;
}

// A change starts the wait; changes during it are in the copy written at its end.
void UnsavedBank::bankChanged() {
    if (differsFromSaved()) {
        if (!m_timer.isActive()) m_timer.start();
        return;
    }
    m_timer.stop();
    if (m_copyMayExist) removeCopy();
}

void UnsavedBank::writeNow() {
    if (m_timer.isActive()) {
        m_timer.stop();
        startWrite();
    }
    waitForDisk();
}

// The bank is taken here, on the windows' thread, in a few microseconds; the copy is
// made and put on the disk by the pool's thread.
void UnsavedBank::startWrite() {
    if (!m_lock) return;
    if (!differsFromSaved()) {
        bankChanged();
        return;
    }
    m_copyMayExist = true;
    m_pool.start([path = toPath(m_copyPath), values = m_context.Code.PatchBank,
                  names = fileNames(m_context.PatchWindow), origin = toPath(m_origin)] {
        UnsavedCopy::Write(path, UnsavedCopy::encode(values, names, origin));
    });
}

void UnsavedBank::removeCopy() {
    m_copyMayExist = false;
    m_pool.start([path = m_copyPath] { QFile::remove(path); });
}

QString UnsavedBank::lookForCopies() {
    QString note;
    const QDateTime now = QDateTime::currentDateTime();
    // A program killed while it wrote its copy leaves the half-written file beside it
    // (the copy itself is whole: it is replaced only once the new one is on the disk).
    const QFileInfoList halfWritten = QDir(m_folder).entryInfoList(
        {"." + kPrefix + "*" + kSuffix + ".save-*"}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& file : halfWritten)
        if (file.lastModified().addSecs(kHalfWrittenSeconds) < now)
            QFile::remove(file.absoluteFilePath());
    const QFileInfoList copies =
        QDir(m_folder).entryInfoList({kPrefix + "*" + kSuffix}, QDir::Files, QDir::Time);
    for (const QFileInfo& copy : copies) { // newest first
        const QString path = copy.absoluteFilePath();
        if (path == m_copyPath) continue;
        auto lock = std::make_unique<QLockFile>(path + kLockSuffix);
        lock->setStaleLockTime(0);       // a running program's lock never goes stale
        if (!lock->tryLock(0)) continue; // the program that writes it is still running
        if (copy.lastModified().addDays(kExpiryDays) <= now) {
            QFile::remove(path);
            continue;
        }
        if (hasOffer()) continue; // an older copy waits for a later start
        UnsavedCopy::Image image;
        if (UnsavedCopy::read(toPath(path), image) != UnsavedCopy::ReadResult::Ok) {
            note = setAside(path, copy.lastModified());
            continue;
        }
        m_offerPath = path;
        m_offerTime = copy.lastModified();
        m_offerLock = std::move(lock);
    }
    return note;
}

bool UnsavedBank::readOffer(UnsavedCopy::Image& image, QString& note) {
    if (!hasOffer()) return false;
    const UnsavedCopy::ReadResult result = UnsavedCopy::read(toPath(m_offerPath), image);
    if (result == UnsavedCopy::ReadResult::Ok) return true;
    if (result == UnsavedCopy::ReadResult::Missing)
        note = QStringLiteral("The unsaved bank from %1 is no longer there")
                   .arg(QLocale().toString(m_offerTime, QLocale::ShortFormat));
    else
        note = setAside(m_offerPath, m_offerTime);
    releaseOffer();
    return false;
}

void UnsavedBank::discardOffer() {
    if (!hasOffer()) return;
    QFile::remove(m_offerPath);
    releaseOffer();
}

void UnsavedBank::releaseOffer() {
    m_offerLock.reset(); // unlocking removes the lock file
    m_offerPath.clear();
    m_offerTime = QDateTime();
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
        .arg(QLocale().toString(time, QLocale::ShortFormat), QDir::toNativeSeparators(target));
}
