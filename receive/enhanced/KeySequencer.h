#pragma once
// KeySequencer: reads the keying of a weak signal as the most likely sequence of marks and gaps
// instead of deciding key down or up at every step.
//
// A mark's evidence is the likelihood ratio of a mark against a gap (noncoherent: a tone of
// unknown phase in Gaussian noise), from the tracked noise power and mark amplitude, for the
// element's own matched filter (all its steps summed) and for a boxcar half a dot long step by
// step, averaged. A segmental Viterbi search then finds the best
// segmentation into dots, dashes and element, letter and word gaps, each with a duration
// likelihood around the sender's lengths. A dash is thus weighed with all of its energy, and a
// gap the boxcar only half fills still counts for what it is. The search's states count the
// elements of the character so far, and which gap follows a mark is weighed by how often a
// character ends after that many: a dot in noise is not read as a character of its own as
// readily, nor a letter split at a gap that noise shortened. Runs are written once the best path
// has not changed for a lag of about a second.
//
// Summed at one phase, a long element keeps its gain only while the sender's tone stays within a
// fraction of a hertz of the mixer's, and the tuned pitch moves about a hertz from pass to pass.
// The live reading therefore averages the element's likelihood over tones a little either side
// of the mixer's (the unknown offset integrated out, not searched for), each tone weighed by how
// well it explained the last few marks.
//
// Plain class, no Qt; nothing is allocated after construction.
#include "decode/SenderTiming.h"

#include <array>
#include <complex>

namespace dita {

class KeySequencer {
public:
    static constexpr int kRing = 1024; // slots of scores and back-pointers (3 s at least)
    static constexpr int kMaxBoxcar = 32;
    static constexpr int kMaxEvents = 64; // runs one step may write
    static constexpr int kMaxSlotSteps = 8;
    // Tones the live reading weighs an element at: the mixer's and two either side.
    static constexpr int kTones = 5;
    static constexpr size_t kCentre = kTones / 2;
    // A sum of steps at each of the tones.
    using ToneSums = std::array<std::complex<double>, kTones>;

    // Durations of the sender's classes in steps (the detector's runs: marks shortened and gaps
    // lengthened by its edges) and the step rate. The boxcar keeps its length until reset().
    void setTiming(const TimingEstimate& timing, double stepRate);
    // The timing a weak signal's first reading starts from: the unit as gathered, letter and
    // word gaps of standard proportions (3 and 7 units), dashes at least 3 units. Gathered in
    // noise, the gap classes are fragments and merges of the sender's (a 40 wpm letter gap
    // was measured at half its length); its dots and element gaps, which fix the unit, hold up.
    static TimingEstimate standardSpacing(TimingEstimate estimate);
    // Starts afresh with a boxcar half the dot of the timing set, and the noise power and mark
    // amplitude of its envelope.
    void reset(float noisePower, float markAmplitude);
    // Length of the boxcar the next reset() starts (half the dot of the timing set).
    int boxcarLength() const { return m_plannedBoxcar; }
    // Whether the elements' likelihoods allow for the sender's tone lying off the mixer's (the
    // live reading), or take it at the mixer's tone (readings of the sender's timing, which
    // measured better so). Takes effect at the next reset().
    void setToneSpread(bool on) { m_plannedSpread = on; }

    // One step of raw baseband; open: the squelch and gate let it key; markHint: the hard
    // detector holds a mark there (its levels teach the mark amplitude). Returns the runs
    // that are now certain, into events.
    int step(std::complex<float> raw, bool open, bool markHint, KeyEvent* events);
    // Writes everything up to now (the signal ended or the decoder is reset).
    int flush(KeyEvent* events);
    // The gap running at the decision point (0 in a mark).
    float gapSoFar() const { return m_gapSoFar; }
    // The turn a step of tone k (of kTones, the mixer's in the middle) makes against the mixer.
    static std::complex<double> toneTurn(size_t k, double stepRate);
    // The log-likelihood of a run of this kind and length (steps) under the timing set: how often
    // the kind follows the other and the density of its length (per step), as the search weighs
    // them. Readings from different timings compare by it.
    double runLikelihood(RunKind kind, float steps) const;
    // Highest envelope (tone amplitude) of the i-th run the last call wrote (0 for gaps).
    float peak(int i) const { return m_peaks[static_cast<size_t>(i)]; }

