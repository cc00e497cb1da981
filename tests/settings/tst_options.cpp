#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {
const QStringList kInputs = {"Keys:out", "Pads:out", "Drums:out"};
const QStringList kOutputs = {"UM-ONE:UM-ONE MIDI 1", "Bit01:in"};

struct World {
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    MemorySettingsStore store;

    World(QStringList inputs = kInputs, QStringList outputs = kOutputs)
        : world(std::move(inputs), std::move(outputs)) {
        code.Midi = &midi;
    }
    QStringList items(QComboBox* list) const {
        QStringList all;
        for (int i = 0; i < list->count(); ++i)
            all << list->itemText(i);
        return all;
    }
    QStringList stored() const {
        QStringList all;
        for (const auto& w : store.Writes)
            all << w.Section + "/" + w.Key + "=" + w.Value;
        return all;
    }
};

QStringList channelEntries() {
    QStringList all;
    for (int c = 1; c <= 16; ++c)
        all << QStringLiteral(" %1").arg(c);
    return all;
}
} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void controls();
    void opensWithTheCurrentSettings_data();
    void opensWithTheCurrentSettings();
    void thruEnablesTheInputLists();
    void bit99HeaderTakesEffectEvenOnCancel();
    void okWithoutChangeReopensAndSavesAll();
    void okAppliesTheChoices();
    void timingShownAndCancelKeepsIt();
    void emptyDeviceLists_data();
    void emptyDeviceLists();
    void unpluggedDeviceShowsNothingSelected();
    void enterAndEscape_data();
    void enterAndEscape();
    void controllersTab();
};

void TestOptions::cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

void TestOptions::controls() {
    World w;
    Options dialog(w.code, w.midi, w.ports, w.store);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.OptionsTab->count(), 5);
    QCOMPARE(dialog.OptionsTab->tabText(0), QStringLiteral("MIDI"));
    QCOMPARE(dialog.OptionsTab->tabText(1), QStringLiteral("Update"));
    QCOMPARE(dialog.OptionsTab->tabText(2), QStringLiteral("Timing"));
    QCOMPARE(dialog.OptionsTab->tabText(3), QStringLiteral("Library"));
    QCOMPARE(dialog.OptionsTab->tabText(4), QStringLiteral("Controllers"));
    QCOMPARE(dialog.PauseAfterPatch->minimum(), 0);
    QCOMPARE(dialog.PauseAfterPatch->maximum(), 2000);
    QCOMPARE(dialog.PauseAfterPatchLabel->buddy(), dialog.PauseAfterPatch);
    const QList<QPair<QWidget*, QString>> captions = {
        {dialog.MidiInLabel, "MIDI in"},
        {dialog.MidiInChannelLabel, "Channel"},
        {dialog.MidiOutLabel, "MIDI Out"},
        {dialog.MidiOutChannelLabel, "Channel"},
        {dialog.MidiThruCheck, "MIDI Thru"},
        {dialog.Bit99Header, "Transmit Bit 99 SysEx header"},
        {dialog.AutoUpdate, "Automatic update"},
        {dialog.UpdateProgOne, "Send to program 1"},
        {dialog.btnOk, "OK"},
        {dialog.btnCancel, "Cancel"},
        {dialog.PauseAfterPatchLabel, "Pause after each patch (ms)"},
        {dialog.SendNewestOnly, "Skip patches that a newer one replaces"},
        {dialog.PlayNoteWhenAuditioning, "Play a note when auditioning"},
    };
    for (const auto& [widget, caption] : captions) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else
            text = qobject_cast<QAbstractButton*>(widget)->text();
        QCOMPARE(text, caption);
    }
    // Every control is found by its name, on its tab.
    for (const char* name : {"MidiInCombo", "MidiInChannelCombo", "MidiOutCombo", "MidiOutChannelCombo",
                             "MidiThruCheck", "Bit99Header"})
        QVERIFY2(dialog.OptionsTab->widget(0)->findChild<QWidget*>(name), name);
    for (const char* name : {"AutoUpdate", "UpdateProgOne"})
        QVERIFY2(dialog.OptionsTab->widget(1)->findChild<QWidget*>(name), name);
    QVERIFY(dialog.findChild<QPushButton*>("btnOk"));
}

