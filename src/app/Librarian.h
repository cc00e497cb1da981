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
class QListWidget;
struct EditorContext;

// The patch list as a librarian: a patch copied to the clipboard and pasted onto
// another, patches swapped or copied by dragging a row onto another (or by Alt+Up and
// Alt+Down). Each change of the bank it makes is one step of the history.
class Librarian : public QObject {
    Q_OBJECT
public:
    // Our own clipboard type: the patch's record, as a patch file holds it.
    static constexpr const char* kMimeType = "application/x-quenlor-patch";

    using Values = std::array<int16_t, kParameterSlots>;
    struct Pasted {
        Values PatchValues{};
        std::optional<QString> Name; // when the clipboard carries one
    };

    // `refreshEditor` repaints the open editor of a patch after its values changed.
    Librarian(EditorContext& context, std::function<void(int)> refreshEditor,
              QObject* parent = nullptr);

    // The clipboard contents for a patch: our type and the record as text.
    QMimeData* patchMimeData(int patch) const;
    // The same for a patch held apart from the bank.
    static QMimeData* mimeDataOf(const Values& values, const QString& name);
    // Reads our type, a record in text, or a dump written as hex text ("F0 25 10 ... F7").
    static std::optional<Pasted> readPatch(const QMimeData& data);

    void copyPatch(int patch);
    // Replaces the patch with the clipboard's; a clipboard holding no patch changes
    // nothing and beeps. True when the patch was replaced.
    bool pastePatch(int patch);
    bool pastePatch(int patch, const QMimeData& data);

    // Exchange values and names of two patches, or copy one onto another; the target's
    // row becomes selected. One step each.
    void swapPatches(int dragged, int target);
    void copyPatchOnto(int source, int target);

    // Takes the patch list's drops and Alt+Up/Alt+Down for the two moves above, and
    // drops of a patch from elsewhere (a Library row), which go into the row dropped on.
    void attachToList(QListWidget* list);

    // The patch of the list row a drag carries, from the list's own drag data; 0 for
    // anything else.
    static int draggedPatch(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every change the librarian makes to a patch goes through here.
    void storePatch(int patch, const Values& values, const QString* name);
    Values valuesOf(int patch) const;
    bool fromThisList(const QDropEvent* event) const;
    bool patchFromElsewhere(const QDropEvent* event) const;

    EditorContext& m_context;
    std::function<void(int)> m_refreshEditor;
    QListWidget* m_list = nullptr;
    // The list's viewport, kept so that events reaching the filter while the list is
    // being destroyed are told apart without calling into the half-destroyed list.
    QObject* m_viewport = nullptr;
};
