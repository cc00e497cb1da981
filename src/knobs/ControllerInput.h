#pragma once

#include "core/ControllerDecoder.h"
#include "core/PatchBank.h"
#include "editors/ParameterControllers.h"
#include "midi/MidiThru.h"
#include "midi/ShortMessage.h"

#include <QObject>
#include <array>
#include <functional>
#include <optional>
#include <vector>

struct EditorContext;
class PatchWriter;
class SettingsStore;

// Plays parameters from the knobs of a MIDI controller. Every received message passes
// here before MIDI thru, on the program's thread: a Control Change or NRPN that plays a
// parameter changes the patch being worked on as an edit does, through the patch writer
// (bank, open editor, undo, automatic update), and does not go on through thru unless
// the settings say so; nor do the CC 99 and 98 that select a played NRPN, which wait on
// their channel until the message that reads the selection tells whether it is one of
// ours (the messages of other NRPNs then go on, in their order). What one delivery of
// messages changes is written once, so that a
// flood costs little more than one message (and a busy program reads larger deliveries);
// a knob turned without a pause of kWheelPauseMs is one undo step. Also learns and forgets
// controllers for the editors' menus, keeping them in the settings store.
class ControllerInput : public QObject, public ParameterControllers {
    Q_OBJECT
public:
    // `target` gives the patch the knobs play, 0 for none; `status` shows a line in the
    // status bar.
    ControllerInput(EditorContext& context, SettingsStore& store, PatchWriter& writer,
                    std::function<int()> target, std::function<void(const QString&)> status,
                    QObject* parent);
    ~ControllerInput() override;

    // Reads the controllers from the settings store; one status line tells of what
    // could not be read.
    void load();

    // A received message, as MIDI thru offers it: true when it played or taught a
    // parameter, or waits, and is kept from thru; what waited and turns out to be no
    // knob's goes on through `passOn` first.
    bool take(const ShortMessage& message, const PassOn& passOn = {});
    // The delivery is over: what it changed is written.
    void finish();

    void learn(int parameter) override;
    void forget(int parameter) override;
    // The parameter waiting for a controller, 0 for none.
    int learning() const { return m_learning; }
    void cancelLearning();

protected:
    // Escape cancels MIDI Learn.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The changes of the delivery so far, on one patch: its values, and the parameters
    // played and their controllers in the order they first moved.
    struct Pending {
        int Patch = 0;
        PatchValues Values{};
        std::vector<int> Parameters;
        QString Key;
    };
    // The NRPN selections waiting on one channel: the latest CC 99 and 98, in the order
    // they came.
    struct Held {
        std::array<ShortMessage, 2> Messages{};
        int Count = 0;
    };
    bool holdSelection(const ShortMessage& message, int number);
    // Passes what waits on the channel on, or drops it.
    void release(int channel, const PassOn& passOn);
    bool playsNrpnOn(int channel) const;
    void bindLearnt(const Controller& source);
    void write();
    void stopLearning();

    EditorContext& m_context;
    SettingsStore& m_store;
    PatchWriter& m_writer;
    std::function<int()> m_target;
    std::function<void(const QString&)> m_status;
    ControllerDecoder m_decoder;
    std::optional<Pending> m_pending;
    std::array<Held, Controller::kChannels> m_held{};
    int m_learning = 0;
};
