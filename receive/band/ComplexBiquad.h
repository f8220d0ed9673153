#pragma once
// ComplexBiquad: one second-order low-pass section run on complex samples (the same real
// coefficients on both parts), and the Q values of a sixth-order Butterworth low-pass built
// from three of them. The band decoder and the skimmer narrow each signal's baseband stream
// with it, so that a neighbour a few tens of hertz away does not beat through the channel
// decoder's short detectors as fast keying. Plain struct, no allocation.
#include <array>
#include <cmath>
#include <complex>

namespace dita {

constexpr std::array<double, 3> kButterworth6Q = {0.51763809, 0.70710678, 1.93185165};

struct ComplexBiquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    std::complex<float> z1{}, z2{};

    // Bilinear-transform low-pass.
    void design(double cutoffHz, double q, double rateHz) {
        const double w = 2.0 * M_PI * cutoffHz / rateHz;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        b0 = static_cast<float>((1.0 - c) / 2.0 / a0);
        b1 = static_cast<float>((1.0 - c) / a0);
        b2 = b0;
        a1 = static_cast<float>(-2.0 * c / a0);
        a2 = static_cast<float>((1.0 - alpha) / a0);
    }
    void reset() { z1 = z2 = {}; }
    std::complex<float> process(std::complex<float> x) {
        // Transposed direct form II.
        const std::complex<float> y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// A sixth-order Butterworth low-pass of three sections.
using ComplexLowPass6 = std::array<ComplexBiquad, kButterworth6Q.size()>;

inline void designLowPass6(ComplexLowPass6& sections, double cutoffHz, double rateHz) {
    for (size_t i = 0; i < sections.size(); ++i)
        sections[i].design(cutoffHz, kButterworth6Q[i], rateHz);
}

} // namespace dita
