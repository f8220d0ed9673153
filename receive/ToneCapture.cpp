#include "receive/ToneCapture.h"

#include "receive/ReceiveEngine.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
// The smoothed three-bin power of a candidate stands this far over the median (6 dB). Averaged
// over passes, noise alone stays within about 3 dB of its median.
constexpr float kPresentRatio = 4.0f;
// The tuned tone is heard in a pass when its three-bin power stands this far over the median.
constexpr float kHeardRatio = 4.0f;
constexpr float kAverageAlpha = 0.4f;
// Keyed: the largest and smallest power of the last passes differ at least this much (3 dB).
constexpr float kKeyedRatio = 2.0f;
// A candidate has stood over the median this many passes in a row: single passes of noise
// put one bin or another 5 dB over the median every other pass.
constexpr int kConfirmPasses = 3;
// A peak absent this many passes begins anew when it returns.
constexpr int kForgetPasses = 3;
constexpr int kFollowBins = 2;          // drift followed per pass
constexpr double kFollowGain = 0.3;     // share of the measured offset taken per pass
constexpr double kMinQuietSeconds = 1.0;
constexpr double kQuietWordGaps = 1.5;
constexpr long kNever = -1000000;
// Lowest median level used: the three-bin power of 16-bit quantisation noise (rms 0.29) under
// the Blackman-Harris window is about 260; digital silence must not make every bin a tone.
constexpr float kMinFloor = 1000.0f;

float median(std::array<float, ToneCapture::kMaxBins>& scratch, const float* values, int n) {
    std::copy(values, values + n, scratch.begin());
    std::nth_element(scratch.begin(), scratch.begin() + n / 2, scratch.begin() + n);
    return scratch[static_cast<size_t>(n / 2)];
}
} // namespace

ToneCapture::ToneCapture() { configure(200.0, 2500.0, kPassFrames / static_cast<double>(kSampleRateHz)); }

void ToneCapture::configure(double minHz, double maxHz, double passSeconds) {
    m_first = std::max(2, binOf(minHz));
    m_count = std::clamp(binOf(maxHz) - m_first + 1, 3, kMaxBins);
    m_passSeconds = passSeconds;
    reset();
}

void ToneCapture::reset() {
    m_tuned = false;
    m_pass = 0;
    m_filled = 0;
    m_lastHeard = 0;
    m_lastPresent = kNever;
    m_tunedRatio = 0.0f;
    m_sum.fill(0.0f);
    m_average.fill(0.0f);
    m_onset.fill(kNever);
    m_absent.fill(kForgetPasses);
}

void ToneCapture::tune(double hz) {
    m_tuned = true;
    m_pitchHz = hz;
    m_lastHeard = m_pass;
    m_lastPresent = kNever;
}

double ToneCapture::quietSeconds() const { return std::max(kMinQuietSeconds, kQuietWordGaps * m_wordGapSeconds); }

int ToneCapture::binOf(double hz) const { return static_cast<int>(std::lround(hz / kBinHz)) + 1; }

double ToneCapture::peakHz(int i) const {
    // Parabola through the logarithms of the three neighbouring averages.
    double offset = 0.0;
    if (i > 0 && i + 1 < m_count) {
        const double a = std::log(std::max(m_average[static_cast<size_t>(i - 1)], 1e-12f));
        const double b = std::log(std::max(m_average[static_cast<size_t>(i)], 1e-12f));
        const double c = std::log(std::max(m_average[static_cast<size_t>(i + 1)], 1e-12f));
        const double d = a - 2.0 * b + c;
        if (d < 0.0) offset = std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
    }
    return (m_first + i - 1 + offset) * kBinHz;
}

bool ToneCapture::keyed(int i) const {
    // A tone that began within the history is keyed by its own onset.
    if (m_pass - m_onset[static_cast<size_t>(i)] < kHistory || m_filled < kHistory) return true;
    float lo = m_history[0][static_cast<size_t>(i)];
    float hi = lo;
    for (const auto& row : m_history) {
        lo = std::min(lo, row[static_cast<size_t>(i)]);
        hi = std::max(hi, row[static_cast<size_t>(i)]);
    }
    return hi >= kKeyedRatio * lo;
}

