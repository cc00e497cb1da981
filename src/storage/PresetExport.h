#pragma once

#include "core/PatchBank.h"

#include <string>
#include <vector>

class StorageHost;

// A bank's patches as presets of the plugin: a bundle folder of LV2 presets that a host
// lists in the plugin's preset menu, one per patch, labelled as the patch list shows the
// patch ("03 - Brass"). Applying one sets the plugin's 63 controls (which sends the
// patch) and its patch name; channel, header and pause stay as the track has them.
// Each preset's URI depends on the file's name and the patch number alone, so that a
// song that stored a preset finds it again after the bank is exported anew.
namespace PresetExport {
struct Patch {
    int Number; // 1..74: the patch list row
    std::string Name;
    PatchValues Values;
};

// The name presets take from a file: its name without folder and extension, or
// "untitled" for a bank that has no file.
std::string stemOf(const std::string& path);
// The bundle folder's own name: "quenlor-<stem>.lv2".
std::string bundleName(const std::string& stem);
// Where the bundle goes by default: the user's LV2 folder, ~/.lv2.
std::string defaultFolder(const std::string& home, const std::string& stem);
// The preset's URI: the plugin's preset base, the stem (percent-encoded) and the
// two-digit patch number.
std::string presetUri(const std::string& stem, int number);
// "03 - Brass".
std::string presetLabel(int number, const std::string& name);

// Writes the bundle into `folder` (made if missing): manifest.ttl and one NN.ttl per
// patch, each file replacing an old one only once it is completely written. False with
// the file or folder that could not be written in `failed`.
bool writeBundle(const std::string& folder, const std::string& stem,
                 const std::vector<Patch>& patches, std::string& failed);

// File > Export Bank as Plugin Presets: the 74 patches of the bank in memory, named as
// the patch list names them, into the default folder for the bank's file (which a host
// searches); the status bar says where, a message box when it failed. `home` is the
// user's home folder.
bool exportBank(const Bank& bank, StorageHost& host, const std::string& home);
} // namespace PresetExport
