#pragma once

#include <QString>

class SettingsStore;

// The folder a studio session gives the program, and what it keeps there: the bank, and
// a settings file of the session's own (devices, channels, options), with the patch that
// was selected and whether the main window was shown in a section of its own. The user's
// own settings are never written under a session; a new session starts from a copy.
class SessionFolder {
public:
    static constexpr const char* kBankFile = "bank.bbk";
    static constexpr const char* kSettingsFile = "settings.conf";
    static constexpr const char* kSection = "Session";
    static constexpr const char* kPatchKey = "SelectedPatch";
    static constexpr const char* kShownKey = "WindowShown";

    explicit SessionFolder(const QString& path) : m_path(path) {}

    QString path() const { return m_path; }
    QString bankFile() const;
    QString settingsFile() const;

    // Makes the folder, and for a new session its settings from the user's own file
    // (`userSettings`, which may not exist). False, with the reason, when that fails.
    bool prepare(const QString& userSettings, QString& reason) const;

    // The state kept in the session's settings: the patch (1..74; 1 when none is kept or
    // what is kept is no patch) and whether the window was shown (hidden unless kept so).
    static int selectedPatch(SettingsStore& store);
    static bool windowShown(SettingsStore& store);
    static void keepSelectedPatch(SettingsStore& store, int patch);
    static void keepWindowShown(SettingsStore& store, bool shown);

private:
    QString m_path;
};
