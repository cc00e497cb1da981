#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <string>

// Reads the lines of a bank or patch file. CR or CR LF ends a line, a line feed alone
// is part of the line, and the end of the file ends the last line. A line longer than
// kMaxLineLength bytes is a failed read: no name or value is that long, so a large
// file without line ends fails after its first 64 KiB instead of filling memory.
class LineReader {
public:
    static constexpr std::size_t kMaxLineLength = 64 * 1024;

    // Why readLine failed.
    enum class Failure { None, FileEnds, LineTooLong, ReadError };

    explicit LineReader(std::istream& in) : m_in(in) {}

    // Reads the next line into `line` without its line end. False at the end of the
    // file (no line left), on a line that is too long and on a read error; once it
    // has failed it keeps failing.
    bool readLine(std::string& line);
    Failure failure() const { return m_failure; }

private:
    bool fill();
    int peek();

    std::istream& m_in;
    std::array<char, 16 * 1024> m_chunk{};
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    Failure m_failure = Failure::None;
};
