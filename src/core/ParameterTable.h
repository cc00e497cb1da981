#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// How the program encodes and shows each of the 63 numbered parameters of a patch.
inline constexpr int kFirstParameter = 1;
inline constexpr int kLastParameter = 63;
inline constexpr int kParameterSlots = 64; // slot 0 exists but holds no parameter

// How the grouped editor shows a parameter.
enum EditorKinds : int16_t {
    EditorWaveType = 1, // one-of-three LFO wave list
    EditorOctave = 2,   // one-of-four octave list
    EditorFlag = 3,     // check box
    EditorSlider = 4,   // slider with value box
};

// Which of the nine dump encoders writes a parameter, as the instrument packs it.
enum EncodeKinds : int16_t {
    EncodeWaveChoices = 1,   // both LFO wave choices and the LFO invert flag in one byte
    EncodeDestinations = 2,  // the eight LFO destination flags, one bit each
    EncodeWaveforms = 3,     // the six DCO waveform flags, one bit each
    EncodeDco1Pitch = 4,     // DCO1 octave group and semitone: octave * 12 + semitone
    EncodeDco2Pitch = 5,     // the same for DCO2
    EncodeWholeByte = 6,     // the value as it is
    EncodeSixBits = 7,       // the value in bits 2..7
    EncodeFiveBits = 8,      // the value in bits 3..7
    EncodeDetuneByte = 9,    // bit 7 set, the value in bits 1..6
};

struct ParameterRow {
    int16_t EncodeKind;   // EncodeKinds
    int16_t DumpPosition; // even, 0..72; the data byte is DumpPosition / 2
    int16_t EditorKind;   // EditorKinds
    int16_t MaxValue;     // largest value; the smallest is 0
};

// The instrument's parameter table, one row per parameter number, row 0 unused.
inline constexpr std::array<ParameterRow, kParameterSlots> kParameterRows = {{
    {0, 0, 0, 0},
    /*  1 */ {1, 70, 1, 1},
    /*  2 */ {1, 70, 1, 1},
    /*  3 */ {1, 70, 1, 1},
    /*  4 */ {2, 68, 3, 1},
    /*  5 */ {2, 68, 3, 1},
    /*  6 */ {2, 68, 3, 1},
    /*  7 */ {2, 68, 3, 1},
    /*  8 */ {6, 60, 4, 63},
    /*  9 */ {6, 64, 4, 63},
    /* 10 */ {7, 4, 4, 63},
    /* 11 */ {7, 2, 4, 63},
    /* 12 */ {7, 0, 4, 63},
    /* 13 */ {6, 48, 4, 63},
    /* 14 */ {6, 50, 4, 63},
    /* 15 */ {7, 32, 4, 63},
    /* 16 */ {6, 52, 4, 63},
    /* 17 */ {7, 38, 4, 63},
    /* 18 */ {7, 36, 4, 63},
    /* 19 */ {7, 28, 4, 63},
    /* 20 */ {7, 30, 4, 63},
    /* 21 */ {7, 34, 4, 63},
    /* 22 */ {7, 40, 4, 63},
    /* 23 */ {1, 70, 3, 1},
    /* 24 */ {4, 20, 2, 1},
    /* 25 */ {4, 20, 2, 1},
    /* 26 */ {4, 20, 2, 1},
    /* 27 */ {4, 20, 2, 1},
    /* 28 */ {3, 72, 3, 1},
    /* 29 */ {3, 72, 3, 1},
    /* 30 */ {3, 72, 3, 1},
    /* 31 */ {4, 20, 4, 11},
    /* 32 */ {8, 24, 4, 30},
    /* 33 */ {7, 16, 4, 63},
    /* 34 */ {7, 14, 4, 63},
    /* 35 */ {5, 22, 2, 1},
    /* 36 */ {5, 22, 2, 1},
    /* 37 */ {5, 22, 2, 1},
    /* 38 */ {5, 22, 2, 1},
    /* 39 */ {3, 72, 3, 1},
    /* 40 */ {3, 72, 3, 1},
    /* 41 */ {3, 72, 3, 1},
    /* 42 */ {5, 22, 4, 11},
    /* 43 */ {8, 26, 4, 30},
    /* 44 */ {7, 18, 4, 63},
    /* 45 */ {9, 10, 4, 63},
    /* 46 */ {7, 44, 4, 63},
    /* 47 */ {7, 46, 4, 63},
    /* 48 */ {7, 12, 4, 63},
    /* 49 */ {6, 54, 4, 63},
    /* 50 */ {6, 56, 4, 63},
    /* 51 */ {7, 42, 4, 63},
    /* 52 */ {6, 58, 4, 63},
    /* 53 */ {1, 70, 1, 1},
    /* 54 */ {1, 70, 1, 1},
    /* 55 */ {1, 70, 1, 1},
    /* 56 */ {2, 68, 3, 1},
    /* 57 */ {2, 68, 3, 1},
    /* 58 */ {2, 68, 3, 1},
    /* 59 */ {2, 68, 3, 1},
    /* 60 */ {6, 62, 4, 63},
    /* 61 */ {6, 66, 4, 63},
    /* 62 */ {7, 8, 4, 63},
    /* 63 */ {7, 6, 4, 63},
}};

