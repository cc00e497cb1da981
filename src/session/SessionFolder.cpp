#include "SessionFolder.h"

#include "core/PatchBank.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// A settings file the program wrote is a few kilobytes; a larger one is not copied.
constexpr qint64 kLongestSettings = 4 << 20;

QString kept(SettingsStore& store, const char* key) {
    for (const auto& [name, value] : store.readSection(SessionFolder::kSection))
        if (name == QLatin1String(key)) return value;
    return QString();
}
} // namespace

QString SessionFolder::bankFile() const { return QDir(m_path).filePath(kBankFile); }
QString SessionFolder::settingsFile() const { return QDir(m_path).filePath(kSettingsFile); }

bool SessionFolder::prepare(const QString& userSettings, QString& reason) const {
    const QFileInfo folder(m_path);
    if (folder.exists() && !folder.isDir()) {
        reason = "'" + m_path + "' is not a folder";
        return false;
    }
    if (!QDir().mkpath(m_path)) {
        reason = "Cannot create the folder '" + m_path + "'";
        return false;
    }
    if (QFileInfo::exists(settingsFile())) return true;
    QFile user(userSettings);
    if (!user.open(QIODevice::ReadOnly) || user.size() > kLongestSettings) return true;
    const QByteArray settings = user.readAll();
    // Whole or not at all: a session whose copy failed starts from the defaults.
    QSaveFile copy(settingsFile());
    if (!copy.open(QIODevice::WriteOnly) || copy.write(settings) != settings.size() || !copy.commit()) {
        reason = "Cannot write '" + settingsFile() + "'";
        return false;
    }
    return true;
}

int SessionFolder::selectedPatch(SettingsStore& store) {
    bool number = false;
    const int patch = kept(store, kPatchKey).toInt(&number);
    return number && patch >= kFirstPatch && patch <= kLastPatch ? patch : kFirstPatch;
}

bool SessionFolder::windowShown(SettingsStore& store) {
    return kept(store, kShownKey) == QLatin1String("true");
}

void SessionFolder::keepSelectedPatch(SettingsStore& store, int patch) {
    store.writeKey(kSection, kPatchKey, QString::number(patch));
}

void SessionFolder::keepWindowShown(SettingsStore& store, bool shown) {
    store.writeKey(kSection, kShownKey, shown ? "true" : "false");
}
