#pragma once

#include <string>

// What a file dialog hands back: the full path and the bare file name, both in the file
// system's own encoding, as the file commands open them.
struct FileChoice {
    std::string Path;
    std::string FileName;
};
