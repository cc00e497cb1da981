#pragma once

#include "ParameterTable.h"

#include <cstdint>
#include <string>

// The plugin's face to hosts, as its description files, its presets and the plugin
// itself name it. Hosts store automation and presets by these URIs and port symbols:
// none of them ever changes.
namespace PluginInterface {
inline constexpr const char* kUri = "https://quenlor.github.io/lv2/bit01";
inline constexpr const char* kName = "Quenlor Bit 01";
inline constexpr const char* kBundle = "quenlor.lv2";
inline constexpr const char* kBinary = "quenlor.so";
// The patch name kept in the plugin's state.
inline constexpr const char* kNameKey = "https://quenlor.github.io/lv2/bit01#name";
inline constexpr const char* kPresetBase = "https://quenlor.github.io/lv2/bit01/presets/";

// Port indices: the two MIDI ports, one control per parameter, then the settings.
inline constexpr uint32_t kMidiIn = 0;
inline constexpr uint32_t kMidiOut = 1;
inline constexpr uint32_t kFirstParameterPort = 2; // p1
inline constexpr uint32_t kChannelPort = kFirstParameterPort + kLastParameter;
inline constexpr uint32_t kBit99Port = kChannelPort + 1;
inline constexpr uint32_t kPausePort = kBit99Port + 1;
inline constexpr uint32_t kPortCount = kPausePort + 1;

inline constexpr int kDefaultChannel = 1;
inline constexpr int kLongestPauseMs = 500;
// The longest patch name the state keeps, in bytes.
inline constexpr std::size_t kNameCapacity = 255;

constexpr uint32_t parameterPort(int parameter) {
    return kFirstParameterPort + uint32_t(parameter - kFirstParameter);
}
// "p1" ... "p63".
inline std::string parameterSymbol(int parameter) { return "p" + std::to_string(parameter); }
} // namespace PluginInterface
