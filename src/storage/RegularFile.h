#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The contents of a file that a folder holds, read without ever waiting: the file is
// opened without blocking and what was opened is checked, so that a FIFO, a device or
// a socket standing where a file of patches was is refused instead of waiting for a
// writer that never comes.
struct RegularFile {
    std::vector<uint8_t> Bytes;
    std::string Refusal;     // why the file was not read; empty when it was
    bool TooLarge = false;   // refused for its size: the caller says which limit
    bool NotRegular = false; // a folder, FIFO, device or socket stands at the path

    bool refused() const { return !Refusal.empty(); }
};

// Reads the whole file, at most `maxSize` bytes; a larger one (also one that grows past
// the limit while it is read) is refused with TooLarge set.
RegularFile readRegularFile(const std::string& path, std::size_t maxSize);
