#include "LineReader.h"

namespace {
constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
} // namespace

bool LineReader::fill() {
    if (m_pos < m_end)
        return true;
    m_pos = m_end = 0;
    if (!m_in.good())
        return false;
    // istream::read turns an error of the file underneath (reading a folder, a device
    // gone) into badbit rather than an exception.
    // The bytes got before an error are still handed out; readLine fails once it needs
    // more than those.
    m_in.read(m_chunk.data(), static_cast<std::streamsize>(m_chunk.size()));
    m_end = static_cast<std::size_t>(m_in.gcount());
    return m_end > 0;
}

int LineReader::peek() {
    if (!fill())
        return -1;
    return static_cast<unsigned char>(m_chunk[m_pos]);
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    if (m_failure != Failure::None)
        return false;
    bool any = false;
    while (fill()) {
        any = true;
        const char* begin = m_chunk.data() + m_pos;
        const char* end = m_chunk.data() + m_end;
        const char* cr = begin;
        while (cr != end && *cr != kCarriageReturn)
            ++cr;
        const std::size_t take = static_cast<std::size_t>(cr - begin);
        if (line.size() + take > kMaxLineLength) {
            m_failure = Failure::LineTooLong;
            line.clear();
            return false;
        }
        line.append(begin, take);
        m_pos += take;
        if (cr != end) {
            ++m_pos; // the CR
            if (peek() == kLineFeed)
                ++m_pos;
            return true;
        }
    }
    if (m_in.bad() || !any) {
        m_failure = m_in.bad() ? Failure::ReadError : Failure::FileEnds;
        line.clear();
        return false;
    }
    return true; // the end of the file ends the last line
}
