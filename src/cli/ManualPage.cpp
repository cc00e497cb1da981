#include "ManualPage.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view kUsage = "Usage: ";
constexpr std::string_view kCommandsSection = "Commands";
constexpr std::size_t kItemIndent = 2;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::size_t indentOf(const std::string& line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? 0 : first;
}

// Text as roff reads it literally: its escapes, and no request at the start of a line.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\e";
            break;
        case '-':
            out += "\\-";
            break;
        case '\'':
            out += "\\(aq";
            break;
        case '`':
            out += "\\(ga";
            break;
        default:
            out += c;
        }
    }
    return !out.empty() && out[0] == '.' ? "\\&" + out : out;
}

// "Exit status:" names the section "Exit status".
bool isHeading(const std::string& line, std::string& name) {
    if (line.size() < 2 || line.back() != ':' || !std::isupper(static_cast<unsigned char>(line[0])))
        return false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        if (!std::isalpha(static_cast<unsigned char>(line[i])) && line[i] != ' ') return false;
    name = line.substr(0, line.size() - 1);
    return true;
}

// "  -o, --output OUT   the file to write": the term, its text and the text's column.
bool isItem(const std::string& line, std::string& term, std::string& text, std::size_t& column) {
    const std::size_t start = indentOf(line);
    const std::size_t gap = line.find("  ", start);
    if (start < kItemIndent || gap == std::string::npos) return false;
    column = line.find_first_not_of(' ', gap);
    if (column == std::string::npos) return false;
    term = line.substr(start, gap - start);
    text = line.substr(column);
    return true;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The lines before the first that is not indented: the usage line and its continuations.
std::size_t usageEnd(const std::vector<std::string>& lines) {
    std::size_t end = 1;
    while (end < lines.size() && indentOf(lines[end]) > 0)
        ++end;
    return end;
}

std::string synopsis(const std::vector<std::string>& lines, std::size_t end) {
    std::string out = ".nf\n";
    for (std::size_t i = 0; i < end && i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.substr(0, kUsage.size()) == kUsage) line.remove_prefix(kUsage.size());
        out += escaped(line) + "\n";
    }
    return out + ".fi\n";
}

// The paragraphs and sections of help lines from `first` on; `commands` follows the
// section "Commands:". A command's own headings are subsections.
std::string body(const std::vector<std::string>& lines, std::size_t first, bool subsections,
                 const std::string& commands) {
    enum class Kind { Paragraph, Blank, Heading, Item, Continuation, Example };
    std::string out;
    std::string section;
    Kind last = Kind::Paragraph;
    std::size_t textColumn = 0; // 0: the item's text starts on its next line
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t indent = indentOf(line);
        const bool deeperNext = i + 1 < lines.size() && indentOf(lines[i + 1]) > kItemIndent;
        std::string name, term, text;
        std::size_t column = 0;
        Kind kind = Kind::Paragraph;
        if (line.empty())
            kind = Kind::Blank;
        else if (isHeading(line, name))
            kind = Kind::Heading;
        else if (last == Kind::Item && indent > kItemIndent && indent >= textColumn)
            kind = Kind::Continuation;
        else if (isItem(line, term, text, column) || (indent == kItemIndent && deeperNext))
            kind = Kind::Item;
        else if (indent > 0)
            kind = Kind::Example;

        if (last == Kind::Example && kind != Kind::Example) out += ".fi\n.RE\n";
        switch (kind) {
        case Kind::Heading:
            if (section == kCommandsSection) out += commands;
            section = name;
            out += (subsections ? ".SS \"" + name : ".SH \"" + upper(name)) + "\"\n";
            break;
        case Kind::Continuation:
            if (textColumn == 0) textColumn = indent;
            out += escaped(line.substr(indent)) + "\n";
            break;
        case Kind::Item:
            if (term.empty()) term = line.substr(indent);
            textColumn = column;
            out +=
                ".TP\n.B \"" + escaped(term) + "\"\n" + (text.empty() ? "" : escaped(text) + "\n");
            break;
        case Kind::Example:
            if (last != Kind::Example) out += ".RS\n.nf\n";
            out += escaped(line) + "\n";
            break;
        case Kind::Paragraph:
            if (last == Kind::Item || last == Kind::Blank || last == Kind::Example) out += ".PP\n";
            out += escaped(line) + "\n";
            break;
        case Kind::Blank:
            break;
        }
        // An item's continued text leaves it the last line's kind, so that more may follow.
        if (kind != Kind::Continuation) last = kind;
    }
    if (last == Kind::Example) out += ".fi\n.RE\n";
    if (section == kCommandsSection) out += commands;
    return out;
}

// The summary as the NAME line gives it, which indexes such as whatis and apropos list:
// a phrase, from a small letter (unless the first word is written in capitals, as MIDI
// is) and without a full stop.
std::string whatIs(std::string summary) {
    while (!summary.empty() && (summary.back() == '.' || summary.back() == ' '))
        summary.pop_back();
    if (summary.size() > 1 && !std::isupper(static_cast<unsigned char>(summary[1])))
        summary[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(summary[0])));
    return summary;
}

} // namespace

std::string manualPage(const ManualPageSource& source) {
    const std::vector<std::string> lines = linesOf(source.Help);
    const std::size_t summary = usageEnd(lines);
    std::string commands;
    for (const auto& [command, help] : source.Commands) {
        const std::vector<std::string> own = linesOf(help);
        const std::size_t start = usageEnd(own);
        commands += ".SS \"" + escaped(command) + "\"\n" + synopsis(own, start) + ".PP\n" +
                    body(own, start, true, "");
    }
    std::string page = ".\\\" Made from '" + source.Name + " --help' by quenlor-manpage: ";
    page += "change the help, not this page.\n";
    page += ".TH \"" + upper(source.Name) + "\" 1 \"" + source.Date + "\" \"" + source.Name + " ";
    page += source.Version + "\" \"User Commands\"\n";
    page += ".SH NAME\n" + escaped(source.Name) + " \\- ";
    page += (summary < lines.size() ? escaped(whatIs(lines[summary])) : "") + "\n";
    page += ".SH SYNOPSIS\n" + synopsis(lines, summary);
    // The summary as the help writes it opens the description.
    page += ".SH DESCRIPTION\n" + body(lines, summary, false, commands);
    return page;
}

// Each item there names its command first, as "  library add DIR...", whether its text
// follows on the line or on the next; a command with several forms is listed once.
std::vector<std::string> listedCommands(const std::string& help) {
    std::vector<std::string> commands;
    std::string section;
    for (const std::string& line : linesOf(help)) {
        if (line.empty() || isHeading(line, section)) continue;
        if (section != kCommandsSection || indentOf(line) != kItemIndent) continue;
        const std::string name =
            line.substr(kItemIndent, line.find(' ', kItemIndent) - kItemIndent);
        if (std::find(commands.begin(), commands.end(), name) == commands.end())
            commands.push_back(name);
    }
    return commands;
}
