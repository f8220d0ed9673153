// Stage tests of the receive chain: transforms, band-pass design, AFC, detector, engine.
#include "receive/ReceiveEngine.h"
#include "receive/chain/BandPassFilter.h"
#include "receive/chain/PowerSpectrum.h"
#include "receive/chain/RealTransform.h"
#include "receive/chain/ToneDetector.h"
#include "receive/enhanced/RunningMedian.h"
#include "receive/tests/CwSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace dita;

namespace {
constexpr double kNarrowRate = 5512.5;

std::vector<int32_t> tonePass(double hz, double amplitude, long offset = 0) {
    std::vector<int32_t> s(kPassFrames);
    for (int i = 0; i < kPassFrames; ++i) {
        s[i] = static_cast<int32_t>(
            std::lround(amplitude * std::sin(2 * M_PI * hz * (i + offset) / kSampleRateHz)));
    }
    return s;
}

// Output/input RMS of a steady tone through the band-pass (after the filters settle).
double passGain(BandPassFilter& f, double hz) {
    f.reset();
    std::vector<float> block(kNarrowbandBlock);
    double in = 0, out = 0;
    for (int b = 0; b < 6; ++b) {
        for (int i = 0; i < kNarrowbandBlock; ++i) {
            block[i] = static_cast<float>(
                1000.0 * std::sin(2 * M_PI * hz * (b * kNarrowbandBlock + i) / kNarrowRate));
        }
        if (b >= 3)
            for (float v : block)
                in += v * v;
        f.process(block.data());
        if (b >= 3)
            for (float v : block)
                out += v * v;
    }
    return std::sqrt(out / in);
}
} // namespace

TEST(RealTransform, MatchesTheDefinitionAndInvertsExactly) {
    constexpr int n = 64;
    RealTransform t;
    t.configure(n);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> x(n), re(n / 2), im(n / 2), back(n);
    for (auto& v : x)
        v = u(rng);
    t.forward(x.data(), nullptr, re.data(), im.data());
    for (int k = 0; k < n / 2; ++k) {
        double r = 0, i = 0;
        for (int j = 0; j < n; ++j) {
            r += x[j] * std::cos(2 * M_PI * k * j / n);
            i -= x[j] * std::sin(2 * M_PI * k * j / n);
        }
        EXPECT_NEAR(re[k], r, 1e-4);
        EXPECT_NEAR(im[k], i, 1e-4);
    }
    // Remove the half-rate component, which the N/2 bins cannot carry, and invert.
    double nyquist = 0;
    for (int j = 0; j < n; ++j)
        nyquist += x[j] * (j % 2 ? -1.0 : 1.0) / n;
    for (int j = 0; j < n; ++j)
        x[j] -= static_cast<float>(nyquist * (j % 2 ? -1.0 : 1.0));
    t.forward(x.data(), nullptr, re.data(), im.data());
    t.inverse(re.data(), im.data(), back.data());
    for (int j = 0; j < n; ++j)
        EXPECT_NEAR(back[j], x[j], 1e-5);
}

// The capture's median: the very element nth_element selects, row after row, whether the level
// creeps, jumps by 30 dB either way, or the row holds ties, zeros, infinities or not-a-number.
TEST(RunningMedian, SelectsWhatNthElementSelectsOverChangingRows) {
    std::mt19937 rng(5);
    std::exponential_distribution<float> noise(1.0f);
    std::normal_distribution<double> creep(0.0, 0.05);
    RunningMedian median;
    std::vector<float> row(470);
    std::vector<float> sorted(470);
    std::vector<float> scratch(470);
    double level = 1e4;
    for (int pass = 0; pass < 20000; ++pass) {
        const int n = pass % 7 == 0 ? 3 + static_cast<int>(rng() % 468) : 470;
        const int kind = static_cast<int>(rng() % 25);
        level *= kind == 0 ? 1000.0 : kind == 1 ? 1e-3 : std::exp(creep(rng));
        level = std::clamp(level, 1e-3, 1e12);
        for (int i = 0; i < n; ++i)
            row[i] = static_cast<float>(level) * noise(rng);
        if (kind == 2)
            for (int i = 0; i < n; ++i)
                row[i] = std::round(row[i] / static_cast<float>(level)) * static_cast<float>(level);
        if (kind == 3) std::fill(row.begin(), row.begin() + n, 0.0f);
        if (kind == 4) row[rng() % n] = std::numeric_limits<float>::quiet_NaN();
        if (kind == 5) row[rng() % n] = std::numeric_limits<float>::infinity();
        std::copy(row.begin(), row.begin() + n, sorted.begin());
        std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.begin() + n);
        const float want = sorted[static_cast<size_t>(n / 2)];
        const float got = median.update(row.data(), n, scratch.data());
        ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want)))
            << "pass " << pass << " kind " << kind << ": " << got << " instead of " << want;
    }
}

