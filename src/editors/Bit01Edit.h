#pragma once

#include "EditorWindow.h"
#include "core/ParameterTable.h"

#include <array>
#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The parameter-table editor of one patch: the instrument's own numbered table as 63
// boxes, box k holding parameter k, with the patch name above them.
class Bit01Edit : public EditorWindow {
    Q_OBJECT
public:
    explicit Bit01Edit(EditorContext& context);

    // Refills the boxes from the bank (sending nothing) and repaints.
    void repaintNow() override;
    void refill() override { Form_Paint(); }
    void Form_Activate() override;

    // Boxes and their number labels by parameter number; slot 0 stays empty.
    std::array<QLineEdit*, kParameterSlots> PT{};
    std::array<QLabel*, kParameterSlots> PL{};
    QLabel* NameLabel = nullptr;
    QGroupBox* Bit01EditFrame = nullptr;

    // -1 while the window itself writes into the boxes; their change action then rests.
    int16_t Updating = 0;

    void BuildGrid();
    void FillGrid(int patch);
    void NormalizeGroup(int patch, int first, int changed, int count, bool requireOne);

    void Form_Paint();
    void Form_GotFocus();
    void NameText_Change();
    void PT_Change(int index);
    void PT_GotFocus(int index);
    // keyCode is the typed character; set to 0 it is discarded.
    void PT_KeyPress(int index, int& keyCode);
    void SendButton_Click();

protected:
    void Form_Load() override;
    void Form_QueryUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Box 1 is first in the focus order.
    QWidget* firstControl() const override;

private:
    QLineEdit* makeBox(int parameter);
    QLabel* makeLabel(int parameter);

    // Grid places in twips, as the grid is computed; the widgets hold them in pixels.
    std::array<int, kParameterSlots> m_boxLeft{};
    std::array<int, kParameterSlots> m_boxTop{};
};