    // The evidence of a mark over a gap for a run of steps whose raw values sum to a magnitude
    // of sumMagnitude: a tone of amplitude^2 amplitude2 a step, of unknown phase, in noise of
    // power noise a step (log-likelihood ratio).
    static double markEvidence(double sumMagnitude, int steps, double amplitude2, double noise);
    // Noise power and mark amplitude (boxcar envelope) from the envelopes in values (power),
    // which they reorder.
    static void levelsFrom(float* powers, int n, float& noisePower, float& markAmplitude);

private:
    // The classes of the search, in the order of RunKind.
    enum Class { Dot, Dash, ElementGap, LetterGap, WordGap, kClasses };
    // The search's states: dots, dashes and element gaps by the count of elements the character
    // holds so far (index 0 .. kCounts - 1 for 1 .. kCounts, the last standing for more), then
    // letter and word gaps, which end the character.
    static constexpr int kCounts = 6;
    static constexpr int kCharEnds = 3 * kCounts; // the first state that ends a character
    static constexpr int kStates = kCharEnds + 2;
    static constexpr int kWordGapState = kCharEnds + 1;
    static constexpr int stateOf(int c, int count) {
        return c < LetterGap ? c * kCounts + count : kCharEnds + c - LetterGap;
    }
    static constexpr int classOf(int state) {
        return state < kCharEnds ? state / kCounts : LetterGap + state - kCharEnds;
    }
    struct Cell {
        float score = 0.0f;
        int start = 0;             // step at which the segment began
        signed char previous = -1; // state
    };
    // The best score of a group of states ending at a slot, and which state it was.
    struct Best {
        float score = -1e30f;
        signed char state = -1;
    };
    // What a segment starting at a slot continues, the counts within reach of the best only: a
    // mark (from the gaps ending there) and an element gap (from the marks, their going on
    // weighed in).
    struct From {
        float score = 0.0f;
        signed char state = -1;
        signed char count = 0;
    };
    struct Reach {
        std::array<From, kCounts> from{};
        int n = 0;
    };
    // Writes the runs of the traced best path that end by the decision slot.
    int emit(int decisionSlot, int traced, KeyEvent* events);
    // The state that scores best at the last slot.
    int bestState() const;
    // Traces the best path ending now back to the last run written (m_trace*, newest first);
    // returns its segments.
    int traceBest();
    // The latest slot before which every state's best path is the traced one: the runs ending
    // there are certain, however the signal goes on (m_written if the paths part before the last
    // run written).
    int converged(int traced) const;
    // The best states ending at slot t, for the segments that start there.
    void summarise(int t);
    static void reachable(const std::array<Best, kCounts>& scores, Reach& reach);
    // Weighs the tones anew by a mark written over slots start..end.
    void learnTone(int start, int end);
    // The mark's squared amplitude a step (boxcar levels), and the factor that turns a run's summed
    // magnitude into the argument of log I0 in its likelihood.
    float markAmplitude2() const;
    double matchedGain(float amplitude2) const;
    // The search's weight of class c for a length of steps: the class's share and the log-normal
    // spread of its lengths around the sender's.
    float durationWeight(size_t c, float steps) const;
    // Duration ranges, likelihoods and the lag in slots of the search.
    void buildTables();
    static int slot(int t) { return t & (kRing - 1); }

    double m_stepRate = 344.53125;
    int m_boxcar = 4;
    int m_plannedBoxcar = 4;
    int m_slot = 1;          // steps per slot of the search
    float m_shortest = 4.0f; // the shorter of dot and element gap of the timing set (steps)
    float m_slotEvidence = 0.0f;
    float m_slotPeak = 0.0f;
    int m_slotSteps = 0;
    int m_lag = 300;
    std::array<float, kClasses> m_mean{};
    std::array<int, kClasses> m_min{};
    std::array<int, kClasses> m_max{};

    std::array<std::complex<float>, kMaxBoxcar> m_box{};
    std::complex<float> m_sum{};
    int m_boxPos = 0;
    float m_noisePower = 1.0f;
    float m_markPower = 1.0f;
    float m_noiseAlpha = 0.01f;
    float m_markAlpha = 0.03f;

    bool m_spread = false;
    bool m_plannedSpread = false;
    int m_spreadSlots = 1; // shortest element (slots) the tones set apart by more than a trifle
    ToneSums m_turn{};     // each tone's phase turn per step against the mixer's
    ToneSums m_phase{};    // each tone's phase now
    std::array<float, kTones> m_toneWeight{}; // log weight of each tone (they sum to 1)

    int m_t = 0;                               // steps seen
    std::array<ToneSums, kRing> m_rawPrefix{}; // sum of the raw steps before each slot, per tone
    std::array<int, kRing> m_closedPrefix{};   // closed steps before each slot
    ToneSums m_slotRaw{};
    int m_slotClosed = 0;
    std::array<double, kRing> m_prefix{};  // sum of the evidence before each slot
    std::array<float, kRing> m_envelope{}; // highest boxcar envelope of each slot
    std::array<std::array<Cell, kStates>, kRing> m_cells{};
    int m_written = 0; // slot up to which runs were written
    float m_gapSoFar = 0.0f;
    std::array<float, kMaxEvents> m_peaks{};
    std::array<std::array<float, kRing / 2>, kClasses> m_logDuration{};
    // Per slot, for the segments that start there: the best mark a letter or word gap may follow
    // (its character's end weighed in), and the counts a mark or an element gap may continue.
    std::array<Best, kRing> m_lastMark{};
    std::array<Reach, kRing> m_markFrom{};
    std::array<Reach, kRing> m_gapFrom{};
    // The best path's segment ends and states back to the last run written.
    static constexpr int kMaxTrace = 256;
    std::array<int, kMaxTrace> m_traceEnd{};
    std::array<signed char, kMaxTrace> m_traceState{};
};

} // namespace dita
