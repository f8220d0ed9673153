#include "TransmitFakes.h"

#include "transmit/Keyer.h"
#include "transmit/KeyingPort.h"
#include "transmit/MorseCode.h"
#include "transmit/ToneOutput.h"
#include "transmit/WavToneDevice.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace dita;
using namespace dita::test;

namespace {

struct ToneFixture {
    RecordingToneDevice device;
    FakeClock clock;
    std::vector<Message> messages;
    int shutdowns = 0;
    // Each stall report, with the device restarts made by then.
    std::vector<std::pair<bool, int>> stalls;
    ToneOutput output{device, recordMessages(messages), [this] { ++shutdowns; }, clock,
                      [this](bool stalled) { stalls.emplace_back(stalled, device.restarts); }};
};

std::vector<uint8_t> envelopeOf(std::string_view text, int wpm, bool sidetone = true) {
    EnvelopeBuilder b(ComputeSendTiming(wpm), beaconCarrierFor(1), sidetone);
    std::vector<uint8_t> env;
    for (unsigned char c : text)
        b.appendRow(sendRow(soundCardTextCode(c)), env);
    return env;
}

// Frequency from the count of rising zero crossings over a stretch of steady tone.
double crossingFrequency(const std::vector<int16_t>& s, size_t from, size_t to) {
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * 44100.0 / static_cast<double>(last - first);
}

// A 750 Hz tone at 15000 that ends in a fall, never a step: no two neighbouring samples (nor
// the last one and the silence after it) differ by more than a full-level sine's largest step,
// and over the last edge (221 samples) the tone falls from nearly full level to near silence.
void expectEndsInAFall(const std::vector<int16_t>& s) {
    constexpr size_t kEdge = 221;
    ASSERT_GT(s.size(), 2 * kEdge);
    const double largestStep = 15000.0 * 6.2832 * 750.0 / 44100.0 * 1.05;
    int worst = 0;
    size_t at = 0;
    for (size_t i = 1; i <= s.size(); ++i) {
        const int step = std::abs((i < s.size() ? s[i] : 0) - s[i - 1]);
        if (step > worst) {
            worst = step;
            at = i;
        }
    }
    EXPECT_LE(worst, largestStep) << "a step at sample " << at << " of " << s.size();
    auto peak = [&](size_t from, size_t to) {
        int p = 0;
        for (size_t i = from; i < to; ++i)
            p = std::max(p, std::abs(static_cast<int>(s[i])));
        return p;
    };
    EXPECT_GT(peak(s.size() - kEdge, s.size() - kEdge + 60), 11000); // sounding as the fall began
    EXPECT_LT(peak(s.size() - 30, s.size()), 900);                   // all but silent at its end
}

} // namespace

TEST(PlayEnvelope, LetterEAt20WpmPlaysInBlocksOf4096_4096And1312) {
    ToneFixture f;
    const auto env = envelopeOf("E", 20);
    ToneSettings tone;
    ASSERT_TRUE(f.output.PlayEnvelope(env.data(), env.size(), tone));
    ASSERT_EQ(f.device.blocks.size(), 3u);
    EXPECT_EQ(f.device.blocks[0].samples.size(), 4096u);
    EXPECT_EQ(f.device.blocks[1].samples.size(), 4096u);
    EXPECT_EQ(f.device.blocks[2].samples.size(), 1312u);
    EXPECT_EQ(f.device.blocks[0].which, ToneBlock::A);
    EXPECT_EQ(f.device.blocks[1].which, ToneBlock::B);
    EXPECT_EQ(f.device.blocks[2].which, ToneBlock::A);
    const auto s = f.device.allSamples();
    const auto lastTone = std::find_if(s.rbegin(), s.rend(), [](int16_t v) { return v != 0; });
    const size_t toneEnd = s.size() - (lastTone - s.rbegin());
    EXPECT_LE(toneEnd, 2376u);
    EXPECT_GT(toneEnd, 2370u);
    EXPECT_NEAR(crossingFrequency(s, 0, 2376), 750.0, 2.0);
    EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 15000, 3); // truncated sine peak
    EXPECT_NEAR(*std::min_element(s.begin(), s.end()), -15000, 3);
    EXPECT_EQ(f.device.resets, 1); // the device is reset first
    EXPECT_EQ(f.device.calls.front(), "reset");
    EXPECT_TRUE(f.messages.empty());
}

TEST(PlayEnvelope, TwoBlocksAreQueuedBeforeTheEarlierOneIsWaitedFor) {
    ToneFixture f;
    const auto env = envelopeOf("E", 20);
    f.output.PlayEnvelope(env.data(), env.size(), ToneSettings{});
    const std::vector<std::string> expected = {
        "reset",    "prepareA", "writeA",   "prepareB",   "writeB",   "position",  "unprepareA",
        "prepareA", "writeA",   "position", "unprepareB", "position", "unprepareA"};
    EXPECT_EQ(f.device.calls, expected);
}