void TestOptions::opensWithTheCurrentSettings_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("channelIn");
    QTest::addColumn<int>("channelOut");
    QTest::addColumn<int>("flags"); // AutoUpdate, SendToOne, thru, Bit 99 as -1/0/-1/1 when on
    QTest::addColumn<int>("inEntry");
    QTest::addColumn<int>("outEntry");
    // The input list starts with "(none)", as the output list with the program's own port.
    QTest::newRow("defaults") << "" << "" << 1 << 1 << 0b0100 << 1 << 0;
    QTest::newRow("all on, last devices") << "Drums:out" << "Bit01:in" << 16 << 10 << 0b1111 << 3 << 2;
    QTest::newRow("first output device") << "Pads:out" << "UM-ONE:UM-ONE MIDI 1" << 5 << 1 << 0b0010 << 2 << 1;
    QTest::newRow("no input device") << "(none)" << "" << 1 << 1 << 0b0010 << 0 << 0;
}

void TestOptions::opensWithTheCurrentSettings() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(int, channelIn);
    QFETCH(int, channelOut);
    QFETCH(int, flags);
    QFETCH(int, inEntry);
    QFETCH(int, outEntry);
    World w;
    w.midi.OpenMidiIn(in);
    w.midi.OpenMidiOut(out);
    w.code.MIDIChannelIn = channelIn;
    w.code.MIDIChannelOut = channelOut;
    w.code.AutoUpdate = flags & 0b1000 ? kOn : kOff;
    w.code.SendToOne = flags & 0b0100 ? kOn : kOff;
    w.code.MIDIThru = flags & 0b0010 ? kOn : kOff;
    w.code.Bit99Compatible = flags & 0b0001 ? 1 : 0;
    w.backend.clearRecord();

    Options dialog(w.code, w.midi, w.ports, w.store);
    QCOMPARE(w.items(dialog.MidiInCombo), QStringList{"(none)"} + kInputs);
    QCOMPARE(w.items(dialog.MidiOutCombo), QStringList{MidiBackend::defaultOutputName()} + kOutputs);
    QCOMPARE(w.items(dialog.MidiInChannelCombo), channelEntries());
    QCOMPARE(w.items(dialog.MidiOutChannelCombo), channelEntries());
    QCOMPARE(dialog.MidiInCombo->currentIndex(), inEntry);
    QCOMPARE(dialog.MidiOutCombo->currentIndex(), outEntry);
    QCOMPARE(dialog.MidiInChannelCombo->currentIndex(), channelIn - 1);
    QCOMPARE(dialog.MidiOutChannelCombo->currentIndex(), channelOut - 1);
    QCOMPARE(dialog.AutoUpdate->isChecked(), bool(flags & 0b1000));
    QCOMPARE(dialog.UpdateProgOne->isChecked(), bool(flags & 0b0100));
    QCOMPARE(dialog.MidiThruCheck->isChecked(), bool(flags & 0b0010));
    QCOMPARE(dialog.Bit99Header->isChecked(), bool(flags & 0b0001));
    QCOMPARE(dialog.MidiInCombo->isEnabled(), bool(flags & 0b0010));
    QCOMPARE(dialog.MidiInChannelCombo->isEnabled(), bool(flags & 0b0010));
    // Listing the devices leaves the ports as they were.
    QVERIFY(w.backend.Log.isEmpty());
    QCOMPARE(int(w.ports.MIDIInput1.DeviceID()), inEntry - 1);
    QCOMPARE(int(w.ports.MIDIOutput1.DeviceID()), outEntry - 1);
}

void TestOptions::thruEnablesTheInputLists() {
    World w;
    Options dialog(w.code, w.midi, w.ports, w.store);
    QVERIFY(!dialog.MidiInCombo->isEnabled());
    QVERIFY(!dialog.MidiInChannelCombo->isEnabled());
    QVERIFY(dialog.MidiOutCombo->isEnabled());
    dialog.MidiThruCheck->click();
    QVERIFY(dialog.MidiInCombo->isEnabled());
    QVERIFY(dialog.MidiInChannelCombo->isEnabled());
    QCOMPARE(int(w.code.MIDIThru), int(kOff)); // changes only on OK
    dialog.MidiThruCheck->click();
    QVERIFY(!dialog.MidiInCombo->isEnabled());
    QVERIFY(!dialog.MidiInChannelCombo->isEnabled());
}

