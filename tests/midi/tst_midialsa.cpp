#include "core/QuenlorCode.h"
#include "midi/AlsaMidiBackend.h"
#include "midi/MIDIUtilities.h"
#include "support/SystemMidiWorld.h"
#include "midi/MidiThru.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "storage/BankCommands.h"
#include "storage/FakeStorageHost.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <alsa/asoundlib.h>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// End to end on a real ALSA sequencer with the virtual raw MIDI ports of snd-virmidi,
// whose raw ends show every byte as it would arrive at the end of a cable. Machines
// without a sequencer skip these; the test command runs them in a virtual machine.

using Bytes = std::vector<uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {
// Port N of the virtual card and the raw device that is its other end.
const QString kVirtualOut = QStringLiteral("Virtual Raw MIDI 0-0:VirMIDI 0-0");
const QString kVirtualIn = QStringLiteral("Virtual Raw MIDI 0-1:VirMIDI 0-1");
const char* const kRawOut = "/dev/snd/midiC0D0";
const char* const kRawIn = "/dev/snd/midiC0D1";
// A device that is not there when the program starts.
const QString kLateIn = QStringLiteral("Late Synth:in");
const QString kLateOut = QStringLiteral("Late Synth:out");

constexpr qint64 kCableNsPerByte = 320 * 1000;
// The raw end stays quiet this long once everything has arrived.
constexpr int kQuietMs = 500;

// The program's MIDI side on the sequencer, with the settings it loads.
struct World : SystemMidiWorld<AlsaMidiBackend> {
    QuenlorCode code;
    MemorySettingsStore store;

    World() : SystemMidiWorld(AlsaMidiBackend::open()) {
        if (!backend)
            return;
        code.Midi = midi;
        code.InitPatchModel();
        // The main window's handling of the input port.
        QObject::connect(&ports->MIDIInput1, &MIDIInput::Message, &ports->MIDIInput1,
                         [this] { MIDIInput1_Message(code, *ports); });
    }
    // The patch's dump exactly as SendPatch sends it.
    Bytes dump(int patch) {
        code.preparePatchDump(patch);
        return Bytes(code.PatchDump.data(), code.PatchDump.data() + code.PatchDump.size());
    }
};

// The raw end of a virtual port: what the sequencer delivers to the port, byte by byte.
class RawEnd {
public:
    // A raw MIDI input takes bytes only once it has been read from: the first read
    // starts it, so that nothing sent before the test reads is dropped.
    RawEnd(const char* path, int flags) : m_fd(::open(path, flags | O_NONBLOCK)) {
        uint8_t none;
        if (m_fd >= 0 && (flags & O_ACCMODE) == O_RDONLY) (void)!::read(m_fd, &none, 0);
    }
    ~RawEnd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    void write(const Bytes& bytes) const {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Everything that arrives until the port has been quiet for kQuietMs; with a cable
    // speed, no faster than a cable takes bytes off it, so that what the program sends
    // too fast piles up in the port as it would in an interface. Each byte's arrival
    // time in `times` when given.
    Bytes read(bool cableSpeed, std::vector<qint64>* times = nullptr) const {
        Bytes all;
        QElapsedTimer clock, quiet;
        quiet.start();
        while (quiet.elapsed() < kQuietMs) {
            std::size_t room = 4096;
            if (cableSpeed && !all.empty())
                room = std::min<std::size_t>(room, clock.nsecsElapsed() / kCableNsPerByte + 1 -
                                                       all.size());
            uint8_t chunk[4096];
            const ssize_t got = room > 0 ? ::read(m_fd, chunk, room) : 0;
            if (got > 0) {
                if (all.empty()) clock.start();
                all.insert(all.end(), chunk, chunk + got);
                if (times) times->insert(times->end(), std::size_t(got), clock.nsecsElapsed());
                quiet.start();
            } else {
                QThread::usleep(200);
            }
            QCoreApplication::processEvents();
        }
        return all;
    }

private:
    int m_fd;
};

// A byte stream cut into messages: System Exclusive from F0 through F7, others by the
// length their status byte calls for, each with its status byte (the sequencer's MIDI
// drivers leave out a status byte that repeats, as interfaces do). A message cut
// short ends the list with what it has.
std::vector<Bytes> messages(const Bytes& stream) {
    std::vector<Bytes> all;
    uint8_t running = 0;
    for (std::size_t i = 0; i < stream.size();) {
        Bytes message;
        if (stream[i] == 0xF0) {
            running = 0;
            do
                message.push_back(stream[i++]);
            while (i < stream.size() && message.back() != 0xF7);
        } else if (stream[i] & 0x80 || running) {
            if (stream[i] & 0x80) {
                const uint8_t status = stream[i++];
                running = status < 0xF0 ? status : 0;
                message.push_back(status);
            } else {
                message.push_back(running);
            }
            const int length = shortMessageLength(message[0]);
            while (int(message.size()) < length && i < stream.size() && !(stream[i] & 0x80))
                message.push_back(stream[i++]);
        } else {
            message.push_back(stream[i++]); // a stray data byte
        }
        all.push_back(std::move(message));
    }
    return all;
}

// A client of the test's own on the sequencer, for looking at the program from outside
// and for playing a device that comes and goes.
class Observer {
public:
    explicit Observer(const char* name) {
        if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) == 0)
            snd_seq_set_client_name(m_seq, name);
    }
    ~Observer() {
        if (m_seq) snd_seq_close(m_seq);
    }
    snd_seq_t* seq() const { return m_seq; }
    // A port's address by its name, as "Quenlor:0"; client 0 when there is none.
    snd_seq_addr_t address(const char* name) const {
        snd_seq_addr_t address{};
        return snd_seq_parse_address(m_seq, &address, name) == 0 ? address : snd_seq_addr_t{};
    }
    // Connects two ports as a patchbay does; 0 on success.
    int subscribe(snd_seq_addr_t from, snd_seq_addr_t to) const {
        snd_seq_port_subscribe_t* subscription;
        snd_seq_port_subscribe_alloca(&subscription);
        snd_seq_port_subscribe_set_sender(subscription, &from);
        snd_seq_port_subscribe_set_dest(subscription, &to);
        return snd_seq_subscribe_port(m_seq, subscription);
    }
    int port(const char* name, unsigned caps) {
        return snd_seq_create_simple_port(m_seq, name, caps, SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    }
    // The messages that reached the client's ports so far, as bytes.
    std::vector<Bytes> take() {
        std::vector<Bytes> all;
        snd_midi_event_t* decoder;
        snd_midi_event_new(16, &decoder);
        snd_midi_event_no_status(decoder, 1);
        snd_seq_event_t* event;
        while (snd_seq_event_input(m_seq, &event) >= 0) {
            if (event->type == SND_SEQ_EVENT_SYSEX) {
                const auto* p = static_cast<const uint8_t*>(event->data.ext.ptr);
                all.emplace_back(p, p + event->data.ext.len);
                continue;
            }
            unsigned char bytes[16];
            const long size = snd_midi_event_decode(decoder, bytes, sizeof bytes, event);
            if (size > 0) all.emplace_back(bytes, bytes + size);
        }
        snd_midi_event_free(decoder);
        return all;
    }
    void send(int port, const Bytes& message) {
        snd_midi_event_t* encoder;
        snd_midi_event_new(16, &encoder);
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_midi_event_encode(encoder, message.data(), long(message.size()), &event);
        snd_midi_event_free(encoder);
        snd_seq_ev_set_source(&event, port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        snd_seq_event_output_direct(m_seq, &event);
    }

private:
    snd_seq_t* m_seq = nullptr;
};

// A listener in a process of its own, as a patchbay's monitor is: a port that reads
// what arrives until the process is stopped, with room in the sequencer for a few
// events only, so that a stopped listener is full after a patch or two.
class Listener {
public:
    Listener() {
        int pipe[2];
        if (::pipe(pipe) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            ::close(pipe[0]);
            listen(pipe[1]);
        }
        ::close(pipe[1]);
        if (m_pid > 0 && ::read(pipe[0], &m_address, sizeof m_address) != sizeof m_address)
            m_address = {};
        ::close(pipe[0]);
    }
    ~Listener() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    // The port's address; client 0 when it could not be made.
    snd_seq_addr_t address() const { return m_address; }
    // Stops the process as SIGSTOP does a frozen program; true once it is stopped.
    bool stop() const {
        int status = 0;
        return ::kill(m_pid, SIGSTOP) == 0 && waitpid(m_pid, &status, WUNTRACED) == m_pid &&
               WIFSTOPPED(status);
    }

private:
    static constexpr int kRoom = 12; // events the sequencer keeps for the listener

    // In the new process: only the sequencer's calls, and the end without returning.
    [[noreturn]] static void listen(int report) {
        snd_seq_t* seq = nullptr;
        snd_seq_addr_t address{};
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) == 0 &&
            snd_seq_set_client_name(seq, "Frozen monitor") == 0 &&
            snd_seq_set_client_pool_input(seq, kRoom) == 0) {
            const int port = snd_seq_create_simple_port(
                seq, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
            if (port >= 0)
                address = {static_cast<unsigned char>(snd_seq_client_id(seq)),
                           static_cast<unsigned char>(port)};
        }
        (void)!::write(report, &address, sizeof address);
        for (snd_seq_event_t* event; seq;)
            snd_seq_event_input(seq, &event);
        _exit(1);
    }

    pid_t m_pid = -1;
    snd_seq_addr_t m_address{};
};
} // namespace

