#include "ParameterLocks.h"

#include "NumberText.h"

namespace {
constexpr std::size_t kLongestNumber = 2; // 1..63

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A parameter number written in decimal digits alone, or 0.
int parameterNumber(std::string_view entry) {
    const int number = NumberText::readDigits(entry, kLongestNumber).value_or(0);
    return number >= kFirstParameter && number <= kLastParameter ? number : 0;
}
} // namespace

bool ParameterLocks::locked(int parameter) const {
    return parameter >= kFirstParameter && parameter <= kLastParameter &&
           m_locked.test(static_cast<std::size_t>(parameter));
}

void ParameterLocks::setLocked(int parameter, bool locked) {
    if (parameter < kFirstParameter || parameter > kLastParameter) return;
    if (const SwitchGroup* group = switchGroupOf(parameter)) {
        for (int m = group->FirstMember; m <= group->lastMember(); ++m)
            m_locked.set(static_cast<std::size_t>(m), locked);
    } else {
        m_locked.set(static_cast<std::size_t>(parameter), locked);
    }
}

std::vector<int> ParameterLocks::parameters() const {
    std::vector<int> numbers;
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (locked(p)) numbers.push_back(p);
    return numbers;
}

std::string ParameterLocks::text() const {
    std::string list;
    for (const int p : parameters())
        list += (list.empty() ? "" : ",") + std::to_string(p);
    return list;
}

bool ParameterLocks::read(std::string_view text, bool lenient, ParameterLocks& locks) {
    if (trimmed(text).empty()) return true;
    for (;;) {
        const std::size_t comma = text.find(',');
        const int number = parameterNumber(trimmed(text.substr(0, comma)));
        if (number != 0)
            locks.setLocked(number, true);
        else if (!lenient)
            return false;
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::optional<ParameterLocks> ParameterLocks::fromText(std::string_view text) {
    ParameterLocks locks;
    if (!read(text, false, locks)) return std::nullopt;
    return locks;
}

ParameterLocks ParameterLocks::fromTextLeniently(std::string_view text) {
    ParameterLocks locks;
    read(text, true, locks);
    return locks;
}