void TestOptions::bit99HeaderTakesEffectEvenOnCancel() {
    World w;
    w.midi.OpenMidiOut(QString());
    w.code.InitPatchModel();
    w.code.MIDIChannelOut = 10;
    {
        Options dialog(w.code, w.midi, w.ports, w.store);
        dialog.Bit99Header->click();
        QCOMPARE(int(w.code.Bit99Compatible), 1);
        dialog.btnCancel->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(int(w.code.Bit99Compatible), 1);
    QVERIFY(w.store.Writes.empty());
    w.code.SendPatch(1);
    QCOMPARE(w.backend.Sent.at(0).Data.at(2), uint8_t(0x29));
    QCOMPARE(w.backend.Sent.at(1).Data, (MemoryMidiBackend::Bytes{0xC9, 0x00}));
    {
        Options dialog(w.code, w.midi, w.ports, w.store);
        QVERIFY(dialog.Bit99Header->isChecked());
        dialog.Bit99Header->click();
        QCOMPARE(int(w.code.Bit99Compatible), 0);
        dialog.btnCancel->click();
    }
    QCOMPARE(int(w.code.Bit99Compatible), 0);
}

void TestOptions::okWithoutChangeReopensAndSavesAll() {
    World w;
    w.midi.OpenMidiIn("Pads:out");
    w.midi.OpenMidiOut("Bit01:in");
    w.code.MIDIChannelOut = 5;
    w.backend.clearRecord();
    Options dialog(w.code, w.midi, w.ports, w.store);
    dialog.btnOk->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(w.backend.Log, (QStringList{"in close", "out close", "in open 1", "out open 1"}));
    QCOMPARE(w.stored(), (QStringList{"Update/SendToOne=Yes", "Update/AutoUpdate=No",
                                      "MIDI/MIDIInPort=Pads:out", "MIDI/MIDIOutPort=Bit01:in",
                                      "MIDI/MIDIChannelIn= 1", "MIDI/MIDIChannelOut= 5",
                                      "MIDI/MIDIThru=No", "MIDI/Bit99Compatible=No",
                                      "Timing/PauseAfterPatch= 0", "Timing/SendNewestOnly=Yes",
                                      "Library/PlayNoteWhenAuditioning=No",
                                      "Controllers/PassThrough=No"}));
}

void TestOptions::timingShownAndCancelKeepsIt() {
    World w;
    w.code.PauseAfterPatch = 40;
    w.code.SendNewestOnly = kOff;
    Options dialog(w.code, w.midi, w.ports, w.store);
    QCOMPARE(dialog.PauseAfterPatch->value(), 40);
    QVERIFY(!dialog.SendNewestOnly->isChecked());
    dialog.PauseAfterPatch->setValue(2000);
    dialog.SendNewestOnly->click();
    dialog.btnCancel->click();
    QCOMPARE(int(w.code.PauseAfterPatch), 40);
    QCOMPARE(int(w.code.SendNewestOnly), int(kOff));
    QVERIFY(w.store.Writes.empty());
}

void TestOptions::okAppliesTheChoices() {
    World w;
    LoadSettings(w.code, w.midi, w.ports, w.store);
    w.backend.clearRecord();
    Options dialog(w.code, w.midi, w.ports, w.store);
    dialog.MidiThruCheck->click();
    dialog.MidiInCombo->setCurrentIndex(3); // after "(none)"
    dialog.MidiOutCombo->setCurrentIndex(1);
    dialog.MidiInChannelCombo->setCurrentIndex(15);
    dialog.MidiOutChannelCombo->setCurrentIndex(9);
    dialog.AutoUpdate->click();
    dialog.UpdateProgOne->click();
    dialog.PauseAfterPatch->setValue(50);
    dialog.SendNewestOnly->click();
    QVERIFY(!dialog.PlayNoteWhenAuditioning->isChecked());
    dialog.PlayNoteWhenAuditioning->click();
    dialog.btnOk->click();
    QCOMPARE(int(w.code.PlayNoteWhenAuditioning), int(kOn));
    QCOMPARE(int(w.code.MIDIChannelIn), 16);
    QCOMPARE(int(w.code.MIDIChannelOut), 10);
    QCOMPARE(int(w.code.AutoUpdate), int(kOn));
    QCOMPARE(int(w.code.SendToOne), int(kOff));
    QCOMPARE(int(w.code.MIDIThru), int(kOn));
    QCOMPARE(w.backend.Log, (QStringList{"in close", "out close", "in open 2", "out open 0"}));
    QCOMPARE(
        w.stored(),
        (QStringList{"Update/SendToOne=No", "Update/AutoUpdate=Yes", "MIDI/MIDIInPort=Drums:out",
                     "MIDI/MIDIOutPort=UM-ONE:UM-ONE MIDI 1", "MIDI/MIDIChannelIn= 16",
                     "MIDI/MIDIChannelOut= 10", "MIDI/MIDIThru=Yes", "MIDI/Bit99Compatible=No",
                     "Timing/PauseAfterPatch= 50", "Timing/SendNewestOnly=No",
                     "Library/PlayNoteWhenAuditioning=Yes", "Controllers/PassThrough=No"}));
    QCOMPARE(int(w.code.PauseAfterPatch), 50);
    QCOMPARE(int(w.code.SendNewestOnly), int(kOff));

    // A disabled input list still supplies its selection.
    w.backend.clearRecord();
    Options again(w.code, w.midi, w.ports, w.store);
    again.MidiThruCheck->click();
    QVERIFY(!again.MidiInCombo->isEnabled());
    again.MidiInCombo->setCurrentIndex(2);
    again.btnOk->click();
    QCOMPARE(int(w.code.MIDIThru), int(kOff));
    QCOMPARE(w.backend.Log.at(2), QStringLiteral("in open 1"));
}

void TestOptions::emptyDeviceLists_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("outputs");
    QTest::newRow("no input device") << QStringList{} << kOutputs;
    QTest::newRow("no device at all") << QStringList{} << QStringList{};
}

