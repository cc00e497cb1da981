#include "FileCheck.h"

#include "core/NumberText.h"
#include "storage/LineReader.h"
#include "storage/PatchRecord.h"

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

// Reads the file again up to the line at which the program's record reader gave up
// and says why it did. LineReader does not tell why a line could not be read, but
// the bytes left do: at the end of the file there are none beyond the line ends of
// the lines read (at most 4884 of them), and a line too long to read leaves more
// than kMaxLineLength.
std::optional<Finding> locateFailure(const std::string& path, int records,
                                     std::uintmax_t fileSize) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return Finding{0, 0, 0, "cannot be opened"};
    LineReader reader(file);
    std::uintmax_t consumedAtLeast = 0;
    bool lineFeedsOnly = false;
    std::string line;
    for (int record = 1; record <= records; ++record) {
        for (int n = 1; n <= PatchRecord::kLines; ++n) {
            const int parameter = n > kMarkerLines ? n - kMarkerLines : 0;
            if (!reader.readLine(line)) {
                std::string why;
                if (file.bad())
                    why = "the file cannot be read here";
                else if (fileSize - std::min(fileSize, consumedAtLeast) >
                         LineReader::kMaxLineLength)
                    why =
                        "line longer than " + std::to_string(LineReader::kMaxLineLength) + " bytes";
                else
                    why = "the file ends before this line";
                if (lineFeedsOnly)
                    why += " (its lines end with a line feed alone; the program needs CR LF)";
                return Finding{record, n, parameter, why};
            }
            consumedAtLeast += line.size() + 1;
            if (record == 1 && n == 1 && line.find('\n') != std::string::npos) lineFeedsOnly = true;
            if (parameter != 0 && !NumberText::ReadInt16(line))
                return Finding{record, n, parameter,
                               "value \"" + shown(line) + "\" does not fit 16 bits"};
        }
    }
    return std::nullopt;
}

std::string membersText(const std::vector<int>& members) {
    std::string text;
    for (int member : members)
        text += (text.empty() ? "" : ", ") + std::to_string(member);
    return text;
}

} // namespace

FileKind KindOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".b01" ? FileKind::Patch : FileKind::Bank;
}

std::string FormatFinding(const std::string& file, const Finding& finding) {
    std::string text = file + ": ";
    if (finding.Record > 0) {
        text +=
            "record " + std::to_string(finding.Record) + ", line " + std::to_string(finding.Line);
        if (finding.Parameter > 0) text += " (parameter " + std::to_string(finding.Parameter) + ")";
        text += ": ";
    }
    return text + finding.Text;
}

LoadedFile LoadFile(const std::string& path, Bank& bank) {
    LoadedFile loaded;
    loaded.Kind = KindOf(path);
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
    const int records = recordsOf(loaded.Kind);
    LineReader reader(file);
    ReadingBuffer values{};
    std::string name;
    for (int record = 1; record <= records; ++record) {
        if (!ReadPatchRecord(reader, name, values)) {
            file.close();
            const std::uintmax_t size = std::filesystem::file_size(path, error);
            loaded.Failure = locateFailure(path, records, error ? 0 : size);
            if (!loaded.Failure) // the file changed while it was read
                loaded.Failure = Finding{record, 1, 0, "the record cannot be read"};
            return loaded;
        }
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            bank(record, p) = values[p];
        loaded.Records = record;
    }
    return loaded;
}

std::vector<Finding> CheckValues(const Bank& bank, int records, const ParamTable& table) {
    std::vector<Finding> findings;
    for (int record = 1; record <= records; ++record) {
        const int16_t* values = bank.Row(record);
        for (int p = kFirstParameter; p <= kLastParameter; ++p) {
            const int16_t most = table.MaxValue(p);
            if (values[p] < 0 || values[p] > most)
                findings.push_back(
                    {record, lineOf(p), p,
                     "value " + std::to_string(values[p]) + " outside 0.." + std::to_string(most)});
        }
        for (const SwitchGroup& group : kSwitchGroups) {
            std::vector<int> set;
            for (int p = group.FirstMember; p <= group.LastMember(); ++p)
                if (values[p] == 1) set.push_back(p);
            // Placed at the member that wins, the one the instrument gets.
            if (set.size() > 1)
                findings.push_back({record, lineOf(set.back()), set.back(),
                                    "choice " + std::to_string(group.FirstMember) + ".." +
                                        std::to_string(group.LastMember()) +
                                        " has more than one member set: " + membersText(set)});
        }
    }
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.Record != b.Record ? a.Record < b.Record : a.Line < b.Line;
    });
    return findings;
}
