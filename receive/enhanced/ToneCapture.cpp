#include "receive/enhanced/ToneCapture.h"

#include "receive/ReceiveRates.h"
#include "receive/enhanced/ToneTracking.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
// The smoothed three-bin power of a candidate stands this far over the background (7 dB). Averaged
// over passes, noise alone stays within about 3 dB of its median.
constexpr float kPresentRatio = 5.0f;
// The tuned tone is heard in a pass when its three-bin power stands this far over the median.
constexpr float kHeardRatio = 4.0f;
constexpr float kAverageAlpha = 0.3f;
// The averages settle for this many passes before a tone is taken: the first passes carry the
// scatter of single noise spectra.
constexpr int kWarmPasses = 4;
// Keyed: the largest and smallest power of the last passes differ at least this much (3 dB).
constexpr float kKeyedRatio = 2.0f;
// A candidate has stood over the median this many passes in a row: single passes of noise
// put one bin or another 5 dB over the median every other pass.
constexpr int kConfirmPasses = 3;
// A peak absent this many passes begins anew when it returns.
constexpr int kForgetPasses = 3;
// Drift followed per pass: two bins of 5.38 Hz, as wide as the band decoder's one scan bin.
constexpr int kFollowBins = 2;
constexpr double kFollowGain = 0.3; // share of the measured offset taken per pass
constexpr double kGateHoldSeconds = 2.5;
// For this long after the capture took a tone by itself, a keyed tone anywhere in the range that
// is this much stronger (power, 2 dB) is taken instead: the strongest keyed sender is decoded,
// not the one that happened to start first. While another tone stands in the range, the text
// decoded meanwhile is held back (see reconsidering()) and dropped when the stronger one is taken.
constexpr double kReconsiderSeconds = 3.0;
constexpr float kStrongerRatio = 1.6f;
// After the tuned tone has been quiet this long, a new sender is looked for in the whole range,
// not only within kSpanHz.
constexpr double kWideQuietSeconds = 5.0;
constexpr long kNever = -1000000;
constexpr float kRiseRatio = 10.0f;
constexpr float kDynamicRange = 1e-3f; // 30 dB
// Local background: bins kToneBins..kLocalBins away on either side (21 to 130 Hz).
constexpr int kToneBins = 4;
constexpr int kLocalBins = 24;
constexpr double kSlopeShare = 0.5;
constexpr int kSkirtBins = 10;
constexpr float kSkirtRatio = 0.1f;
// Heard: within 10 dB of the tuned tone's recent peak (a strong neighbour's keying sidebands
// reach the tuned bins at 20 dB and more below it); the peak sinks 0.2 dB per pass.
constexpr float kHeardOfPeak = 0.1f;
constexpr float kPeakDecay = 0.95f;
// Lowest median level used: the three-bin power of 16-bit quantisation noise (rms 0.29) under
// the Blackman-Harris window is about 260; digital silence must not make every bin a tone.
constexpr float kMinFloor = 1000.0f;
// Before any tone is taken, the three-bin powers are also averaged over about four seconds: a
// sender at the noise floor (-12 dB in 2,500 Hz) stands 4 to 5 times over their background
// there, noise alone (white, pink or brown) at most 1.6 times.
constexpr float kSlowAlpha = 0.05f;
constexpr float kSlowPresentRatio = 3.0f;
constexpr int kSlowWarmPasses = 16;

} // namespace

ToneCapture::ToneCapture() {
    configure(200.0, 2500.0, kPassFrames / static_cast<double>(kSampleRateHz));
}

void ToneCapture::configure(double minHz, double maxHz, double passSeconds) {
    // Bins beyond the search range on either side serve as the local background of its edges.
    m_first = std::max(2, binOf(minHz) - kLocalBins);
    m_count = std::clamp(binOf(maxHz) + kLocalBins - m_first + 1, 3, kMaxBins);
    m_passSeconds = passSeconds;
    reset();
}

void ToneCapture::reset() {
    m_tuned = false;
    m_takenByItself = false;
    m_pass = 0;
    m_filled = 0;
    m_lastHeard = 0;
    m_lastPresent = kNever;
    m_heardBefore = false;
    m_sum.fill(0.0f);
    m_average.fill(0.0f);
    m_slow.fill(0.0f);
    m_onset.fill(kNever);
    m_absent.fill(kForgetPasses);
    m_run.fill(0);
}

void ToneCapture::tune(double hz) {
    m_takenByItself = false;
    m_atHeard = m_average;
    m_tuned = true;
    m_tunedPeak = 0.0f;
    m_pitchHz = hz;
    m_lastHeard = m_pass;
    m_lastPresent = kNever;
    m_heardBefore = false;
}

