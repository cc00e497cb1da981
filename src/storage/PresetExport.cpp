#include "PresetExport.h"

#include "SaveFile.h"
#include "StorageHost.h"
#include "core/PluginInterface.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace PresetExport {
namespace {
const char* const kPrefixes =
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n\n";

std::string twoDigits(int number) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

// A Turtle string literal; names are 8-bit text, which passes as it is unless it is a
// quote, a backslash or a control character.
std::string literal(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

// Names are not always UTF-8 (an old file's accented letters): a byte that does not
// start or continue a valid sequence is taken as Latin-1, so that every preset file is
// valid Turtle.
std::string utf8(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

bool writeFile(const std::string& path, const std::string& text, std::string& failed) {
    SaveFile file(path);
    if (file.open()) {
        file.stream() << text;
        if (file.commit()) return true;
    }
    failed = path;
    return false;
}

std::string presetFile(const std::string& stem, const Patch& patch) {
    std::string out = kPrefixes;
    out += "<" + presetUri(stem, patch.Number) + ">\n    a pset:Preset ;\n";
    out += std::string("    lv2:appliesTo <") + PluginInterface::kUri + "> ;\n";
    out += "    rdfs:label " + literal(utf8(presetLabel(patch.Number, patch.Name))) + " ;\n";
    out += "    lv2:port";
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        out += p == kFirstParameter ? " [\n" : " , [\n";
        out += "        lv2:symbol \"" + PluginInterface::parameterSymbol(p) + "\" ;\n";
        out += "        pset:value " + std::to_string(patch.Values[std::size_t(p)]) + ".0\n    ]";
    }
    out += " ;\n    state:state [\n        <" + std::string(PluginInterface::kNameKey) + "> " +
           literal(utf8(patch.Name)) + "\n    ] .\n";
    return out;
}
} // namespace

std::string stemOf(const std::string& path) {
    if (path.empty()) return "untitled";
    const std::filesystem::path file(path);
    const std::string stem = file.stem().string();
    return stem.empty() ? "untitled" : stem;
}

std::string bundleName(const std::string& stem) { return "quenlor-" + stem + ".lv2"; }

std::string defaultFolder(const std::string& home, const std::string& stem) {
    return home + "/.lv2/" + bundleName(stem);
}

std::string presetUri(const std::string& stem, int number) {
    static const char* const hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : stem) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += char(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0x0F];
        }
    }
    return PluginInterface::kPresetBase + encoded + "/" + twoDigits(number);
}

std::string presetLabel(int number, const std::string& name) { return twoDigits(number) + " - " + name; }

bool writeBundle(const std::string& folder, const std::string& stem,
                 const std::vector<Patch>& patches, std::string& failed) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        failed = folder;
        return false;
    }
    // The presets first, then the manifest that lists them: a host never finds a preset
    // in the manifest whose file is not there.
    std::string manifest = kPrefixes;
    for (const Patch& patch : patches) {
        const std::string file = twoDigits(patch.Number) + ".ttl";
        if (!writeFile(folder + "/" + file, presetFile(stem, patch), failed)) return false;
        manifest += "<" + presetUri(stem, patch.Number) + ">\n    a pset:Preset ;\n";
        manifest += std::string("    lv2:appliesTo <") + PluginInterface::kUri + "> ;\n";
        manifest += "    rdfs:label " + literal(utf8(presetLabel(patch.Number, patch.Name))) + " ;\n";
        manifest += "    rdfs:seeAlso <" + file + "> .\n\n";
    }
    return writeFile(folder + "/manifest.ttl", manifest, failed);
}

bool exportBank(const Bank& bank, StorageHost& host, const std::string& home) {
    const std::string stem = stemOf(host.BankFilePath());
    const std::string folder = defaultFolder(home, stem);
    std::vector<Patch> patches;
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        patches.push_back({n, host.PatchName(n), bank.values(n)});
    std::string failed;
    if (!writeBundle(folder, stem, patches, failed)) {
        host.showMessage("Error saving file '" + failed + "'.");
        return false;
    }
    host.SetStatusText("Plugin presets written to '" + folder + "'.");
    return true;
}
} // namespace PresetExport
