#pragma once

#include "core/MidiSink.h"
#include "storage/StorageHost.h"

#include <array>
#include <deque>
#include <string>
#include <vector>

// The windows as the bank commands see them, for tests: names live in an array, every
// call is recorded in order, file dialogs answer from a queue (an empty answer or an
// empty queue cancels) and nothing blocks. A sent patch is counted where it is sent:
// patches in the RecordingSink, the list's own send of patch 1 in FirstPatchSelections.
class FakeStorageHost : public StorageHost {
public:
    std::array<std::string, 75> Names;
    std::array<int16_t, 75> EditorKinds{};
    std::string Title;
    std::string Path;
    std::string Caption;

    std::vector<std::string> Calls;
    std::vector<std::string> Messages;
    std::string Details; // of the last message with details
    std::vector<std::string> StatusTexts;
    std::vector<int> Repaints;
    std::vector<int16_t> RefreshPendingAtRepaint;
    int FirstPatchSelections = 0; // selectFirstPatch: selecting row 1 sends patch 1
    int ListFills = 0;
    int BusyPointers = 0;
    int NormalPointers = 0;

    struct DialogSetup {
        std::string Filter;
        std::string DefaultExtension;
    };
    std::deque<std::optional<FileChoice>> OpenAnswers;
    std::deque<std::optional<FileChoice>> SaveAnswers;
    std::vector<DialogSetup> OpenSetups;
    std::vector<DialogSetup> SaveSetups;

    // Watched while editors repaint, as a normal editor's paint handler reads it.
    const int16_t* RefreshPending = nullptr;

    static FileChoice choice(const std::string& path) {
        const auto slash = path.rfind('/');
        return {path, slash == std::string::npos ? path : path.substr(slash + 1)};
    }
    void answerOpen(const std::string& path) { OpenAnswers.push_back(choice(path)); }
    void answerSave(const std::string& path) { SaveAnswers.push_back(choice(path)); }

    std::string PatchName(int patch) override { return Names.at(patch); }
    void SetPatchName(int patch, const std::string& name) override {
        Calls.push_back("SetPatchName " + std::to_string(patch));
        Names.at(patch) = name;
    }
    void FillPatchList() override {
        Calls.push_back("FillPatchList");
        for (auto& name : Names)
            name.clear();
        ++ListFills;
    }
    void selectFirstPatch() override {
        Calls.push_back("selectFirstPatch");
        ++FirstPatchSelections;
    }
    int16_t OpenEditorKind(int patch) override { return EditorKinds.at(patch); }
    void repaintEditor(int patch) override {
        Calls.push_back("repaintEditor " + std::to_string(patch));
        Repaints.push_back(patch);
        if (RefreshPending)
            RefreshPendingAtRepaint.push_back(*RefreshPending);
    }
    void SetMainCaption(const std::string& title, const std::string& path) override {
        Calls.push_back("SetMainCaption " + title);
        if (!title.empty()) {
            Title = title;
            Path = path;
        }
        Caption = title.empty() ? "Quenlor 1.2.1" : "Quenlor 1.2.1 - " + title;
    }
    void clearBankFile() override {
        Calls.push_back("clearBankFile");
        Title.clear();
        Path.clear();
    }
    std::string BankFileTitle() override { return Title; }
    std::string BankFilePath() override { return Path; }
    void SetStatusText(const std::string& text) override {
        Calls.push_back("SetStatusText " + text);
        StatusTexts.push_back(text);
    }
    void ShowBusyPointer() override {
        Calls.push_back("ShowBusyPointer");
        ++BusyPointers;
    }
    void ShowNormalPointer() override {
        Calls.push_back("ShowNormalPointer");
        ++NormalPointers;
    }
    std::optional<FileChoice> showOpenDialog(const std::string& filter,
                                             const std::string& defaultExtension) override {
        Calls.push_back("showOpenDialog");
        OpenSetups.push_back({filter, defaultExtension});
        return next(OpenAnswers);
    }
    std::optional<FileChoice> showSaveDialog(const std::string& filter,
                                             const std::string& defaultExtension) override {
        Calls.push_back("showSaveDialog");
        SaveSetups.push_back({filter, defaultExtension});
        return next(SaveAnswers);
    }
    void showMessage(const std::string& text) override {
        Calls.push_back("showMessage " + text);
        Messages.push_back(text);
    }
    void showDetailedMessage(const std::string& text, const std::string& details) override {
        showMessage(text);
        Details = details;
    }

private:
    static std::optional<FileChoice> next(std::deque<std::optional<FileChoice>>& answers) {
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Counts what patch transmission hands to the MIDI output.
struct RecordingSink : MidiSink {
    int SysEx = 0;
    int ProgramChanges = 0;
    std::vector<uint8_t> LastDump;
    void SendSysEx(const SysExMessage& m) override {
        ++SysEx;
        LastDump.assign(m.data(), m.data() + m.size());
    }
    void SendProgramChange(int16_t, int16_t) override { ++ProgramChanges; }
};
