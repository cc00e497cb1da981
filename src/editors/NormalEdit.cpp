#include "NormalEdit.h"

#include "BankHistory.h"
#include "EditorInput.h"
#include "Patch.h"
#include "desktop/Desktop.h"
#include "core/NumberText.h"
#include "core/ParameterNames.h"
#include "core/QuenlorCode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The lists that show the switch groups are indexed by the group's first member. A wave
// list has one item more than its group: "None", shown when no wave is on.
constexpr int kLfo1Wave = kLfo1Waves.FirstMember;
constexpr int kLfo2Wave = kLfo2Waves.FirstMember;
constexpr int kDco1Octave = kDco1Octaves.FirstMember;
constexpr int kDco2Octave = kDco2Octaves.FirstMember;

// The parameters a section frame shows.
std::vector<int> sectionParameters(const QGroupBox* frame) {
    std::vector<int> parameters;
    for (const QWidget* control : frame->findChildren<QWidget*>()) {
        const QVariant parameter = control->property("parameter");
        if (parameter.isValid()) parameters.push_back(parameter.toInt());
    }
    return parameters;
}

const QStringList& waveItems() {
    static const QStringList items{ParameterNames::choice(1), ParameterNames::choice(2),
                                   ParameterNames::choice(3), "None"};
    return items;
}
const QStringList& octaveItems() {
    static const QStringList items{ParameterNames::choice(24), ParameterNames::choice(25),
                                   ParameterNames::choice(26), ParameterNames::choice(27)};
    return items;
}

} // namespace

void NormalEdit::Form_Load() {
    EditorInput::SendingHeld held(m_context.Code);
    loadPatch(Patch::NormalEditor);

    // Filling a list is not choosing from it: the lists start with no item chosen.
    for (QComboBox* wave : {LFO_Type[kLfo1Wave], LFO_Type[kLfo2Wave]}) {
        const QSignalBlocker quiet(wave);
        wave->addItems(waveItems());
        wave->setCurrentIndex(-1);
    }
    for (QComboBox* octave : {DCO_Octave[kDco1Octave], DCO_Octave[kDco2Octave]}) {
        const QSignalBlocker quiet(octave);
        octave->addItems(octaveItems());
        octave->setCurrentIndex(-1);
    }

    FillControls(windowPatch());
}

QWidget* NormalEdit::firstControl() const { return NameText; }

void NormalEdit::FillControls(int patch) {
    QuenlorCode& code = m_context.Code;
    // What the fill puts into range is taken as it is, not as a step of its own.
    const BankHistory::Quiet quiet(m_context.History);
    NameText->setText(m_context.PatchWindow->PatchName(patch));
    code.RefreshPending = kOff;
    const auto value = [&](int parameter) { return code.PatchBank(patch, parameter); };

    for (int i = kFirstParameter; i <= kLastParameter; ++i) {
        switch (code.ParameterTable.EditorKind(i)) {
        case EditorWaveType:
            if (i == kLfo1Wave || i == kLfo2Wave) {
                // The last member at 1 wins, in the list as in the dump.
                const int item = switchGroupOf(i)->chosenMember(code.PatchBank.row(patch));
                LFO_Type[i]->setCurrentIndex(item < 0 ? kLfo1Waves.Count : item);
            }
            break;
        case EditorOctave:
            if (i == kDco1Octave || i == kDco2Octave) {
                // The highest member at 1 wins. A group with none at 1 plays the first
                // octave on the instrument (the dump encodes it so), so it is shown as
                // "32'" and the first member is set, which leaves the dump as it was.
                int item = switchGroupOf(i)->chosenMember(code.PatchBank.row(patch));
                if (item < 0) {
                    item = 0;
                    code.PatchBank(patch, i) = 1;
                }
                DCO_Octave[i]->setCurrentIndex(item);
            }
            break;
        case EditorFlag:
            // Only 1 counts as set; a damaged 2 or -1 shows a cleared box.
            Flag[i]->setChecked(value(i) == 1);
            break;
        case EditorSlider: {
            int16_t v = value(i);
            if (v > Slider[i]->maximum()) v = static_cast<int16_t>(Slider[i]->maximum());
            if (v < Slider[i]->minimum()) v = static_cast<int16_t>(Slider[i]->minimum());
            Slider[i]->setValue(v);
            break;
        }
        default:
            break;
        }
    }
}

void NormalEdit::Form_Activate() {
    const int patch = windowPatch();
    if (patch == 0) return;
    m_context.PatchWindow->selectPatchRow(patch);
    m_context.Code.SendPatch(patch);
}

void NormalEdit::repaintNow() {
    if (m_context.Code.RefreshPending == kOn) refill();
    if (isVisible()) repaint();
}

void NormalEdit::refill() {
    if (const int patch = nameTextPatch()) FillControls(patch);
}

void NormalEdit::Form_QueryUnload() { unloadPatch(); }

void NormalEdit::addSectionItems(QMenu& menu, QAction* before, QGroupBox* frame) {
    if (!m_context.Locks) return;
    const std::vector<int> parameters = sectionParameters(frame);
    const bool anyLocked = std::any_of(parameters.begin(), parameters.end(),
                                       [this](int p) { return isLocked(p); });
    const bool anyOpen = std::any_of(parameters.begin(), parameters.end(),
                                     [this](int p) { return !isLocked(p); });
    if (anyOpen)
        addMenuItem(menu, before, QStringLiteral("Lock Section"),
                    [this, parameters] { setLocked(parameters, true); });
    if (anyLocked)
        addMenuItem(menu, before, QStringLiteral("Unlock Section"),
                    [this, parameters] { setLocked(parameters, false); });
}

