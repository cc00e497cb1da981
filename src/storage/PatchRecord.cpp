#include "PatchRecord.h"

#include "LineReader.h"
#include "core/NumberText.h"

namespace {

void appendLine(std::string& out, std::string_view text) {
    out.append(text);
    out.append(PatchRecord::kLineEnd);
}

} // namespace

bool WritePatchRecord(std::ostream& file, const Bank& bank, int patch, std::string_view name) {
    const int16_t* values = bank.Row(patch);
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
        appendLine(record, NumberText::WriteNumber(values[p]));
    file.write(record.data(), static_cast<std::streamsize>(record.size()));
    return file.good();
}

bool ReadPatchRecord(LineReader& reader, std::string& name, ReadingBuffer& values) {
    std::string line;
    if (!reader.readLine(line) || !reader.readLine(name) || !reader.readLine(line))
        return false;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        if (!reader.readLine(line))
            return false;
        const auto value = NumberText::ReadInt16(line);
        if (!value)
            return false;
        values[p] = *value;
    }
    return true;
}
