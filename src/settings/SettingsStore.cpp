#include "SettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace {
const char* const kApplication = "Quenlor";
// Texts longer than this are no setting the program wrote; they are read as empty so
// that a damaged store cannot make the program carry them around.
constexpr qsizetype kLongestValue = 4096;
} // namespace

// Only the user's own store is read: the files QSettings would merge in besides it (the
// organisation's and the system's) could make an empty store give other than defaults.
QSettingsStore::QSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             kApplication, kApplication)) {
    m_settings->setFallbacksEnabled(false);
}

QSettingsStore::QSettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
    m_settings->setFallbacksEnabled(false);
}

QSettingsStore::~QSettingsStore() = default;

QString QSettingsStore::fileName() const { return m_settings->fileName(); }

SettingsStore::Pairs QSettingsStore::readSection(const QString& section) {
    Pairs pairs;
    m_settings->beginGroup(section);
    const QStringList keys = m_settings->childKeys();
    for (const QString& key : keys) {
        const QVariant value = m_settings->value(key);
        // An unquoted hand-written value with commas comes back as a list.
        QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(", ") : value.toString();
        if (text.size() > kLongestValue)
            text.clear();
        pairs.emplace_back(key, text);
    }
    m_settings->endGroup();
    return pairs;
}

void QSettingsStore::writeKey(const QString& section, const QString& key, const QString& value) {
    m_settings->beginGroup(section);
    m_settings->setValue(key, value);
    m_settings->endGroup();
    m_settings->sync();
}

void QSettingsStore::removeKey(const QString& section, const QString& key) {
    m_settings->beginGroup(section);
    m_settings->remove(key);
    m_settings->endGroup();
    m_settings->sync();
}
