#pragma once
// ToneDetector: turns the band-passed narrowband block into 64 key-down/key-up decisions of
// 2.902 ms per pass. A Hilbert pair gives the envelope; adaptive signal (S), noise (N),
// noise-peak (P) and threshold (L) levels decide each step; noise and weak-signal vetoes,
// long-silence handling and spike removal clean the decisions, which leave 32 steps late so
// that the spike removal can look ahead. Also computes the raw signal-to-noise reading.
//
// Used by ReceiveEngine on its worker thread, once per pass. It reads and nudges the element
// timer (speeds, acquisition, smoothed dot, the code being assembled, the stall watch).
#include "decode/ElementTimer.h"
#include "receive/ReceiveSettings.h"
#include "receive/chain/BandPassFilter.h"
#include "receive/chain/PowerSpectrum.h"

#include <array>
#include <cstdint>

namespace dita {

// A threshold mode no menu item names, with factors of its own: a configuration file may hold it.
constexpr setting::ThresholdMode kThresholdUnlisted{3};

struct DetectorLevels {
    float noise = 0.0f;      // N
    float signal = 0.0f;     // S
    float threshold = 10.0f; // L
    float noisePeak = 0.0f;  // P
};

// Spike removal over the 128-step key history (previous pass, this pass): key-down runs no
// longer than a fraction of the smoothed dot are cleared. Nothing is removed while the speed is
// being acquired, at 51 wpm and above, and the scan stops at the first run below 10 wpm.
void removeShortRuns(std::array<float, 128>& history, int wpm, int smoothedDot, bool acquiring);

class ToneDetector {
public:
    static constexpr int kSteps = 64;
    static constexpr int kStepSamples = 16;
    static constexpr int kDelaySteps = 32;

    ToneDetector();

    // Loop entry: signal and noise inputs to 1.0, idle counter and glitch state cleared.
    void loopEntry();

    // Raw SNR from the (display-scaled) power spectrum; only for tuned bins above 25.
    // Returns true when a reading was taken.
    bool updateRawSnr(const PowerSpectrum& power, int tunedBin);

    // One pass over the filtered block: fills keyStates(1..65) (delayed) and the per-step
    // records for the timeline.
    void process(const float* filtered, ElementTimer& timer, int speedMode,
                 setting::ThresholdMode thresholdMode);

    // Decoder reset: N / 4, L = 6N, S = N, raw SNR 1, LongSilence cleared, threshold reset.
    void decoderReset();
    // A click on the spectrum: N / 4, S = N, L = 6N, threshold reset.
    void tuneReset();
    // The noise filter was switched on (after the decoder reset): N / 8, S = N, L = 4N.
    void noiseFilterReset();
    // An AFC move of more than 2 bins: the signal level restarts from the noise level.
    void signalToNoise() { m_levels.signal = m_levels.noise; }
    void requestThresholdReset() { m_thresholdReset = true; }
    void clearSpeedLockPending() { m_speedLockPending = false; }

    const DetectorLevels& levels() const { return m_levels; }
    DetectorLevels& levels() { return m_levels; }
    int rawSnr() const { return m_rawSnr; }
    int displayedSnr() const { return m_displayedSnr; }
    float sideAmplitude() const { return m_sideAmplitude; }
    bool longSilence() const { return m_longSilence; }
    bool speedLockPending() const { return m_speedLockPending; }

    // Per-step results, index 1..65 (entry 1 carries the previous pass's entry 65).
    const std::array<float, 66>& keyStates() const { return m_k; }
    const std::array<int32_t, 66>& stepLevels() const { return m_e; }
    const std::array<float, 66>& recordedThreshold() const { return m_recordedL; }
    const std::array<float, 66>& recordedNoise() const { return m_recordedN; }

private:
    void envelope(const float* filtered);
    void decide(int i, ElementTimer& timer, int speedMode, setting::ThresholdMode thresholdMode);
    void levelUpdate(int i, int wpm, int speedMode, setting::ThresholdMode thresholdMode);
    float silenceSignal(int wpm, int splitWpm) const;
    int lookAhead(int i) const { return i <= kSteps + 1 ? m_e[i] : 0; }

    DetectorLevels m_levels;
    float m_signalInput = 1.0f;
    float m_noiseInput = 1.0f;
    float m_peakInput = 1.0f;
    int m_rawSnr = 1;
    int m_displayedSnr = 0;
    float m_smoothedTone = 0.0f;
    float m_sideAmplitude = 0.0f;
    int m_threshold = 10; // T, L truncated
    int m_idleSteps = 0;
    int m_longGapSteps = 0;
    int m_highSnrGapSteps = 0;
    int m_idleLimit = 500;
    bool m_longSilence = false;
    bool m_speedLockPending = false;
    bool m_thresholdReset = false;
    bool m_keyDown = false;
    bool m_stuckToggle = false;

    static constexpr int kHilbertTaps = 35;
    static constexpr int kHilbertCentre = kHilbertTaps / 2;
    // Last pass's tail and this block, with the quadrature filter's reach of zeros either side.
    std::array<float, kHilbertCentre + kNarrowbandBlock + kHilbertCentre> m_padded{};
    std::array<float, kSteps> m_tail{};
    std::array<float, kSteps> m_envelope{};
    std::array<int32_t, 66> m_e{};
    std::array<float, 66> m_k{};
    std::array<float, 66> m_recordedL{};
    std::array<float, 66> m_recordedN{};
    std::array<float, 2 * kSteps> m_history{};
    std::array<float, kHilbertTaps> m_hilbert{};
};

} // namespace dita
