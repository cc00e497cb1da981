#include "Bit01Edit.h"

#include "EditorInput.h"
#include "NormalEdit.h"
#include "Patch.h"
#include "Twips.h"
#include "desktop/Desktop.h"
#include "core/NumberText.h"
#include "core/QuenlorCode.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cmath>

namespace {

constexpr int kClientWidth = 6612;
constexpr int kClientHeight = 5280;

// The grid, inside the frame: a box per row step, and a new column once a box would
// reach below the last row.
constexpr int kFirstBoxLeft = 480;
constexpr int kFirstBoxTop = 240;
constexpr int kBoxWidth = 492;
constexpr int kBoxHeight = 288;
constexpr int kRowStep = 400;
constexpr int kColumnStep = 1000;
constexpr int kLowestBoxTop = 4500;
constexpr int kLabelOffsetLeft = -430; // a number label stands left of its box
constexpr int kLabelOffsetTop = 40;
constexpr int kLabelWidth = 372;
constexpr int kLabelHeight = 252;

// A listener hears the parameter's number, as the instrument's table gives it, and what
// the grouped editor calls it.
void nameBox(QLineEdit* box, int parameter) {
    box->setAccessibleName(QStringLiteral("Parameter %1").arg(parameter));
    box->setAccessibleDescription(NormalEdit::parameterCaption(parameter));
}

// A value as the box shows it: plain decimal, a fraction kept as typed (2.5 stays 2.5).
// An exponent is written with an upper-case E, as the number rule writes and reads it.
QString valueText(double value) {
    return QString::number(value, 'G', 15);
}

} // namespace

Bit01Edit::Bit01Edit(EditorContext& context) : EditorWindow(context) {
    setWindowTitle(QStringLiteral("Bit-01 Edit"));
    setFont(arialBold(8.4));
    setFixedSize(px(kClientWidth), px(kClientHeight));
    const QFont controlFont = arialBold(7.8);

    NameLabel = new QLabel(QStringLiteral("Name"), this);
    NameLabel->setObjectName(QStringLiteral("NameLabel"));
    NameLabel->setFont(controlFont);
    NameLabel->setGeometry(twipRect(120, 144, 492, 252));

    NameText = new QLineEdit(this);
    NameText->setObjectName(QStringLiteral("NameText"));
    NameText->setGeometry(twipRect(720, 120, 2376, 288));
    NameText->setAccessibleName(QStringLiteral("Patch name"));
    NameLabel->setBuddy(NameText);

    SendButton = new QPushButton(QStringLiteral("Send"), this);
    SendButton->setObjectName(QStringLiteral("SendButton"));
    SendButton->setFont(controlFont);
    SendButton->setGeometry(twipRect(4980, 120, 1512, 312));

    Bit01EditFrame = new QGroupBox(this);
    Bit01EditFrame->setObjectName(QStringLiteral("Bit01EditFrame"));
    Bit01EditFrame->setGeometry(twipRect(120, 480, 6372, 4716));

    // Member 1 of each group is the template the grid copies.
    PT[1] = new QLineEdit(QStringLiteral("1"), Bit01EditFrame);
    PT[1]->setFont(controlFont);
    QPalette boxPalette = PT[1]->palette();
    boxPalette.setColor(QPalette::Base, Qt::white);
    boxPalette.setColor(QPalette::Text, Qt::black);
    PT[1]->setPalette(boxPalette);
    m_boxLeft[1] = kFirstBoxLeft;
    m_boxTop[1] = kFirstBoxTop;
    PT[1]->setGeometry(twipRect(kFirstBoxLeft, kFirstBoxTop, kBoxWidth, kBoxHeight));
    PT[1]->setObjectName(QStringLiteral("PT"));
    PT[1]->setProperty("parameter", 1);
    PT[1]->installEventFilter(this);

    PL[1] = new QLabel(QStringLiteral("1"), Bit01EditFrame);
    PL[1]->setObjectName(QStringLiteral("PL"));
    PL[1]->setFont(controlFont);
    PL[1]->setGeometry(twipRect(0, 276, kLabelWidth, kLabelHeight));
    PL[1]->setProperty("parameter", 1);

    connect(PT[1], &QLineEdit::textChanged, this, [this] { PT_Change(1); });
    nameBox(PT[1], 1);
    EditorInput::connectNameBox(NameText, this, [this] { NameText_Change(); });
    connect(SendButton, &QPushButton::clicked, this, [this] { SendButton_Click(); });
}