class TestMidiAlsa : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void oneClient();
    void dumpsExactAtTheRawEnd_data();
    void dumpsExactAtTheRawEnd();
    void thruFromTheRawEnd();
    void thruFromAPatchbay_data();
    void thruFromAPatchbay();
    void openBankAtCableSpeed();
    void frozenListenerHoldsNothingUp();
    void storedDevicesAppearLater();
};

void TestMidiAlsa::initTestCase() {
    // The test command's virtual machine asks for them; anywhere else they may be missing.
    const bool there = access("/dev/snd/seq", R_OK | W_OK) == 0 && access(kRawOut, R_OK) == 0;
    if (!there && qEnvironmentVariableIsSet("QUENLOR_REQUIRE_ALSA"))
        QFAIL("no ALSA sequencer with virtual raw MIDI ports (snd-virmidi)");
    if (!there)
        QSKIP("no ALSA sequencer with virtual raw MIDI ports here; the test command runs these in "
              "a virtual machine");
}

// One client "Quenlor" holds both ports, "MIDI Out" first, so that "Quenlor:0" as the
// README's aconnect line gives it names the output; the program lists neither.
void TestMidiAlsa::oneClient() {
    World w;
    QVERIFY(w.backend);
    Observer observer("observer");
    snd_seq_client_info_t* client;
    snd_seq_client_info_alloca(&client);
    snd_seq_client_info_set_client(client, -1);
    int clients = 0;
    while (snd_seq_query_next_client(observer.seq(), client) >= 0)
        clients += QByteArray(snd_seq_client_info_get_name(client)) == "Quenlor";
    QCOMPARE(clients, 1);

    snd_seq_addr_t address;
    QCOMPARE(snd_seq_parse_address(observer.seq(), &address, "Quenlor:0"), 0);
    QCOMPARE(int(address.client), w.backend->clientId());
    QStringList ports;
    snd_seq_port_info_t* port;
    snd_seq_port_info_alloca(&port);
    snd_seq_port_info_set_client(port, w.backend->clientId());
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(observer.seq(), port) >= 0)
        ports << QStringLiteral("%1 %2")
                     .arg(snd_seq_port_info_get_port(port))
                     .arg(snd_seq_port_info_get_name(port));
    QCOMPARE(ports, (QStringList{"0 MIDI Out", "1 MIDI In"}));

    const QStringList all = w.backend->outputNames() + w.backend->inputNames();
    QVERIFY2(w.backend->outputNames().contains(kVirtualOut), qPrintable(all.join(", ")));
    QVERIFY(w.backend->inputNames().contains(kVirtualIn));
    QVERIFY(all.filter(QRegularExpression("^Quenlor:")).isEmpty());
}

