#pragma once

#include "FuzzCheck.h"
#include "core/MidiSink.h"
#include "core/PatchDump.h"
#include "storage/StorageHost.h"

#include <array>
#include <cstdint>
#include <string>

// Checks every dump the patch model hands out: 80 bytes framed F0 .. F7 with the fixed
// bytes in place, a header for channel 1..16, and 4-bit data bytes; and every Program
// Change: a channel 1..16 and program 0.
class CheckingSink : public MidiSink {
public:
    int SysEx = 0;
    int ProgramChanges = 0;
    int16_t LastProgramChannel = 0;
    std::array<uint8_t, DumpBytes::kDumpLength> LastDump{};

    void SendSysEx(const SysExMessage& m) override {
        using namespace DumpBytes;
        FUZZ_CHECK(m.size() == kDumpLength);
        FUZZ_CHECK(m.Bytes[0] == kSysExStart);
        FUZZ_CHECK(m.Bytes[kManufacturerOffset] == kManufacturer);
        const uint8_t header = m.Bytes[kHeaderOffset];
        FUZZ_CHECK((header & 0xF0) == kHeaderBit01 || (header & 0xF0) == kHeaderBit99);
        FUZZ_CHECK(m.Bytes[kCommandOffset] == kCommand);
        FUZZ_CHECK(m.Bytes[kArgumentOffset] == kCommandArgument);
        for (int i = kFirstNibbleOffset; i <= kLastNibbleOffset; ++i)
            FUZZ_CHECK(m.Bytes[i] <= 0x0F);
        FUZZ_CHECK(m.Bytes[kEndOffset] == kSysExEnd);
        for (int i = 0; i < kDumpLength; ++i)
            LastDump[i] = m.Bytes[i];
        ++SysEx;
    }
    void SendProgramChange(int16_t channel, int16_t program) override {
        FUZZ_CHECK(channel >= 1 && channel <= 16);
        FUZZ_CHECK(program == 0);
        LastProgramChannel = channel;
        ++ProgramChanges;
    }
};

// The windows as the bank commands see them: the open dialog answers with one path,
// names live in an array, and what the commands did is counted.
class FuzzStorageHost : public StorageHost {
public:
    std::string OpenPath;
    std::array<std::string, 75> Names;
    std::string Title;
    std::string Path;
    int NamesSet = 0;
    int LastNamed = 0;
    int Captions = 0;
    int FirstPatchSelections = 0;
    int BusyPointers = 0;
    int NormalPointers = 0;
    int Messages = 0;
    std::string LastMessage;

    std::string PatchName(int patch) override { return Names.at(patch); }
    void SetPatchName(int patch, const std::string& name) override {
        // Open Bank names the patches in order, one each.
        FUZZ_CHECK(patch == LastNamed + 1 || NamesSet == 0);
        LastNamed = patch;
        ++NamesSet;
        Names.at(patch) = name;
    }
    void FillPatchList() override {}
    void selectFirstPatch() override { ++FirstPatchSelections; }
    int16_t OpenEditorKind(int) override { return 0; }
    void repaintEditor(int) override {}
    void SetMainCaption(const std::string& title, const std::string& path) override {
        ++Captions;
        Title = title;
        Path = path;
    }
    void clearBankFile() override {}
    std::string BankFileTitle() override { return Title; }
    std::string BankFilePath() override { return Path; }
    void SetStatusText(const std::string&) override {}
    void ShowBusyPointer() override { ++BusyPointers; }
    void ShowNormalPointer() override { ++NormalPointers; }
    std::optional<FileChoice> showOpenDialog(const std::string&, const std::string&) override {
        const auto slash = OpenPath.rfind('/');
        return FileChoice{OpenPath, OpenPath.substr(slash + 1)};
    }
    std::optional<FileChoice> showSaveDialog(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void showMessage(const std::string& text) override {
        ++Messages;
        LastMessage = text;
    }
};
