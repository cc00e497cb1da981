#pragma once

#include <cstdint>

// The random numbers of mutating, randomizing and breeding. Every draw is whole-number
// arithmetic on a 64-bit state, so a seed gives the same numbers with every compiler,
// standard library and processor: the companion can name a seed and get the patch the
// tests expect. (The standard library's distributions, its normal one in particular, are
// free to differ between implementations.)
class SoundRandom {
public:
    explicit SoundRandom(uint64_t seed) : m_state(seed) {}

    // The next 64 random bits (SplitMix64: a 64-bit counter sent through a mixing function).
    uint64_t next();

    // A whole number 0..count-1, every one as likely (count 1..65536; the modulo's bias is
    // below one part in 2^48).
    int below(int count);

    // True with the probability numerator / denominator (denominator 1..65536).
    bool chance(int numerator, int denominator);

    // A normal deviate with mean 0 and the standard deviation numerator / denominator,
    // rounded to the nearest whole number (halves away from 0). The deviate is the sum of
    // twelve uniform ones less six: its standard deviation is exactly 1 and its
    // distribution lies within 0.25 % of the normal one everywhere, reaching 6 at most,
    // and it needs neither log nor cos, whose last bits differ between libraries.
    // numerator 0..2^20, denominator 1..2^20.
    int normal(int64_t numerator, int64_t denominator);

private:
    uint64_t m_state;
};
