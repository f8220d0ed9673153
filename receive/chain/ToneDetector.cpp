#include "receive/chain/ToneDetector.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {

// Even taps 0..16; odd taps and the centre are zero, the rest mirror with opposite sign.
constexpr float kHilbertHalf[9] = {0.038135f, 0.024179f, 0.032403f, 0.043301f, 0.05842f,
                                   0.081119f, 0.120167f, 0.207859f, 0.635163f};
// The convolution treats the 1088-sample buffer as 1038 samples long.
constexpr int kHilbertSpan = 1038;

constexpr float kNoiseShare = 0.3f; // step level = (envelope - 0.3 N) * 60
constexpr float kLevelScale = 60.0f;
constexpr int kResetSteps = 14; // steps 2..15 forced to the noise level
constexpr float kResetThreshold = 0.35f;
constexpr int kLongGapSteps = 20;
constexpr float kGapNoiseShare = 0.065f;
constexpr int kSlowWpm = 30;
constexpr int kFastWpm = 50;
constexpr int kStallConstant = 9000;
constexpr int kFastStallSteps = 150;
constexpr float kSlowSilenceN = 145.0f;
constexpr float kFastSilenceN = 155.0f;
constexpr float kSilenceP = 11.0f;
constexpr int kHighSnr = 15;
constexpr int kHighSnrGapSteps = 150;
constexpr float kHighSnrSignal = 5.0f;
constexpr int kStuckCode = 200;
constexpr int kMinSnrSlow = 3;
constexpr int kMinSnrFast = 5;
constexpr int kSpikeMaxWpm = 51;
constexpr int kSideBinNear = 4;
constexpr int kSideBinFar = 5;
constexpr int kMinSnrBin = 25;
constexpr float kAmplitudeScale = 50.0f;
// Guards the SNR logarithm and its integer conversion.
constexpr double kMaxLogRatio = 1000.0;

float thresholdFactor(setting::ThresholdMode mode, int wpm, float current, float signal) {
    if (mode == kThresholdUnlisted) {
        if (wpm >= 35) return current;
        return signal * (wpm < 15 ? 0.431f : wpm < 30 ? 0.432f : 0.435f);
    }
    switch (mode) {
    case setting::ThresholdMode::Normal:
        return signal * (wpm < 15 ? 0.41f : wpm < 30 ? 0.422f : 0.435f);
    case setting::ThresholdMode::Quiet:
        return signal * (wpm < 30 ? 0.39f : 0.4f);
    default:
        return signal * (wpm < 30 ? 0.43f : 0.44f);
    }
}

float noiseVetoFactor(setting::ThresholdMode mode) {
    switch (mode) {
    case setting::ThresholdMode::Noisy:
        return 2.25f;
    case setting::ThresholdMode::Normal:
        return 1.75f;
    case setting::ThresholdMode::Quiet:
        return 1.5f;
    default:
        return 0.0f; // the unlisted mode has no veto
    }
}

int truncToInt(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int>(std::clamp(value, -2.0e9f, 2.0e9f));
}

} // namespace

ToneDetector::ToneDetector() {
    for (int n = 0; n <= 16; n += 2) {
        m_hilbert[n] = kHilbertHalf[n / 2];
        m_hilbert[kHilbertTaps - 1 - n] = -kHilbertHalf[n / 2];
    }
    loopEntry();
}

void ToneDetector::loopEntry() {
    m_keyDown = false;
    m_idleSteps = 0;
    m_signalInput = 1.0f;
    m_noiseInput = 1.0f;
}

