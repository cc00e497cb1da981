#include "EditorWorld.h"

#include "editors/ActivationRouter.h"
#include "editors/Patch.h"

#include <QMdiSubWindow>

EditorWorld::EditorWorld() : Mdi(std::make_unique<QMdiArea>()) {
    Code.InitPatchModel();
    Code.EditorReady = kOn;
    Code.Midi = &Midi;
    Mdi->resize(1000, 700);
    new ActivationRouter(*Mdi);
    Context = std::make_unique<EditorContext>(EditorContext{Code, Desk, *Mdi, nullptr});
    PatchWindow = new Patch(*Context);
    Context->PatchWindow = PatchWindow;
    PatchFrame = Mdi->addSubWindow(PatchWindow);
    Mdi->show();
    PatchFrame->show();
    PatchWindow->Form_Load();
    Midi.clear();
}

// The windows go first: they hold the context, and a window may still react to losing
// the focus while it is taken down.
EditorWorld::~EditorWorld() { Mdi.reset(); }

void EditorWorld::openEditor(int patch, int kind) {
    Code.SelectedPatch = static_cast<int16_t>(patch);
    PatchWindow->OpenPatchEditor(patch, kind);
}
