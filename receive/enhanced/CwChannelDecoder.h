#pragma once
// CwChannelDecoder: decodes one CW signal at a given pitch from narrowband audio (the receive
// chain's 5,512.5 samples/s block). Built to run as many instances as there are signals, each
// with its own pitch and its own learnt timing.
//
// Stages, all per instance:
//  - KeyDetector: mixes the pitch down to complex baseband, integrates 16 samples per step
//    (2.902 ms) and low-passes with a triangle as long as about one dot (a filter matched to
//    the element), tracks the mark and space levels of the envelope and decides key down/up
//    with hysteresis between them. A squelch from the same levels keeps noise from keying.
//  - RunCleaner: turns the decisions into mark and gap runs, absorbing runs too short to be
//    elements.
//  - SenderTiming (decode/): dots, dashes and gap classes learnt from the sender.
//  - KeySequencer: on a signal the detector does not read clean (below about 16 dB over the
//    noise in its band), the text is read from the likeliest sequence of marks and gaps
//    instead of the detector's runs. Its timing and levels are read back from its own reading
//    of the kept steps (again until the unit holds) and then learnt from its runs; the
//    detector only follows the sender's dot. A sender too weak for the gathering detectors is
//    found by reading the kept steps from a range of speeds.
//  - Short words: a word of one or two marks weaker than the sender's dots is held back and
//    dropped when no further mark follows it (noise keying the detector after an over ends).
// After a reset the raw baseband steps are kept while detectors of three lengths gather
// events. Once the timing of the sender is known, the kept steps are run again through a
// detector matched to the sender's dot, and everything from the reset on is decoded: the first
// character of a transmission is not lost to the speed acquisition.
//
// Plain class, no Qt; configure/reset/process on the receive worker thread; nothing is
// allocated after construction (text is appended to the caller's reserved string).
#include "decode/SenderTiming.h"
#include "receive/enhanced/KeySequencer.h"

#include <array>
#include <complex>
#include <string>

namespace dita {

// Envelope detector and key decisions for one signal.
class KeyDetector {
public:
    static constexpr int kMaxHalfLength = 64;

    // stepRate in steps per second; halfLength: each of the two boxcars of the triangle.
    void configure(int halfLength, double stepRate);
    int halfLength() const { return m_half; }
    // Clears the filter and the levels.
    void reset();
    // Clears the levels only.
    void restartLevels();
    // Starts the levels from known values (for a run over kept steps).
    void seed(float space, float mark);
    // One step of raw baseband (a 16-sample sum); returns the filtered amplitude.
    float filter(std::complex<float> raw);
    // filter() plus the level tracking and decision; returns the key state (false while the
    // squelch is closed).
    bool step(std::complex<float> raw);
    // The level tracking and decision for an amplitude filter() returned.
    bool decide(float amplitude);

    float amplitude() const { return m_amplitude; }
    float markLevel() const { return m_mark; }
    float spaceLevel() const { return m_space; }
    bool squelchOpen() const { return m_open; }

private:
    int m_half = 4;
    double m_stepRate = 344.53125;
    std::array<std::complex<double>, kMaxHalfLength> m_ring1{};
    std::array<std::complex<double>, kMaxHalfLength> m_ring2{};
    std::complex<double> m_sum1{};
    std::complex<double> m_sum2{};
    int m_pos = 0;
    double m_amplitudeScale = 1.0; // the triangle's gain back to the tone's amplitude
    float m_amplitude = 0.0f;
    float m_space = 0.0f;
    float m_mark = 0.0f;
    bool m_started = false;
    bool m_rawKey = false;
    bool m_open = false;
    int m_tailSteps = 0;
    int m_filled = 0;
    float m_spaceAlpha = 0.0f;
    float m_markAlpha = 0.0f;
    float m_attackAlpha = 0.0f;
    float m_decayAlpha = 0.0f;
};

// Mark and gap runs from per-step key states.
class RunCleaner {
public:
    void reset();
    void setMinimum(int markSteps, int gapSteps) {
        m_minMark = markSteps;
        m_minGap = gapSteps;
    }
    // Returns true and fills event when a run has ended.
    bool feed(bool key, KeyEvent& event);
    bool inMark() const { return m_inMark; }
    // Length of the gap running now (0 during a mark).
    int gapSoFar() const { return m_inMark ? 0 : m_length; }

private:
    bool m_inMark = false;
    int m_length = 0;
    int m_tentative = 0;
    int m_minMark = 1;
    int m_minGap = 1;
};

class CwChannelDecoder {
public:
    static constexpr int kStepSamples = 16;
    static constexpr int kRawSteps = 8192;  // 23.8 s of kept steps at the narrowband rate
    static constexpr int kMaxEvents = 1024; // events gathered before the timing is known
    static constexpr int kBanks = 3;