bool ToneDetector::updateRawSnr(const PowerSpectrum& power, int b) {
    if (b <= kMinSnrBin || b + kSideBinFar > kSpectrumBins) return false;
    m_sideAmplitude = kAmplitudeScale *
                      std::sqrt(power[b - kSideBinFar] + power[b - kSideBinNear] +
                                power[b + kSideBinNear] + power[b + kSideBinFar]) /
                      4.0f;
    const float tone = kAmplitudeScale * std::sqrt(power[b]);
    m_smoothedTone = 0.5f * m_smoothedTone + 0.5f * tone;
    if (m_sideAmplitude > 0.0f) {
        // A silent tuned bin next to noise would give the logarithm of zero.
        const double ratio = static_cast<double>(m_smoothedTone) / m_sideAmplitude;
        const double snr = ratio > 0.0 ? 10.0 * std::log(ratio) : -kMaxLogRatio;
        m_rawSnr = static_cast<int>(std::clamp(snr, -kMaxLogRatio, kMaxLogRatio));
    }
    m_displayedSnr = (3 * m_displayedSnr + m_rawSnr) / 4;
    return true;
}

void ToneDetector::envelope(const float* filtered) {
    // The buffer is the last pass's tail followed by this block; the quadrature filter reads
    // samples n - 17 .. n + 17 and takes those outside 0..1037 as zero. The padded buffer
    // holds those zeros, so every sample takes the same products in the same order, and the
    // loops run over a whole step at once.
    float* buffer = m_padded.data() + kHilbertCentre;
    std::copy(m_tail.begin(), m_tail.end(), buffer);
    std::copy(filtered, filtered + (kHilbertSpan - kSteps), buffer + kSteps);
    std::copy(filtered + kNarrowbandBlock - kSteps, filtered + kNarrowbandBlock, m_tail.begin());
    for (int g = 0; g < kSteps; ++g) {
        const float* x = buffer + g * kStepSamples;
        std::array<float, kStepSamples> amplitude;
        for (int k = 0; k < kStepSamples; ++k) {
            float q = 0.0f;
            // Only the even taps are non-zero. Unrolled, so that the step's samples are
            // filtered side by side with q kept in registers.
#pragma GCC unroll 18
            for (int j = 0; j < kHilbertTaps; j += 2)
                q += m_hilbert[j] * x[k + kHilbertCentre - j];
            amplitude[k] = std::sqrt(x[k] * x[k] + q * q);
        }
        float sum = 0.0f;
        for (const float a : amplitude)
            sum += a;
        m_envelope[g] = sum;
    }
}

float ToneDetector::silenceSignal(int wpm, int splitWpm) const {
    const float n = wpm < splitWpm ? kSlowSilenceN : kFastSilenceN;
    return n * m_levels.noise + kSilenceP * m_levels.noisePeak;
}

void ToneDetector::process(const float* filtered, ElementTimer& timer, int speedMode,
                           setting::ThresholdMode thresholdMode) {
    envelope(filtered);
    // Entry 1 keeps the previous pass's last step for the timeline.
    m_e[1] = m_e[kSteps + 1];
    m_k[1] = m_k[kSteps + 1];
    m_recordedL[1] = m_recordedL[kSteps + 1];
    m_recordedN[1] = m_recordedN[kSteps + 1];
    for (int g = 0; g < kSteps; ++g) {
        m_e[g + 2] = truncToInt((m_envelope[g] - kNoiseShare * m_levels.noise) * kLevelScale);
    }
    m_threshold = truncToInt(m_levels.threshold);
    if (m_thresholdReset) {
        for (int i = 2; i < 2 + kResetSteps; ++i)
            m_e[i] = truncToInt(m_levels.noise);
        m_thresholdReset = false;
        m_longSilence = false;
        m_levels.threshold = kResetThreshold * m_levels.noise;
        m_threshold = truncToInt(m_levels.threshold);
    }
    for (int i = 2; i <= kSteps + 1; ++i)
        decide(i, timer, speedMode, thresholdMode);

    // Spike removal looks 32 steps ahead; the decisions handed on are that much older.
    std::copy(m_history.begin() + kSteps, m_history.end(), m_history.begin());
    std::copy(m_k.begin() + 2, m_k.begin() + 2 + kSteps, m_history.begin() + kSteps);
    removeShortRuns(m_history, timer.receiveSpeed(), timer.smoothedDot(), timer.acquiring());
    std::copy(m_history.begin() + kDelaySteps, m_history.begin() + kDelaySteps + kSteps,
              m_k.begin() + 2);
}