QLineEdit* Bit01Edit::makeBox(int parameter) {
    auto* box = new QLineEdit(PT[1]->text(), Bit01EditFrame);
    box->setObjectName(PT[1]->objectName());
    box->setFont(PT[1]->font());
    box->setPalette(PT[1]->palette());
    box->resize(PT[1]->size());
    box->setProperty("parameter", parameter);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, [this, parameter] { PT_Change(parameter); });
    nameBox(box, parameter);
    return box;
}

QLabel* Bit01Edit::makeLabel(int parameter) {
    auto* label = new QLabel(QString::number(parameter), Bit01EditFrame);
    label->setObjectName(PL[1]->objectName());
    label->setFont(PL[1]->font());
    label->setPalette(PL[1]->palette());
    label->resize(PL[1]->size());
    label->setProperty("parameter", parameter);
    return label;
}

void Bit01Edit::BuildGrid() {
    const auto placeLabel = [this](int k) {
        PL[k]->setGeometry(twipRect(m_boxLeft[k] + kLabelOffsetLeft, m_boxTop[k] + kLabelOffsetTop,
                                    kLabelWidth, kLabelHeight));
    };
    placeLabel(1);
    PL[1]->setBuddy(PT[1]);
    for (int k = 2; k <= kLastParameter; ++k) {
        PT[k] = makeBox(k);
        PL[k] = makeLabel(k);
        PL[k]->setBuddy(PT[k]);
        // Column first: down by a row until the next box would pass the lowest row.
        if (m_boxTop[k - 1] + kRowStep > kLowestBoxTop) {
            m_boxLeft[k] = m_boxLeft[k - 1] + kColumnStep;
            m_boxTop[k] = m_boxTop[1];
        } else {
            m_boxLeft[k] = m_boxLeft[k - 1];
            m_boxTop[k] = m_boxTop[k - 1] + kRowStep;
        }
        PT[k]->setGeometry(twipRect(m_boxLeft[k], m_boxTop[k], kBoxWidth, kBoxHeight));
        placeLabel(k);
    }
    // The focus moves through the boxes by number, then to the name and the button.
    for (int k = 2; k <= kLastParameter; ++k)
        setTabOrder(PT[k - 1], PT[k]);
    setTabOrder(PT[kLastParameter], NameText);
    setTabOrder(NameText, SendButton);
    for (int k = kFirstParameter; k <= kLastParameter; ++k) {
        PT[k]->setVisible(true);
        PL[k]->setVisible(true);
    }
}

// A text written into a box drops its selection, so only a changed value is written; the
// box with the focus then selects its new text, as the focus coming to it does, so that
// what is typed next replaces the value.
void Bit01Edit::FillGrid(int patch) {
    const ScopedFlag<int16_t> writing(Updating, kOn);
    for (int k = kFirstParameter; k <= kLastParameter; ++k) {
        const QString text = QString::number(m_context.Code.PatchBank(patch, k));
        if (PT[k]->text() == text) continue;
        PT[k]->setText(text);
        if (PT[k]->hasFocus()) PT_GotFocus(k);
    }
}

void Bit01Edit::NormalizeGroup(int patch, int first, int changed, int count, bool requireOne) {
    Bank& bank = m_context.Code.PatchBank;
    int sum = 0;
    for (int m = first; m < first + count; ++m)
        sum += bank(patch, m);
    if (sum > 1) {
        for (int m = first; m < first + count; ++m)
            bank(patch, m) = 0;
        bank(patch, changed) = 1;
    }
    if (sum == 0 && requireOne) bank(patch, changed) = 1;
    const ScopedFlag<int16_t> writing(Updating, kOn);
    for (int m = first; m < first + count; ++m)
        PT[m]->setText(QString::number(bank(patch, m)));
}

