#pragma once
// Pieces shared by the decoders that scan a band for keyed signals and decode each on a
// channel of its own (the audio band decoder and the wideband skimmer). Plain, no allocation.
#include <bit>
#include <complex>
#include <cstdint>

namespace dita {

// The last 128 spectra of one bin as key-down bits: how often it keyed, and how often it keyed
// together with another bin (the keying spread of a neighbour keys only when it does).
struct KeyBits {
    uint64_t recent = 0;
    uint64_t older = 0;
    void push(bool on) {
        older = (older << 1) | (recent >> 63);
        recent = (recent << 1) | (on ? 1u : 0u);
    }
    int count() const { return std::popcount(recent) + std::popcount(older); }
    int overlap(const KeyBits& o) const {
        return std::popcount(recent & o.recent) + std::popcount(older & o.older);
    }
};

// A channel's baseband sample carried up to a quarter of its rate, where the oscillator is the
// sequence 1, j, -1, -j: the real part is the tone the channel decoder reads. quarter counts
// the samples modulo 4 and is moved on.
inline float atQuarterRate(std::complex<float> z, int& quarter) {
    float y = 0.0f;
    switch (quarter) {
    case 0:
        y = z.real();
        break;
    case 1:
        y = -z.imag();
        break;
    case 2:
        y = -z.real();
        break;
    default:
        y = z.imag();
        break;
    }
    quarter = (quarter + 1) & 3;
    return y;
}

} // namespace dita
