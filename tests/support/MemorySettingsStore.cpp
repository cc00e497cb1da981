#include "MemorySettingsStore.h"

SettingsStore::Pairs MemorySettingsStore::readSection(const QString& section) {
    for (const auto& s : m_sections)
        if (s.first == section)
            return s.second;
    return {};
}

void MemorySettingsStore::writeKey(const QString& section, const QString& key, const QString& value) {
    Writes.push_back({section, key, value});
    auto s = m_sections.begin();
    while (s != m_sections.end() && s->first != section)
        ++s;
    if (s == m_sections.end()) {
        m_sections.emplace_back(section, Pairs{});
        s = m_sections.end() - 1;
    }
    for (auto& pair : s->second) {
        if (pair.first == key) {
            pair.second = value;
            return;
        }
    }
    s->second.emplace_back(key, value);
}

void MemorySettingsStore::removeKey(const QString& section, const QString& key) {
    for (auto& s : m_sections)
        for (auto pair = s.second.begin(); pair != s.second.end();)
            pair = s.first == section && pair->first == key ? s.second.erase(pair) : pair + 1;
}
