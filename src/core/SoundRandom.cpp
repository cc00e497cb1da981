#include "SoundRandom.h"

namespace {
constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15u;
constexpr int kUniformTerms = 12;
constexpr int64_t kUnit = int64_t(1) << 32; // a uniform deviate's 1, in 32-bit steps
} // namespace

uint64_t SoundRandom::next() {
    uint64_t z = (m_state += kGoldenGamma);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

int SoundRandom::below(int count) {
    return count <= 1 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(count));
}

bool SoundRandom::chance(int numerator, int denominator) {
    return below(denominator) < numerator;
}

int SoundRandom::normal(int64_t numerator, int64_t denominator) {
    // Twelve 32-bit uniform deviates, two from each draw; their sum less 6 is the normal
    // deviate in steps of 2^-32, within +/-6 * 2^32.
    int64_t sum = 0;
    for (int i = 0; i < kUniformTerms / 2; ++i) {
        const uint64_t bits = next();
        sum += static_cast<int64_t>(bits >> 32) + static_cast<int64_t>(bits & 0xFFFFFFFFu);
    }
    const int64_t deviate = sum - kUniformTerms / 2 * kUnit;
    // deviate * numerator stays below 6 * 2^52, far inside 64 bits; the divisor below 2^53.
    const int64_t scaled = deviate * numerator;
    const int64_t divisor = denominator * kUnit;
    const int64_t half = divisor / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / divisor : -((-scaled + half) / divisor));
}