TEST(BandPassFilter, Bin100At30WpmPassesAbout500To560Hz) {
    const float centre = filterCentreForBin(100);
    const float hw = passHalfWidth(1, 30);
    EXPECT_NEAR(centre, 0.048073, 1e-6);
    EXPECT_NEAR(centre - hw, 0.045373, 1e-6);
    EXPECT_NEAR(centre + hw, 0.050773, 1e-6);
    BandPassFilter f;
    f.design(centre - hw, centre + hw);
    EXPECT_GT(passGain(f, 530), 0.7);
    EXPECT_GT(passGain(f, 505), 0.3);
    EXPECT_LT(passGain(f, 460), 0.05);
    EXPECT_LT(passGain(f, 610), 0.05);
    EXPECT_LT(passGain(f, 266), 0.01); // half the tone frequency stays out
}

TEST(BandPassFilter, WidthFollowsTheSpeedModes) {
    EXPECT_FLOAT_EQ(passHalfWidth(1, 20), 0.0018f);
    EXPECT_FLOAT_EQ(passHalfWidth(1, 5), 0.0027f); // outside 6..110: the 30 wpm width
    EXPECT_FLOAT_EQ(passHalfWidth(1, 200), 0.0027f);
    EXPECT_FLOAT_EQ(passHalfWidth(2, 51), 0.01f);
    EXPECT_NEAR(passHalfWidth(2, 60), 0.013f, 1e-7);
    EXPECT_FLOAT_EQ(passHalfWidth(2, 200), 0.02f);
    EXPECT_FLOAT_EQ(passHalfWidth(9, 80), 0.0018f); // locked 20 wpm ignores the estimate
    EXPECT_NEAR(resetHalfWidth(1), 0.0016f * 0.85f, 1e-7);
    EXPECT_NEAR(resetHalfWidth(3), 0.0052f * 1.1f, 1e-7);
    EXPECT_FLOAT_EQ(resetHalfWidth(2), 0.007f);
}

