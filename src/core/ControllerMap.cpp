#include "ControllerMap.h"

#include "ControllerDecoder.h"
#include "NumberText.h"

#include <algorithm>

namespace {
constexpr std::size_t kChannelDigits = 2;
constexpr std::size_t kNumberDigits = 5;
constexpr std::size_t kParameterDigits = 2;
constexpr char kKeyPrefix = 'P';
constexpr std::string_view kControlChange = "cc";
constexpr std::string_view kNrpn = "nrpn";

struct ModeName {
    ControllerMode Mode;
    const char* Text;
};
constexpr ModeName kModes[] = {{ControllerMode::Absolute, "absolute"},
                               {ControllerMode::RelativeTwos, "relative-twos"},
                               {ControllerMode::Relative64, "relative-64"}};

bool isParameter(int parameter) {
    return parameter >= kFirstParameter && parameter <= kLastParameter;
}

// The text's words, apart by blanks; at most `most` + 1 of them, so that a long text
// costs no more than a short one.
std::vector<std::string_view> words(std::string_view text, std::size_t most) {
    std::vector<std::string_view> found;
    while (found.size() <= most) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        text.remove_prefix(start);
        const std::size_t end = text.find(' ');
        found.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end);
    }
    return found;
}
} // namespace

int ControllerMap::target(int parameter) {
    const SwitchGroup* group = switchGroupOf(parameter);
    return group ? group->FirstMember : parameter;
}

bool ControllerMap::playable(const Controller& source) {
    if (source.Type == Controller::Kind::Nrpn) return source.Number != ControllerDecoder::kNullNrpn;
    constexpr int kCarriers[] = {ControllerDecoder::kDataEntry, ControllerDecoder::kDataEntryFine,
                                 ControllerDecoder::kNrpnLower, ControllerDecoder::kNrpnUpper,
                                 ControllerDecoder::kRpnLower, ControllerDecoder::kRpnUpper};
    return std::find(std::begin(kCarriers), std::end(kCarriers), source.Number) == std::end(kCarriers);
}

std::optional<ControllerMapping> ControllerMap::mapping(int parameter) const {
    if (!isParameter(parameter)) return std::nullopt;
    return m_mappings[static_cast<std::size_t>(target(parameter))];
}

int ControllerMap::parameterOf(const Controller& source) const {
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const auto& m = m_mappings[static_cast<std::size_t>(p)];
        if (m && m->Source == source) return p;
    }
    return 0;
}

std::vector<int> ControllerMap::parameters() const {
    std::vector<int> played;
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (m_mappings[static_cast<std::size_t>(p)]) played.push_back(p);
    return played;
}

int ControllerMap::bind(int parameter, const ControllerMapping& mapping) {
    if (!isParameter(parameter) || !playable(mapping.Source)) return 0;
    const int to = target(parameter);
    const int from = parameterOf(mapping.Source);
    if (from != 0) m_mappings[static_cast<std::size_t>(from)].reset();
    m_mappings[static_cast<std::size_t>(to)] = mapping;
    return from == to ? 0 : from;
}

void ControllerMap::forget(int parameter) {
    if (isParameter(parameter)) m_mappings[static_cast<std::size_t>(target(parameter))].reset();
}

void ControllerMap::setMode(int parameter, ControllerMode mode) {
    if (!isParameter(parameter)) return;
    if (auto& m = m_mappings[static_cast<std::size_t>(target(parameter))]) m->Mode = mode;
}

const char* ControllerMap::modeText(ControllerMode mode) {
    for (const ModeName& m : kModes)
        if (m.Mode == mode) return m.Text;
    return kModes[0].Text;
}

std::string ControllerMap::text(const ControllerMapping& mapping) {
    const Controller& c = mapping.Source;
    const std::string_view kind = c.Type == Controller::Kind::Nrpn ? kNrpn : kControlChange;
    return std::to_string(c.Channel) + ' ' + std::string(kind) + ' ' + std::to_string(c.Number) +
           ' ' + modeText(mapping.Mode);
}

std::optional<ControllerMapping> ControllerMap::fromText(std::string_view text) {
    constexpr std::size_t kWords = 4;
    const std::vector<std::string_view> w = words(text, kWords);
    if (w.size() != kWords) return std::nullopt;
    ControllerMapping mapping;
    Controller& c = mapping.Source;
    if (w[1] == kControlChange)
        c.Type = Controller::Kind::ControlChange;
    else if (w[1] == kNrpn)
        c.Type = Controller::Kind::Nrpn;
    else
        return std::nullopt;
    const std::optional<int> channel = NumberText::readDigits(w[0], kChannelDigits);
    const std::optional<int> number = NumberText::readDigits(w[2], kNumberDigits);
    if (!channel || *channel < 1 || *channel > Controller::kChannels) return std::nullopt;
    if (!number || *number > c.top()) return std::nullopt;
    c.Channel = *channel;
    c.Number = *number;
    if (!playable(c)) return std::nullopt;
    for (const ModeName& m : kModes)
        if (w[3] == m.Text) {
            mapping.Mode = m.Mode;
            return mapping;
        }
    return std::nullopt;
}

std::string ControllerMap::key(int parameter) { return kKeyPrefix + std::to_string(parameter); }

std::optional<int> ControllerMap::parameterOfKey(std::string_view key) {
    if (key.empty() || key.front() != kKeyPrefix) return std::nullopt;
    const std::optional<int> number = NumberText::readDigits(key.substr(1), kParameterDigits);
    if (!number || !isParameter(*number)) return std::nullopt;
    return number;
}
