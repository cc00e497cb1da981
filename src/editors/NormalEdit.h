#pragma once

#include "EditorWindow.h"
#include "core/ParameterTable.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

// The grouped editor of one patch: the instrument's blocks LFO1, LFO2, DCO1, DCO2, VCF
// and VCA as framed sections of sliders with value boxes, check boxes and lists. Every
// parameter control is indexed by its parameter number, the bank column it reads and
// writes. The layout is built in NormalEditLayout.cpp, the value entry lives here.
class NormalEdit : public EditorWindow {
    Q_OBJECT
public:
    explicit NormalEdit(EditorContext& context);

    void repaintNow() override;
    void refill() override;
    void Form_Activate() override;
    void commitTyping() override;

    // What the grouped editor calls a parameter: its section and caption ("VCF CutOff",
    // "LFO1 Type", "DCO2 Octave"): the name a listener hears, other windows show and
    // undo steps carry.
    static QString parameterCaption(int parameter);

    // Sets every parameter control from the bank; each control that changes runs its
    // change action, as a user edit would.
    void FillControls(int patch);

    // The right-click menu of a section frame: locking the parameters of the section.
    std::unique_ptr<QMenu> sectionMenu(QGroupBox* frame);

    // Parameter controls by parameter number; the slots of other parameters are empty.
    std::array<QScrollBar*, kParameterSlots> Slider{};
    std::array<QLineEdit*, kParameterSlots> Text{};
    std::array<QLabel*, kParameterSlots> SliderLabel{}; // the row label beside Slider(i)
    std::array<QCheckBox*, kParameterSlots> Flag{};
    std::array<QComboBox*, kParameterSlots> DCO_Octave{}; // 24 and 35
    std::array<QComboBox*, kParameterSlots> LFO_Type{};   // 1 and 53

    QGroupBox* LFO1_Frame = nullptr;
    QGroupBox* LFO2_Frame = nullptr;
    QGroupBox* DCO1_Frame = nullptr;
    QGroupBox* DCO2_Frame = nullptr;
    QGroupBox* VCF_Frame = nullptr;
    QGroupBox* VCA_Frame = nullptr;
    QLabel* LFO1_Type_Label = nullptr;
    QLabel* LFO2_Type_Label = nullptr;
    std::array<QLabel*, 2> DCO_Octave_Label{};
    QLabel* NameLabel = nullptr;

    // Change actions, named after the control and the event.
    void Slider_Change(int index);
    // keyCode is the typed character; set to 0 it is discarded.
    void Text_KeyPress(int index, int& keyCode);
    void Text_LostFocus(int index);
    void Text_GotFocus(int index);
    // value: -1 ticked, 0 cleared.
    void Flag_Click(int index, int16_t value);
    void LFO_Type_Click(int index);
    void DCO_Octave_Click(int index);
    void NameText_Change();
    void NameText_GotFocus();
    void SendButton_Click();

protected:
    void Form_Load() override;
    void Form_QueryUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The name box is first in the focus order.
    QWidget* firstControl() const override;
    // A control's menu has its section's lock commands too, for the keyboard's sake:
    // the frames take no focus.
    void fillParameterMenu(QMenu& menu, QAction* before, int parameter) override;

private:
    // NormalEditLayout.cpp: the controls at their places, in their focus order.
    void buildControls();
    void buildSliderRow(QGroupBox* frame, int frameWidth, int parameter, const char* caption,
                        const char* labelName, int top, int largeStep);
    void buildFlag(QGroupBox* frame, int frameWidth, int parameter, const char* caption, int top);
    QComboBox* buildList(QGroupBox* frame, int parameter, int left, int width, QLabel*& label,
                         const char* labelName, const char* labelCaption);
    void connectControls();

    // Reads the value box into its slider: the number rule, clamped to the slider's range.
    void commitText(int index);
    // Adds "Lock Section" and "Unlock Section" as far as they would change something.
    void addSectionItems(QMenu& menu, QAction* before, QGroupBox* frame);

};
