#pragma once

#include "core/PatchBank.h"

#include <QString>

struct EditorContext;

// Puts new values into a patch as mutating, randomizing, morphing, breeding and knobs do:
// the patch goes out once, first, through ParameterChanged, so that automatic update
// decides as for any edit; then the change becomes a step of the history and the patch's
// open editor shows the new values.
class PatchWriter {
public:
    explicit PatchWriter(EditorContext& context) : m_context(context) {}

    // A step named `label`; one with a `mergeKey` joins the step before it while the
    // gesture lasts (as a slider's drag does).
    void write(int patch, const PatchValues& values, const QString& label,
               const QString& mergeKey = QString());

    // The patch selected in the patch list, 0 with none.
    int selectedPatch() const;

private:
    EditorContext& m_context;
};
