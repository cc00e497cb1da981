#include "ParameterNames.h"

#include "ParameterTable.h"

#include <array>

namespace {
struct Name {
    const char* section;
    const char* label;
    const char* choice; // for the members of a switch group
};

constexpr const char* kLfo1 = "LFO1";
constexpr const char* kLfo2 = "LFO2";
constexpr const char* kDco1 = "DCO1";
constexpr const char* kDco2 = "DCO2";
constexpr const char* kVcf = "VCF";
constexpr const char* kVca = "VCA";

// One row per parameter number, as the grouped editor's controls are captioned.
constexpr std::array<Name, kParameterSlots> kNames = {{
    {"", "", nullptr},
    /*  1 */ {kLfo1, "Type", "Triangle"},
    /*  2 */ {kLfo1, "Type", "Sawtooth"},
    /*  3 */ {kLfo1, "Type", "Pulse"},
    /*  4 */ {kLfo1, "DCO1", nullptr},
    /*  5 */ {kLfo1, "DCO2", nullptr},
    /*  6 */ {kLfo1, "VCF", nullptr},
    /*  7 */ {kLfo1, "VCA", nullptr},
    /*  8 */ {kLfo1, "Delay", nullptr},
    /*  9 */ {kLfo1, "Rate", nullptr},
    /* 10 */ {kLfo1, "[Rate]", nullptr},
    /* 11 */ {kLfo1, "Depth", nullptr},
    /* 12 */ {kLfo1, "WheelAmt", nullptr},
    /* 13 */ {kVcf, "A", nullptr},
    /* 14 */ {kVcf, "D", nullptr},
    /* 15 */ {kVcf, "S", nullptr},
    /* 16 */ {kVcf, "R", nullptr},
    /* 17 */ {kVcf, "[A]", nullptr},
    /* 18 */ {kVcf, "Track", nullptr},
    /* 19 */ {kVcf, "CutOff", nullptr},
    /* 20 */ {kVcf, "Res", nullptr},
    /* 21 */ {kVcf, "Env", nullptr},
    /* 22 */ {kVcf, "[Env]", nullptr},
    /* 23 */ {kVcf, "Invert", nullptr},
    /* 24 */ {kDco1, "Octave", "32'"},
    /* 25 */ {kDco1, "Octave", "16'"},
    /* 26 */ {kDco1, "Octave", "8'"},
    /* 27 */ {kDco1, "Octave", "4'"},
    /* 28 */ {kDco1, "Triangle", nullptr},
    /* 29 */ {kDco1, "Sawtooth", nullptr},
    /* 30 */ {kDco1, "Pulse", nullptr},
    /* 31 */ {kDco1, "Freq", nullptr},
    /* 32 */ {kDco1, "PW", nullptr},
    /* 33 */ {kDco1, "[PW]", nullptr},
    /* 34 */ {kDco1, "Noise", nullptr},
    /* 35 */ {kDco2, "Octave", "32'"},
    /* 36 */ {kDco2, "Octave", "16'"},
    /* 37 */ {kDco2, "Octave", "8'"},
    /* 38 */ {kDco2, "Octave", "4'"},
    /* 39 */ {kDco2, "Triangle", nullptr},
    /* 40 */ {kDco2, "Sawtooth", nullptr},
    /* 41 */ {kDco2, "Pulse", nullptr},
    /* 42 */ {kDco2, "Freq", nullptr},
    /* 43 */ {kDco2, "PW", nullptr},
    /* 44 */ {kDco2, "[PW]", nullptr},
    /* 45 */ {kDco2, "Detune", nullptr},
    /* 46 */ {kVca, "[A]", nullptr},
    /* 47 */ {kVca, "[Amt]", nullptr},
    /* 48 */ {kVca, "Prg Vol", nullptr},
    /* 49 */ {kVca, "A", nullptr},
    /* 50 */ {kVca, "D", nullptr},
    /* 51 */ {kVca, "S", nullptr},
    /* 52 */ {kVca, "R", nullptr},
    /* 53 */ {kLfo2, "Type", "Triangle"},
    /* 54 */ {kLfo2, "Type", "Sawtooth"},
    /* 55 */ {kLfo2, "Type", "Pulse"},
    /* 56 */ {kLfo2, "DCO1", nullptr},
    /* 57 */ {kLfo2, "DCO2", nullptr},
    /* 58 */ {kLfo2, "VCF", nullptr},
    /* 59 */ {kLfo2, "VCA", nullptr},
    /* 60 */ {kLfo2, "Delay", nullptr},
    /* 61 */ {kLfo2, "Rate", nullptr},
    /* 62 */ {kLfo2, "[Rate]", nullptr},
    /* 63 */ {kLfo2, "Depth", nullptr},
}};

bool inRange(int parameter) { return parameter >= kFirstParameter && parameter <= kLastParameter; }
const Name& nameOf(int parameter) { return kNames[inRange(parameter) ? std::size_t(parameter) : 0]; }
} // namespace

namespace ParameterNames {
const char* section(int parameter) { return nameOf(parameter).section; }
const char* label(int parameter) { return nameOf(parameter).label; }
const char* choice(int parameter) { return nameOf(parameter).choice; }

std::string caption(int parameter) {
    if (!inRange(parameter)) return "Parameter " + std::to_string(parameter);
    return std::string(section(parameter)) + ' ' + label(parameter);
}

std::string fullName(int parameter) {
    std::string name = caption(parameter);
    if (const char* member = choice(parameter)) name += std::string(" ") + member;
    return name;
}
} // namespace ParameterNames
