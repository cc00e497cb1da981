#include "NormalEdit.h"

#include "Patch.h"
#include "core/QuenlorCode.h"

void NormalEdit::Form_Load() {
    m_patch = m_context.Code.SelectedPatch;
    m_context.PatchWindow->OpenEditorKind[m_patch] = Patch::NormalEditor;
    m_tag = QString::number(m_patch);
}

void NormalEdit::Form_QueryUnload() { m_context.PatchWindow->OpenEditorKind[m_patch] = 0; }