void ToneDetector::decide(int i, ElementTimer& timer, int speedMode,
                          setting::ThresholdMode thresholdMode) {
    DetectorLevels& lv = m_levels;
    const int wpm = timer.receiveSpeed();
    const int e = m_e[i];
    if (e > m_threshold) {
        m_k[i] = 1.0f;
        m_keyDown = true;
        m_idleSteps = m_highSnrGapSteps = m_longGapSteps = 0;
        m_longSilence = false;
        m_speedLockPending = false;
        m_signalInput = static_cast<float>(e);
        m_noiseInput = lv.noise;
        m_peakInput = lv.noisePeak;
    } else {
        if (++m_idleSteps > m_idleLimit) m_longSilence = true;
        m_k[i] = 0.0f;
        m_keyDown = false;
        if (!m_longSilence) {
            ++m_longGapSteps;
            m_highSnrGapSteps = 0;
            m_signalInput = lv.signal;
            if (m_longGapSteps < kLongGapSteps) {
                m_noiseInput = lv.noise;
                m_peakInput = lv.noisePeak;
            } else {
                m_noiseInput = kGapNoiseShare * e;
                m_peakInput = e - lv.noise;
            }
            // Smooth the next step toward this one in a long gap, so that short noise bursts
            // do not cross the threshold.
            if (m_longGapSteps > kLongGapSteps && lookAhead(i + 1) < m_threshold &&
                lookAhead(i + 8) < m_threshold && i + 1 <= kSteps + 1) {
                if (wpm < kSlowWpm) {
                    m_e[i + 1] = (6 * e + m_e[i + 1]) / 7;
                } else if (wpm <= kFastWpm) {
                    m_e[i + 1] = (7 * e + m_e[i + 1]) / 8;
                }
            }
            // A zero raw speed (enormous dash average) must not divide by zero.
            const int stallLimit = wpm < kSlowWpm
                                       ? kStallConstant / std::max(1, timer.rawReceiveSpeed())
                                       : kFastStallSteps;
            if (m_idleSteps > stallLimit || m_rawSnr < 2) lv.signal = silenceSignal(wpm, kSlowWpm);
        } else {
            m_speedLockPending = true;
            timer.clearStallSteps();
            lv.signal = silenceSignal(wpm, kFastWpm);
            if (wpm < kFastWpm && lookAhead(i + 1) < m_threshold &&
                lookAhead(i + 8) < m_threshold && i + 1 <= kSteps + 1) {
                m_e[i + 1] = (5 * e + m_e[i + 1]) / 6;
            }
            if (lookAhead(i + 10) > m_threshold) {
                m_noiseInput = lv.noise;
                m_peakInput = lv.noisePeak;
            } else {
                m_noiseInput = kGapNoiseShare * e;
                m_peakInput = e - lv.noise;
            }
            if (m_rawSnr > kHighSnr) {
                if (++m_highSnrGapSteps > kHighSnrGapSteps) {
                    lv.signal = kHighSnrSignal * lv.noise;
                    m_longSilence = false;
                }
            } else {
                m_highSnrGapSteps = 0;
            }
            m_signalInput = lv.signal;
            lv.threshold = lv.signal;
        }
    }
    if (m_e[i] < lv.noise) m_e[i] = truncToInt(lv.noise);
    levelUpdate(i, wpm, speedMode, thresholdMode);

    // Stuck-character guard: a code that has grown past any character while the key is up is
    // cleared every second time, and the levels fall back to the silence values.
    TimingState& ts = timer.state();
    if (ts.characterCode > kStuckCode && m_k[i] == 0.0f) {
        m_stuckToggle = !m_stuckToggle;
        if (!m_stuckToggle) ts.characterCode = 0;
        lv.signal = silenceSignal(wpm, kSlowWpm);
        m_longSilence = true;
    }
    m_idleLimit = wpm < kSlowWpm ? 500 : wpm <= kFastWpm ? 250 : 100;
    if (m_recordedL[i] < lv.noise * noiseVetoFactor(thresholdMode)) {
        m_k[i] = 0.0f;
        m_k[i - 1] = 0.0f;
    }
    if ((wpm < kSlowWpm && m_rawSnr < kMinSnrSlow) || (wpm >= kSlowWpm && m_rawSnr < kMinSnrFast)) {
        m_k[i] = 0.0f;
        m_k[i - 1] = 0.0f;
    }
    lv.noisePeak = std::max(lv.noisePeak, lv.noise);
}

