#pragma once

#include "ParameterTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

inline constexpr int kFirstPatch = 1;
inline constexpr int kLastPatch = 74;
inline constexpr int kPatchSlots = 75; // slot 0 exists but holds no patch

// The values of one patch apart from the bank, by parameter number; slot 0 is unused.
using PatchValues = std::array<int16_t, kParameterSlots>;

// The one bank of patches the program edits: signed 16-bit values indexed
// [patch][parameter]. The bank stores what it is given; editors keep values in range.
class Bank {
public:
    int16_t& operator()(int patch, int parameter) { return m_values[index(patch, parameter)]; }
    int16_t operator()(int patch, int parameter) const { return m_values[index(patch, parameter)]; }

    // The 64 cells of one patch, checked once; for code that works on a whole patch.
    const int16_t* row(int patch) const { return &m_values[index(patch, 0)]; }
    int16_t* row(int patch) { return &m_values[index(patch, 0)]; }

    // The patch's values 1..63 (slot 0 as 0), and the same written back.
    PatchValues values(int patch) const {
        PatchValues values{};
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            values[static_cast<std::size_t>(p)] = (*this)(patch, p);
        return values;
    }
    void setValues(int patch, const PatchValues& values) {
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            (*this)(patch, p) = values[static_cast<std::size_t>(p)];
    }

    bool operator==(const Bank& other) const { return m_values == other.m_values; }
    bool operator!=(const Bank& other) const { return !(*this == other); }

private:
    // Patch and parameter numbers come from the callers' own fixed ranges; anything
    // else is a programming error and stops at once rather than touching other cells.
    static std::size_t index(int patch, int parameter) {
        if (patch < 0 || patch >= kPatchSlots || parameter < 0 || parameter >= kParameterSlots)
            outOfRange();
        return static_cast<std::size_t>(patch) * kParameterSlots + static_cast<std::size_t>(parameter);
    }
    [[noreturn]] static void outOfRange() {
        throw std::out_of_range("patch or parameter number outside the bank");
    }
    std::array<int16_t, kPatchSlots * kParameterSlots> m_values{};
};
