#pragma once

#include "core/ParameterTable.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QDropEvent;
class QMimeData;
class PatchRows;
struct EditorContext;

// The patch list as a librarian: a patch copied to the clipboard and pasted onto
// another, patches swapped or copied by dragging a row onto another (or by Alt+Up and
// Alt+Down), a patch dragged in from another window (a Library row) or another program
// pasted onto the row it is dropped on. Each change of the bank it makes is one step of
// the history.
class Librarian : public QObject {
    Q_OBJECT
public:
    // Our own clipboard and drag type: the patch's record, as a patch file holds it.
    static constexpr const char* kMimeType = "application/x-quenlor-patch";
    // What a row dragged out of the list carries besides: the program it left and its patch.
    static constexpr const char* kRowMimeType = "application/x-quenlor-patch-row";

    using Values = std::array<int16_t, kParameterSlots>;
    struct Pasted {
        Values PatchValues{};
        std::optional<QString> Name; // when the clipboard carries one
    };

    // `refreshEditor` repaints the open editor of a patch after its values changed.
    Librarian(EditorContext& context, std::function<void(int)> refreshEditor,
              QObject* parent = nullptr);

    // The clipboard contents for a patch of the bank: our type and the record as text.
    QMimeData* patchMimeData(int patch) const;
    // The same for a patch held apart from the bank; a drag of it onto a row is a paste.
    static QMimeData* mimeDataOf(const Values& values, const QString& name);
    // What dragging the patch's row out of the list carries: the patch as above, and the
    // row, which only this program reads.
    QMimeData* rowDragData(int patch) const;
    // The patch whose row of this program's list a drag carries, or 0 for anything else.
    static int draggedPatch(const QMimeData* data);
    // Reads our type, a record in text, or a dump written as hex text ("F0 25 10 ... F7").
    static std::optional<Pasted> readPatch(const QMimeData& data);

    void copyPatch(int patch);
    // Replaces the patch with the clipboard's; a clipboard holding no patch changes
    // nothing and beeps. True when the patch was replaced.
    bool pastePatch(int patch);
    bool pastePatch(int patch, const QMimeData& data);
    // A patch dropped from elsewhere onto a row: pasted, and the row selected and sent.
    bool dropPatch(int target, const QMimeData& data);

    // Exchange values and names of two patches, or copy one onto another; the target's
    // row becomes selected. One step each.
    void swapPatches(int dragged, int target);
    void copyPatchOnto(int source, int target);

    // Runs the patch list's drags, takes its drops and Alt+Up/Alt+Down for the moves above.
    void attachToList(PatchRows* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every change the librarian makes to a patch goes through here.
    void storePatch(int patch, const Values& values, const QString* name);
    Values valuesOf(int patch) const;
    void dragRow(int patch);
    bool takes(const QMimeData* data) const;

    EditorContext& m_context;
    std::function<void(int)> m_refreshEditor;
    PatchRows* m_list = nullptr;
    // Whether the drag over the list is one it takes, judged once as it enters: the
    // data of a drag from another program is fetched from that program.
    bool m_takesDrag = false;
    // The list's viewport, kept so that events reaching the filter while the list is
    // being destroyed are told apart without calling into the half-destroyed list.
    QObject* m_viewport = nullptr;
};
