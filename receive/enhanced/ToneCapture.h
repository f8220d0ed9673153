#pragma once
// ToneCapture: finds the keyed tone to decode in the per-pass power spectrum, follows its slow
// drift, and moves to a new sender that starts after the tuned one has fallen silent.
//
// A candidate is a local peak of the smoothed spectrum standing clearly over the median level
// whose power varies from pass to pass (keyed), unlike a steady carrier; before any tone is
// taken, a keyed peak of the spectrum averaged over seconds will do. While the tuned tone
// is heard the capture only follows it; a new tone within kSpanHz (anywhere after a longer quiet)
// is taken when the tuned one has been quiet for longer than the sender's word gaps and the new
// one has risen since. Shortly after the capture took a tone by itself, a clearly stronger keyed
// tone is taken instead.
//
// Plain class, used by ReceiveEngine once per pass on its worker thread; nothing allocated.
#include "receive/chain/PowerSpectrum.h"
#include "receive/enhanced/RunningMedian.h"

#include <array>

namespace dita {

class ToneCapture {
public:
    static constexpr int kMaxBins = 512;
    static constexpr int kHistory = 12; // passes of power kept per bin (2.2 s)
    static constexpr double kSpanHz =
        160; // a new sender is looked for this far from the tuned tone

    ToneCapture();
    // Search range in Hz and the time of one spectrum (one pass).
    void configure(double minHz, double maxHz, double passSeconds);
    // Untuned: the next keyed tone anywhere in the range is taken.
    void reset();
    // Tuned by the operator (or the stored setting): followed from here.
    void tune(double hz);
    // The tuned sender's word gap in seconds (0 unknown): quiet shorter than this is not the end.
    void setWordGapSeconds(double seconds) { m_wordGapSeconds = seconds; }

    // One pass over the unscaled power spectrum (bins 1..2048). Returns true when a tone was
    // newly captured (the decoder starts afresh on it); pitchHz() then holds its frequency.
    bool update(const PowerSpectrum& power);

    bool tuned() const { return m_tuned; }
    // The tone was taken by the capture itself a short while ago, another tone stands in the
    // range, and a clearly stronger keyed tone would still be taken instead: the text decoded
    // from the tuned one is held back meanwhile.
    bool reconsidering() const;
    // The last update() took a stronger tone in place of one taken a short while before: the
    // text held back from that one is dropped.
    bool replacedWeaker() const { return m_replacedWeaker; }
    // Passes since the newly captured tone first stood over the median (its onset pass is 0).
    int passesSinceOnset() const { return m_sinceOnset; }
    double pitchHz() const { return m_pitchHz; }
    // A tone stands at the tuned pitch now, or did within the sender's word gaps: the signal
    // estimate that opens the decoder's gate.
    bool signalPresent() const;

private:
    // The pass's own work before any tone is chosen: the three-bin sums and their averages, the
    // history, the floor and each bin's presence runs.
    void measure(const PowerSpectrum& power);
    // The tuned tone was heard: the spectrum a new sender must rise from is taken (heardTwice),
    // and the pitch follows a drift to a local peak near the tuned bin.
    void followHeard(int centre, bool heardTwice);
    int binOf(double hz) const;
    double quietSeconds() const;
    double peakHz(int index) const;
    bool present(int index) const;
    // Background level beside each bin, from the prefix sums of the levels.
    void prefixSums(const std::array<float, kMaxBins>& level);
    // Taking a first tone: the strongest keyed peak of the averages over seconds (-1: none).
    int slowCandidate();
    float floorAt(int index) const;
    void localFloor(const std::array<float, kMaxBins>& level, std::array<float, kMaxBins>& floor);

    bool keyed(int index) const;
    // Power of the tone at index (or a bin beside it) while keyed: its highest in the passes kept.
    float keyedPower(int index) const;
    // Tunes to the candidate at index (the capture's own choice).
    void take(int index);
    int bestCandidate(int lowIndex, int highIndex, int excludeLow, int excludeHigh,
                      bool needRise) const;

    int m_first = 38;
    int m_count = 0;
    double m_passSeconds = 0.18576;
    long m_pass = 0;
    bool m_tuned = false;
    bool m_takenByItself = false; // the tuned tone was taken by the capture, not by the operator
    long m_takenPass = 0;
    bool m_replacedWeaker = false;
    double m_pitchHz = 600.0;
    long m_lastHeard = 0;
    long m_lastPresent = -1000000;
    bool m_presentBefore = false;
    bool m_heardBefore = false;
    double m_wordGapSeconds = 0.0;
    float m_floorAverage = 0.0f;
    RunningMedian m_averageMedian;
    RunningMedian m_sumMedian;
    float m_tunedPeak = 0.0f;
    int m_sinceOnset = 0;
    int m_filled = 0;
    std::array<float, kMaxBins> m_sum{};
    std::array<float, kMaxBins> m_average{};
    std::array<float, kMaxBins> m_slow{};      // the three-bin powers averaged over seconds
    std::array<float, kMaxBins> m_slowLocal{}; // their local background
    RunningMedian m_slowMedian;
    std::array<float, kMaxBins> m_scratch{};
    std::array<float, kMaxBins> m_localAverage{};
    std::array<double, kMaxBins + 1> m_prefix{};
    std::array<float, kMaxBins> m_atHeard{}; // the averages when the tuned tone was last heard
    std::array<long, kMaxBins> m_onset{};
    std::array<int, kMaxBins> m_absent{};
    std::array<int, kMaxBins> m_run{}; // passes present in a row
    std::array<std::array<float, kMaxBins>, kHistory> m_history{};
};

} // namespace dita