bool ToneCapture::reconsidering() const {
    // Over early when the tone falls quiet (its sender may have ended its over), and only while
    // another tone stands in the range: a lone sender's text is not held back.
    if (!m_takenByItself || (m_pass - m_takenPass) * m_passSeconds > kReconsiderSeconds ||
        (m_pass - m_lastHeard) * m_passSeconds >= quietSeconds())
        return false;
    const int centre = binOf(m_pitchHz) - m_first;
    for (int i = kLocalBins; i < m_count - kLocalBins; ++i) {
        if (m_run[static_cast<size_t>(i)] > 0 && std::abs(i - centre) > kToneBins) return true;
    }
    return false;
}

bool ToneCapture::signalPresent() const {
    // The gate holds through the bottom of a fade, where single passes lose the tone.
    return m_tuned &&
           (m_pass - m_lastPresent) * m_passSeconds <= std::max(kGateHoldSeconds, quietSeconds());
}

double ToneCapture::quietSeconds() const {
    return quietHoldSeconds(m_wordGapSeconds);
}

int ToneCapture::binOf(double hz) const {
    return static_cast<int>(std::lround(hz / kBinHz)) + 1;
}

double ToneCapture::peakHz(int i) const {
    // On the averages; a bin at the edge of the range has no neighbour on one side.
    constexpr float kLeast = 1e-12f;
    auto level = [&](int j) { return std::max(m_average[static_cast<size_t>(j)], kLeast); };
    const double offset =
        i > 0 && i + 1 < m_count ? peakOffsetBins(level(i - 1), level(i), level(i + 1)) : 0.0;
    return (m_first + i - 1 + offset) * kBinHz;
}

void ToneCapture::prefixSums(const std::array<float, kMaxBins>& level) {
    m_prefix[0] = 0.0;
    for (int i = 0; i < m_count; ++i)
        m_prefix[static_cast<size_t>(i + 1)] =
            m_prefix[static_cast<size_t>(i)] + level[static_cast<size_t>(i)];
}

float ToneCapture::floorAt(int i) const {
    // The lower of the mean levels on either side of the bin, leaving out the bins a tone
    // spreads over: a coloured noise background (hum, pink noise, a receiver's passband edge)
    // is not a tone, however far it rises over the band's median.
    auto mean = [&](int a, int b) { // bins a..b inclusive, clipped
        a = std::max(a, 0);
        b = std::min(b, m_count - 1);
        if (b < a) return -1.0;
        return (m_prefix[static_cast<size_t>(b + 1)] - m_prefix[static_cast<size_t>(a)]) /
               (b - a + 1);
    };
    const double below = mean(i - kLocalBins, i - kToneBins);
    const double above = mean(i + kToneBins, i + kLocalBins);
    // A tone beside another tone keeps the lower side; a steep slope of the background counts
    // with half of its upper side.
    const double f =
        below < 0
            ? above
            : (above < 0 ? below
                         : std::max(std::min(below, above), kSlopeShare * std::max(below, above)));
    return static_cast<float>(std::max(f, 0.0));
}

void ToneCapture::localFloor(const std::array<float, kMaxBins>& level,
                             std::array<float, kMaxBins>& floor) {
    prefixSums(level);
    // Away from the edges both sides hold the same number of bins, so the choice between the
    // sides is made on their sums and only the chosen one is divided (the same result as
    // floorAt: division by a positive number keeps the order).
    const int interiorLow = kLocalBins;
    const int interiorHigh = m_count - 1 - kLocalBins;
    constexpr double kSideBins = kLocalBins - kToneBins + 1;
    const int edgeLow = std::min(interiorLow, m_count);
    for (int i = 0; i < edgeLow; ++i)
        floor[static_cast<size_t>(i)] = floorAt(i);
    const double* p = m_prefix.data();
    for (int i = interiorLow; i <= interiorHigh; ++i) {
        const double below = p[i - kToneBins + 1] - p[i - kLocalBins];
        const double above = p[i + kLocalBins + 1] - p[i + kToneBins];
        const double f =
            std::max(std::min(below, above), kSlopeShare * std::max(below, above)) / kSideBins;
        floor[static_cast<size_t>(i)] = static_cast<float>(std::max(f, 0.0));
    }
    for (int i = std::max(interiorHigh + 1, edgeLow); i < m_count; ++i)
        floor[static_cast<size_t>(i)] = floorAt(i);
}