TEST(BandPassFilter, LowPassHasUnitSumAlsoAtAZeroCutoff) {
    for (float cutoff : {0.5f, 0.0f, -0.01f}) {
        std::vector<float> taps(33);
        designLowPass(32, cutoff, taps.data());
        double sum = 0;
        for (float t : taps) {
            ASSERT_TRUE(std::isfinite(t)) << "cutoff " << cutoff;
            sum += t;
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << "cutoff " << cutoff;
    }
    // A band whose lower edge is exactly 0 filters a tone to finite samples.
    BandPassFilter filter;
    filter.design(0.0f, 0.02f);
    for (float tap : filter.kernel())
        ASSERT_TRUE(std::isfinite(tap));
    std::array<float, kNarrowbandBlock> block{};
    for (int i = 0; i < kNarrowbandBlock; ++i)
        block[i] = std::sin(0.05f * float(i));
    filter.process(block.data());
    for (float x : block)
        ASSERT_TRUE(std::isfinite(x));
    EXPECT_TRUE(std::isfinite(filter.responseRe(10)));
}

TEST(Afc, MovesFifteenBinsButNeverTakesATwentyBinTone) {
    Afc afc;
    afc.setSettings(afcSettingsForMode(1));
    PowerSpectrum p{};
    p.fill(1.0f);
    int tuned = 100;
    p[115] = 1000.0f;
    EXPECT_TRUE(afc.update(p, tuned, 20, false)); // more than 2 bins: S restarts from N
    EXPECT_EQ(tuned, 115);

    Afc far;
    far.setSettings(afcSettingsForMode(1));
    PowerSpectrum q{};
    q.fill(1.0f);
    int tunedFar = 100;
    for (int pass = 0; pass < 5; ++pass) {
        q[120] = q[80] = 1e6f; // 20 bins above and below
        far.update(q, tunedFar, 20, false);
        EXPECT_EQ(tunedFar, 100);
    }
}

TEST(Afc, HoldTimerStopsFollowingAfter301Passes) {
    Afc afc;
    AfcSettings s = afcSettingsForMode(1);
    s.holdTimer = true;
    afc.setSettings(s);
    PowerSpectrum p{};
    int tuned = 100;
    for (int pass = 1; pass <= 301; ++pass) {
        p.fill(1.0f);
        p[pass % 2 ? 101 : 100] = 1e9f * pass; // a tone that keeps moving by one bin
        afc.update(p, tuned, 20, false);
    }
    EXPECT_FALSE(afc.held());
    const int before = tuned;
    p.fill(1.0f);
    p[before == 100 ? 101 : 100] = 1e15f;
    afc.update(p, tuned, 20, false);
    EXPECT_TRUE(afc.held());
    EXPECT_EQ(tuned, before);
    afc.clearHold();
    afc.update(p, tuned, 20, false);
    EXPECT_NE(tuned, before);

    // A click or a speed choice between pass 301 and 302, when the hold is already due, must
    // still release the AFC: it follows again and holds only after another 301 passes.
    Afc due;
    due.setSettings(s);
    int dueTuned = 100;
    for (int pass = 1; pass <= 301; ++pass) {
        p.fill(1.0f);
        due.update(p, dueTuned, 20, false);
    }
    due.clearHold();
    p.fill(1.0f);
    p[110] = 1e30f;
    due.update(p, dueTuned, 20, false);
    EXPECT_FALSE(due.held());
    EXPECT_EQ(dueTuned, 110);
    p.fill(1.0f);
    for (int pass = 2; pass <= 301; ++pass)
        due.update(p, dueTuned, 20, false);
    EXPECT_FALSE(due.held());
    due.update(p, dueTuned, 20, false);
    EXPECT_TRUE(due.held());
}

TEST(SpikeRemoval, OneStepSpikeGoesAtTwentyWpmButADotStays) {
    std::array<float, 128> h{};
    h[70] = 1.0f; // a 2.9 ms spike
    for (int j = 90; j < 110; ++j)
        h[j] = 1.0f; // a 20 wpm dot (60 units)
    removeShortRuns(h, 20, 60, false);
    EXPECT_EQ(h[70], 0.0f);
    for (int j = 90; j < 110; ++j)
        EXPECT_EQ(h[j], 1.0f);

    std::array<float, 128> fast{};
    fast[70] = 1.0f;
    removeShortRuns(fast, 51, 60, false); // no removal from 51 wpm on
    EXPECT_EQ(fast[70], 1.0f);
    std::array<float, 128> acquiring{};
    acquiring[70] = 1.0f;
    removeShortRuns(acquiring, 20, 60, true);
    EXPECT_EQ(acquiring[70], 1.0f);
}

TEST(DisplayScaling, GainTableWaterfallColoursAndFlatTrace) {
    EXPECT_DOUBLE_EQ(displayGainFactor(18), 0.02);
    EXPECT_DOUBLE_EQ(displayGainFactor(10), 2e-6);
    EXPECT_EQ(waterfallColour(0), 0x000000u);
    EXPECT_EQ(waterfallColour(2), 0x808080u);
    EXPECT_EQ(waterfallColour(91), 0xFFFF00u);
    EXPECT_EQ(waterfallColour(120), 0xFFFFFFu);
    DisplayScaler scaler;
    scaler.setGainPosition(10);
    PowerSpectrum p{};
    std::array<int16_t, DisplayScaler::kLineBins + 1> heights{};
    scaler.line(p, 0.0f, heights.data());
    EXPECT_EQ(heights[1], DisplayScaler::kFlatHeight);
    EXPECT_EQ(heights[422], DisplayScaler::kFlatHeight);
    p.fill(std::numeric_limits<float>::infinity());
    scaler.line(p, 0.0f, heights.data());
    EXPECT_EQ(heights[5], DisplayScaler::kBaseline);
    std::array<uint32_t, DisplayScaler::kWaterfallBins + 1> row{};
    PowerSpectrum strong{};
    strong[200] = 1e30f;
    scaler.waterfall(strong, row.data());
    EXPECT_EQ(row[200], 0xFFFFFFu);
    EXPECT_EQ(row[100], 0x000000u);
}

TEST(ReceiveEngine, MarkerShows532ForBin100AndAClickRetunes) {
    ReceiveEngine engine;
    const auto silence = std::vector<int32_t>(kPassFrames, 0);
    EXPECT_EQ(engine.processPass(silence.data()).markerHz, 532);
    engine.post(ReceiveCommand::tuneToBin(200));
    const PassResult& r = engine.processPass(silence.data());
    EXPECT_EQ(r.tunedBin, 200);
    EXPECT_EQ(r.markerHz, static_cast<int>(199 * 5.38330078125));
    engine.post(ReceiveCommand::tuneToBin(900));
    EXPECT_EQ(engine.processPass(silence.data()).tunedBin, kMaxClickBin);
}

TEST(ReceiveEngine, RawSnrIsShownOnlyInReceiveOnlyModeAboveBin25) {
    ReceiveEngine engine;
    const auto tone = tonePass(600, 8000);
    engine.post(ReceiveCommand::tuneToBin(112));
    EXPECT_TRUE(engine.processPass(tone.data()).rawSnrShown);
    engine.post(ReceiveCommand::screenOpMode(setting::ScreenOpMode::TransmitReceive));
    EXPECT_FALSE(engine.processPass(tone.data()).rawSnrShown);
    engine.post(ReceiveCommand::screenOpMode(setting::ScreenOpMode::ReceiveOnly));
    engine.post(ReceiveCommand::tuneToBin(20));
    EXPECT_FALSE(engine.processPass(tone.data()).rawSnrShown);
    EXPECT_GT(engine.levels().rawSnr, -1000);
}

TEST(ReceiveEngine, LongSilenceThenAToneDecodesAgain) {
    ReceiveEngine engine;
    engine.post(ReceiveCommand::tuneToBin(112));
    test::CwSignal s;
    const auto first = test::synthesize("VVV VVV PARIS PARIS", s);
    std::vector<int32_t> audio = first;
    audio.insert(audio.end(), 44100 * 20, 0); // 20 seconds of silence: far past the idle limit
    const auto second = test::synthesize("TEST TEST", s);
    audio.insert(audio.end(), second.begin(), second.end());
    audio.insert(audio.end(), 44100 * 2, 0);
    std::string text;
    for (size_t i = 0; i + kPassFrames <= audio.size(); i += kPassFrames)
        text += engine.processPass(&audio[i]).text;
    EXPECT_NE(text.find("paris paris"), std::string::npos) << text;
    EXPECT_NE(text.find("test test"), std::string::npos) << text;
}

TEST(ReceiveEngine, SurvivesSilenceNoiseClippingAndASteadyCarrier) {
    ReceiveEngine engine;
    engine.post(ReceiveCommand::tuneToBin(112));
    engine.post(ReceiveCommand::noiseFilter(setting::Switch3::On));
    engine.post(ReceiveCommand::afcMode(setting::AfcWidth::Wide));
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::vector<int32_t> pass(kPassFrames);
    size_t textBytes = 0;
    for (int n = 0; n < 400; ++n) {
        const int kind = (n / 50) % 4;
        for (int i = 0; i < kPassFrames; ++i) {
            const long t = static_cast<long>(n) * kPassFrames + i;
            switch (kind) {
            case 0:
                pass[i] = 0;
                break; // silence
            case 1:
                pass[i] = full(rng);
                break; // full-scale noise
            case 2:
                pass[i] = (t / 37) % 2 ? 32767 : -32768;
                break; // clipped square
            default:
                pass[i] = static_cast<int32_t>(30000 * std::sin(2 * M_PI * 600.0 * t / 44100));
                break;
            }
        }
        const PassResult& r = engine.processPass(pass.data());
        textBytes += r.text.size();
        const ReceiveLevels lv = engine.levels();
        ASSERT_TRUE(std::isfinite(lv.signal) && std::isfinite(lv.noise) &&
                    std::isfinite(lv.threshold))
            << n;
        ASSERT_TRUE(std::isfinite(r.signalBarValue));
        ASSERT_GE(r.receiveWpm, 0);
        ASSERT_LE(r.receiveWpm, 100);
        ASSERT_GE(r.tunedBin, 1);
        ASSERT_LE(r.tunedBin, 2048);
    }
    EXPECT_LT(textBytes, 400u * 64u);
}
