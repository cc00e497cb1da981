#include "NormalEdit.h"

#include "EditorInput.h"
#include "Twips.h"
#include "core/ParameterNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <vector>

namespace {

constexpr int kClientWidth = 8280;
constexpr int kClientHeight = 5208;
const QColor kLightGray(0xC0, 0xC0, 0xC0);

// Inside a section frame.
constexpr int kValueBoxLeft = 120;
constexpr int kValueBoxWidth = 245;
constexpr int kValueBoxHeight = 240;
constexpr int kValueBoxMaxLength = 2;
constexpr int kSliderLeft = 360;
constexpr int kSliderWidth = 1400;
constexpr int kSliderHeight = 216;
constexpr int kRowLabelLeft = 1800;
constexpr int kRowLabelHeight = 192;
constexpr int kFlagLeft = 1620;
constexpr int kFlagHeight = 288;
constexpr int kFrameRightMargin = 30; // between a label's or check box's end and the frame
constexpr int kListTop = 540;
constexpr int kListHeight = 315;
constexpr int kListLabelTop = 300;
constexpr int kListLabelHeight = 192;
constexpr int kLfoListLeft = 180;
constexpr int kLfoListWidth = 1152;
constexpr int kOctaveListLeft = 240;
constexpr int kOctaveListWidth = 552;

// The instrument's blocks, in the window's focus order.
enum Section { LFO1, LFO2, DCO1, DCO2, VCF, VCA, SectionCount };

struct FrameSpec {
    const char* name;
    const char* caption;
    int left, top, width, height;
};
constexpr FrameSpec kFrames[SectionCount] = {
    {"LFO1_Frame", "LFO1", 120, 0, 2712, 2568},  {"LFO2_Frame", "LFO2", 120, 2820, 2712, 2292},
    {"DCO1_Frame", "DCO1", 2880, 0, 2712, 2028}, {"DCO2_Frame", "DCO2", 2880, 2160, 2712, 2028},
    {"VCF_Frame", "VCF", 5700, 0, 2472, 3048},   {"VCA_Frame", "VCA", 5640, 3060, 2532, 2088},
};

// One slider row: value box, slider and row label share the top. The large step is 3
// for the 0..11 frequency sliders and 10 for all others.
struct SliderRowSpec {
    Section section;
    int parameter;
    const char* labelName;
    int top;
    int largeStep;
};
constexpr SliderRowSpec kSliderRows[] = {
    {LFO1, 8, "LFO1_Delay_Label", 1260, 10},
    {LFO1, 9, "LFO1_Rate_Label", 1500, 10},
    {LFO1, 10, "LFO1_DRate_Label", 1740, 10},
    {LFO1, 11, "LFO1_Depth_Label", 1980, 10},
    {LFO1, 12, "LFO1_WheelAm_Label", 2220, 10},
    {VCF, 13, "VCF_A", 300, 10},
    {VCF, 14, "VCF_D", 540, 10},
    {VCF, 15, "VCF_S", 780, 10},
    {VCF, 16, "VCF_R", 1020, 10},
    {VCF, 17, "VCF_DA", 1260, 10},
    {VCF, 18, "VCF_Track", 1500, 10},
    {VCF, 19, "VCF_CutOff", 1740, 10},
    {VCF, 20, "VCF_Res", 1980, 10},
    {VCF, 21, "VCF_Env", 2220, 10},
    {VCF, 22, "VCF_DEnv", 2460, 10},
    {DCO1, 31, "DCO1_Freq_Label", 960, 3},
    {DCO1, 32, "DCO1_PW_Label", 1200, 10},
    {DCO1, 33, "DCO1_DPW_Label", 1440, 10},
    {DCO1, 34, "DCO1_Noise_Label", 1680, 10},
    {DCO2, 42, "DCO2_Freq_Label", 960, 3},
    {DCO2, 43, "DCO2_PW_Label", 1200, 10},
    {DCO2, 44, "DCO2_DPW_Label", 1440, 10},
    {DCO2, 45, "DCO2_Detune_Label", 1680, 10},
    {VCA, 46, "VCA_DA", 300, 10},
    {VCA, 47, "VCA_DAmt", 540, 10},
    {VCA, 48, "VCA_PrgVol", 780, 10},
    {VCA, 49, "VCA_A", 1020, 10},
    {VCA, 50, "VCA_D", 1260, 10},
    {VCA, 51, "VCA_S", 1500, 10},
    {VCA, 52, "VCA_R", 1740, 10},
    {LFO2, 60, "LFO2_Delay_Label", 1260, 10},
    {LFO2, 61, "LFO2_Rate_Label", 1500, 10},
    {LFO2, 62, "LFO2_DRate_Label", 1740, 10},
    {LFO2, 63, "LFO2_Depth_Label", 1980, 10},
};

struct FlagSpec {
    Section section;
    int parameter;
    int top;
};
constexpr FlagSpec kFlags[] = {
    {LFO1, 4, 240},  {LFO1, 5, 480},  {LFO1, 6, 720},  {LFO1, 7, 960},  {VCF, 23, 2700},
    {DCO1, 28, 180}, {DCO1, 29, 420}, {DCO1, 30, 660}, {DCO2, 39, 180}, {DCO2, 40, 420},
    {DCO2, 41, 660}, {LFO2, 56, 240}, {LFO2, 57, 480}, {LFO2, 58, 720}, {LFO2, 59, 960},
};

void place(QWidget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(twipRect(left, top, width, height));
}

} // namespace

