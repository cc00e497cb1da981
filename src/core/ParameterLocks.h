#pragma once

#include "ParameterTable.h"

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parameters that mutating, randomizing, morphing and breeding leave alone. A switch
// group is one choice, so it locks as a whole: locking or unlocking any member does it to
// every member, and the set never holds part of a group.
class ParameterLocks {
public:
    bool locked(int parameter) const;
    void setLocked(int parameter, bool locked);
    void clear() { m_locked.reset(); }
    bool empty() const { return m_locked.none(); }
    // The locked parameter numbers, ascending.
    std::vector<int> parameters() const;

    // "4,5,13": the locked numbers, ascending and comma-separated, as the settings keep them.
    std::string text() const;
    // Reads such a list: blanks around a number are allowed, an empty list locks nothing.
    // Nothing when an entry is not a parameter number 1..63.
    static std::optional<ParameterLocks> fromText(std::string_view text);
    // The same, taking what can be read: an entry that is no parameter number is passed
    // over, as a damaged settings store may hold one.
    static ParameterLocks fromTextLeniently(std::string_view text);

    bool operator==(const ParameterLocks& other) const { return m_locked == other.m_locked; }
    bool operator!=(const ParameterLocks& other) const { return !(*this == other); }

private:
    // Reads the list; false at the first entry that is no parameter number, unless lenient.
    static bool read(std::string_view text, bool lenient, ParameterLocks& locks);
    std::bitset<kParameterSlots> m_locked;
};