// With no input device the list holds "(none)" alone and shows nothing selected; OK
// opens the ports as loading the settings would (the default devices) and stores no
// input name.
void TestOptions::emptyDeviceLists() {
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, outputs);
    World w(inputs, outputs);
    w.code.MIDIThru = kOn;
    LoadSettings(w.code, w.midi, w.ports, w.store);
    w.code.MIDIThru = kOn;
    w.backend.clearRecord();
    Options dialog(w.code, w.midi, w.ports, w.store);
    QCOMPARE(dialog.MidiInCombo->count(), 1);
    QCOMPARE(dialog.MidiInCombo->currentIndex(), -1);
    QCOMPARE(dialog.MidiOutCombo->count(), outputs.size() + 1);
    QCOMPARE(dialog.MidiOutCombo->currentIndex(), 0);
    dialog.btnOk->click();
    QCOMPARE(w.backend.Log, (QStringList{"in close", "out close", "out open -1"}));
    QVERIFY(!w.ports.MIDIInput1.isOpen());
    QCOMPARE(w.stored().at(2), QStringLiteral("MIDI/MIDIInPort="));
    QCOMPARE(w.stored().at(3), QStringLiteral("MIDI/MIDIOutPort=") + MidiBackend::defaultOutputName());
}

void TestOptions::unpluggedDeviceShowsNothingSelected() {
    World w;
    w.midi.OpenMidiIn("Drums:out");
    w.backend.setDevices({"Keys:out"}, kOutputs); // two interfaces unplugged since
    Options dialog(w.code, w.midi, w.ports, w.store);
    QCOMPARE(dialog.MidiInCombo->count(), 2);
    QCOMPARE(dialog.MidiInCombo->currentIndex(), -1);
    dialog.btnOk->click();
    QCOMPARE(w.backend.openInputDevice(), 0);
}

