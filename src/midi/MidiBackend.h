#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class ManualClock;

// The MIDI system as the port component sees it: the devices of each direction by
// name, one input and one output connection, and raw bytes in and out. One of these
// exists per run (ALSA sequencer, JACK or none); tests use one in memory.
class MidiBackend {
public:
    // Called with the bytes of one received message, on whatever thread the MIDI
    // system delivers them; the bytes are valid only during the call.
    using InputHandler = std::function<void(const uint8_t* bytes, std::size_t size)>;
    // Called, on whatever thread the MIDI system reports it, when a device of either
    // direction appears, goes away or changes its name; it says nothing of which.
    using DevicesChangedHandler = std::function<void()>;

    // The name of the program's client and of its two ports on every MIDI system.
    static constexpr const char* kClientName = "Quenlor";
    static constexpr const char* kInputPortName = "MIDI In";
    static constexpr const char* kOutputPortName = "MIDI Out";
    // The product name of the program's own virtual output port (output device -1),
    // the same on every MIDI system: port "MIDI Out" of the client "Quenlor".
    static QString defaultOutputName() {
        return QLatin1String(kClientName) + ':' + QLatin1String(kOutputPortName);
    }
    // Whether a client of this name is one of the program's: "Quenlor", or on JACK, which
    // gives each client a name of its own, "Quenlor-01" and on (a second program, or the
    // companion while the program runs); in a studio session the session's name for it,
    // "Quenlor.nBITX" (letters and digits after the dot), with JACK's number after that
    // when the name was taken. None of their ports is ever a device: a program connected
    // to another would pass its own messages round again.
    static bool isProgramClient(const QString& client) {
        const QString name = QLatin1String(kClientName);
        if (!client.startsWith(name)) return false;
        qsizetype i = name.size();
        if (i < client.size() && client.at(i) == '.') {
            const qsizetype id = ++i;
            while (i < client.size() && client.at(i).isLetterOrNumber() && client.at(i).unicode() < 128)
                ++i;
            if (i == id) return false;
        }
        if (i == client.size()) return true;
        if (client.at(i) != '-' || i + 1 == client.size()) return false;
        for (++i; i < client.size(); ++i)
            if (!client.at(i).isDigit()) return false;
        return true;
    }

    virtual ~MidiBackend() = default;

    // "ALSA", "JACK", "none" or "memory".
    virtual QString systemName() = 0;

    // Names that survive a restart, in device order; the program's own ports are
    // never listed, and the default output is not part of outputNames().
    virtual QStringList inputNames() = 0;
    virtual QStringList outputNames() = 0;

    // Listens at the program's input port: whatever reaches it (the device opened, or
    // players a patchbay connected) goes to `handler` until closeInput() returns. Connects
    // input device `index` to the port as well, nothing for -1. False when there is no
    // such device, or it cannot be connected: the port listens all the same.
    virtual bool openInput(int index, InputHandler handler) = 0;
    virtual void closeInput() = 0;

    // Connects the program's output to output device `index`, or to nothing but its
    // own virtual port for -1. False when there is no such device.
    virtual bool openOutput(int index) = 0;
    virtual void closeOutput() = 0;

    // For the companion: the devices that the output of the running program, port
    // "Quenlor:MIDI Out" of another of the program's clients, is connected to, in device
    // order; nullopt when no other client holds that port (the program is not running).
    virtual std::optional<QStringList> programOutputConnections() { return std::nullopt; }
    // Connects the output to output device `index` as well as to the device open, for as
    // long as the client lives. False when there is no such device.
    virtual bool addOutputConnection(int index) {
        (void)index;
        return false;
    }

    // Whether the connection that openOutput or openInput made to a device still
    // stands: false once that device went away, even when one of the same name has
    // come back since. True while no device is open.
    virtual bool outputConnected() = 0;
    virtual bool inputConnected() = 0;

    // Whether what is sent now can still leave the program: false once the MIDI system
    // has gone (a JACK server that stopped) or the device the output was connected to
    // went away.
    virtual bool outputDelivers() { return outputConnected(); }

    // Sends one complete message (a short message or a whole System Exclusive one) at
    // once; false when the MIDI system dropped it. The output port calls it from its
    // sender thread, when the message is due on the cable, while the program's thread
    // may list, open or close devices.
    virtual bool send(const uint8_t* bytes, std::size_t size) = 0;

    // When a message should start on the cable, as the output port's queue times it.
    struct SendTiming {
        std::chrono::microseconds Due; // on the steady clock
        std::chrono::microseconds Gap; // least time since the previous message started
    };
    // Sends a message that is due at the time given; false when it was dropped. A system
    // that places messages in time itself (JACK, within its process cycle) does so; the
    // others send at once.
    virtual bool sendTimed(const uint8_t* bytes, std::size_t size, const SendTiming& timing) {
        (void)timing;
        return send(bytes, size);
    }
    // The latest due time, on the steady clock, of a message the system takes at `now`.
    // One that places messages in time itself takes them a little ahead, and no further
    // than it can place soon: a system that stopped taking them (a stalled server) leaves
    // them waiting in the output port's queue, where a newer patch replaces an older one
    // and the bound holds.
    virtual std::chrono::microseconds handOverUntil(std::chrono::microseconds now) { return now; }
    // Waits, at most `limit`, until every message handed over has left the program's
    // output; false when the time ran out first.
    virtual bool drain(std::chrono::milliseconds limit) {
        (void)limit;
        return true;
    }

    // The clock the output port paces by when it is not the system's own: a test's,
    // which only moves when the test moves it. nullptr for a real MIDI system.
    virtual ManualClock* testClock() { return nullptr; }

    // Replaces the handler of device changes; an empty one stops the reports. Once this
    // returns, the old handler is not called any more.
    virtual void setDevicesChangedHandler(DevicesChangedHandler handler) = 0;
};

// The MIDI system for this run: the ALSA sequencer when it can be opened, otherwise
// JACK when a server is running (one is never started), otherwise none; reached as
// openWhenNeeded does.
std::unique_ptr<MidiBackend> openSystemMidi();
// The same with the program's client named `clientName` (a studio session's name for
// the program) instead of kClientName.
std::unique_ptr<MidiBackend> openSystemMidi(const QString& clientName);
// The system `reach` opens (none when it gives nullptr), reached by the first call that
// needs it, on that call's thread; setting the handler of device changes does not.
std::unique_ptr<MidiBackend> openWhenNeeded(std::function<std::unique_ptr<MidiBackend>()> reach);

// The single systems, opened at once; nullptr when the system cannot be reached.
std::unique_ptr<MidiBackend> openAlsaMidi(const QString& clientName = MidiBackend::kClientName);
std::unique_ptr<MidiBackend> openJackMidi(const QString& clientName = MidiBackend::kClientName);
// No MIDI system: only the default output is listed, and it sends nowhere.
std::unique_ptr<MidiBackend> openNoMidi();