// A patch, its Program Change and a test note reach the end of the cable exact, whether
// the device is chosen in the program or connected to its own output in a patchbay.
void TestMidiAlsa::dumpsExactAtTheRawEnd_data() {
    QTest::addColumn<bool>("patchbay");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    QTest::newRow("device chosen, channel 1") << false << 1 << 0;
    QTest::newRow("device chosen, channel 16, Bit 99 header") << false << 16 << 1;
    QTest::newRow("own output connected in a patchbay") << true << 5 << 0;
}

void TestMidiAlsa::dumpsExactAtTheRawEnd() {
    QFETCH(bool, patchbay);
    QFETCH(int, channel);
    QFETCH(int, bit99);
    World w;
    QVERIFY(w.backend);
    RawEnd raw(kRawOut, O_RDONLY);
    QVERIFY(raw.isOpen());
    Observer observer("patchbay");
    if (patchbay) {
        w.midi->OpenMidiOut(MidiBackend::defaultOutputName());
        QCOMPARE(observer.subscribe(observer.address("Quenlor:0"),
                                    observer.address("Virtual Raw MIDI 0-0:0")),
                 0);
    } else {
        w.midi->OpenMidiOut(kVirtualOut);
        QCOMPARE(w.ports->MIDIOutput1.ProductName(), kVirtualOut);
    }
    w.code.MIDIChannelOut = int16_t(channel);
    w.code.Bit99Compatible = int16_t(bit99);
    w.code.PatchBank(7, 8) = 55;
    w.code.SendPatch(7);
    w.midi->PlayNoteOn(int16_t(channel), 60, 70);
    w.midi->PlayNoteOff(int16_t(channel), 60);
    const uint8_t c = uint8_t(channel - 1);
    const std::vector<Bytes> expected{
        w.dump(7), {uint8_t(0xC0 | c), 0}, {uint8_t(0x90 | c), 60, 70}, {uint8_t(0x90 | c), 60, 0}};
    QCOMPARE(messages(raw.read(false)), expected);
}