bool ToneCapture::present(int i) const {
    // Over the median, and not merely the skirt of a stronger tone close by: the keying
    // sidebands of a clean strong tone lie 20 dB and more below it 40 Hz away.
    const float v = m_average[static_cast<size_t>(i)];
    if (v < kPresentRatio * std::max(m_floorAverage, m_localAverage[static_cast<size_t>(i)]))
        return false;
    for (int j = std::max(i - kSkirtBins, 0); j <= std::min(i + kSkirtBins, m_count - 1); ++j) {
        if (v < kSkirtRatio * m_average[static_cast<size_t>(j)]) return false;
    }
    return true;
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

float ToneCapture::keyedPower(int i) const {
    float top = 0.0f;
    for (const auto& row : m_history) {
        for (int j = std::max(i - 1, 0); j <= std::min(i + 1, m_count - 1); ++j)
            top = std::max(top, row[static_cast<size_t>(j)]);
    }
    return top;
}

int ToneCapture::bestCandidate(int low, int high, int excludeLow, int excludeHigh,
                               bool needRise) const {
    int best = -1;
    low = std::max(low, kLocalBins);
    high = std::min(high, m_count - 1 - kLocalBins);
    for (int i = low; i <= high; ++i) {
        if (i >= excludeLow && i <= excludeHigh) continue;
        const float v = m_average[static_cast<size_t>(i)];
        if (!present(i)) continue;
        if (v < m_average[static_cast<size_t>(i - 1)] || v < m_average[static_cast<size_t>(i + 1)])
            continue;
        // A new sender was not there while the tuned one was heard: it has risen since.
        if (needRise && v < kRiseRatio * m_atHeard[static_cast<size_t>(i)]) continue;
        if (m_run[static_cast<size_t>(i)] < kConfirmPasses) continue;
        if (!keyed(i)) continue;
        if (best < 0 || v > m_average[static_cast<size_t>(best)]) best = i;
    }
    return best;
}

int ToneCapture::slowCandidate() {
    // A sender too weak to stand over the background pass by pass still does over seconds.
    if (m_pass < kSlowWarmPasses) return -1;
    const float floor =
        std::max(m_slowMedian.update(m_slow.data(), m_count, m_scratch.data()), kMinFloor);
    localFloor(m_slow, m_slowLocal);
    int best = -1;
    float bestRatio = 0.0f;
    for (int i = kLocalBins; i < m_count - kLocalBins; ++i) {
        const float v = m_slow[static_cast<size_t>(i)];
        if (v < m_slow[static_cast<size_t>(i - 1)] || v < m_slow[static_cast<size_t>(i + 1)])
            continue;
        const float r = v / std::max(floor, m_slowLocal[static_cast<size_t>(i)]);
        if (r > bestRatio) {
            bestRatio = r;
            best = i;
        }
    }
    if (best < 0 || bestRatio < kSlowPresentRatio || !keyed(best)) return -1;
    return best;
}

void ToneCapture::measure(const PowerSpectrum& power) {
    ++m_pass;
    for (int i = 0; i < m_count; ++i) {
        const int k = m_first + i;
        const float sum = power[static_cast<size_t>(k - 1)] + power[static_cast<size_t>(k)] +
                          power[static_cast<size_t>(k + 1)];
        m_sum[static_cast<size_t>(i)] = sum;
        m_average[static_cast<size_t>(i)] +=
            kAverageAlpha * (sum - m_average[static_cast<size_t>(i)]);
        m_slow[static_cast<size_t>(i)] += kSlowAlpha * (sum - m_slow[static_cast<size_t>(i)]);
    }
    m_history[static_cast<size_t>(m_pass % kHistory)] = m_sum;
    m_filled = std::min(m_filled + 1, kHistory);
    // The floor is the median level, but never more than kDynamicRange below the strongest
    // tone: in noise-free audio the median bin holds only faint keying sidebands.
    const float strongestAverage =
        *std::max_element(m_average.begin(), m_average.begin() + m_count);
    m_floorAverage = std::max({m_averageMedian.update(m_average.data(), m_count, m_scratch.data()),
                               kMinFloor, kDynamicRange * strongestAverage});
    localFloor(m_average, m_localAverage);
    for (int i = 0; i < m_count; ++i) {
        auto& absent = m_absent[static_cast<size_t>(i)];
        if (present(i)) {
            if (absent >= kForgetPasses) m_onset[static_cast<size_t>(i)] = m_pass;
            absent = 0;
            ++m_run[static_cast<size_t>(i)];
        } else {
            ++absent;
            m_run[static_cast<size_t>(i)] = 0;
        }
    }
}

void ToneCapture::followHeard(int centre, bool heardTwice) {
    m_lastHeard = m_pass;
    if (heardTwice) m_atHeard = m_average;
    // Follow a drift: a local peak of the smoothed power near the tuned bin. The skirt of a
    // strong tone further away rises towards the edge of the window without a peak in it.
    int peak = -1;
    for (int i = std::max(centre - kFollowBins, 1);
         i <= std::min(centre + kFollowBins, m_count - 2); ++i) {
        const float v = m_average[static_cast<size_t>(i)];
        const bool local = v >= m_average[static_cast<size_t>(i - 1)] &&
                           v >= m_average[static_cast<size_t>(i + 1)];
        if (local && (peak < 0 || v > m_average[static_cast<size_t>(peak)])) peak = i;
    }
    if (peak >= 0) m_pitchHz += kFollowGain * (peakHz(peak) - m_pitchHz);
}

bool ToneCapture::update(const PowerSpectrum& power) {
    measure(power);
    if (m_filled < kWarmPasses) return false;
    if (!m_tuned) {
        int best = bestCandidate(kLocalBins, m_count - 1 - kLocalBins, -1, -1, false);
        if (best < 0) best = slowCandidate();
        if (best < 0) return false;
        take(best);
        return true;
    }

    const int centre = binOf(m_pitchHz) - m_first;
    m_replacedWeaker = false;
    if (reconsidering()) {
        const int stronger = bestCandidate(kLocalBins, m_count - 1 - kLocalBins,
                                           centre - kFollowBins, centre + kFollowBins, false);
        if (stronger >= 0 && keyedPower(stronger) >=
                                 kStrongerRatio * keyedPower(std::clamp(centre, 0, m_count - 1))) {
            take(stronger);
            m_replacedWeaker = true;
            return true;
        }
    }
    // Present for the gate: over the median in this pass, and not the skirt of a stronger tone
    // close by (a neighbour keying after the tuned one stopped must not be read through it).
    float tunedNow = 0.0f;
    for (int i = std::max(centre - 1, 0); i <= std::min(centre + 1, m_count - 1); ++i)
        tunedNow = std::max(tunedNow, m_sum[static_cast<size_t>(i)]);
    float nearby = tunedNow;
    for (int i = std::max(centre - kSkirtBins, 0); i <= std::min(centre + kSkirtBins, m_count - 1);
         ++i)
        nearby = std::max(nearby, m_sum[static_cast<size_t>(i)]);
    // The background of this pass alone, needed only at the tuned tone.
    const float strongestNow = *std::max_element(m_sum.begin(), m_sum.begin() + m_count);
    const float medianNow = std::max({m_sumMedian.update(m_sum.data(), m_count, m_scratch.data()),
                                      kMinFloor, kDynamicRange * strongestNow});
    prefixSums(m_sum);
    const float floorNow = std::max(medianNow, floorAt(std::clamp(centre, 0, m_count - 1)));
    // Two passes in a row: a single noise spectrum puts the tuned bins that far over the
    // background every few hundred passes. While the gate is open one pass will do: a slow
    // sender's dot (168 ms at 5 wpm and weighting 0.7) can fill no pass, and the second dot of a
    // word would otherwise come after the hold that ran from the last word.
    const bool presentNow = tunedNow >= kHeardRatio * floorNow && tunedNow >= kSkirtRatio * nearby;
    if (presentNow && (m_presentBefore || signalPresent())) m_lastPresent = m_pass;
    m_presentBefore = presentNow;
    float heard = 0.0f;
    for (int i = std::max(centre - 1, 0); i <= std::min(centre + 1, m_count - 1); ++i)
        heard = std::max(heard, m_sum[static_cast<size_t>(i)]);
    const float tunedRatio = floorNow > 0.0f ? heard / floorNow : 0.0f;
    // The tuned tone's own strength: its recent peak, sinking slowly.
    m_tunedPeak = std::max(heard, m_tunedPeak * kPeakDecay);
    const bool heardNow = tunedRatio >= kHeardRatio && heard >= kHeardOfPeak * m_tunedPeak;
    // The spectrum a new sender must have risen from is taken only when the tuned tone is heard
    // in two passes in a row: a noise peak at an untuned start (the window's stored pitch) would
    // otherwise take it again and again with the new sender already in it, and the new sender
    // would never count as risen.
    const bool heardTwice = heardNow && m_heardBefore;
    m_heardBefore = heardNow;
    if (heardNow) {
        followHeard(centre, heardTwice);
        return false;
    }
    const double quiet = (m_pass - m_lastHeard) * m_passSeconds;
    if (quiet < quietSeconds()) return false;
    const int span = quiet >= kWideQuietSeconds ? m_count : static_cast<int>(kSpanHz / kBinHz);
    const int best = bestCandidate(centre - span, centre + span, centre - kFollowBins,
                                   centre + kFollowBins, true);
    if (best < 0) return false;
    take(best);
    return true;
}

void ToneCapture::take(int index) {
    m_tuned = true;
    m_takenByItself = true;
    m_takenPass = m_pass;
    m_pitchHz = peakHz(index);
    m_atHeard = m_average;
    m_tunedPeak = 0.0f;
    m_lastHeard = m_lastPresent = m_pass;
    m_sinceOnset = static_cast<int>(m_pass - m_onset[static_cast<size_t>(index)]);
}

} // namespace dita
