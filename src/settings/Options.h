#pragma once

#include "ControllersPage.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QuenlorCode;
class MIDIUtilities;
class MidiPorts;
class SettingsStore;

// The options dialog: the MIDI devices and channels, MIDI thru, the Bit 99 header,
// automatic update, the timing of patches on the cable, the library's audition and the
// controllers that play parameters. OK applies the choices, reopens both ports and saves;
// Cancel applies nothing, except the Bit 99 header, which takes effect when clicked.
class Options : public QDialog {
    Q_OBJECT
public:
    // `caption` names parameters in the Controllers tab as the editors do.
    Options(QuenlorCode& code, MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store,
            QWidget* parent = nullptr, ControllersPage::ParameterCaption caption = {});

    QTabWidget* OptionsTab;
    QLabel* MidiInLabel;
    QComboBox* MidiInCombo;
    QLabel* MidiInChannelLabel;
    QComboBox* MidiInChannelCombo;
    QLabel* MidiOutLabel;
    QComboBox* MidiOutCombo;
    QLabel* MidiOutChannelLabel;
    QComboBox* MidiOutChannelCombo;
    QCheckBox* MidiThruCheck;
    QCheckBox* Bit99Header;
    QCheckBox* AutoUpdate;
    QCheckBox* UpdateProgOne;
    QLabel* PauseAfterPatchLabel;
    QSpinBox* PauseAfterPatch;
    QCheckBox* SendNewestOnly;
    QCheckBox* PlayNoteWhenAuditioning;
    ControllersPage* Controllers;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void btnOk_Click();
    void btnCancel_Click();
    void Bit99Header_Click();
    void MidiThruCheck_Click();

    // Escape and the window's close button act as Cancel.
    void reject() override;

private:
    void createControls(ControllersPage::ParameterCaption caption);
    void Form_Load();

    QuenlorCode& m_code;
    MIDIUtilities& m_midi;
    MidiPorts& m_ports;
    SettingsStore& m_store;
};