    CwChannelDecoder();
    // sampleRate of the narrowband input.
    void configure(double sampleRateHz);
    // Decoder reset: back to gathering, timing forgotten, pitch kept.
    void reset();
    // Before a reset: the steps the matched detector has not read yet (it reads the kept steps
    // late) are decoded with the timing known, so that a character keyed before the reset is
    // written rather than dropped.
    void finish(const DecoderSettings& settings, std::string& out);
    // The sender has stopped (another is taken): the text so far ends with a word space.
    void endOver(const DecoderSettings& settings, std::string& out) {
        m_timing.endOver(settings, out);
    }
    // Pitch to decode; the mixer phase runs on, so a slow drift can be followed.
    void setPitch(double hz);
    double pitchHz() const { return m_pitchHz; }
    // Fixed receive speed in words per minute; 0 learns it from the sender.
    void setFixedWpm(int wpm);
    // Signal gate from outside (the spectrum shows a tone at the pitch): while closed nothing
    // is keyed, so noise writes nothing. The envelope levels are tracked all the same.
    void setGate(bool open) { m_gate = open; }
    // A stronger signal is keying close beside this one (the caller sees the spectrum): marks far
    // under the sender's own level are that neighbour's spread through the filters, and are kept
    // out of the timing and the text.
    void setStrongerNeighbour(bool near) { m_strongerNeighbour = near; }

    // Decodes count samples; text is appended to out.
    void process(const float* samples, int count, const DecoderSettings& settings,
                 std::string& out);

    bool timingKnown() const { return decoding(); }
    int wpm() const;
    // Seconds of the sender's word gap (0 while unknown).
    double wordGapSeconds() const;

private:
    // The decoder's stages. Gathering: detectors of three lengths gather events until the
    // sender's timing is known. Then everything kept is decoded with it and decoding goes on
    // live: from the runs of the detector matched to the sender's dot where it reads the signal
    // clean (Matched), or by the sequencer where it does not (Sequenced; the matched detector's
    // runs then only teach the timing). A pause that ends the over leads back to gathering.
    enum class Stage { Gathering, Matched, Sequenced };
    // How a detector's levels show the signal: noise splits its marks into fragments (Noisy); its
    // short element gaps are the sender's own (Clean); nor does noise split its elements (Strong).
    enum class Reading { Noisy, Clean, Strong };
    static Reading readingOf(const KeyDetector& detector);
    // Whether the matched detector's length follows the sender (not while it catches up with the
    // kept steps before a reset).
    enum class Retune { Follow, Keep };

    struct Bank {
        KeyDetector detector;
        RunCleaner runs;
        std::array<KeyEvent, kMaxEvents> events{};
        int eventCount = 0;
        int firstMarkStep = -1;
    };

