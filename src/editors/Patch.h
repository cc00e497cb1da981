#pragma once

#include "EditorContext.h"
#include "MdiChild.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>

class QListWidget;
class QPushButton;
class NormalEdit;
class Bit01Edit;

// The patch list window: one row per patch, the only store of the patch names, and the
// registry of open editor windows.
class Patch : public QWidget, public MdiChild {
    Q_OBJECT
public:
    enum EditorKinds : int16_t { NoEditor = 0, NormalEditor = 1, Bit01Editor = 2 };

    explicit Patch(EditorContext& context, QWidget* parent = nullptr);
    ~Patch() override;

    QListWidget* PatchList = nullptr;
    QPushButton* NormalEditButton = nullptr;
    QPushButton* Bit01EditButton = nullptr;

    // Editor registry, slots 0..74 (slot 0 unused).
    std::array<int16_t, 75> OpenEditorKind{};
    std::array<QPointer<NormalEdit>, 75> NormalEditWindows;
    std::array<QPointer<Bit01Edit>, 75> Bit01EditWindows;

    static QString PatchRowText(int patch, const QString& name);

    void FillPatchList();
    void SetPatchName(int patch, const QString& name);
    QString PatchName(int patch) const;
    void OpenPatchEditor(int patch, int kind);

    // The selected row + 1, or 0 with no row selected.
    int SelectedRowPatch() const;
    // Rewrites a row's text (the editors store a renamed patch this way).
    void SetRowText(int patch, const QString& text);
    // Selects a patch's row; a change of the selection sends the patch.
    void SelectPatchRow(int patch);
    // Selects a patch's row and runs the list's click handling also when the row was
    // selected already, so that the patch is sent either way.
    void ClickPatchRow(int patch);

    QString Tag() const override { return QStringLiteral("Patch"); }

    void Form_Load();
    void PatchList_Click(int row);
    void PatchList_DblClick();
    void NormalEditButton_Click();
    void Bit01EditButton_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    EditorContext& m_context;
};
