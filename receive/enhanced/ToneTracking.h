#pragma once
// Pieces shared by the decoders that find keyed tones in a spectrum and follow them: the
// Enhanced decoder's tone capture, the band decoder and the wideband skimmer. Plain functions,
// no allocation.
#include <algorithm>
#include <cmath>

namespace dita {

// Offset (-0.5..0.5 bins) of a spectral peak from its bin: the vertex of the parabola through
// the logarithms of the power in the bin and its two neighbours. The powers must already be
// floored above zero; a bin that is not a local maximum gives 0.
inline double peakOffsetBins(float below, float at, float above) {
    const double a = std::log(below);
    const double b = std::log(at);
    const double c = std::log(above);
    const double d = a - 2.0 * b + c;
    return d < 0.0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0;
}

// A signal counts as still keying (its decoder's gate stays open, no other sender is sought)
// for this long after its last key-down: a second, or one and a half of the sender's word gaps
// (0 while its timing is unknown) when that is longer, so that the gate holds through the
// pauses between its words.
inline double quietHoldSeconds(double wordGapSeconds) {
    constexpr double kMinQuietSeconds = 1.0;
    constexpr double kQuietWordGaps = 1.5;
    return std::max(kMinQuietSeconds, kQuietWordGaps * wordGapSeconds);
}

} // namespace dita