    // A run of the last count kept steps through the matched detector: its events (in
    // m_replayEvents), the timing they show and how the detector read the signal.
    struct MatchedRun {
        int events = 0;
        TimingEstimate estimate;
        Reading reading = Reading::Noisy;
    };
    // A gathering detector's timing, offered to settle on.
    struct Candidate {
        TimingEstimate estimate;
        Reading reading = Reading::Noisy; // Strong only in the pass over strong detectors
        bool holdOver = false; // gathered for as long as it may be: settled on even unconfirmed
                               // (if it holds a sender's number of marks)
    };
    // What settling found: the timing, the matched run over the last count kept steps, and the
    // least length of the matched detector (0: any).
    struct Settlement {
        TimingEstimate estimate;
        MatchedRun run;
        Reading gathered = Reading::Noisy;
        float shortest = 0.0f;
        int count = 0;
    };

    void step(std::complex<float> raw, const DecoderSettings& settings, std::string& out);
    void gatherStep(std::complex<float> raw, const DecoderSettings& settings, std::string& out);
    void liveStep(std::complex<float> raw, Retune retune, const DecoderSettings& settings,
                  std::string& out);
    // A key event once the timing is known (a run of the matched detector, or one the sequencer
    // read). The marks of a word that begins weaker than the sender's marks are held back until
    // the word shows itself.
    void liveEvent(const KeyEvent& event, Retune retune, const DecoderSettings& settings,
                   std::string& out);
    void acceptLive(const KeyEvent& event, float peak, Retune retune,
                    const DecoderSettings& settings, std::string& out);
    // What a run of the matched detector teaches: a clean signal's timing...
    void learnTiming(const KeyEvent& event);
    // ...a weak signal's is learnt from the sequencer's runs (its spacing held to what keyers
    // send at least)...
    void learnSequenced(const KeyEvent& event);
    // ...and, after a mark, the detector's length following the sender's dot.
    void followSender(const KeyEvent& event, Retune retune);
    // A weak signal's runs are read by the sequencer; the matched detector's runs then only
    // teach the timing.
    void sequenceStep(std::complex<float> raw, bool key, Retune retune,
                      const DecoderSettings& settings, std::string& out);
    void writeSequenced(int events, Retune retune, const DecoderSettings& settings,
                        std::string& out);
    // Starts the sequencer with the timing and the levels of the kept steps from age count - 1 on.
    void startSequence(const TimingEstimate& estimate, int count);
    // The timing and levels the sequencer reads the kept steps with, from its own reading of
    // them: it times the dots, dashes and element gaps it finds and measures the levels of its
    // marks and gaps, and reads again with those until the unit holds. Leaves the sequencer
    // started with them.
    struct SequencedReading {
        TimingEstimate estimate;
        double evidence = 0.0; // of the marks read, over the gap (log-likelihood ratio)
        int marks = 0;
        double markSteps = 0.0;    // their lengths together
        int dots = 0;              // of the marks
        double toneEvidence = 0.0; // the same, each mark at its likeliest tone near the mixer's
        double durations = 0.0;    // log-likelihood of the lengths of the runs read
        // How well the runs read explain the steps: their marks and their lengths.
        double score() const { return toneEvidence + durations; }
    };
    SequencedReading sequencedTiming(TimingEstimate estimate, int count);
    // A signal too weak for the gathering detectors: the sequencer reads the kept steps from a
    // range of speeds, and the reading whose marks explain them best is settled on.
    void searchStep(const DecoderSettings& settings, std::string& out);
    // The readings from the search's speeds over the last count kept steps (in
    // m_searchReadings), and the one to settle on (no marks: none, or the signal is not weak).
    // The fastest start speed is read only where marks read clean: in noise, readings of
    // fragments from it and the next would agree.
    SequencedReading searchSpeeds(int count, bool fastest = false);
    // How many of the search's readings (r among them) came to r's unit.
    int agreeingReadings(const SequencedReading& r) const;
    // How the timing a detector settled on is checked against the search's readings: not at all
    // (a clean detector's elements are the sender's), both ways (a noisy detector may have timed
    // fragments of the elements or merged them), or for merged elements alone (marks that read
    // clean may be a fast sender's elements merged).
    enum class TimingCheck { None, Both, Merged };
    // The timing a weak signal is read with once a detector has settled, checked against the
    // search's readings; leaves the sequencer started with it.
    TimingEstimate checkedTiming(TimingCheck check, int count);
    int m_gateOpenSteps = 0; // steps gathered with the gate open
    bool m_gateWasOpen = false;
    int m_lastSearch = 0;
    static constexpr int kSearchSpeeds = 8;
    std::array<SequencedReading, kSearchSpeeds> m_searchReadings{};
    float m_sequencedUnit = 1.0f;
    float m_sequencedLetter = 1.0f;
    // The last spaces (letter and word gaps between marks) of a reading, to tell a sender who
    // spaces the characters out (Farnsworth).
    class SpaceHistory {
    public:
        // Takes the next run of the reading.
        void add(const KeyEvent& e);
        // The letter gap (detector steps) the spaces show when they are spaced out beyond a
        // keyer's letter gap for this unit, else 0.
        float spacedLetter(float unit) const;