TEST(PlayEnvelope, SquareWaveIsPlusOrMinus15000AndSidetoneOffIsSilentWithTheSameLength) {
    ToneFixture f;
    const auto env = envelopeOf("T", 20);
    ToneSettings tone;
    tone.SidetoneWaveform = kSquareWave;
    tone.RampMs = 0.0f; // hard keying: every tone sample at full level
    f.output.PlayEnvelope(env.data(), env.size(), tone);
    const auto square = f.device.allSamples();
    for (size_t i = 0; i < 7128; ++i) {
        ASSERT_TRUE(square[i] == 15000 || square[i] == -15000) << i << " " << square[i];
    }
    EXPECT_NEAR(crossingFrequency(square, 0, 7128), 750.0, 2.0);

    ToneFixture quiet;
    const auto silent = envelopeOf("T", 20, false);
    quiet.output.PlayEnvelope(silent.data(), silent.size(), tone);
    const auto q = quiet.device.allSamples();
    EXPECT_EQ(q.size(), square.size());
    EXPECT_TRUE(std::all_of(q.begin(), q.end(), [](int16_t v) { return v == 0; }));
}

namespace {

// Power of s at hz (one DFT term over the whole signal, which starts and ends in silence).
double powerAt(const std::vector<int16_t>& s, double hz) {
    const double w = 2.0 * 3.14159265358979323846 * hz / 44100.0;
    double re = 0.0, im = 0.0;
    for (size_t n = 0; n < s.size(); ++n) {
        re += s[n] * std::cos(w * static_cast<double>(n));
        im -= s[n] * std::sin(w * static_cast<double>(n));
    }
    return re * re + im * im;
}

// Mean power from 900 to 1100 Hz beside the 750 Hz carrier, in dB below the carrier's.
double keyClickDb(const std::vector<int16_t>& s) {
    double sum = 0.0;
    int terms = 0;
    for (double hz = 750.0 + 900.0; hz <= 750.0 + 1100.0; hz += 5.0, ++terms)
        sum += powerAt(s, hz);
    return 10.0 * std::log10(powerAt(s, 750.0) / (sum / terms));
}

} // namespace

TEST(PlayEnvelope, EdgesRiseAndFallInsideEachElementAndTakeTheKeyClicksDown) {
    const auto env = envelopeOf("EIEIEIEIEI", 20);
    auto play = [&](float rampMs) {
        ToneFixture f;
        ToneSettings tone;
        tone.RampMs = rampMs;
        EXPECT_TRUE(f.output.PlayEnvelope(env.data(), env.size(), tone));
        return f.device.allSamples();
    };
    const auto hard = play(0.0f);
    const auto shaped = play(kDefaultToneRampMs);
    ASSERT_EQ(shaped.size(), hard.size());
    // Inside the element: nothing sounds where hard keying is silent, and between the edges
    // (221 samples each) every sample is the hard-keyed one.
    const size_t dot = 2376, edge = 221;
    for (size_t i = 0; i < hard.size(); ++i) {
        if (hard[i] == 0) {
            ASSERT_EQ(shaped[i], 0) << i;
        }
    }
    for (size_t i = edge; i < dot - edge; ++i)
        ASSERT_EQ(shaped[i], hard[i]) << i;
    EXPECT_LT(std::abs(shaped[0]), 10);
    EXPECT_LT(std::abs(shaped[dot - 1]), 10);
    const double hardDb = keyClickDb(hard), shapedDb = keyClickDb(shaped);
    std::printf("key clicks 1 kHz from the carrier: hard %.1f dB, shaped %.1f dB below it\n",
                hardDb, shapedDb);
    EXPECT_GE(shapedDb - hardDb, 40.0);
}

TEST(PlayCarrier, TheTuneCarrierRisesHoldsAndFallsWhenReleased) {
    ToneFixture f;
    std::atomic<bool> release{false};
    f.device.onWrite = [&] {
        if (f.device.blocks.size() == 3) release = true;
    };
    ToneSettings tone;
    ASSERT_TRUE(f.output.PlayCarrier(tone, release));
    const auto s = f.device.allSamples();
    ASSERT_EQ(s.size(), 3u * 4096u + 221u); // three blocks of tone, then the fall
    EXPECT_LT(std::abs(s.front()), 10);
    EXPECT_LT(std::abs(s.back()), 10);
    const auto steady = std::minmax_element(s.begin() + 221, s.begin() + 3 * 4096);
    EXPECT_NEAR(*steady.first, -15000, 3);
    EXPECT_NEAR(*steady.second, 15000, 3);
    EXPECT_NEAR(crossingFrequency(s, 0, s.size()), 750.0, 2.0);
    expectEndsInAFall(s);
}

