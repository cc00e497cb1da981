#include "SoundCommand.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "core/SoundRules.h"
#include "storage/FileCheck.h"
#include "storage/SaveFile.h"

namespace {
struct SoundFile {
    PatchValues Values{};
    std::string Name;
};

// A patch file as Open Patch reads it; false with the reason when it cannot be read.
bool readSoundFile(const std::string& path, SoundFile& file, std::string& error) {
    if (kindOf(path) != FileKind::Patch) {
        error = "'" + path + "' is no patch file (.b01)";
        return false;
    }
    Bank bank;
    const LoadedFile loaded = loadFile(path, bank);
    if (loaded.Failure) {
        error = formatFinding(path, *loaded.Failure);
        return false;
    }
    file.Values = bank.values(kFirstPatch);
    file.Name = loaded.Names.front();
    return true;
}
} // namespace

int SoundCommand::run(const CommandLine& line) {
    std::vector<SoundFile> files(line.Files.size());
    std::string error;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!readSoundFile(line.Files[i], files[i], error)) return failure(error);
    const ParameterLocks locks =
        line.Lock ? ParameterLocks::fromText(*line.Lock).value_or(ParameterLocks()) : ParameterLocks();
    SoundRandom random(line.Seed.value_or(0));

    QuenlorCode code;
    code.InitPatchModel();
    // Without a file, randomize starts from a new patch, which the locks keep.
    const SoundFile from = files.empty() ? SoundFile{code.PatchBank.values(kFirstPatch), {}} : files.front();
    PatchValues made;
    if (line.Command == "mutate")
        made = SoundRules::mutatePatch(from.Values, *line.Amount, locks, random);
    else if (line.Command == "randomize")
        made = SoundRules::randomizePatch(from.Values, locks, random);
    else
        made = SoundRules::morphPatches(from.Values, files[1].Values, from.Values, *line.At, locks);
    code.PatchBank.setValues(kFirstPatch, made);
    // A locked value no editor writes (a hand-made file's) becomes the one the instrument
    // plays, so that the output is a patch the program would load as it is.
    if (!files.empty())
        for (const std::string& repair :
             lockedRepairs(line.Files.front(), from.Values, made, locks, code.ParameterTable))
            m_world.Err << kProgram << ": " << repair << '\n';

    SaveFile out(*line.Output);
    const bool written = out.open() &&
                         WritePatchRecord(out.stream(), code.PatchBank, kFirstPatch, from.Name) &&
                         out.commit();
    return written ? SysExCompanion::kSuccess : failure("cannot write '" + *line.Output + "'");
}