// A choice kept as one flag per option. The member with the highest number wins in the
// dump; where one must be on, a new patch has the first member on and the editors show
// the first member when none is.
struct SwitchGroup {
    int16_t FirstMember;
    int16_t Count;
    bool OneRequired;

    constexpr int16_t lastMember() const { return static_cast<int16_t>(FirstMember + Count - 1); }
    constexpr bool holds(int p) const { return p >= FirstMember && p <= lastMember(); }
    // The choices the group offers: one per member, and "none" where none is required.
    constexpr int choices() const { return OneRequired ? Count : Count + 1; }

    // The member a patch's values choose, as an index into the group: the highest member
    // at 1, the one the dump carries; -1 when none is.
    constexpr int chosenMember(const int16_t* values) const {
        int chosen = -1;
        for (int m = 0; m < Count; ++m)
            if (values[FirstMember + m] == 1) chosen = m;
        return chosen;
    }
    // Sets member `chosen` alone; any other index leaves every member off.
    constexpr void choose(int16_t* values, int chosen) const {
        for (int m = 0; m < Count; ++m)
            values[FirstMember + m] = m == chosen ? 1 : 0;
    }
};

inline constexpr SwitchGroup kLfo1Waves{1, 3, false};
inline constexpr SwitchGroup kDco1Octaves{24, 4, true};
inline constexpr SwitchGroup kDco2Octaves{35, 4, true};
inline constexpr SwitchGroup kLfo2Waves{53, 3, false};
inline constexpr std::array<SwitchGroup, 4> kSwitchGroups = {
    kLfo1Waves, kDco1Octaves, kDco2Octaves, kLfo2Waves};

// The switch group that parameter p is a member of, or nullptr.
constexpr const SwitchGroup* switchGroupOf(int p) {
    for (const SwitchGroup& group : kSwitchGroups)
        if (group.holds(p))
            return &group;
    return nullptr;
}

// The table as the running program holds it: filled once at start-up by
// BuildParameterTable and never changed afterwards.
class ParamTable {
public:
    int16_t EncodeKind(int p) const { return row(p).EncodeKind; }
    int16_t DumpPosition(int p) const { return row(p).DumpPosition; }
    int16_t EditorKind(int p) const { return row(p).EditorKind; }
    int16_t MaxValue(int p) const { return row(p).MaxValue; }

    void store(const std::array<ParameterRow, kParameterSlots>& rows) { m_rows = rows; }

private:
    // Parameter numbers come from the callers' fixed ranges; 0..63 always lies inside.
    const ParameterRow& row(int p) const { return m_rows[static_cast<std::size_t>(p) & 63]; }
    std::array<ParameterRow, kParameterSlots> m_rows{};
};

void BuildParameterTable(ParamTable& table);