void ToneDetector::levelUpdate(int i, int wpm, int speedMode,
                               setting::ThresholdMode thresholdMode) {
    DetectorLevels& lv = m_levels;
    const bool noisy = thresholdMode == setting::ThresholdMode::Noisy;
    float rate = 0.0f;
    if (wpm >= 5 && wpm <= 20) {
        rate = noisy ? 0.05f : m_longSilence ? 0.15f : 0.06f;
    } else if (wpm >= 21 && wpm <= 30) {
        rate = noisy ? 0.06f : m_longSilence ? 0.15f : 0.08f;
    } else if (wpm > 30) {
        rate = noisy                              ? 0.08f
               : speedMode == kSpeedModeFiftyPlus ? 0.5f
               : m_longSilence                    ? 0.1f
                                                  : 0.06f;
    }
    if (rate > 0.0f) lv.signal = (1.0f - rate) * lv.signal + rate * m_signalInput;
    lv.signal = std::max(lv.signal, 1.0f);
    lv.noise = std::max(lv.noise, 1.0f);
    lv.noise = 0.9995f * lv.noise + 0.0005f * m_noiseInput;
    if (m_longSilence) {
        lv.noisePeak = 0.99f * lv.noisePeak + 0.01f * m_peakInput;
    } else if (m_k[i] == 0.0f) {
        lv.noisePeak = 0.992f * lv.noisePeak + 0.008f * m_peakInput;
    }
    lv.noisePeak = std::max(lv.noisePeak, lv.noise);
    m_recordedN[i] = lv.noise;
    lv.threshold = thresholdFactor(thresholdMode, wpm, lv.threshold, lv.signal);
    m_recordedL[i] = lv.threshold;
    m_threshold = truncToInt(lv.threshold);
    if (static_cast<float>(m_e[i]) < lv.threshold) {
        m_k[i] = 0.0f;
        m_keyDown = false;
    }
}

void removeShortRuns(std::array<float, 128>& h, int wpm, int d, bool acquiring) {
    if (wpm >= kSpikeMaxWpm) return;
    int limit = 0;
    if (wpm >= 10 && wpm <= 15)
        limit = static_cast<int>(d * 10.85 / 50);
    else if (wpm >= 16 && wpm <= 20)
        limit = d * 5 / 25;
    else if (wpm >= 21 && wpm <= 30)
        limit = d * 5 / 27;
    else if (wpm >= 31 && wpm <= 40)
        limit = d / 6;
    else if (wpm >= 41)
        limit = d / 9;
    int start = 0;
    int count = 0;
    for (int j = 0; j < static_cast<int>(h.size()); ++j) {
        if (h[j] == 1.0f) {
            if (j > 0 && h[j - 1] == 0.0f) start = j;
            ++count;
        } else if (j > 0 && h[j - 1] == 1.0f && !acquiring) {
            if (wpm < 10) break;
            const int run = j - start;
            if (count > 0 && run <= limit) {
                std::fill(h.begin() + start, h.begin() + j + 1, 0.0f);
                count = 0;
                start = j + 1;
            }
        }
    }
}

void ToneDetector::decoderReset() {
    m_levels.noise /= 4.0f;
    m_levels.threshold = 6.0f * m_levels.noise;
    m_rawSnr = 1;
    m_longSilence = false;
    m_thresholdReset = true;
    m_levels.signal = m_levels.noise;
}

void ToneDetector::tuneReset() {
    m_levels.noise /= 4.0f;
    m_levels.signal = m_levels.noise;
    m_levels.threshold = 6.0f * m_levels.noise;
    m_thresholdReset = true;
}

void ToneDetector::noiseFilterReset() {
    m_levels.noise /= 8.0f;
    m_levels.signal = m_levels.noise;
    m_levels.threshold = 4.0f * m_levels.noise;
}

} // namespace dita
