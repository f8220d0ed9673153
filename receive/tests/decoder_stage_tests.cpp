// The enhanced decoder's stages on their own: the timing classes learnt from run lengths, the
// run cleaner, the key detector on a tone burst, the sequence decoder on a weak signal, timing
// plus character assembly together, and the channel decoder's gathering and decoding of overs.
#include "decode/SenderTiming.h"
#include "receive/enhanced/CwChannelDecoder.h"
#include "receive/enhanced/KeySequencer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

namespace dita {
namespace {

// Run lengths (steps) of a sender keying text, in the units of its keying: dot, dash, element,
// letter and word gaps; jitter spreads every run by that share (hand keying).
struct Keying {
    float dot = 10;
    float dash = 30;
    float elementGap = 10;
    float letterGap = 30;
    float wordGap = 70;
    float jitter = 0;
};

std::vector<KeyEvent> keyRuns(const std::string& morse, const Keying& k, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> spread(0.0f, k.jitter);
    auto run = [&](bool mark, float steps) {
        return KeyEvent{mark, std::max(1.0f, steps * (1.0f + spread(rng)))};
    };
    std::vector<KeyEvent> out;
    for (size_t i = 0; i < morse.size(); ++i) {
        const char c = morse[i];
        if (c == ' ' || c == '/') continue;
        out.push_back(run(true, c == '.' ? k.dot : k.dash));
        if (i + 1 >= morse.size()) break;
        const char next = morse[i + 1];
        out.push_back(run(false, next == ' '   ? k.letterGap
                                 : next == '/' ? k.wordGap
                                               : k.elementGap));
    }
    return out;
}

// "CQ DE W1AW TEST" with ' ' between letters and '/' between words.
const std::string kMorse = "-.-. --.-/-.. ./.-- .---- .- .--/- . ... -";

TimingEstimate estimateOf(const std::vector<KeyEvent>& runs, bool clean) {
    std::vector<float> marks;
    std::vector<float> gaps;
    for (const auto& e : runs)
        (e.mark ? marks : gaps).push_back(e.steps);
    TimingEstimate t;
    estimateTiming(marks.data(), static_cast<int>(marks.size()), gaps.data(),
                   static_cast<int>(gaps.size()), clean, t);
    return t;
}

std::string decodeRuns(const std::vector<KeyEvent>& runs, bool clean) {
    SenderTiming timing;
    timing.reset();
    for (const auto& e : runs)
        timing.observe(e, clean);
    DecoderSettings settings;
    settings.upperCase = true;
    std::string out;
    for (const auto& e : runs)
        timing.decode(e, settings, out);
    timing.gapProgress(1000.0f, settings, out);
    return out;
}

// The classes of plain, weighted, long-dashed, Farnsworth and hand keying are found from the
// runs alone, and the text assembled with them reads as sent.
TEST(DecoderStages, TimingClassesFromRunLengths) {
    struct Case {
        const char* name;
        Keying k;
        bool clean;
    };
    const Case cases[] = {
        {"plain", {}, true},
        {"weighting 1.4", {14, 34, 6, 26, 66, 0}, true},
        {"weighting 0.7", {7, 27, 13, 33, 73, 0}, true},
        {"dash 4.5", {10, 45, 10, 30, 70, 0}, true},
        {"Farnsworth", {10, 30, 10, 80, 190, 0}, true},
        {"hand keying", {10, 33, 11, 35, 80, 0.15f}, false},
        {"noise: short marks, long gaps", {7, 27, 13, 33, 73, 0.1f}, false},
    };
    for (const auto& c : cases) {
        const auto runs = keyRuns(kMorse, c.k, 3);
        const TimingEstimate t = estimateOf(runs, c.clean);
        EXPECT_TRUE(t.marksSplit) << c.name;
        EXPECT_NEAR(t.dot, c.k.dot, 0.2f * c.k.dot) << c.name;
        EXPECT_NEAR(t.dash, c.k.dash, 0.2f * c.k.dash) << c.name;
        EXPECT_NEAR(t.elementGap, c.k.elementGap, 0.25f * c.k.elementGap) << c.name;
        EXPECT_GT(t.letterThreshold(), c.k.elementGap * 1.2f) << c.name;
        EXPECT_LT(t.letterThreshold(), c.k.letterGap * 0.9f) << c.name;
        EXPECT_EQ(decodeRuns(runs, c.clean), "CQ DE W1AW TEST") << c.name;
    }
}

// A run the sequencer read carries its kind, and the text follows the kind rather than the run's
// length against the thresholds (a weak signal's short dash, long element gap and short word
// gap); a run of unknown kind goes by its length.
TEST(DecoderStages, TextFollowsTheKindOfARun) {
    TimingEstimate t;
    t.dot = 10;
    t.dash = 30;
    t.elementGap = 10;
    t.letterGap = 30;
    t.wordGap = 70;
    t.marksSplit = t.spacingKnown = true;
    DecoderSettings settings;
    settings.upperCase = true;
    auto read = [&](const std::vector<KeyEvent>& runs) {
        SenderTiming timing;
        timing.reset();
        timing.setEstimate(t);
        std::string out;
        for (const auto& e : runs)
            timing.decode(e, settings, out);
        return out;
    };
    const std::vector<KeyEvent> byLength = {{true, 16}, {false, 20}, {true, 9},  {false, 50},
                                            {true, 20}, {false, 40}, {true, 10}, {false, 80}};
    std::vector<KeyEvent> byKind = byLength;
    const RunKind kinds[] = {RunKind::Dash, RunKind::ElementGap, RunKind::Dot, RunKind::LetterGap,
                             RunKind::Dot,  RunKind::WordGap,    RunKind::Dot, RunKind::WordGap};
    for (size_t i = 0; i < byKind.size(); ++i)
        byKind[i].kind = kinds[i];
    EXPECT_EQ(read(byLength), "EE TE ");
    EXPECT_EQ(read(byKind), "NE E ");
}

// Runs shorter than the minimum belong to the run around them: a blip in a gap and a dip in a
// mark do not end it, and the lengths add up to the steps fed.
TEST(DecoderStages, RunCleanerAbsorbsShortRuns) {
    RunCleaner runs;
    runs.reset();
    runs.setMinimum(3, 3);
    // gap 10, mark 12 with a 2-step dip, gap 9 with a 1-step blip, mark 6, gap 5
    const std::string keys =
        std::string(10, '_') + "######__####" + "____#____" + "######" + "_____";
    std::vector<KeyEvent> events;
    for (const char c : keys) {
        KeyEvent e;
        if (runs.feed(c == '#', e)) events.push_back(e);
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_FALSE(events[0].mark);
    EXPECT_EQ(events[0].steps, 10.0f);
    EXPECT_TRUE(events[1].mark);
    EXPECT_EQ(events[1].steps, 12.0f);
    EXPECT_FALSE(events[2].mark);
    EXPECT_EQ(events[2].steps, 9.0f);
    EXPECT_TRUE(events[3].mark);
    EXPECT_EQ(events[3].steps, 6.0f);
    EXPECT_EQ(runs.gapSoFar(), 5);

    // The matched detector's minima differ (a dot's share for marks, an element gap's for gaps):
    // with a mark minimum of 2 and a gap minimum of 5, a 3-step dip stays inside its mark while a
    // 3-step blip in a gap is a mark of its own.
    runs.reset();
    runs.setMinimum(2, 5);
    events.clear();
    for (const char c : std::string(8, '_') + "#####___#####" + "______###______") {
        KeyEvent e;
        if (runs.feed(c == '#', e)) events.push_back(e);
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].steps, 13.0f);
    EXPECT_FALSE(events[2].mark);
    EXPECT_EQ(events[2].steps, 6.0f);
    EXPECT_TRUE(events[3].mark);
    EXPECT_EQ(events[3].steps, 3.0f);
}

// A tone burst in noise: the detector's mark level comes to the tone's amplitude, its space level
// stays at the noise, and it keys the burst about as long as it lasts; noise alone keys nothing.
TEST(DecoderStages, KeyDetectorOnAToneBurst) {
    constexpr double stepRate = 5512.5 / CwChannelDecoder::kStepSamples;
    constexpr float amplitude = 1000.0f;
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.25f * amplitude * 4.0f); // per 16-sample sum
    auto raw = [&](bool tone) {
        // A tone of amplitude A mixes to A/2 per sample, 8A over a step.
        const float signal = tone ? 8.0f * amplitude : 0.0f;
        return std::complex<float>(signal + noise(rng), noise(rng));
    };
    KeyDetector d;
    d.configure(5, stepRate);
    d.reset();
    int keyed = 0;
    for (int i = 0; i < 600; ++i)
        keyed += d.step(raw(false)) ? 1 : 0;
    EXPECT_EQ(keyed, 0);
    EXPECT_FALSE(d.squelchOpen());
    for (int burst = 0; burst < 6; ++burst) {
        keyed = 0;
        for (int i = 0; i < 40; ++i)
            keyed += d.step(raw(true)) ? 1 : 0;
        for (int i = 0; i < 40; ++i)
            keyed += d.step(raw(false)) ? 1 : 0;
    }
    EXPECT_NEAR(keyed, 40, 6);
    EXPECT_NEAR(d.markLevel(), amplitude, 0.25f * amplitude);
    EXPECT_LT(d.spaceLevel(), 0.2f * amplitude);
    EXPECT_TRUE(d.squelchOpen());

