#include "receive/chain/PowerSpectrum.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
constexpr double kWindowStep = 0.0015339808; // 2 pi / 4096 as the window has always used it
constexpr float kMoveFactorWeak = 3.5f;      // raw SNR below 12
constexpr float kMoveFactorStrong = 1.8f;
constexpr float kMoveFactorSilence = 8.0f;
constexpr int kWeakSnr = 12;
constexpr int kBigMoveBins = 2;
constexpr float kLineScale = 0.05f;
constexpr float kWaterfallScale = 0.03f;
constexpr float kWaterfallLog = 6.5f;

// Gain factor per bar position 1..20. Position 18 continues the table's alternating x5, x2
// growth (0.004 -> 0.02 -> 0.04).
constexpr std::array<double, 21> kGainTable = {0,      4e-11,  2e-10, 4e-10, 2e-9, 4e-9, 2e-8,
                                               4e-8,   2e-7,   4e-7,  2e-6,  4e-6, 2e-5, 4e-5,
                                               0.0002, 0.0004, 0.002, 0.004, 0.02, 0.04, 0.2};

struct ColourBand {
    int fromLevel;
    uint32_t rgb;
};
constexpr ColourBand kColourMap[] = {
    {120, 0xFFFFFF}, {110, 0xFF00FF}, {92, 0xFF0000}, {88, 0xFFFF00}, {80, 0x00FF00},
    {72, 0x008000},  {64, 0x808000},  {56, 0x008080}, {40, 0x0000FF}, {32, 0x800080},
    {24, 0x000080},  {16, 0x800000},  {8, 0xC0C0C0},  {2, 0x808080},
};
} // namespace

SpectrumAnalyzer::SpectrumAnalyzer() {
    m_transform.configure(kSpectrumInput);
    for (int n = 0; n <= kSpectrumInput; ++n) {
        m_window[n] = static_cast<float>(0.35875 - 0.48829 * std::cos(kWindowStep * n) +
                                         0.14128 * std::cos(2.0 * kWindowStep * n) -
                                         0.01168 * std::cos(3.0 * kWindowStep * n));
    }
}

void SpectrumAnalyzer::process(const float* input, PowerSpectrum& power) {
    float* windowed = m_transform.samples();
    for (int n = 0; n < kSpectrumInput; ++n)
        windowed[n] = input[n] * m_window[n];
    m_transform.forwardInPlace();
    const std::complex<float>* bins = m_transform.bins();
    power[0] = 0.0f;
    for (int k = 1; k <= kSpectrumBins; ++k) {
        power[k] =
            bins[k - 1].real() * bins[k - 1].real() + bins[k - 1].imag() * bins[k - 1].imag();
    }
}

AfcSettings afcSettingsForMode(int width) {
    switch (width) {
    case 1:
        return {true, 1, 20, false};
    case 2:
        return {true, 2, 80, false};
    case 3:
        return {true, 3, 400, false};
    default:
        return {false, 0, 10, false};
    }
}

bool Afc::update(const PowerSpectrum& power, int& tunedBin, int rawSnr, bool longSilence) {
    if (m_holdNextPass) {
        m_held = true;
        m_holdNextPass = false;
    }
    if (!m_settings.on || m_held) {
        m_candidate = tunedBin;
        return false;
    }
    if (m_settings.holdTimer && ++m_holdCounter > kHoldPasses) m_holdNextPass = true;

    const int span = m_settings.span;
    const int first = std::max(1, tunedBin - span);
    const int last = std::min(kSpectrumBins, tunedBin + span - 1);
    int best = first;
    for (int k = first + 1; k <= last; ++k) {
        if (power[k] > power[best]) best = k; // the lowest of equal maxima wins
    }
    m_candidate = best;
    bool bigMove = false;
    if (best > tunedBin - span && best < tunedBin + span) {
        float factor = rawSnr < kWeakSnr ? kMoveFactorWeak : kMoveFactorStrong;
        if (longSilence) factor = kMoveFactorSilence;
        if (power[best] > factor * m_peakAverage) {
            bigMove = std::abs(best - tunedBin) > kBigMoveBins;
            tunedBin = best;
        }
        m_peakAverage = (2.0f * m_peakAverage + power[best]) / 3.0f;
    }
    return bigMove;
}

double displayGainFactor(int position) {
    return kGainTable[std::clamp(position, 1, 20)];
}

uint32_t waterfallColour(int level) {
    for (const auto& band : kColourMap) {
        if (level >= band.fromLevel) return band.rgb;
    }
    return 0x000000;
}

void DisplayScaler::line(PowerSpectrum& power, float sideAmplitude, int16_t* heights) {
    const float scale = static_cast<float>(m_gain * kLineScale);
    const float floor = std::sqrt(3.0f * sideAmplitude);
    for (int k = 1; k <= kLineBins; ++k) {
        power[k] *= scale;
        m_smoothed[k] = (3.0f * m_smoothed[k] + power[k]) / 4.0f;
        const float d = std::sqrt(m_smoothed[k]) - floor;
        int h = kFlatHeight;
        if (d > 0.0f) {
            const float root = std::sqrt(d) + 3.0f;
            h = root >= kBaseline ? kBaseline : static_cast<int>(root); // also catches infinity
        }
        heights[k] = static_cast<int16_t>(std::min(h, kBaseline));
    }
}

void DisplayScaler::waterfall(PowerSpectrum& power, uint32_t* row) {
    const float scale = static_cast<float>(m_gain * kWaterfallScale);
    for (int k = 1; k <= kWaterfallBins; ++k) {
        power[k] *= scale;
        m_smoothed[k] = kWaterfallLog * std::log(power[k] + 1.0f);
        // A level beyond every colour band is white; guard the conversion of huge values.
        const int level = m_smoothed[k] >= 1000.0f ? 1000 : static_cast<int>(m_smoothed[k]);
        row[k] = waterfallColour(level);
    }
}

} // namespace dita
