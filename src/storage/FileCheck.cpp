#include "FileCheck.h"

#include "core/NumberText.h"
#include "LineReader.h"
#include "PatchRecord.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr int kMarkerLines = 3; // "Name", the name, "Data"
constexpr std::size_t kShownLineLength = 24;

int recordsOf(FileKind kind) {
    return kind == FileKind::Patch ? 1 : kLastPatch;
}

int lineOf(int parameter) {
    return kMarkerLines + parameter;
}

// A line of the file as a message shows it: cut short, and anything unprintable as \xNN.
std::string shown(const std::string& line) {
    std::string text;
    for (std::size_t i = 0; i < line.size() && i < kShownLineLength; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 0x0F];
        }
    }
    if (line.size() > kShownLineLength) text += "...";
    return text;
}

// Says why the program's record reader stopped, in the checker's words.
Finding findingOf(int record, const RecordFailure& failure) {
    std::string why;
    switch (failure.Why) {
    case RecordFailure::Reason::ReadError: why = "the file cannot be read here"; break;
    case RecordFailure::Reason::LineTooLong:
        why = "line longer than " + std::to_string(LineReader::kMaxLineLength) + " bytes";
        break;
    case RecordFailure::Reason::FileEnds: why = "the file ends before this line"; break;
    case RecordFailure::Reason::ValueTooBig:
        return Finding{record, failure.Line, failure.Parameter,
                       "value \"" + shown(failure.Text) + "\" does not fit 16 bits"};
    }
    if (record == 1 && failure.FirstLineHadLineFeed)
        why += " (its lines end with a line feed alone; the program needs CR LF)";
    return Finding{record, failure.Line, failure.Parameter, why};
}

std::string membersText(const std::vector<int>& members) {
    std::string text;
    for (int member : members)
        text += (text.empty() ? "" : ", ") + std::to_string(member);
    return text;
}

} // namespace

std::string formatFinding(const std::string& file, const Finding& finding) {
    return file + ": " + describeFinding(finding);
}

std::string describeFinding(const Finding& finding) {
    std::string text;
    if (finding.Record > 0) {
        text +=
            "record " + std::to_string(finding.Record) + ", line " + std::to_string(finding.Line);
        if (finding.Parameter > 0) text += " (parameter " + std::to_string(finding.Parameter) + ")";
        text += ": ";
    }
    return text + finding.Text;
}

LoadedFile loadFile(const std::string& path, Bank& bank, std::vector<std::string>* names) {
    LoadedFile loaded;
    loaded.Kind = kindOf(path);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        loaded.Failure = Finding{0, 0, 0, "is a folder"};
        return loaded;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        loaded.Failure = Finding{0, 0, 0, std::string("cannot be opened: ") + std::strerror(errno)};
        return loaded;
    }
    return loadRecords(file, loaded.Kind, bank, names);
}

LoadedFile loadRecords(std::istream& in, FileKind kind, Bank& bank,
                       std::vector<std::string>* names) {
    LoadedFile loaded;
    loaded.Kind = kind;
    const int records = recordsOf(loaded.Kind);
    LineReader reader(in);
    ReadingBuffer values{};
    std::string name;
    for (int record = 1; record <= records; ++record) {
        const RecordReading reading = readPatchRecord(reader, name, values);
        if (!reading.ok()) {
            loaded.Failure = findingOf(record, *reading.Failure);
            return loaded;
        }
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            bank(record, p) = values[p];
        if (names) names->push_back(name);
        loaded.Records = record;
        loaded.Names.push_back(name);
    }
    return loaded;
}

std::vector<Finding> checkValues(const Bank& bank, int records, const ParamTable& table) {
    std::vector<Finding> findings;
    for (int record = 1; record <= records; ++record) {
        const int16_t* values = bank.row(record);
        for (int p = kFirstParameter; p <= kLastParameter; ++p) {
            const int16_t most = table.MaxValue(p);
            if (values[p] < 0 || values[p] > most)
                findings.push_back(
                    {record, lineOf(p), p,
                     "value " + std::to_string(values[p]) + " outside 0.." + std::to_string(most)});
        }
        for (const SwitchGroup& group : kSwitchGroups) {
            std::vector<int> set;
            for (int p = group.FirstMember; p <= group.lastMember(); ++p)
                if (values[p] == 1) set.push_back(p);
            const std::string choice = "choice " + std::to_string(group.FirstMember) + ".." +
                                       std::to_string(group.lastMember());
            // Placed at the member that wins, the one the instrument gets; a choice
            // left empty, at the first member, which the editors show for it.
            if (set.size() > 1)
                findings.push_back({record, lineOf(set.back()), set.back(),
                                    choice + " has more than one member set: " + membersText(set)});
            else if (set.empty() && group.OneRequired)
                findings.push_back({record, lineOf(group.FirstMember), group.FirstMember,
                                    choice + " has no member set; it needs one"});
        }
    }
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.Record != b.Record ? a.Record < b.Record : a.Line < b.Line;
    });
    return findings;
}

std::vector<std::string> lockedRepairs(const std::string& file, const PatchValues& before,
                                       const PatchValues& made, const ParameterLocks& locks,
                                       const ParamTable& table) {
    Bank bank;
    bank.setValues(kFirstPatch, before);
    std::vector<std::string> lines;
    for (const Finding& finding : checkValues(bank, 1, table)) {
        const int p = finding.Parameter;
        if (!locks.locked(p)) continue;
        std::string now;
        if (const SwitchGroup* group = switchGroupOf(p)) {
            const int chosen = group->chosenMember(made.data());
            now = chosen < 0 ? "with no member set"
                             : "with " + std::to_string(group->FirstMember + chosen) + " set";
        } else {
            now = "as " + std::to_string(made[static_cast<std::size_t>(p)]);
        }
        lines.push_back(formatFinding(file, finding) + "; locked, written " + now);
    }
    return lines;
}