QString NormalEdit::parameterCaption(int parameter) {
    return QString::fromStdString(ParameterNames::caption(parameter));
}

NormalEdit::NormalEdit(EditorContext& context) : EditorWindow(context) {
    setWindowTitle(QStringLiteral("Normal Edit"));
    buildControls();
    connectControls();
}

void NormalEdit::buildControls() {
    // The window font is NameText's; every other caption and value is a size smaller.
    setFont(arialBold(8.4));
    const QFont controlFont = arialBold(7.8);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, kLightGray);
    windowPalette.setColor(QPalette::Button, kLightGray);
    setPalette(windowPalette);
    setAutoFillBackground(true);
    setFixedSize(px(kClientWidth), px(kClientHeight));

    std::array<QGroupBox*, SectionCount> frames{};
    for (int s = 0; s < SectionCount; ++s) {
        const FrameSpec& spec = kFrames[s];
        frames[s] = new QGroupBox(QLatin1String(spec.caption), this);
        frames[s]->setFont(controlFont);
        place(frames[s], spec.name, spec.left, spec.top, spec.width, spec.height);
    }
    LFO1_Frame = frames[LFO1];
    LFO2_Frame = frames[LFO2];
    DCO1_Frame = frames[DCO1];
    DCO2_Frame = frames[DCO2];
    VCF_Frame = frames[VCF];
    VCA_Frame = frames[VCA];

    NameText = new QLineEdit(this);
    place(NameText, "NameText", 2880, 4800, 2712, 324);
    NameText->installEventFilter(this);

    NameLabel = new QLabel(QStringLiteral("Name"), this);
    NameLabel->setFont(controlFont);
    place(NameLabel, "NameLabel", 2940, 4560, 1092, 192);
    NameLabel->setBuddy(NameText);
    NameText->setAccessibleName(QStringLiteral("Patch name"));

    SendButton = new QPushButton(QStringLiteral("Send"), this);
    SendButton->setFont(controlFont);
    place(SendButton, "SendButton", 4140, 4260, 1392, 312);
    SendButton->setAccessibleDescription(QStringLiteral("Sends this patch to the instrument"));

    LFO_Type[1] = buildList(LFO1_Frame, 1, kLfoListLeft, kLfoListWidth, LFO1_Type_Label,
                            "LFO1_Type_Label", ParameterNames::label(1));
    LFO_Type[53] = buildList(LFO2_Frame, 53, kLfoListLeft, kLfoListWidth, LFO2_Type_Label,
                             "LFO2_Type_Label", ParameterNames::label(53));
    DCO_Octave[24] = buildList(DCO1_Frame, 24, kOctaveListLeft, kOctaveListWidth,
                               DCO_Octave_Label[0], "DCO_Octave_Label", ParameterNames::label(24));
    DCO_Octave[35] = buildList(DCO2_Frame, 35, kOctaveListLeft, kOctaveListWidth,
                               DCO_Octave_Label[1], "DCO_Octave_Label", ParameterNames::label(35));
    DCO_Octave[24]->setObjectName(QStringLiteral("DCO_Octave"));
    DCO_Octave[35]->setObjectName(QStringLiteral("DCO_Octave"));

    for (const SliderRowSpec& row : kSliderRows)
        buildSliderRow(frames[row.section], kFrames[row.section].width, row.parameter, ParameterNames::label(row.parameter),
                       row.labelName, row.top, row.largeStep);
    for (const FlagSpec& flag : kFlags)
        buildFlag(frames[flag.section], kFrames[flag.section].width, flag.parameter, ParameterNames::label(flag.parameter),
                  flag.top);

    // Focus order: the name, then section by section the list, the check boxes and the
    // slider rows (value box before slider); the VCF section has its check box last.
    std::vector<QWidget*> order{NameText};
    const std::array<QComboBox*, SectionCount> sectionLists{
        LFO_Type[1], LFO_Type[53], DCO_Octave[24], DCO_Octave[35], nullptr, nullptr};
    for (int s = 0; s < SectionCount; ++s) {
        if (sectionLists[s]) order.push_back(sectionLists[s]);
        std::vector<QWidget*> flags;
        std::vector<QWidget*> rows;
        for (const FlagSpec& flag : kFlags)
            if (flag.section == s) flags.push_back(Flag[flag.parameter]);
        for (const SliderRowSpec& row : kSliderRows)
            if (row.section == s) {
                rows.push_back(Text[row.parameter]);
                rows.push_back(Slider[row.parameter]);
            }
        if (s == VCF) flags.swap(rows);
        order.insert(order.end(), flags.begin(), flags.end());
        order.insert(order.end(), rows.begin(), rows.end());
    }
    order.push_back(SendButton);
    for (size_t k = 1; k < order.size(); ++k)
        setTabOrder(order[k - 1], order[k]);
}