int ToneCapture::bestCandidate(int low, int high, int excludeLow, int excludeHigh, bool needOnsetAfterQuiet) const {
    int best = -1;
    low = std::max(low, 1);
    high = std::min(high, m_count - 2);
    for (int i = low; i <= high; ++i) {
        if (i >= excludeLow && i <= excludeHigh) continue;
        const float v = m_average[static_cast<size_t>(i)];
        if (v < kPresentRatio * m_floorAverage || m_sum[static_cast<size_t>(i)] < kHeardRatio * m_floorNow) continue;
        if (v < m_average[static_cast<size_t>(i - 1)] || v < m_average[static_cast<size_t>(i + 1)]) continue;
        if (needOnsetAfterQuiet && m_onset[static_cast<size_t>(i)] < m_lastHeard) continue;
        if (m_pass - m_onset[static_cast<size_t>(i)] < kConfirmPasses - 1) continue;
        if (!keyed(i)) continue;
        if (best < 0 || v > m_average[static_cast<size_t>(best)]) best = i;
    }
    return best;
}

bool ToneCapture::update(const PowerSpectrum& power) {
    ++m_pass;
    for (int i = 0; i < m_count; ++i) {
        const int k = m_first + i;
        const float sum = power[static_cast<size_t>(k - 1)] + power[static_cast<size_t>(k)] + power[static_cast<size_t>(k + 1)];
        m_sum[static_cast<size_t>(i)] = sum;
        m_average[static_cast<size_t>(i)] += kAverageAlpha * (sum - m_average[static_cast<size_t>(i)]);
    }
    m_history[static_cast<size_t>(m_pass % kHistory)] = m_sum;
    m_filled = std::min(m_filled + 1, kHistory);
    m_floorNow = std::max(median(m_scratch, m_sum.data(), m_count), kMinFloor);
    const float floorNow = m_floorNow;
    m_floorAverage = std::max(median(m_scratch, m_average.data(), m_count), kMinFloor);
    for (int i = 0; i < m_count; ++i) {
        auto& absent = m_absent[static_cast<size_t>(i)];
        if (m_average[static_cast<size_t>(i)] >= kPresentRatio * m_floorAverage) {
            if (absent >= kForgetPasses) m_onset[static_cast<size_t>(i)] = m_pass;
            absent = 0;
        } else {
            ++absent;
        }
    }

    if (!m_tuned) {
        const int best = bestCandidate(0, m_count - 1, -1, -1, false);
        if (best < 0) return false;
        m_tuned = true;
        m_pitchHz = peakHz(best);
        m_lastHeard = m_lastPresent = m_pass;
        m_sinceOnset = static_cast<int>(m_pass - m_onset[static_cast<size_t>(best)]);
        return true;
    }

    const int centre = binOf(m_pitchHz) - m_first;
    for (int i = std::max(centre - 1, 0); i <= std::min(centre + 1, m_count - 1); ++i) {
        if (m_average[static_cast<size_t>(i)] >= kPresentRatio * m_floorAverage) m_lastPresent = m_pass;
    }
    float heard = 0.0f;
    for (int i = std::max(centre - 1, 0); i <= std::min(centre + 1, m_count - 1); ++i) heard = std::max(heard, m_sum[static_cast<size_t>(i)]);
    m_tunedRatio = floorNow > 0.0f ? heard / floorNow : 0.0f;
    if (m_tunedRatio >= kHeardRatio) {
        m_lastHeard = m_pass;
        // Follow a drift: the strongest smoothed bin near the tuned one.
        int peak = -1;
        for (int i = std::max(centre - kFollowBins, 1); i <= std::min(centre + kFollowBins, m_count - 2); ++i) {
            if (peak < 0 || m_average[static_cast<size_t>(i)] > m_average[static_cast<size_t>(peak)]) peak = i;
        }
        if (peak >= 0) m_pitchHz += kFollowGain * (peakHz(peak) - m_pitchHz);
        return false;
    }
    if ((m_pass - m_lastHeard) * m_passSeconds < quietSeconds()) return false;
    const int span = static_cast<int>(kSpanHz / kBinHz);
    const int best = bestCandidate(centre - span, centre + span, centre - kFollowBins, centre + kFollowBins, true);
    if (best < 0) return false;
    m_pitchHz = peakHz(best);
    m_lastHeard = m_lastPresent = m_pass;
    m_sinceOnset = static_cast<int>(m_pass - m_onset[static_cast<size_t>(best)]);
    return true;
}

} // namespace dita