    private:
        static constexpr int kSize = 16;
        std::array<float, kSize> m_spaces{};
        int m_count = 0; // held in m_spaces
        int m_next = 0;
        float m_pending = 0.0f; // the gap after the last mark, once it is a letter or word gap
        bool m_markSeen = false;
        float m_quarter = 0.0f; // the lower quartile of the spaces, once there are enough
    };
    SpaceHistory m_spaces;
    void releaseHeld(Retune retune, const DecoderSettings& settings, std::string& out);
    void dropHeld();
    // A held word is dropped once the gap after it is a word gap.
    void dropHeldAfter(float gapSteps);
    bool bankEstimate(const Bank& bank, Reading reading, TimingEstimate& estimate);
    // The earliest first mark of the gathering detectors (the step now if none has one).
    int firstMarkStep() const;
    // Whether a candidate is worth settling on: its dot fits the detector that found it, it is
    // known or the hold is over, and it is a sender's.
    bool worthSettling(const Candidate& candidate, int halfLength, float shortestLength) const;
    // Runs the last count kept steps through the matched detector.
    MatchedRun replay(float dotSteps, float elementGapSteps, int count);
    // Settles on a candidate once the matched run confirms it (or the hold is over).
    bool settle(const Candidate& candidate, const DecoderSettings& settings, std::string& out);
    bool decoding() const { return m_stage != Stage::Gathering; }
    // Transitions. To gathering: the timing is forgotten (a reset, or the hold ended with no
    // sender found).
    void startGathering();
    // To decoding: the kept steps' events are decoded with the settled timing, and decoding
    // goes on live, matched or sequenced.
    void startDecoding(const Settlement& settled, const DecoderSettings& settings,
                       std::string& out);
    // Reads the kept steps (count of them) with the sequencer started on the sender's timing,
    // writing the text and teaching the timing as it goes.
    void readKept(int count, const DecoderSettings& settings, std::string& out);
    // From decoding back to gathering: a pause ended the over.
    void endOverAfterPause(Retune retune, const DecoderSettings& settings, std::string& out);
    // Length (steps) of the triangle that best separates marks from spaces in the last count
    // kept steps: about a dot, judged from the whole signal at once.
    float separatingLength(int count);
    // How far apart the two classes of the values lie for their spread (two-means split).
    static float twoClassSeparation(const float* values, int n);
    // Moves the oscillator on to the sample the step has reached (before the rotation changes).
    void rebasePhase();
    // Runs the gathering detectors over the steps they rested through.
    void catchUpBanks();
    void applyMatchedLength(float lengthSteps);
    std::complex<float> rawAt(int age) const;
    // The matched detector reads the kept steps this many steps late, so that its triangle's
    // centre lies at the same time whatever its length: a change of length does not replay or
    // skip any of the envelope.
    int detectorDelay() const;
    // Whether the timing can be a sender's, as a detector of that reading measures it.
    bool isPlausible(const TimingEstimate& estimate, Reading reading) const;
    // Enough marks split into dots and dashes to settle on.
    static bool enoughMarks(const TimingEstimate& estimate);