QComboBox* NormalEdit::buildList(QGroupBox* frame, int parameter, int left, int width,
                                 QLabel*& label, const char* labelName, const char* labelCaption) {
    const QFont controlFont = arialBold(7.8);
    label = new QLabel(QLatin1String(labelCaption), frame);
    label->setFont(controlFont);
    place(label, labelName, left, kListLabelTop, width, kListLabelHeight);

    auto* list = new QComboBox(frame);
    list->setEditable(false);
    list->setFont(controlFont);
    place(list, parameter == 1 || parameter == 53 ? "LFO_Type" : "DCO_Octave", left, kListTop,
          width, kListHeight);
    list->setProperty("parameter", parameter);
    // Screen readers on Linux name a list by its label and read the list's own name as its
    // choice: the label carries the section as well.
    label->setAccessibleName(parameterCaption(parameter));
    label->setBuddy(list);
    label->setProperty("parameter", parameter);
    return list;
}

void NormalEdit::buildSliderRow(QGroupBox* frame, int frameWidth, int parameter,
                                const char* caption, const char* labelName, int top,
                                int largeStep) {
    const QFont controlFont = arialBold(7.8);

    auto* box = new QLineEdit(QStringLiteral("0"), frame);
    box->setFont(controlFont);
    box->setMaxLength(kValueBoxMaxLength);
    // Two digits in a narrow box: no room for the usual inner margins.
    box->setFrame(false);
    box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette boxPalette = box->palette();
    boxPalette.setColor(QPalette::Base, kLightGray);
    box->setPalette(boxPalette);
    place(box, "Text", kValueBoxLeft, top, kValueBoxWidth, kValueBoxHeight);
    box->setProperty("parameter", parameter);
    box->installEventFilter(this);
    Text[parameter] = box;

    auto* slider = new QScrollBar(Qt::Horizontal, frame);
    slider->setRange(0, kParameterRows[parameter].MaxValue);
    slider->setSingleStep(1);
    slider->setPageStep(largeStep);
    // A thumb drag reports one change when it ends, not one per position passed.
    slider->setTracking(false);
    // A scroll bar reverses its arrow keys by default (it scrolls content); as a value
    // control, Right and Up raise the value and Left and Down lower it.
    slider->setInvertedControls(false);
    slider->setFocusPolicy(Qt::StrongFocus);
    place(slider, "Slider", kSliderLeft, top, kSliderWidth, kSliderHeight);
    slider->setProperty("parameter", parameter);
    Slider[parameter] = slider;

    auto* label = new QLabel(QLatin1String(caption), frame);
    label->setFont(controlFont);
    const int labelWidth = frameWidth - kRowLabelLeft - kFrameRightMargin;
    place(label, labelName, kRowLabelLeft, top, labelWidth, kRowLabelHeight);
    label->setProperty("parameter", parameter);
    SliderLabel[parameter] = label;

    // The slider is the parameter; its box is the same value as a number to type.
    const QString name = parameterCaption(parameter);
    slider->setAccessibleName(name);
    box->setAccessibleName(name + QStringLiteral(" value"));
    label->setBuddy(slider);
}

void NormalEdit::buildFlag(QGroupBox* frame, int frameWidth, int parameter, const char* caption,
                           int top) {
    auto* flag = new QCheckBox(QLatin1String(caption), frame);
    flag->setFont(arialBold(7.8));
    const int width = frameWidth - kFlagLeft - kFrameRightMargin;
    place(flag, "Flag", kFlagLeft, top, width, kFlagHeight);
    flag->setProperty("parameter", parameter);
    // "DCO1" alone does not say which section's destination it is.
    flag->setAccessibleName(parameterCaption(parameter));
    Flag[parameter] = flag;
}

void NormalEdit::connectControls() {
    for (int i = kFirstParameter; i <= kLastParameter; ++i) {
        if (Slider[i])
            connect(Slider[i], &QScrollBar::valueChanged, this, [this, i] { Slider_Change(i); });
        if (Flag[i])
            connect(Flag[i], &QCheckBox::toggled, this,
                    [this, i](bool ticked) { Flag_Click(i, ticked ? kOn : kOff); });
        if (LFO_Type[i])
            connect(LFO_Type[i], &QComboBox::currentIndexChanged, this,
                    [this, i] { LFO_Type_Click(i); });
        if (DCO_Octave[i])
            connect(DCO_Octave[i], &QComboBox::currentIndexChanged, this,
                    [this, i] { DCO_Octave_Click(i); });
    }
    EditorInput::connectNameBox(NameText, this, [this] { NameText_Change(); });
    connect(SendButton, &QPushButton::clicked, this, [this] { SendButton_Click(); });
    for (QGroupBox* frame : {LFO1_Frame, LFO2_Frame, DCO1_Frame, DCO2_Frame, VCF_Frame, VCA_Frame}) {
        frame->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(frame, &QWidget::customContextMenuRequested, this, [this, frame](const QPoint& at) {
            sectionMenu(frame)->exec(frame->mapToGlobal(at));
        });
    }
}
