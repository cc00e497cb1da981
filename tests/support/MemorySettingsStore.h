#pragma once

#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"

#include <utility>
#include <vector>

// A store in memory for tests: sections and keys in the order they were first
// written, and a log of every write.
class MemorySettingsStore : public SettingsStore {
public:
    struct Write {
        QString Section, Key, Value;
        bool operator==(const Write& other) const {
            return Section == other.Section && Key == other.Key && Value == other.Value;
        }
    };

    Pairs readSection(const QString& section) override;
    void writeKey(const QString& section, const QString& key, const QString& value) override;
    void removeKey(const QString& section, const QString& key) override;

    // Every write, in order.
    std::vector<Write> Writes;

private:
    std::vector<std::pair<QString, Pairs>> m_sections;
};
