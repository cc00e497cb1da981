#pragma once

#include "CompanionFiles.h"
#include "WindowedSend.h"

#include "cli/SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiBackend.h"
#include "midi/MidiPorts.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "storage/FileCheck.h"
#include "storage/BankCommands.h"
#include "storage/FakeStorageHost.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

using namespace CompanionFiles;

namespace CompanionTesting {

// Hands the companion a MIDI system that the test keeps and reads afterwards.
class BorrowedBackend : public MidiBackend {
public:
    explicit BorrowedBackend(MidiBackend& system) : m_system(system) {}
    QString systemName() override { return m_system.systemName(); }
    QStringList inputNames() override { return m_system.inputNames(); }
    QStringList outputNames() override { return m_system.outputNames(); }
    bool openInput(int index, InputHandler handler) override {
        return m_system.openInput(index, std::move(handler));
    }
    void closeInput() override { m_system.closeInput(); }
    bool openOutput(int index) override { return m_system.openOutput(index); }
    void closeOutput() override { m_system.closeOutput(); }
    std::optional<QStringList> programOutputConnections() override {
        return m_system.programOutputConnections();
    }
    bool addOutputConnection(int index) override { return m_system.addOutputConnection(index); }
    bool outputConnected() override { return m_system.outputConnected(); }
    bool inputConnected() override { return m_system.inputConnected(); }
    bool send(const uint8_t* bytes, std::size_t size) override { return m_system.send(bytes, size); }
    void setDevicesChangedHandler(DevicesChangedHandler handler) override {
        m_system.setDevicesChangedHandler(std::move(handler));
    }
    ManualClock* testClock() override { return m_system.testClock(); }

private:
    MidiBackend& m_system;
};

// The companion with its output captured, an in-memory MIDI system and settings store.
struct Run {
    std::ostringstream out;
    std::ostringstream err;
    MemoryMidiBackend midi{{"Keys In"}, {"Synth A", "Synth B"}};
    MemorySettingsStore store;
    QStringList systemsAsked;
    int status = -1;

    int operator()(const QStringList& args) {
        CompanionWorld world{out, err,
                             [this](const std::string& system) -> std::unique_ptr<MidiBackend> {
                                 systemsAsked << QString::fromStdString(system);
                                 return std::make_unique<BorrowedBackend>(midi);
                             },
                             store};
        std::vector<std::string> argv;
        for (const QString& arg : args)
            argv.push_back(arg.toStdString());
        status = SysExCompanion(world).run(argv);
        return status;
    }
    QString output() const { return QString::fromStdString(out.str()); }
    QString errors() const { return QString::fromStdString(err.str()); }
};

inline Bytes bytesOf(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

} // namespace CompanionTesting

using namespace CompanionTesting;

// The companion's commands in-process, on files the tests make, with an in-memory MIDI
// system and settings store.
class TestCompanion : public QObject {
    Q_OBJECT
private slots:
    void init();

    void usage_data();
    void usage();
    void help_data();
    void help();
    void overviewShowsEachCommandsForms_data();
    void overviewShowsEachCommandsForms();

    void check_data();
    void check();
    void checkSeveralFiles();

    void syxSameBytesAsTheProgram_data();
    void syxSameBytesAsTheProgram();
    void syxWholeBankInOrder();
    void syxRefusesAFileThatDoesNotLoad();
    void syxToStandardOutput();

    void exportMatchesSyx_data();
    void exportMatchesSyx();
    void importWritesTheBank_data();
    void importWritesTheBank();
    void importNamesEveryReasonLeftOut();
    void checkSysEx_data();
    void checkSysEx();

    void sendDumpThenProgramChange_data();
    void sendDumpThenProgramChange();
    void sendEndsAfterThePause_data();
    void sendEndsAfterThePause();
    void sendWithoutAnOutput_data();
    void sendWithoutAnOutput();
    void sendToEveryDeviceOfTheProgramsOutput();
    void sendThatTheSystemDrops();

    void portsAsTheOptionsDialogLists();

    void newSounds_data();
    void newSounds();

    void realProgramExitStatus_data();
    void realProgramExitStatus();

    void library_data();
    void library();
    void libraryRefuses_data();
    void libraryRefuses();
    void libraryTwoProgramsAtOnce();
    void libraryListAfterDamage_data();
    void libraryListAfterDamage();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString made(const QString& name, const QByteArray& bytes) {
        const QString p = path(name);
        CompanionFiles::write(p, bytes);
        return p;
    }
    std::optional<QTemporaryDir> m_dir;
};
