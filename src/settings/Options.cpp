#include "Options.h"

#include "ControllerSettings.h"
#include "Settings.h"
#include "core/NumberText.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "midi/MidiPorts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int kChannels = 16;
// The device lists are wide, the channel lists narrow.
constexpr int kDeviceColumnStretch = 4;
constexpr int kChannelColumnStretch = 1;

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

Options::Options(QuenlorCode& code, MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store,
                 QWidget* parent, ControllersPage::ParameterCaption caption)
    : QDialog(parent), m_code(code), m_midi(midi), m_ports(ports), m_store(store) {
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(tr("Options"));
    setModal(true);
    createControls(std::move(caption));
    Form_Load();
}

void Options::createControls(ControllersPage::ParameterCaption caption) {
    OptionsTab = named(new QTabWidget(this), "OptionsTab");

    auto* midiPage = new QWidget(OptionsTab);
    MidiInLabel = named(new QLabel(tr("MIDI in"), midiPage), "MidiInLabel");
    MidiInChannelLabel = named(new QLabel(tr("Channel"), midiPage), "MidiInChannelLabel");
    MidiInCombo = named(new QComboBox(midiPage), "MidiInCombo");
    MidiInChannelCombo = named(new QComboBox(midiPage), "MidiInChannelCombo");
    MidiOutLabel = named(new QLabel(tr("MIDI Out"), midiPage), "MidiOutLabel");
    MidiOutChannelLabel = named(new QLabel(tr("Channel"), midiPage), "MidiOutChannelLabel");
    MidiOutCombo = named(new QComboBox(midiPage), "MidiOutCombo");
    MidiOutChannelCombo = named(new QComboBox(midiPage), "MidiOutChannelCombo");
    MidiThruCheck = named(new QCheckBox(tr("MIDI Thru"), midiPage), "MidiThruCheck");
    Bit99Header = named(new QCheckBox(tr("Transmit Bit 99 SysEx header"), midiPage), "Bit99Header");
    MidiInLabel->setBuddy(MidiInCombo);
    MidiOutLabel->setBuddy(MidiOutCombo);
    MidiInChannelLabel->setBuddy(MidiInChannelCombo);
    MidiOutChannelLabel->setBuddy(MidiOutChannelCombo);
    // Both channel lists are captioned "Channel"; a listener needs to hear whose. Screen
    // readers on Linux name a list by its label and read the list's own name as its value.
    MidiInChannelLabel->setAccessibleName(tr("MIDI in channel"));
    MidiOutChannelLabel->setAccessibleName(tr("MIDI Out channel"));
    OptionsTab->setAccessibleName(tr("Option pages"));
    // Long device names must not make the dialog grow past the screen.
    for (QComboBox* list : {MidiInCombo, MidiOutCombo})
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    MidiInCombo->setMinimumContentsLength(24);
    MidiOutCombo->setMinimumContentsLength(24);

    auto* midiGrid = new QGridLayout(midiPage);
    midiGrid->addWidget(MidiInLabel, 0, 0);
    midiGrid->addWidget(MidiInChannelLabel, 0, 1);
    midiGrid->addWidget(MidiInCombo, 1, 0);
    midiGrid->addWidget(MidiInChannelCombo, 1, 1);
    midiGrid->addWidget(MidiOutLabel, 2, 0);
    midiGrid->addWidget(MidiOutChannelLabel, 2, 1);
    midiGrid->addWidget(MidiOutCombo, 3, 0);
    midiGrid->addWidget(MidiOutChannelCombo, 3, 1);
    midiGrid->addWidget(MidiThruCheck, 4, 0, 1, 2);
    midiGrid->addWidget(Bit99Header, 5, 0, 1, 2);
    midiGrid->setColumnStretch(0, kDeviceColumnStretch);
    midiGrid->setColumnStretch(1, kChannelColumnStretch);
    midiGrid->setRowStretch(6, 1);
    OptionsTab->addTab(midiPage, tr("MIDI"));

    auto* updatePage = new QWidget(OptionsTab);
    AutoUpdate = named(new QCheckBox(tr("Automatic update"), updatePage), "AutoUpdate");
    UpdateProgOne = named(new QCheckBox(tr("Send to program 1"), updatePage), "UpdateProgOne");
    auto* updateColumn = new QVBoxLayout(updatePage);
    updateColumn->addWidget(AutoUpdate);
    updateColumn->addWidget(UpdateProgOne);
    updateColumn->addStretch(1);
    OptionsTab->addTab(updatePage, tr("Update"));

    auto* timingPage = new QWidget(OptionsTab);
    PauseAfterPatchLabel =
        named(new QLabel(tr("Pause after each patch (ms)"), timingPage), "PauseAfterPatchLabel");
    PauseAfterPatch = named(new QSpinBox(timingPage), "PauseAfterPatch");
    PauseAfterPatch->setRange(0, MIDIOutput::kLongestPauseMs);
    PauseAfterPatch->setSingleStep(10);
    PauseAfterPatchLabel->setBuddy(PauseAfterPatch);
    SendNewestOnly = named(new QCheckBox(tr("Skip patches that a newer one replaces"), timingPage),
                           "SendNewestOnly");
    auto* timingGrid = new QGridLayout(timingPage);
    timingGrid->addWidget(PauseAfterPatchLabel, 0, 0);
    timingGrid->addWidget(PauseAfterPatch, 0, 1);
    timingGrid->addWidget(SendNewestOnly, 1, 0, 1, 2);
    timingGrid->setColumnStretch(2, 1);
    timingGrid->setRowStretch(2, 1);
    OptionsTab->addTab(timingPage, tr("Timing"));

    auto* libraryPage = new QWidget(OptionsTab);
    PlayNoteWhenAuditioning = named(new QCheckBox(tr("Play a note when auditioning"), libraryPage),
                                    "PlayNoteWhenAuditioning");
    auto* libraryColumn = new QVBoxLayout(libraryPage);
    libraryColumn->addWidget(PlayNoteWhenAuditioning);
    libraryColumn->addStretch(1);
    OptionsTab->addTab(libraryPage, tr("Library"));

    Controllers = named(new ControllersPage(m_code, std::move(caption), OptionsTab), "Controllers");
    OptionsTab->addTab(Controllers, tr("Controllers"));

    btnOk = named(new QPushButton(tr("OK"), this), "btnOk");
    btnCancel = named(new QPushButton(tr("Cancel"), this), "btnCancel");
    // Enter acts as OK wherever the focus is, except on Cancel: a focused Cancel button
    // takes Enter for itself and becomes the default only while it has the focus.
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    btnCancel->setAutoDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(OptionsTab);
    column->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &Options::btnOk_Click);
    connect(btnCancel, &QPushButton::clicked, this, &Options::btnCancel_Click);
    connect(Bit99Header, &QCheckBox::clicked, this, &Options::Bit99Header_Click);
    connect(MidiThruCheck, &QCheckBox::clicked, this, &Options::MidiThruCheck_Click);
}

