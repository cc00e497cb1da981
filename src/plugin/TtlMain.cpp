// Writes the plugin's description (manifest.ttl and quenlor.ttl) into a bundle folder
// at build time, from the core's own tables: the ranges, names and defaults the host
// shows are those the program edits with.
#include "core/ParameterNames.h"
#include "core/ParameterTable.h"
#include "core/PatchTransmission.h"
#include "core/PluginInterface.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {
namespace Ports = PluginInterface;

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix owl: <http://www.w3.org/2002/07/owl#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

// A string literal of Turtle.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

void controlPort(std::ostream& out, uint32_t index, const std::string& symbol,
                 const std::string& name, int def, int min, int max, bool toggled,
                 const char* unit = nullptr) {
    out << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(symbol) << " ;\n"
        << "        lv2:name " << quoted(name) << " ;\n"
        << "        lv2:default " << def << " ;\n"
        << "        lv2:minimum " << min << " ;\n"
        << "        lv2:maximum " << max << " ;\n"
        << "        lv2:portProperty lv2:integer" << (toggled ? " , lv2:toggled" : "");
    if (unit) out << " ;\n        units:unit " << unit;
    out << "\n    ]";
}

std::string pluginDescription() {
    std::ostringstream out;
    out << kPrefixes << '<' << Ports::kUri << ">\n"
        << "    a lv2:Plugin , lv2:MIDIPlugin ;\n"
        << "    doap:name " << quoted(Ports::kName) << " ;\n"
        << "    rdfs:comment \"Sends the Bit 01 synthesizer the patch its controls hold, "
           "as paced SysEx dumps, with the track's MIDI.\" ;\n"
        << "    lv2:requiredFeature urid:map ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    lv2:port [\n"
        << "        a lv2:InputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports midi:MidiEvent ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:index " << Ports::kMidiIn << " ;\n"
        << "        lv2:symbol \"midi_in\" ;\n"
        << "        lv2:name \"MIDI In\"\n"
        << "    ] , [\n"
        << "        a lv2:OutputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports midi:MidiEvent ;\n"
        << "        lv2:index " << Ports::kMidiOut << " ;\n"
        << "        lv2:symbol \"midi_out\" ;\n"
        << "        lv2:name \"MIDI Out\"\n"
        << "    ]";
    const PatchValues blank = PatchTransmission::blankPatch();
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const ParameterRow& row = kParameterRows[std::size_t(p)];
        controlPort(out, Ports::parameterPort(p), Ports::parameterSymbol(p),
                    ParameterNames::fullName(p), blank[std::size_t(p)], 0, row.MaxValue,
                    row.MaxValue == 1);
    }
    controlPort(out, Ports::kChannelPort, "channel", "MIDI channel", Ports::kDefaultChannel,
                PatchTransmission::kLowestChannel, PatchTransmission::kHighestChannel, false);
    controlPort(out, Ports::kBit99Port, "bit99", "Transmit Bit 99 SysEx header", 0, 0, 1, true);
    controlPort(out, Ports::kPausePort, "pause", "Pause after each patch (ms)", 0, 0,
                Ports::kLongestPauseMs, false, "units:ms");
    out << " .\n\n";
    // The patch name the plugin keeps in its state (and presets carry).
    out << '<' << Ports::kNameKey << ">\n"
        << "    a rdf:Property , owl:DatatypeProperty ;\n"
        << "    rdfs:label \"Patch name\" ;\n"
        << "    rdfs:range xsd:string .\n";
    return out.str();
}

std::string manifest() {
    std::ostringstream out;
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
        << '<' << Ports::kUri << ">\n"
        << "    a lv2:Plugin ;\n"
        << "    lv2:binary <" << Ports::kBinary << "> ;\n"
        << "    rdfs:seeAlso <quenlor.ttl> .\n";
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return bool(file);
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " BUNDLE-FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    if (!writeFile(folder + "/manifest.ttl", manifest()) ||
        !writeFile(folder + "/quenlor.ttl", pluginDescription())) {
        std::cerr << argv[0] << ": cannot write into " << folder << '\n';
        return 1;
    }
    return 0;
}
