#pragma once

// Holds one of the program's own flags at a value for as long as it lives, and sets it
// to its after-value when it goes, however the scope ends: an early return or an
// exception can never leave a window's "my own writes" flag or the sending gate set.
template <typename T>
class ScopedFlag {
public:
    // Puts back the value the flag had.
    ScopedFlag(T& flag, T during) : ScopedFlag(flag, during, flag) {}
    // Leaves the flag at `after`, whatever it was before.
    ScopedFlag(T& flag, T during, T after) : m_flag(flag), m_after(after) { m_flag = during; }
    ~ScopedFlag() { m_flag = m_after; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    T& m_flag;
    T m_after;
};