// What is played into an input device is decoded whole, each message with its status
// byte, and forwarded unchanged in order.
void TestMidiAlsa::thruFromTheRawEnd() {
    World w;
    QVERIFY(w.backend);
    RawEnd rawOut(kRawOut, O_RDONLY);
    RawEnd rawIn(kRawIn, O_WRONLY);
    QVERIFY(rawOut.isOpen() && rawIn.isOpen());
    w.code.MIDIThru = kOn;
    w.midi->OpenMidiIn(kVirtualIn);
    w.midi->OpenMidiOut(kVirtualOut);
    QCOMPARE(w.ports->MIDIInput1.ProductName(), kVirtualIn);
    // Running status on the cable: the second note has no status byte of its own.
    rawIn.write({0x93, 60, 100, 62, 100, 0xB0, 7, 127, 0xC5, 3, 0xE1, 0, 64, 0x83, 60, 0});
    const std::vector<Bytes> expected{{0x93, 60, 100}, {0x93, 62, 100}, {0xB0, 7, 127},
                                      {0xC5, 3},       {0xE1, 0, 64},   {0x83, 60, 0}};
    QCOMPARE(messages(rawOut.read(false)), expected);
}

// Whatever a patchbay subscribes to "Quenlor:MIDI In" is heard, whatever "MIDI in" names;
// "(none)" subscribes nothing of its own.
void TestMidiAlsa::thruFromAPatchbay_data() {
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("senders"); // ports that write to the program's input
    QTest::newRow("(none)") << "(none)" << 1;
    QTest::newRow("another device") << kVirtualOut << 2; // its raw end stays quiet
}

