#pragma once

#include <string>

class LibraryDatabase;
struct CommandLine;
struct CompanionWorld;
struct ScanSummary;

// The companion's library commands: add folders and scan them, list the patches, write
// the first of them as a bank; on the program's own library file, taking turns with it.
class LibraryCommand {
public:
    explicit LibraryCommand(CompanionWorld& world) : m_world(world) {}

    // The exit status, as the companion's other commands give it.
    int run(const CommandLine& line);

private:
    int add(const CommandLine& line, LibraryDatabase& database);
    int list(const CommandLine& line, LibraryDatabase& database);
    // A library set aside as damaged is built again from the watched folders before it
    // is listed; false, said, when it could not be.
    bool rebuild(LibraryDatabase& database);
    // The scan's files that could not be read and links it met, on the standard error.
    void tellScan(LibraryDatabase& database, const ScanSummary& summary);
    int failure(const char* text);
    int failure(const std::string& text);

    CompanionWorld& m_world;
};
