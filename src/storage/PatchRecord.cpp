#include "PatchRecord.h"

#include "LineReader.h"
#include "core/NumberText.h"

#include <filesystem>

namespace {

void appendLine(std::string& out, std::string_view text) {
    out.append(text);
    out.append(PatchRecord::kLineEnd);
}

} // namespace

FileKind kindOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".b01" ? FileKind::Patch : FileKind::Bank;
}

bool WritePatchRecord(std::ostream& file, const Bank& bank, int patch, std::string_view name) {
    return WritePatchRecord(file, bank.row(patch), name);
}

bool WritePatchRecord(std::ostream& file, const int16_t* values, std::string_view name) {
    // A name longer than a line may be is cut, so that every file written reads back.
    name = name.substr(0, LineReader::kMaxLineLength);
    std::string record;
    record.reserve(name.size() + 4 * (kLastParameter + 3) + 2 * PatchRecord::kLines);
    appendLine(record, PatchRecord::kNameMarker);
    const std::size_t nameStart = record.size();
    appendLine(record, name);
    for (std::size_t i = nameStart; i < nameStart + name.size(); ++i)
        if (record[i] == '\r' || record[i] == '\n')
            record[i] = ' ';
    appendLine(record, PatchRecord::kDataMarker);
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        appendLine(record, NumberText::writeNumber(values[p]));
    file.write(record.data(), static_cast<std::streamsize>(record.size()));
    return file.good();
}

RecordReading readPatchRecord(LineReader& reader, std::string& name, ReadingBuffer& values) {
    constexpr int kMarkerLines = 3; // "Name", the name, "Data"
    std::string line;
    bool firstLineHadLineFeed = false;
    const auto failure = [&](RecordFailure::Reason why, int lineNumber) {
        RecordFailure failed;
        failed.Why = why;
        failed.Line = lineNumber;
        failed.Parameter = lineNumber > kMarkerLines ? lineNumber - kMarkerLines : 0;
        failed.FirstLineHadLineFeed = firstLineHadLineFeed;
        return RecordReading{failed};
    };
    const auto readFailure = [&](int lineNumber) {
        switch (reader.failure()) {
        case LineReader::Failure::LineTooLong:
            return failure(RecordFailure::Reason::LineTooLong, lineNumber);
        case LineReader::Failure::ReadError:
            return failure(RecordFailure::Reason::ReadError, lineNumber);
        default: return failure(RecordFailure::Reason::FileEnds, lineNumber);
        }
    };
    for (int n = 1; n <= PatchRecord::kLines; ++n) {
        std::string& target = n == 2 ? name : line;
        if (!reader.readLine(target))
            return readFailure(n);
        if (n == 1)
            firstLineHadLineFeed = line.find('\n') != std::string::npos;
        if (n <= kMarkerLines)
            continue;
        const auto value = NumberText::readInt16(line);
        if (!value) {
            RecordReading failed = failure(RecordFailure::Reason::ValueTooBig, n);
            failed.Failure->Text = line;
            return failed;
        }
        values[n - kMarkerLines] = *value;
    }
    return {};
}