// Reads the current settings into the controls. Listing the devices leaves the
// ports' selections as they were.
void Options::Form_Load() {
    const int16_t inId = m_ports.MIDIInput1.DeviceID();
    const int16_t outId = m_ports.MIDIOutput1.DeviceID();
    MidiInCombo->addItems(m_ports.MIDIInput1.productNames());
    MidiOutCombo->addItems(m_ports.MIDIOutput1.productNames());

    UpdateProgOne->setChecked(m_code.SendToOne == kOn);
    AutoUpdate->setChecked(m_code.AutoUpdate == kOn);

    // An entry that is not in the list (no device at all, or one unplugged since the
    // port opened) leaves the list with nothing selected.
    MidiInCombo->setCurrentIndex(inId + 1 >= 0 && inId + 1 < MidiInCombo->count() ? inId + 1 : -1);
    MidiOutCombo->setCurrentIndex(outId + 1 >= 0 && outId + 1 < MidiOutCombo->count() ? outId + 1 : -1);

    for (int channel = 1; channel <= kChannels; ++channel) {
        const QString entry = QString::fromStdString(NumberText::writeNumber(channel));
        MidiInChannelCombo->addItem(entry);
        MidiOutChannelCombo->addItem(entry);
    }
    MidiInChannelCombo->setCurrentIndex(validChannel(m_code.MIDIChannelIn) - 1);
    MidiOutChannelCombo->setCurrentIndex(validChannel(m_code.MIDIChannelOut) - 1);

    MidiThruCheck->setChecked(m_code.MIDIThru == kOn);
    MidiThruCheck_Click();
    Bit99Header->setChecked(m_code.Bit99Compatible == 1);

    PauseAfterPatch->setValue(m_code.PauseAfterPatch);
    SendNewestOnly->setChecked(m_code.SendNewestOnly == kOn);
    PlayNoteWhenAuditioning->setChecked(m_code.PlayNoteWhenAuditioning == kOn);
}

void Options::Bit99Header_Click() { m_code.Bit99Compatible = Bit99Header->isChecked() ? 1 : 0; }

void Options::MidiThruCheck_Click() {
    const bool thru = MidiThruCheck->isChecked();
    MidiInCombo->setEnabled(thru);
    MidiInChannelCombo->setEnabled(thru);
}

void Options::btnOk_Click() {
    m_midi.CloseMidiIn();
    m_midi.CloseMidiOut();
    m_code.MIDIChannelIn = static_cast<int16_t>(MidiInChannelCombo->currentIndex() + 1);
    m_code.MIDIChannelOut = static_cast<int16_t>(MidiOutChannelCombo->currentIndex() + 1);
    m_code.AutoUpdate = AutoUpdate->isChecked() ? kOn : kOff;
    m_code.SendToOne = UpdateProgOne->isChecked() ? kOn : kOff;
    m_code.MIDIThru = MidiThruCheck->isChecked() ? kOn : kOff;
    m_code.PauseAfterPatch = static_cast<int16_t>(PauseAfterPatch->value());
    m_code.SendNewestOnly = SendNewestOnly->isChecked() ? kOn : kOff;
    m_code.PlayNoteWhenAuditioning = PlayNoteWhenAuditioning->isChecked() ? kOn : kOff;
    applyTiming(m_code, m_ports);
    // A disabled list still supplies its selection; an empty one supplies no name,
    // which opens the default device.
    m_midi.OpenMidiIn(MidiInCombo->currentText());
    m_midi.OpenMidiOut(MidiOutCombo->currentText());
    m_code.Controllers = Controllers->controllers();
    m_code.ControllerPassThrough = Controllers->passThrough() ? kOn : kOff;
    SaveSettings(m_code, m_ports, m_store);
    SaveControllers(m_code, m_store);
    accept();
}

void Options::btnCancel_Click() { QDialog::reject(); }

void Options::reject() { btnCancel_Click(); }