// Columns: the key, the controls that get the focus one after another (the key goes
// to the last), and how the dialog ends.
void TestOptions::enterAndEscape_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("focus");
    QTest::addColumn<int>("result");
    const QStringList list{"MidiOutCombo"};
    QTest::newRow("Enter acts as OK") << int(Qt::Key_Return) << list << int(QDialog::Accepted);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << list << int(QDialog::Accepted);
    QTest::newRow("Escape acts as Cancel") << int(Qt::Key_Escape) << list << int(QDialog::Rejected);
    QTest::newRow("Enter on OK") << int(Qt::Key_Return) << QStringList{"btnOk"}
                                 << int(QDialog::Accepted);
    QTest::newRow("Escape on OK") << int(Qt::Key_Escape) << QStringList{"btnOk"}
                                  << int(QDialog::Rejected);
    QTest::newRow("Enter on Cancel cancels")
        << int(Qt::Key_Return) << QStringList{"btnCancel"} << int(QDialog::Rejected);
    QTest::newRow("keypad Enter on Cancel cancels")
        << int(Qt::Key_Enter) << QStringList{"btnCancel"} << int(QDialog::Rejected);
    QTest::newRow("Enter after leaving Cancel is OK")
        << int(Qt::Key_Return) << QStringList{"btnCancel", "MidiOutCombo"}
        << int(QDialog::Accepted);
}

void TestOptions::enterAndEscape() {
    QFETCH(int, key);
    QFETCH(QStringList, focus);
    QFETCH(int, result);
    World w;
    Options dialog(w.code, w.midi, w.ports, w.store);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* target = nullptr;
    for (const QString& name : focus) {
        target = dialog.findChild<QWidget*>(name);
        QVERIFY(target);
        target->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), target);
    }
    QTest::keyClick(target, Qt::Key(key));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
    QCOMPARE(w.store.Writes.size(), result == QDialog::Accepted ? size_t(12) : size_t(0));
}

// The controllers in parameter order, the mode open to change, Remove and Clear All on a
// copy that only OK applies and saves.
void TestOptions::controllersTab() {
    World w;
    w.code.Controllers.bind(19, {{1, Controller::Kind::ControlChange, 74}, {}});
    w.code.Controllers.bind(2, {{16, Controller::Kind::Nrpn, 300}, ControllerMode::Relative64});
    w.code.Controllers.bind(60, {{1, Controller::Kind::ControlChange, 7}, {}});
    const ControllerMap before = w.code.Controllers;
    const auto rows = [](const ControllersPage& page) {
        QStringList all;
        for (int r = 0; r < page.ControllerTable->rowCount(); ++r) {
            QString row;
            for (int c = 0; c < 3; ++c)
                row += page.ControllerTable->item(r, c)->text() + '|';
            all << row + qobject_cast<QComboBox*>(page.ControllerTable->cellWidget(r, 3))
                             ->currentText();
        }
        return all;
    };
    for (QPushButton* Options::*close : {&Options::btnCancel, &Options::btnOk}) {
        Options dialog(w.code, w.midi, w.ports, w.store, nullptr,
                       [](int p) { return QString("P%1").arg(p); });
        ControllersPage& page = *dialog.Controllers;
        QCOMPARE(rows(page), (QStringList{"P1|16|NRPN 300|Relative, offset 64",
                                          "P19|1|CC 74|Absolute", "P60|1|CC 7|Absolute"}));
        // Every mode shows whole, the longest among them, in the dialog as it opens.
        dialog.OptionsTab->setCurrentWidget(&page);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int r = 0; r < page.ControllerTable->rowCount(); ++r) {
            auto* mode = qobject_cast<QComboBox*>(page.ControllerTable->cellWidget(r, 3));
            QVERIFY2(mode->width() >= mode->sizeHint().width(), qPrintable(mode->currentText()));
        }
        page.ControllerTable->selectRow(0);
        page.btnRemove->click();
        qobject_cast<QComboBox*>(page.ControllerTable->cellWidget(1, 3))->setCurrentIndex(1);
        page.PassThroughCheck->click();
        QCOMPARE(rows(page),
                 (QStringList{"P19|1|CC 74|Absolute", "P60|1|CC 7|Relative, two's complement"}));
        (dialog.*close)->click();
        if (close == &Options::btnCancel)
            QVERIFY(w.code.Controllers == before && w.store.Writes.empty());
    }
    QCOMPARE(w.stored().mid(w.stored().size() - 3),
             (QStringList{"Controllers/P19=1 cc 74 absolute",
                          "Controllers/P60=1 cc 7 relative-twos", "Controllers/PassThrough=Yes"}));
    Options dialog(w.code, w.midi, w.ports, w.store);
    dialog.Controllers->btnClearAll->click();
    dialog.btnOk->click();
    QVERIFY(w.code.Controllers.empty());
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
