#pragma once

#include "FakeDesktop.h"
#include "RecordingSink.h"
#include "core/QuenlorCode.h"
#include "editors/EditorContext.h"

#include <QMdiArea>
#include <memory>

class Patch;
class QMdiSubWindow;

// A fresh world for window tests: the patch model, a recording MIDI output, the test
// desktop, a shown MDI area that routes activations, and the patch list loaded in it
// (which has sent patch 1 once, as at start-up; Midi is cleared of it).
struct EditorWorld {
    EditorWorld();
    ~EditorWorld();

    QuenlorCode Code;
    RecordingSink Midi;
    FakeDesktop Desk;
    std::unique_ptr<QMdiArea> Mdi;
    std::unique_ptr<EditorContext> Context;
    Patch* PatchWindow = nullptr;
    QMdiSubWindow* PatchFrame = nullptr;

    // Opens the editor of the given kind for a patch as the list's buttons do.
    void openEditor(int patch, int kind);
};
