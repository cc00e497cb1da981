#pragma once

#include <QString>

// What a studio session needs of the program's windows. The application implements it;
// the session calls it on the program's own thread.
class SessionHost {
public:
    virtual ~SessionHost() = default;

    enum class BankRead { Read, Missing, Damaged };
    // Reads the session's bank in as the bank the program starts with (no step to undo,
    // nothing unsaved), then reaches the MIDI devices: what reading sent is thrown away,
    // so that the instrument hears only the patch selected next.
    virtual BankRead startBank(const QString& path) = 0;
    // Writes the bank whole or not at all; false when it could not be written.
    virtual bool writeBank(const QString& path) = 0;
    // The bank differs from what was last read or written.
    virtual bool bankUnsaved() = 0;
    virtual int selectedPatch() = 0;
    // Selects the patch in the patch list, which sends it.
    virtual void selectPatch(int patch) = 0;
    virtual void showWindow(bool shown) = 0;
    // Puts the session's news in the status bar; an empty text withdraws it.
    virtual void tell(const QString& text) = 0;
};