void Bit01Edit::Form_Load() {
    loadPatch(Patch::Bit01Editor);
    // The boxes get their values when the window is first shown.
    BuildGrid();
}

// Refilling sends nothing: the boxes are written under Updating, and automatic sending
// is held besides.
void Bit01Edit::Form_Paint() {
    const int patch = nameTextPatch();
    if (patch == 0) return;
    const EditorInput::SendingHeld held(m_context.Code);
    FillGrid(patch);
}

void Bit01Edit::Form_GotFocus() {
    if (const int patch = nameTextPatch()) FillGrid(patch);
}

void Bit01Edit::showEvent(QShowEvent* event) {
    EditorWindow::showEvent(event);
    Form_Paint();
}

QWidget* Bit01Edit::firstControl() const { return PT[1]; }

void Bit01Edit::repaintNow() {
    Form_Paint();
    if (isVisible()) repaint();
}

void Bit01Edit::Form_Activate() {
    const int patch = windowPatch();
    if (patch == 0) return;
    m_context.PatchWindow->selectPatchRow(patch);
    m_context.Code.SendPatch(patch);
    // Becoming the active window is where the window gets the focus.
    Form_GotFocus();
}

void Bit01Edit::Form_QueryUnload() { unloadPatch(); }

void Bit01Edit::NameText_Change() { storeName(); }

void Bit01Edit::PT_Change(int index) {
    if (Updating == kOn) return;
    // The user types only into the active window, which is this one.
    const int patch = windowPatch();
    if (patch == 0) return;
    QuenlorCode& code = m_context.Code;
    double v = NumberText::readNumber(PT[index]->text().toStdString());
    if (std::isnan(v) || v <= 0) v = 0; // also turns -0 into 0
    if (v > code.ParameterTable.MaxValue(index)) v = code.ParameterTable.MaxValue(index);
    code.PatchBank(patch, index) = NumberText::roundToInt16(v);

    if (const SwitchGroup* group = switchGroupOf(index)) {
        NormalizeGroup(patch, group->FirstMember, index, group->Count, group->OneRequired);
    } else if (const QString shown = valueText(v); PT[index]->text() != shown) {
        // The rewrite runs this change action again, which reports the patch again.
        PT[index]->setText(shown);
        PT[index]->setCursorPosition(0);
    }
    code.ParameterChanged(patch);
    recordChange(NormalEdit::parameterCaption(index), mergeKey("PT", patch, index));
}

void Bit01Edit::PT_GotFocus(int index) {
    PT[index]->setSelection(0, PT[index]->text().length());
}

void Bit01Edit::PT_KeyPress(int index, int& keyCode) {
    if (keyCode == EditorInput::kEnter) {
        keyCode = 0;
        return;
    }
    if (keyCode >= EditorInput::kFirstRefused) {
        m_context.Desk.beep(PT[index]);
        keyCode = 0;
    }
}

// The button sends the patch, as the normal editor's Send button does.
void Bit01Edit::SendButton_Click() { sendPatch(); }

bool Bit01Edit::eventFilter(QObject* watched, QEvent* event) {
    if (m_unloaded) return false;
    if (event->type() == QEvent::InputMethod) {
        const int index = parameterOf(watched);
        if (index >= kFirstParameter && index <= kLastParameter && watched == PT[index] &&
            EditorInput::dropRefusedCharacters(*static_cast<QInputMethodEvent*>(event)))
            m_context.Desk.beep(PT[index]);
        return false;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::FocusIn) {
        const int index = parameterOf(watched);
        if (index >= kFirstParameter && index <= kLastParameter && watched == PT[index]) {
            if (event->type() == QEvent::FocusIn) {
                PT_GotFocus(index);
                return false;
            }
            const int typed = EditorInput::typedCharacter(*static_cast<QKeyEvent*>(event));
            if (typed == EditorInput::kNoCharacter) return false;
            int keyCode = typed;
            PT_KeyPress(index, keyCode);
            return keyCode == 0;
        }
    }
    return EditorWindow::eventFilter(watched, event);
}