TEST(PlayEnvelope, EachFrequencyIsProduced) {
    for (float hz : kSidetoneFrequenciesHz) {
        ToneFixture f;
        std::vector<uint8_t> env(44100, 1);
        ToneSettings tone;
        tone.SidetoneFreq = hz;
        f.output.PlayEnvelope(env.data(), env.size(), tone);
        EXPECT_NEAR(crossingFrequency(f.device.allSamples(), 0, 44100), hz, 1.0) << hz;
    }
}

TEST(PlayEnvelope, AStalledBlockIsAbandonedAfter375MsAndPlaybackGoesOn) {
    ToneFixture f;
    f.device.stallBlockIndex = 0;
    std::vector<uint8_t> env(3 * 4096, 1);
    ASSERT_TRUE(f.output.PlayEnvelope(env.data(), env.size(), ToneSettings{}));
    EXPECT_EQ(f.device.blocks.size(), 3u);
    EXPECT_EQ(f.device.resets, 2);
    EXPECT_EQ(f.device.restarts, 1);
    EXPECT_GE(f.clock.ms(), 375.0);
    EXPECT_LT(f.clock.ms(), 400.0);
    // The receive side pauses once per abandoned block, until the output has restarted.
    EXPECT_EQ(f.stalls, (std::vector<std::pair<bool, int>>{{true, 0}, {false, 1}}));
    EXPECT_TRUE(f.messages.empty());
}

TEST(ToneOutputFailures, EveryFailingCallShowsItsMessageAndShutsDown) {
    const std::pair<const char*, const char*> cases[] = {
        {"formatSupported", "Could not handle the output WAVE format"},
        {"open", "Error Opening Output wave device"},
        {"setVolume", "Error setting the output volume"},
        {"reset", "Error Resetting the output wave device"},
        {"prepareA", "Error preparing the output header_a"},
        {"prepareB", "Error preparing the output header_b"},
        {"writeA", "Error writing to the output device a"},
        {"writeB", "Error writing to the output device b"},
        {"position", "Error getting the output byte position"},
        {"unprepareA", "Error unpreparing the Output Header a"},
        {"unprepareB", "Error unpreparing the Output Header b"},
        {"restart", "Error starting the output wave device"},
    };
    for (const auto& [op, text] : cases) {
        SCOPED_TRACE(op);
        ToneFixture f;
        f.device.failOn = op;
        std::vector<uint8_t> env(3 * 4096, 1);
        if (std::string(op) == "restart") f.device.stallBlockIndex = 0;
        bool ok = f.output.openIfInputExists(1);
        if (ok) ok = f.output.PlayEnvelope(env.data(), env.size(), ToneSettings{});
        EXPECT_FALSE(ok);
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_EQ(f.messages[0].text, text);
        EXPECT_EQ(f.messages[0].caption, "Wave Device Message");
        EXPECT_EQ(f.shutdowns, 1);
    }
}

TEST(ToneOutputOpen, NothingOpensWithoutASoundInputDevice) {
    ToneFixture f;
    EXPECT_FALSE(f.output.openIfInputExists(0));
    EXPECT_TRUE(f.device.calls.empty());
    EXPECT_FALSE(f.output.isOpen());
    EXPECT_TRUE(f.output.openIfInputExists(2));
    EXPECT_TRUE(f.output.isOpen());
}

TEST(ToneKeyer, LongTextIsSplitIntoBatchesAtCharacterBoundaries) {
    ToneFixture f;
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(10));
    ToneKeyer keyer(f.output, timing);
    ToneSettings tone;
    tone.SidetoneOn = true;
    keyer.setTone(tone);
    // "0" at 10 wpm: 5 dashes + gaps + char space = 5*(14388+4796)+9592 = 105,512 samples.
    const std::string text(11, '0');
    std::atomic<bool> stop{false};
    ASSERT_TRUE(keyer.sendText(text, stop));
    EXPECT_EQ(f.device.resets, 2); // two batches, each starting with a reset
    const size_t total = f.device.allSamples().size();
    EXPECT_EQ(total, 11u * 105512u);
    // The first batch holds 9 whole characters (949,608 samples): its blocks end there.
    size_t firstBatch = 0;
    for (size_t i = 0; i < f.device.calls.size(); ++i) {
        if (f.device.calls[i] == "reset" && i > 0) break;
        if (f.device.calls[i] == "writeA" || f.device.calls[i] == "writeB") ++firstBatch;
    }
    EXPECT_EQ(firstBatch, (9u * 105512u + 4095u) / 4096u);

    ToneFixture stopped;
    ToneKeyer keyer2(stopped.output, timing);
    stop = true;
    EXPECT_FALSE(keyer2.sendText(text, stop));
    EXPECT_TRUE(stopped.device.blocks.empty());
}

