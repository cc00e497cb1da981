#include "ManualPage.h"

#include <cstdio>
#include <fstream>
#include <iostream>

// quenlor-manpage PROGRAM NAME VERSION DATE OUTPUT [--commands]: writes the manual page of
// the built PROGRAM from what `PROGRAM --help` says, with `PROGRAM COMMAND --help` for each
// command it lists when asked. Run by the build; never installed.
namespace {

// What the command writes on its standard output; false when it fails.
bool helpOf(const std::string& command, std::string& text) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    return pclose(pipe) == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 6) {
        std::cerr << "usage: quenlor-manpage PROGRAM NAME VERSION DATE OUTPUT [--commands]\n";
        return 2;
    }
    const std::string program = "'" + std::string(argv[1]) + "'";
    ManualPageSource source{argv[2], argv[3], argv[4], {}, {}};
    if (!helpOf(program + " --help", source.Help)) {
        std::cerr << "quenlor-manpage: " << argv[1] << " --help failed\n";
        return 1;
    }
    if (argc > 6 && std::string(argv[6]) == "--commands") {
        for (const std::string& command : listedCommands(source.Help)) {
            std::string help;
            if (!helpOf(program + " " + command + " --help", help)) {
                std::cerr << "quenlor-manpage: " << argv[1] << " " << command << " --help failed\n";
                return 1;
            }
            source.Commands.emplace_back(command, help);
        }
    }
    std::ofstream out(argv[5], std::ios::binary);
    out << manualPage(source);
    return out.flush() ? 0 : 1;
}