std::unique_ptr<QMenu> NormalEdit::sectionMenu(QGroupBox* frame) {
    auto menu = std::make_unique<QMenu>(this);
    addSectionItems(*menu, nullptr, frame);
    return menu;
}

void NormalEdit::fillParameterMenu(QMenu& menu, QAction* before, int parameter) {
    EditorWindow::fillParameterMenu(menu, before, parameter);
    const QList<QWidget*>& controls = parameterControls(parameter);
    if (controls.isEmpty()) return;
    if (auto* frame = qobject_cast<QGroupBox*>(controls.first()->parentWidget())) {
        menu.insertSeparator(before);
        addSectionItems(menu, before, frame);
    }
}

void NormalEdit::Slider_Change(int index) {
    const int patch = windowPatch();
    if (patch == 0) return;
    const int value = Slider[index]->value();
    Text[index]->setText(QString::number(value));
    m_context.Code.PatchBank(patch, index) = static_cast<int16_t>(value);
    m_context.Code.ParameterChanged(patch);
    recordChange(parameterCaption(index), mergeKey("Slider", patch, index));
}

void NormalEdit::commitText(int index) {
    QScrollBar* slider = Slider[index];
    double v = NumberText::readNumber(Text[index]->text().toStdString());
    if (std::isnan(v)) v = 0;
    if (v > slider->maximum()) v = slider->maximum();
    if (v < slider->minimum()) v = slider->minimum();
    // Moving the slider runs its change action, which stores and reports the value;
    // a slider already at the value does nothing.
    slider->setValue(NumberText::roundToInt16(v));
    // Each value committed is a step of its own, also when the box keeps the focus.
    if (m_context.History) m_context.History->endGesture();
}

void NormalEdit::Text_KeyPress(int index, int& keyCode) {
    if (keyCode == EditorInput::kEnter) {
        commitText(index);
        keyCode = 0;
    }
    if (keyCode >= EditorInput::kFirstRefused) {
        m_context.Desk.beep(Text[index]);
        keyCode = 0;
    }
}

void NormalEdit::Text_LostFocus(int index) {
    commitText(index);
}

// Only the box with the focus can hold text not yet committed: leaving a box commits it.
void NormalEdit::commitTyping() {
    if (m_unloaded) return;
    for (int i = kFirstParameter; i <= kLastParameter; ++i)
        if (Text[i] && Text[i]->hasFocus()) Text_LostFocus(i);
}

void NormalEdit::Text_GotFocus(int index) {
    Text[index]->setSelection(0, Text[index]->text().length());
}

void NormalEdit::Flag_Click(int index, int16_t value) {
    const int patch = windowPatch();
    if (patch == 0) return;
    m_context.Code.PatchBank(patch, index) = static_cast<int16_t>(-value);
    m_context.Code.ParameterChanged(patch);
    // Each click is a step of its own.
    recordChange(parameterCaption(index));
}

void NormalEdit::LFO_Type_Click(int index) {
    const int patch = windowPatch();
    if (patch == 0) return;
    const int chosen = LFO_Type[index]->currentIndex();
    const SwitchGroup& group = *switchGroupOf(index);
    const int first = group.FirstMember;
    // "None" (and no choice at all) leaves every wave off.
    group.choose(m_context.Code.PatchBank.row(patch), chosen);
    m_context.Code.ParameterChanged(patch);
    recordChange(parameterCaption(first), mergeKey("LFO_Type", patch, first));
}

void NormalEdit::DCO_Octave_Click(int index) {
    const int patch = windowPatch();
    if (patch == 0) return;
    const SwitchGroup& group = *switchGroupOf(index);
    const int first = group.FirstMember;
    group.choose(m_context.Code.PatchBank.row(patch), DCO_Octave[index]->currentIndex());
    m_context.Code.ParameterChanged(patch);
    recordChange(parameterCaption(first), mergeKey("DCO_Octave", patch, first));
}

void NormalEdit::NameText_Change() { storeName(); }

void NormalEdit::NameText_GotFocus() {
    NameText->setSelection(0, NameText->text().length());
}

void NormalEdit::SendButton_Click() { sendPatch(); }

bool NormalEdit::eventFilter(QObject* watched, QEvent* event) {
    if (m_unloaded) return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (const int index = parameterOf(watched); index != 0 && watched == Text[index]) {
            const int typed = EditorInput::typedCharacter(*static_cast<QKeyEvent*>(event));
            if (typed == EditorInput::kNoCharacter) return false;
            int keyCode = typed;
            Text_KeyPress(index, keyCode);
            return keyCode == 0;
        }
        break;
    case QEvent::InputMethod:
        if (const int index = parameterOf(watched); index != 0 && watched == Text[index] &&
            EditorInput::dropRefusedCharacters(*static_cast<QInputMethodEvent*>(event)))
            m_context.Desk.beep(Text[index]);
        break;
    case QEvent::FocusIn:
        if (watched == NameText)
            NameText_GotFocus();
        else if (const int index = parameterOf(watched); index != 0 && watched == Text[index])
            Text_GotFocus(index);
        break;
    case QEvent::FocusOut:
        // A context menu over the box takes the focus only for a moment.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) break;
        if (const int index = parameterOf(watched); index != 0 && watched == Text[index])
            Text_LostFocus(index);
        break;
    default:
        break;
    }
    return EditorWindow::eventFilter(watched, event);
}
