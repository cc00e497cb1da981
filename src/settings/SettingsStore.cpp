#include "SettingsStore.h"

#include <QFile>
#include <QSet>
#include <QSettings>
#include <QStringList>

namespace {
const char* const kApplication = "Quenlor";
// Texts longer than this are no setting the program wrote; they are read as empty so
// that a damaged store cannot make the program carry them around.
constexpr qsizetype kLongestValue = 4096;
// A settings file the program wrote is a few kilobytes; what lies beyond this is not
// looked at for lines passed over.
constexpr qint64 kLongestFile = 4 << 20;
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

// The file's lines as QSettings reads them: sections in brackets (a section written twice
// is one), comments after ';', a line ending in a backslash going on in the next, keys
// and values either side of the first '='. QSettings drops a line with no '=' or with a
// key of a subsection, and keeps the last of a key's lines, without a word; those are
// counted here.
int QSettingsStore::passedOverLines(const QString& section) {
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = file.read(kLongestFile);
    const QByteArray wanted = section.toUtf8();
    QSet<QByteArray> keys;
    bool inSection = false;
    int passedOver = 0;
    QByteArray line;
    for (QByteArray piece : text.split('\n')) {
        if (piece.endsWith('\r')) piece.chop(1);
        line += piece;
        if (line.endsWith('\\')) {
            line.chop(1);
            continue;
        }
        const QByteArray trimmed = line.trimmed();
        line.clear();
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            inSection = trimmed.mid(1, close < 0 ? -1 : close - 1) == wanted;
            continue;
        }
        if (!inSection || trimmed.isEmpty() || trimmed.startsWith(';')) continue;
        // A key with a slash or a backslash names a key of a subsection.
        const qsizetype equals = trimmed.indexOf('=');
        const QByteArray key = trimmed.left(equals).trimmed();
        if (equals < 0 || key.contains('/') || key.contains('\\') || keys.contains(key))
            ++passedOver;
        else
            keys.insert(key);
    }
    return passedOver;
}
