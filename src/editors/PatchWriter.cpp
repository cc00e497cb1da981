#include "PatchWriter.h"

#include "core/QuenlorCode.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/EditorInput.h"
#include "editors/EditorWindow.h"
#include "editors/Patch.h"

void PatchWriter::write(int patch, const PatchValues& values, const QString& label,
                        const QString& mergeKey) {
    QuenlorCode& code = m_context.Code;
    code.PatchBank.setValues(patch, values);
    // Sent at once: the instrument gets the change before the history, the windows that
    // follow it and the open editor take their turn, which a knob turned or the morph
    // slider dragged would otherwise wait for on every move.
    code.ParameterChanged(patch);
    // The step is taken before the editor refills: what the refill does is taken as it
    // is, and would otherwise swallow the change.
    if (m_context.History) m_context.History->record(label, mergeKey);
    // A morph writes many times a second: the editor paints with the event loop.
    if (EditorWindow* editor = m_context.PatchWindow->openEditor(patch)) {
        // Each control the refill changes would send the patch again; it went out above.
        const EditorInput::SendingHeld held(code);
        editor->refill();
    }
}

int PatchWriter::selectedPatch() const {
    return m_context.PatchWindow ? m_context.PatchWindow->selectedRowPatch() : 0;
}