    // Seeded from the levels of kept steps (a run over them again), the detector decides from the
    // first amplitude: the first burst is keyed whole, without the triangle's warm-up. Seeded with
    // levels as close as noise holds them, the squelch stays closed.
    KeyDetector seeded;
    seeded.configure(5, stepRate);
    seeded.reset();
    seeded.seed(0.1f * amplitude, amplitude);
    EXPECT_TRUE(seeded.squelchOpen());
    keyed = 0;
    for (int i = 0; i < 40; ++i)
        keyed += seeded.decide(i < 20 ? amplitude : 0.05f * amplitude) ? 1 : 0;
    EXPECT_EQ(keyed, 20);
    seeded.restartLevels();
    seeded.seed(amplitude, 2.0f * amplitude);
    EXPECT_FALSE(seeded.squelchOpen());
    EXPECT_FALSE(seeded.decide(3.0f * amplitude));
}

// A channel decoder at 700 Hz fed narrowband audio: the tone, when keyed, or nothing, in noise
// 17 dB under the tone in 2,500 Hz.
struct ChannelPlayer {
    static constexpr double kRate = 5512.5;
    static constexpr double kPitch = 700.0;
    CwChannelDecoder decoder;
    DecoderSettings settings;
    std::mt19937 rng;
    std::normal_distribution<float> noise{0.0f, 300.0f};
    double phase = 0.0;
    std::string text;

