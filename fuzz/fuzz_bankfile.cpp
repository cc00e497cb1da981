// Bank and patch files as File > Open Bank and File > Open Patch read them: any bytes
// at all end either in patches read completely or in the one message, never in a
// crash; patches after a broken record keep what they had; and every patch read is
// written back as a record that reads as the same values and name.
#include "FuzzCheck.h"
#include "FuzzWorld.h"
#include "core/QuenlorCode.h"
#include "storage/BankCommands.h"
#include "storage/LineReader.h"
#include "storage/PatchRecord.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int kPatchFileTarget = 20;

// The file the open dialog hands back, in a folder of this run's own.
const std::string& filePath() {
    static const std::string path = [] {
        char folder[] = "/tmp/quenlor-fuzz-bank-XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        static std::string dir = folder;
        std::atexit([] {
            std::remove((dir + "/input.bbk").c_str());
            rmdir(dir.c_str());
        });
        return dir + "/input.bbk";
    }();
    return path;
}

// A bank that no file could leave unchanged by chance, every value its own, with a
// name for every patch. Built once; each input starts from a copy.
struct Before {
    QuenlorCode Code;
    std::array<std::string, kPatchSlots> Names;
    Before() {
        Code.InitPatchModel();
        for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
            for (int p = kFirstParameter; p <= kLastParameter; ++p)
                Code.PatchBank(patch, p) =
                    static_cast<int16_t>(-1000 - patch * kParameterSlots - p);
            Names[patch] = "before " + std::to_string(patch);
        }
    }
};
const Before& before() {
    static const Before b;
    return b;
}

void start(QuenlorCode& code, FuzzStorageHost& host, CheckingSink& sink, const std::string& path) {
    code = before().Code;
    host.Names = before().Names;
    host.OpenPath = path;
    code.Midi = &sink;
    code.AutoUpdate = kOn; // every patch read is sent at once
    code.EditorReady = kOn;
}

bool samePatch(const QuenlorCode& a, int patchA, const QuenlorCode& b, int patchB) {
    const int16_t* rowA = a.PatchBank.row(patchA);
    const int16_t* rowB = b.PatchBank.row(patchB);
    return std::equal(rowA + kFirstParameter, rowA + kLastParameter + 1, rowB + kFirstParameter);
}

void expectUnchanged(const QuenlorCode& code, const FuzzStorageHost& host, int patch) {
    FUZZ_CHECK(samePatch(code, patch, before().Code, patch));
    FUZZ_CHECK(host.Names[patch] == before().Names[patch]);
}

// Writes the patch as a record and reads it back the way the files are read.
void expectRoundTrip(const QuenlorCode& code, const std::string& name, int patch) {
    std::ostringstream out;
    FUZZ_CHECK(WritePatchRecord(out, code.PatchBank, patch, name));
    std::istringstream in(out.str());
    LineReader reader(in);
    std::string nameRead;
    ReadingBuffer values{};
    FUZZ_CHECK(readPatchRecord(reader, nameRead, values).ok());
    const int16_t* row = code.PatchBank.row(patch);
    FUZZ_CHECK(
        std::equal(row + kFirstParameter, row + kLastParameter + 1, &values[kFirstParameter]));
    // A line feed inside a name (a line feed alone ends no line) is written as a blank.
    std::string expected = name;
    for (char& c : expected)
        if (c == '\n') c = ' ';
    FUZZ_CHECK(nameRead == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string& path = filePath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file.good()) std::abort();
    }
    const std::string failure = "Unable to open file '" + path + "'.";

    QuenlorCode code;
    FuzzStorageHost host;
    CheckingSink sink;
    start(code, host, sink, path);
    BankCommands(code, host).OpenBank();

    const int read = host.NamesSet;
    FUZZ_CHECK(read >= 0 && read <= kLastPatch);
    FUZZ_CHECK(host.BusyPointers == 1 && host.NormalPointers == 1);
    if (read == kLastPatch) {
        FUZZ_CHECK(host.Messages == 0);
        FUZZ_CHECK(host.Captions == 1 && host.Title == "input.bbk" && host.Path == path);
        FUZZ_CHECK(host.FirstPatchSelections == 1);
        FUZZ_CHECK(sink.SysEx == kLastPatch + 1);
    } else {
        FUZZ_CHECK(host.Messages == 1 && host.LastMessage == failure);
        FUZZ_CHECK(host.Captions == 0 && host.FirstPatchSelections == 0);
        FUZZ_CHECK(sink.SysEx == read);
        for (int patch = read + 1; patch <= kLastPatch; ++patch)
            expectUnchanged(code, host, patch);
    }
    FUZZ_CHECK(sink.ProgramChanges == sink.SysEx);
    for (int patch = kFirstPatch; patch <= read; ++patch)
        expectRoundTrip(code, host.Names[patch], patch);

    // Open Patch of the same file into another patch: it reads the first record only,
    // so it succeeds exactly when Open Bank read patch 1, and gets the same values.
    QuenlorCode single;
    FuzzStorageHost singleHost;
    CheckingSink singleSink;
    start(single, singleHost, singleSink, path);
    const bool opened = BankCommands(single, singleHost).OpenPatchFile(kPatchFileTarget);
    FUZZ_CHECK(opened == (read >= 1));
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        if (patch != kPatchFileTarget || !opened) expectUnchanged(single, singleHost, patch);
    if (opened) {
        FUZZ_CHECK(samePatch(single, kPatchFileTarget, code, kFirstPatch));
        FUZZ_CHECK(singleHost.Names[kPatchFileTarget] == host.Names[kFirstPatch]);
        FUZZ_CHECK(singleHost.Messages == 0 && singleSink.SysEx == 1);
    } else {
        FUZZ_CHECK(singleHost.Messages == 1 && singleHost.LastMessage == failure);
        FUZZ_CHECK(singleSink.SysEx == 0);
    }
    return 0;
}
