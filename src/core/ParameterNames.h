#pragma once

#include <string>

// What the grouped editor calls each parameter: the instrument's block it sits in
// ("VCF"), its control's caption ("CutOff"), and, for a member of a switch group, the
// choice it stands for in the group's list ("Triangle", "32'"). Windows, the companion
// and the plugin all read the names from here.
namespace ParameterNames {
// The block: "LFO1", "LFO2", "DCO1", "DCO2", "VCF" or "VCA"; "" outside 1..63.
const char* section(int parameter);
// The control's caption: a slider row's label, a check box's text, or the list's
// caption ("Type", "Octave") for a member of a switch group; "" outside 1..63.
const char* label(int parameter);
// The choice a switch group member stands for, or nullptr for any other parameter.
const char* choice(int parameter);
// Section and label, as the editor names the control: "VCF CutOff", "DCO1 Octave";
// "Parameter N" outside 1..63.
std::string caption(int parameter);
// The caption with the choice of a switch group member, so that every parameter has a
// name of its own: "LFO1 Type Triangle", "DCO2 Octave 8'".
std::string fullName(int parameter);
} // namespace ParameterNames