    double m_sampleRate = 5512.5;
    double m_stepRate = 344.53125;
    // Lengths of the decoder's timing constants in steps, converted once from seconds.
    struct StepLengths {
        float minDot = 0.0f;     // the shortest dot of a sender
        int maxHold = 0;         // gathering after the first mark at most
        int replayLead = 0;      // kept steps run again from before the first mark
        int catchUp = 0;         // kept steps the resting gathering detectors run over
        float overGap = 0.0f;    // a gap that ends the over
        int searchAfter = 0;     // gathering with the gate open before the sequencer searches
        int searchEvery = 0;     // steps between its searches
        int searchShortOver = 0; // the gate open before it closes for a search at once
        int searchSpan = 0;      // kept steps it searches over at most
    };
    StepLengths m_lengths;
    double m_pitchHz = 600.0;
    std::complex<double> m_oscillator{1.0, 0.0};
    std::complex<double> m_rotation{1.0, 0.0};
    std::array<std::complex<double>, kStepSamples + 1> m_phase{}; // powers 0..16 of the rotation
    std::array<double, kStepSamples + 1> m_phaseRe{}; // the same, apart, for the vectorised mixing
    std::array<double, kStepSamples + 1> m_phaseIm{};
    int m_phaseBase = 0; // sample of the step at which m_oscillator holds the phase
    std::complex<float> m_accumulator{};
    int m_accumulated = 0;

    std::array<std::complex<float>, kRawSteps> m_raw{};
    int m_rawPos = 0;      // next write position
    int m_kept = 0;        // steps kept since the reset (up to kRawSteps)
    int m_gatherSteps = 0; // steps since gathering began
    std::array<Bank, kBanks> m_banks;
    int m_banksBehind = 0; // steps the gathering detectors have not run since the timing was known
    std::array<float, kRawSteps> m_scratch{};
    std::array<float, kRawSteps> m_amplitudes{}; // the matched filter's output over the kept steps
    std::array<KeyEvent, kMaxEvents> m_replayEvents{};
    // The last replay of this step: what it was run with and gave.
    struct ReplayKey {
        int count = 0;
        int half = 0;
        int minMark = 0;
        int minGap = 0;
        bool operator==(const ReplayKey&) const = default;
    };
    struct LastReplay {
        bool valid = false;
        ReplayKey key;
        MatchedRun run;
    };
    LastReplay m_lastReplay;
    std::array<float, kMaxEvents> m_markScratch{};
    std::array<float, kMaxEvents> m_gapScratch{};
    std::array<float, kMaxEvents> m_toneScratch{};

    Stage m_stage = Stage::Gathering;
    KeyDetector m_detector;
    KeyDetector m_probe; // the triangles tried by separatingLength
    RunCleaner m_runs;
    SenderTiming m_timing;
    float m_matchedLength = 0.0f;
    float m_shortestMatched = 0.0f; // in noise: shorter dots are fragments of the sender's
    // Live words that begin weak: the highest amplitude of the mark running now, the gap before
    // it, the sender's level (the peaks of its recent dots), and the events held back.
    struct HeldEvent {
        KeyEvent event;
        float peak = 0.0f;
    };
    static constexpr int kMaxWeakMarks = 2; // a word with more weak marks than this is believed
    float m_markPeak = 0.0f;
    float m_gapBefore = 0.0f;
    float m_senderLevel = 0.0f;
    std::array<HeldEvent, 2 * kMaxWeakMarks> m_held{}; // each weak mark and the gap after it
    int m_heldCount = 0;
    int m_heldMarks = 0;
    bool m_skipGap = false; // the gap after a dropped word is part of a pause, not the sender's
    KeySequencer m_sequencer;
    struct SequenceLevels {
        float noise = 1.0f; // the boxcar's noise power and mark amplitude
        float mark = 1.0f;
    } m_sequenceLevels;
    std::array<KeyEvent, KeySequencer::kMaxEvents> m_sequenceEvents{};
    int m_fixedWpm = 0;
    bool m_gate = true;
    bool m_strongerNeighbour = false;
};

} // namespace dita