TEST(ToneKeyer, TypedAltDigitsSendNothingAndCarrierNeedsTheTextPath) {
    ToneFixture f;
    SendTimingStore timing;
    ToneKeyer keyer(f.output, timing);
    for (int key = '1'; key <= '6'; ++key) {
        EXPECT_FALSE(keyer.sendTypedCode(translateTypedKey(key, {false, false, true}, false).code));
    }
    EXPECT_TRUE(f.device.calls.empty());
    EXPECT_TRUE(keyer.sendTypedCode('E'));
    EXPECT_EQ(f.device.allSamples().size(), 9504u);
}

TEST(WavToneDevice, WritesA44100HzMono16BitFileOfThePlayedSamples) {
    const auto path = std::filesystem::temp_directory_path() / "dita-wav-device-test.wav";
    {
        WavToneDevice device(path.string());
        FakeClock clock;
        ToneOutput output(device, {}, {}, clock);
        ASSERT_TRUE(output.openIfInputExists(1));
        const auto env = envelopeOf("E", 20);
        ASSERT_TRUE(output.PlayEnvelope(env.data(), env.size(), ToneSettings{}));
        ASSERT_TRUE(device.close());
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.frames, 9504);
    std::vector<short> s(info.frames);
    sf_read_short(f, s.data(), info.frames);
    sf_close(f);
    EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 15000, 3);
    EXPECT_EQ(s[2376], 0);
    std::filesystem::remove(path);

    WavToneDevice bad("/nonexistent-dir/x.wav");
    EXPECT_FALSE(bad.open());
    EXPECT_NE(bad.lastError().find("/nonexistent-dir/x.wav"), std::string::npos);
}

TEST(PlayEnvelope, AStopEndsAfterTheQueuedBlockWithAFallingEdge) {
    ToneFixture f;
    const auto env = envelopeOf("````", 20); // four beacon carriers of a second each
    std::atomic<bool> stop{false};
    f.device.onWrite = [&] {
        if (f.device.blocks.size() == 3) stop = true; // the operator stops during block 3
    };
    EXPECT_FALSE(f.output.PlayEnvelope(env.data(), env.size(), ToneSettings{}, &stop));
    const auto s = f.device.allSamples();
    EXPECT_EQ(s.size(), 3u * 4096u + 221u); // the queued block, then the carrier's fall
    expectEndsInAFall(s);
}

// A logger's text on the sound card: a stop lets the character being sounded end, as on the
// serial lines, instead of cutting it at the next block; a carrier (tune) stops at once, with
// its falling edge.
TEST(ToneKeyer, AStopOfStepsEndsWithTheCharacterBeingSoundedAndACarrierAtOnce) {
    ToneFixture f;
    SendTimingStore timing;
    ToneKeyer keyer(f.output, timing);
    ToneSettings tone;
    tone.SidetoneOn = true;
    keyer.setTone(tone);
    constexpr std::chrono::microseconds kUnit{60'000}; // 20 wpm
    constexpr std::size_t kUnitSamples = 2646;
    // C: -.-. is 12 units with its element gaps, then 2 more: 14 units a character.
    const std::vector<KeyingStep> letters(20, KeyingStep{"-.-.", kUnit, {}, 2 * kUnit});
    std::atomic<bool> stop{false};
    f.device.onWrite = [&] {
        if (f.device.blocks.size() == 3) stop = true; // during the first C
    };
    EXPECT_FALSE(keyer.keySteps(letters, stop, PttHang{0}));
    // C ends with its last element (11 units): a stop keys no silence after it.
    EXPECT_EQ(f.device.allSamples().size(), 11 * kUnitSamples);

    f.device.blocks.clear();
    stop = false;
    f.device.onWrite = [&] {
        if (f.device.blocks.size() == 3) stop = true;
    };
    const std::vector<KeyingStep> tune{KeyingStep{"", {}, std::chrono::seconds(6), {}}};
    EXPECT_FALSE(keyer.keySteps(tune, stop, PttHang{0}));
    // Of 6 s: the queued block, on to the next 10 ms slice end (441 samples each), then the fall.
    const auto s = f.device.allSamples();
    EXPECT_EQ(s.size(), 28u * 441u + 221u);
    expectEndsInAFall(s);
}
