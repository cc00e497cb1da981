#pragma once

#include "EditorContext.h"
#include "MdiChild.h"
#include "PatchRows.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>

class QComboBox;
class QPushButton;
class NormalEdit;
class Bit01Edit;
class EditorWindow;

// The patch list window: one row per patch, the only store of the patch names, and the
// registry of open editor windows.
class Patch : public QWidget, public MdiChild {
    Q_OBJECT
public:
    enum EditorWindowKinds : int16_t { NoEditor = 0, NormalEditor = 1, Bit01Editor = 2 };
    // A row's text starts with the patch number, a blank, a hyphen and a blank ("07 - ").
    static constexpr int kNamePrefixLength = 5;

    explicit Patch(EditorContext& context, QWidget* parent = nullptr);
    ~Patch() override;

    PatchRows* PatchList = nullptr;
    QPushButton* NormalEditButton = nullptr;
    QPushButton* Bit01EditButton = nullptr;

    // The editor registry: which kind of editor is open for a patch, and that window.
    int16_t editorKindOf(int patch) const { return OpenEditorKind.at(patch); }
    // The open editor window of a patch, or nullptr with none open.
    EditorWindow* openEditor(int patch) const;
    // The patch's editor window of each kind, open or closed, or nullptr when it was
    // never made.
    NormalEdit* normalEditWindow(int patch) const;
    Bit01Edit* bit01EditWindow(int patch) const;
    // An editor enters the registry in its load steps and leaves it in its close handling.
    void setEditorKind(int patch, int16_t kind) { OpenEditorKind.at(patch) = kind; }

    static QString PatchRowText(int patch, const QString& name);

    void FillPatchList();
    void SetPatchName(int patch, const QString& name);
    QString PatchName(int patch) const;
    void OpenPatchEditor(int patch, int kind);

    // The selected row + 1, or 0 with no row selected.
    int selectedRowPatch() const;
    // Makes the items of a choice of patches the rows of the list, keeping the chosen
    // item (the first when none was), without running the choice's change handling.
    void fillChoice(QComboBox& choice) const;
    // Rewrites a row's text (the editors store a renamed patch this way).
    void setRowText(int patch, const QString& text);
    // Selects a patch's row; a change of the selection sends the patch.
    void selectPatchRow(int patch);
    // Selects a patch's row and runs the list's click handling also when the row was
    // selected already, so that the patch is sent either way.
    void clickPatchRow(int patch);

    QString tag() const override { return QStringLiteral("Patch"); }

    void Form_Load();
    void PatchList_Click(int row);
    void PatchList_DblClick();
    void NormalEditButton_Click();
    void Bit01EditButton_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    EditorContext& m_context;
    // Slots 0..74 (slot 0 unused).
    std::array<int16_t, 75> OpenEditorKind{};
    std::array<QPointer<NormalEdit>, 75> NormalEditWindows;
    std::array<QPointer<Bit01Edit>, 75> Bit01EditWindows;
};
