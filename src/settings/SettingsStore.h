#pragma once

#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QSettings;

// The per-user settings store: all key/value texts of one section of the
// application, and the writing of one key.
class SettingsStore {
public:
    using Pairs = std::vector<std::pair<QString, QString>>;
    virtual ~SettingsStore() = default;
    // Nothing when the section does not exist.
    virtual Pairs readSection(const QString& section) = 0;
    virtual void writeKey(const QString& section, const QString& key, const QString& value) = 0;
    // Removes one key of a section; nothing when it is not there.
    virtual void removeKey(const QString& section, const QString& key) = 0;
    // The lines of a section that the store passed over itself, so that readSection never
    // shows them: a line that is no key and value, and one whose key a later line gives
    // again. None for a store that has no lines.
    virtual int passedOverLines(const QString& section) {
        (void)section;
        return 0;
    }
};

// The store in the user's own configuration: application "Quenlor", kept by QSettings
// (on Linux the INI file ~/.config/Quenlor/Quenlor.conf).
class QSettingsStore : public SettingsStore {
public:
    QSettingsStore();
    // A store in the given INI file, for tests and tools.
    explicit QSettingsStore(const QString& fileName);
    ~QSettingsStore() override;

    Pairs readSection(const QString& section) override;
    void writeKey(const QString& section, const QString& key, const QString& value) override;
    void removeKey(const QString& section, const QString& key) override;
    int passedOverLines(const QString& section) override;

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
