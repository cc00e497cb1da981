#include "PresetsCommand.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "storage/FileCheck.h"
#include "storage/PresetExport.h"

#include <cstdlib>

int PresetsCommand::run(const CommandLine& line) {
    const std::string& path = line.Files.front();
    Bank bank;
    const LoadedFile loaded = loadFile(path, bank);
    // A file the program would not open gives no presets: half a bank in a host's menu
    // would look like the whole of it.
    if (loaded.Failure) {
        m_world.Err << "quenlor-sysex: " << formatFinding(path, *loaded.Failure) << '\n';
        return SysExCompanion::kFailed;
    }
    const std::string stem = PresetExport::stemOf(path);
    std::string folder;
    if (line.Output) {
        folder = *line.Output;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            m_world.Err << "quenlor-sysex: HOME is not set; name the folder with -o DIR\n";
            return SysExCompanion::kFailed;
        }
        folder = PresetExport::defaultFolder(home, stem);
    }
    std::vector<PresetExport::Patch> patches;
    for (int n = 0; n < loaded.Records; ++n)
        patches.push_back({kFirstPatch + n, loaded.Names[std::size_t(n)], bank.values(kFirstPatch + n)});
    std::string failed;
    if (!PresetExport::writeBundle(folder, stem, patches, failed)) {
        m_world.Err << "quenlor-sysex: cannot write '" << failed << "'\n";
        return SysExCompanion::kFailed;
    }
    m_world.Out << folder << ": " << patches.size() << (patches.size() == 1 ? " preset" : " presets")
                << '\n';
    return SysExCompanion::kSuccess;
}
