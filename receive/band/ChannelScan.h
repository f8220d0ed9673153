#pragma once
// Pieces shared by the decoders that scan a band for keyed signals and decode each on a
// channel of its own (the audio band decoder and the wideband skimmer). Plain, no allocation.
#include <bit>
#include <cmath>
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

// The oscillator that mixes a channel's signal down: a unit phasor turned by a fixed rotation
// each sample. Plain doubles: a decoding loop copies it into a local, where the compiler keeps it
// in registers across the stores into the decoder's block, and stores it back afterwards.
struct ChannelOscillator {
    double re = 1.0;
    double im = 0.0;
    double rotationRe = 1.0;
    double rotationIm = 0.0;

    // The rotation per sample for a tone of hz at rateHz; the phase runs on.
    void tune(double hz, double rateHz) {
        const std::complex<double> r = std::polar(1.0, -2.0 * M_PI * hz / rateHz);
        rotationRe = r.real();
        rotationIm = r.imag();
    }
    void resetPhase() {
        re = 1.0;
        im = 0.0;
    }
    // Mixes one sample and turns the phasor on.
    std::complex<float> mix(float x) {
        const std::complex<float> out(static_cast<float>(x * re), static_cast<float>(x * im));
        turn();
        return out;
    }
    std::complex<float> mix(std::complex<float> v) {
        const std::complex<float> out(static_cast<float>(v.real() * re - v.imag() * im),
                                      static_cast<float>(v.real() * im + v.imag() * re));
        turn();
        return out;
    }
    // One Newton step towards unit length keeps the phasor on the circle.
    void renormalise() {
        const double g = 1.5 - 0.5 * (re * re + im * im);
        re *= g;
        im *= g;
    }

private:
    // Written out: the library's complex product also handles infinities, which costs here.
    void turn() {
        const double next = re * rotationRe - im * rotationIm;
        im = re * rotationIm + im * rotationRe;
        re = next;
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