void TestMidiAlsa::thruFromAPatchbay() {
    QFETCH(QString, choice);
    QFETCH(int, senders);
    World w;
    QVERIFY(w.backend);
    RawEnd rawOut(kRawOut, O_RDONLY);
    RawEnd rawIn(kRawIn, O_WRONLY);
    QVERIFY(rawOut.isOpen() && rawIn.isOpen());
    w.code.MIDIThru = kOn;
    w.midi->OpenMidiIn(choice);
    w.midi->OpenMidiOut(kVirtualOut);
    Observer observer("patchbay");
    snd_seq_addr_t from, to;
    QCOMPARE(snd_seq_parse_address(observer.seq(), &from, "Virtual Raw MIDI 0-1:0"), 0);
    QCOMPARE(snd_seq_parse_address(observer.seq(), &to, "Quenlor:1"), 0);
    snd_seq_port_subscribe_t* subscription;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_port_subscribe_set_sender(subscription, &from);
    snd_seq_port_subscribe_set_dest(subscription, &to);
    QCOMPARE(snd_seq_subscribe_port(observer.seq(), subscription), 0);
    // The senders of "MIDI In" but the system's announcements.
    snd_seq_query_subscribe_t* query;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_query_subscribe_set_root(query, &to);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
    int found = 0;
    for (int i = 0; snd_seq_query_subscribe_set_index(query, i),
                    snd_seq_query_port_subscribers(observer.seq(), query) >= 0;
         ++i)
        found += snd_seq_query_subscribe_get_addr(query)->client != SND_SEQ_CLIENT_SYSTEM;
    QCOMPARE(found, senders);
    rawIn.write({0x91, 64, 90});
    QCOMPARE(messages(rawOut.read(false)), (std::vector<Bytes>{{0x91, 64, 90}}));
}

// Open Bank with automatic update on, read at the speed of a cable: nothing is lost or
// cut, and the last patch on the wire is the one the program sent last, patch 1.
void TestMidiAlsa::openBankAtCableSpeed() {
    World w;
    QVERIFY(w.backend);
    RawEnd raw(kRawOut, O_RDONLY);
    QVERIFY(raw.isOpen());
    w.midi->OpenMidiOut(kVirtualOut);

    // The loss this guards against comes from sending faster than the cable: the Program
    // Change waits for the dump's cable time. A sender that did not wait would put it
    // right behind the dump, well within a millisecond; half the cable time leaves room
    // for a reader that a virtual machine wakes late for the dump.
    w.code.SendPatch(2);
    std::vector<qint64> times;
    const Bytes first = raw.read(false, &times);
    QCOMPARE(first.size(), size_t(82));
    QVERIFY2(times.back() - times.front() >= 80 * kCableNsPerByte / 2,
             qPrintable(QString("the Program Change came %1 us after the dump")
                            .arg((times.back() - times.front()) / 1000)));

    QTemporaryDir folder;
    const std::string path = folder.filePath("bank.bbk").toStdString();
    FakeStorageHost host;
    BankCommands files(w.code, host);
    for (int patch = 1; patch <= 74; ++patch) {
        w.code.PatchBank(patch, 8) = int16_t(patch % 64);
        w.code.PatchBank(patch, 9) = int16_t(patch / 64 + 1);
    }
    QVERIFY(files.WriteBankFile(path));
    const Bytes patchOne = w.dump(1);
    w.code.InitPatchModel();
    w.code.AutoUpdate = kOn;
    w.code.EditorReady = kOn;
    host.answerOpen(path);
    files.OpenBank();

    // Every message whole, a handful of dumps (a waiting patch is replaced by a newer
    // one), and the last on the wire patch 1 with its Program Change.
    const std::vector<Bytes> sent = messages(raw.read(true));
    QVERIFY(sent.size() >= 2);
    int dumps = 0;
    for (const Bytes& message : sent) {
        if (message.front() == 0xF0) {
            QCOMPARE(message.size(), size_t(80));
            QCOMPARE(message.back(), uint8_t(0xF7));
            ++dumps;
        } else {
            QCOMPARE(message, (Bytes{0xC0, 0}));
        }
    }
    QVERIFY(dumps <= 5);
    QCOMPARE(sent[sent.size() - 2], patchOne);
    QCOMPARE(sent.back(), (Bytes{0xC0, 0}));
}