    explicit ChannelPlayer(unsigned seed) : rng(seed) {
        decoder.configure(kRate);
        decoder.setPitch(kPitch);
    }
    void play(bool tone, float steps) {
        std::vector<float> block(static_cast<size_t>(steps) * CwChannelDecoder::kStepSamples);
        for (auto& x : block) {
            phase += 2.0 * M_PI * kPitch / kRate;
            x = (tone ? 3000.0f * static_cast<float>(std::sin(phase)) : 0.0f) + noise(rng);
        }
        decoder.process(block.data(), static_cast<int>(block.size()), settings, text);
    }
};

// The channel decoder on narrowband audio: it gathers until the sender's timing is known, decodes
// from the first character with it, forgets it once a pause of several seconds ends the over, and
// learns the next sender's timing afresh.
TEST(DecoderStages, ChannelDecoderLearnsEachOversTiming) {
    ChannelPlayer p(7);
    p.settings.upperCase = true;
    struct Over {
        Keying keying;
        double wpm;
    };
    const Over overs[] = {{{12, 36, 12, 36, 84, 0}, 1.2 / (12 / 344.53125)},
                          {{24, 72, 24, 72, 168, 0}, 1.2 / (24 / 344.53125)}};
    for (const auto& over : overs) {
        p.text.clear();
        p.play(false, 400);
        EXPECT_FALSE(p.decoder.timingKnown());
        for (const auto& e : keyRuns(kMorse, over.keying, 1))
            p.play(e.mark, e.steps);
        p.play(false, 2.0f * over.keying.wordGap);
        EXPECT_TRUE(p.decoder.timingKnown());
        EXPECT_NEAR(p.decoder.wpm(), over.wpm, 0.1 * over.wpm);
        EXPECT_NEAR(p.decoder.wordGapSeconds(), over.keying.wordGap / 344.53125,
                    0.25 * over.keying.wordGap / 344.53125);
        p.play(false, 1400); // 4 s
        EXPECT_FALSE(p.decoder.timingKnown());
        EXPECT_EQ(p.text, "CQ DE W1AW TEST ");
    }
}

// Two stray bursts 13 s apart in noise, the gate opening for a second at each (as a noise peak in
// the spectrum opens it): when the gathering hold runs out on them, no timing is settled on and
// nothing is written. A sender keys many more marks within the hold.
TEST(DecoderStages, ChannelDecoderSettlesOnNothingFromStrayMarks) {
    ChannelPlayer p(3);
    auto burst = [&](float steps) {
        p.decoder.setGate(true);
        p.play(false, 100);
        p.play(true, steps);
        p.play(false, 250);
        p.decoder.setGate(false);
    };
    p.decoder.setGate(false);
    p.play(false, 400);
    burst(12);
    p.play(false, 4500); // 13 s: the hold runs out
    burst(36);
    p.play(false, 700);
    EXPECT_FALSE(p.decoder.timingKnown());
    EXPECT_EQ(p.text, "");
}

// A keyed tone at +2 dB per step (about -6.5 dB in 2,500 Hz at 34 wpm), each element with a phase
// of its own: the sequencer's runs read as sent, but for a burst of noise now and then that keys
// a dot in a gap or joins two letters (four of the sixteen have one such error). With the gate
// closed the same steps make no mark.
TEST(DecoderStages, SequencerReadsAWeakSignal) {
    constexpr double stepRate = 5512.5 / CwChannelDecoder::kStepSamples;
    const Keying k;
    // The timing as the matched detector measures it: marks short and gaps long by its edges.
    TimingEstimate t;
    t.dot = k.dot - kEdgeSteps;
    t.dash = k.dash - kEdgeSteps;
    t.elementGap = k.elementGap + kEdgeSteps;
    t.letterGap = k.letterGap + kEdgeSteps;
    t.wordGap = k.wordGap + kEdgeSteps;
    constexpr float sigma = 1000.0f; // noise per component of a step
    constexpr float signal = 1.8f * sigma;
    constexpr int kSeeds = 16;
    for (const bool open : {true, false}) {
        int exact = 0;
        for (unsigned seed = 1; seed <= kSeeds; ++seed) {
            std::mt19937 rng(seed);
            std::normal_distribution<float> noise(0.0f, sigma);
            std::uniform_real_distribution<float> turn(0.0f, 2.0f * static_cast<float>(M_PI));
            KeySequencer s;
            s.setTiming(t, stepRate);
            const auto box = static_cast<float>(s.boxcarLength());
            s.reset(2.0f * sigma * sigma * box, signal * box);
            std::vector<KeyEvent> read;
            std::array<KeyEvent, KeySequencer::kMaxEvents> events{};
            auto keep = [&](int n) { read.insert(read.end(), events.begin(), events.begin() + n); };
            auto key = [&](bool mark, float steps) {
                const std::complex<float> tone = std::polar(mark ? signal : 0.0f, turn(rng));
                for (int i = 0; i < static_cast<int>(steps); ++i)
                    keep(s.step(tone + std::complex<float>(noise(rng), noise(rng)), open, mark,
                                events.data()));
            };
            key(false, 100.0f);
            for (const auto& e : keyRuns(kMorse, k, seed))
                key(e.mark, e.steps);
            key(false, 300.0f);
            keep(s.flush(events.data()));
            int marks = 0;
            for (const auto& e : read)
                marks += e.mark ? 1 : 0;
            if (open) {
                exact += decodeRuns(read, false) == "CQ DE W1AW TEST " ? 1 : 0;
            } else {
                EXPECT_EQ(marks, 0) << seed;
            }
        }
        if (open) {
            EXPECT_GE(exact, kSeeds * 3 / 4);
        }
    }
}

} // namespace
} // namespace dita
