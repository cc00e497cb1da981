#pragma once

class QuenlorCode;
class Desktop;
class Patch;
class BankHistory;
class LockedParameters;
class ParameterControllers;
class QMdiArea;

// What every child window of the main window works with.
struct EditorContext {
    QuenlorCode& Code;
    Desktop& Desk;
    QMdiArea& Mdi;
    Patch* PatchWindow = nullptr; // set once the patch list exists
    BankHistory* History = nullptr; // the undo history, when there is one
    LockedParameters* Locks = nullptr; // the parameters locked against new sounds, when kept
    ParameterControllers* Controllers = nullptr; // MIDI Learn, when the MIDI input is there
};