// Devices stored in the settings that are not there at start-up: the ports open the
// defaults, take the devices when they appear, and go back when they leave.
void TestMidiAlsa::storedDevicesAppearLater() {
    World w;
    QVERIFY(w.backend);
    w.store.writeKey("MIDI", "MIDIOutPort", kLateIn);
    w.store.writeKey("MIDI", "MIDIInPort", kLateOut);
    w.store.writeKey("MIDI", "MIDIThru", "Yes");
    LoadSettings(w.code, *w.midi, *w.ports, w.store);
    QCOMPARE(w.ports->MIDIOutput1.DeviceID(), MIDIOutput::kDefaultDevice);

    for (int round = 0; round < 2; ++round) {
        auto late = std::make_unique<Observer>("Late Synth");
        const int in = late->port("in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
        const int out = late->port("out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
        QVERIFY(in >= 0 && out >= 0);
        QTRY_COMPARE(w.ports->MIDIOutput1.ProductName(), kLateIn);
        QTRY_COMPARE(w.ports->MIDIInput1.ProductName(), kLateOut);
        QVERIFY(w.ports->MIDIOutput1.isOpen() && w.ports->MIDIInput1.isOpen());

        w.code.SendPatch(3 + round);
        late->send(out, {0x91, 64, 90});
        std::vector<Bytes> received;
        QTRY_VERIFY([&] {
            for (Bytes& m : late->take())
                received.push_back(std::move(m));
            return received.size() >= 3;
        }());
        // A forwarded message waits only for the message being sent, so it may come
        // anywhere among the patch's; those keep their order.
        const Bytes dump = w.dump(3 + round);
        const auto at = [&](const Bytes& m) {
            return std::find(received.begin(), received.end(), m);
        };
        QVERIFY(at(dump) < at(Bytes{0xC0, 0}));
        std::sort(received.begin(), received.end());
        QCOMPARE(received, (std::vector<Bytes>{{0x91, 64, 90}, {0xC0, 0}, dump}));

        late.reset(); // unplugged
        QTRY_COMPARE(w.ports->MIDIOutput1.DeviceID(), MIDIOutput::kDefaultDevice);
        QTRY_VERIFY(w.ports->MIDIInput1.ProductName() != kLateOut);
        w.code.SendPatch(1); // goes nowhere, and nothing waits for it
    }
}

// A second subscriber of the program's output that stops reading fills its room in the
// sequencer, which then answers every message with -EAGAIN while still delivering it to
// the instrument: each patch reaches the instrument once, whole and in order, nothing is
// counted dropped and nothing waits.
void TestMidiAlsa::frozenListenerHoldsNothingUp() {
    Listener listener; // started before the program's threads, as a process of its own
    QVERIFY(listener.address().client != 0);
    World w;
    QVERIFY(w.backend);
    RawEnd raw(kRawOut, O_RDONLY);
    QVERIFY(raw.isOpen());
    w.midi->OpenMidiOut(kVirtualOut);
    Observer patchbay("patchbay");
    QCOMPARE(patchbay.subscribe(patchbay.address("Quenlor:0"), listener.address()), 0);
    QVERIFY(listener.stop());

    // Each patch waited for, so that none replaces another in the queue: a patch is
    // 5 events of the listener's room (the dump 4, the Program Change 1).
    constexpr int kPatches = 8;
    // A patch held up would never be sent: one takes 26 ms of cable time.
    std::vector<Bytes> expected;
    for (int patch = 1; patch <= kPatches; ++patch) {
        w.code.PatchBank(patch, 8) = int16_t(patch);
        w.code.SendPatch(patch);
        QVERIFY(w.ports->MIDIOutput1.waitUntilSent(std::chrono::seconds(5)));
        expected.push_back(w.dump(patch));
        expected.push_back({0xC0, 0});
    }
    QCOMPARE(int(w.ports->MIDIOutput1.droppedMessages()), 0);
    QCOMPARE(messages(raw.read(false)), expected);
}

QTEST_GUILESS_MAIN(TestMidiAlsa)
#include "tst_midialsa.moc"
