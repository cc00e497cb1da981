#include "Bit01Edit.h"

#include "Patch.h"
#include "core/QuenlorCode.h"

void Bit01Edit::Form_Load() {
    m_patch = m_context.Code.SelectedPatch;
    m_context.PatchWindow->OpenEditorKind[m_patch] = Patch::Bit01Editor;
    m_tag = QString::number(m_patch);
}

void Bit01Edit::Form_QueryUnload() { m_context.PatchWindow->OpenEditorKind[m_patch] = 0; }
