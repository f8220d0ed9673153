#include "DecodeOptions.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace dita;

TEST(DecodeOptions, ParsesReceiveSettingsInOrderAndRejectsUnknownValues) {
    const char* argv[] = {"dita-decode", "--threshold", "quiet", "--speed", "50+",
                          "--channel",   "right",       "a.wav", "b.flac"};
    DecodeOptions o;
    std::string error;
    ASSERT_TRUE(parseDecodeOptions(9, const_cast<char**>(argv), o, error)) << error;
    ASSERT_EQ(o.commands.size(), 2u);
    EXPECT_EQ(o.commands[0], ReceiveCommand::thresholdMode(setting::ThresholdMode::Quiet));
    EXPECT_EQ(o.commands[1], ReceiveCommand::receiveSpeedMode(setting::RxSpeedLock::FiftyPlus));
    EXPECT_EQ(o.channel, InputChannel::Right);
    EXPECT_EQ(o.files.size(), 2u);

    const char* bad[] = {"dita-decode", "--afc", "sideways", "a.wav"};
    DecodeOptions b;
    EXPECT_FALSE(parseDecodeOptions(4, const_cast<char**>(bad), b, error));
    EXPECT_NE(error.find("--afc"), std::string::npos);
    const char* none[] = {"dita-decode", "--stats"};
    DecodeOptions n;
    EXPECT_FALSE(parseDecodeOptions(2, const_cast<char**>(none), n, error));

    // -j N, -jN and --jobs N; digits only: not zero, not a word, no sign or spaces.
    EXPECT_EQ(o.jobs, 0);
    for (const char* form : {"-j", "--jobs"}) {
        const char* jobs[] = {"dita-decode", form, "3", "a.wav"};
        DecodeOptions j;
        ASSERT_TRUE(parseDecodeOptions(4, const_cast<char**>(jobs), j, error)) << error;
        EXPECT_EQ(j.jobs, 3);
        EXPECT_EQ(j.files.size(), 1u);
    }
    for (const char* badJobs : {"-j0", "-jx", "-j-2", "-j3000", "-j 2", "-j+2", "-j2 "}) {
        const char* jobs[] = {"dita-decode", badJobs, "a.wav"};
        DecodeOptions j;
        EXPECT_FALSE(parseDecodeOptions(3, const_cast<char**>(jobs), j, error)) << badJobs;
        EXPECT_NE(error.find("-j takes"), std::string::npos) << error;
    }
    const char* glued[] = {"dita-decode", "-j2", "a.wav"};
    DecodeOptions g;
    ASSERT_TRUE(parseDecodeOptions(3, const_cast<char**>(glued), g, error)) << error;
    EXPECT_EQ(g.jobs, 2);

    // Band decoding: jsonl only with --band, and no single tone to tune.
    const char* band[] = {"dita-decode", "--band", "--format", "jsonl", "a.wav"};
    DecodeOptions bd;
    ASSERT_TRUE(parseDecodeOptions(5, const_cast<char**>(band), bd, error)) << error;
    EXPECT_TRUE(bd.band && bd.jsonl);
    const char* jsonlAlone[] = {"dita-decode", "--format", "jsonl", "a.wav"};
    DecodeOptions ja;
    EXPECT_FALSE(parseDecodeOptions(4, const_cast<char**>(jsonlAlone), ja, error));
    EXPECT_NE(error.find("needs --band"), std::string::npos) << error;
    const char* bandTone[] = {"dita-decode", "--band", "--tone", "600", "a.wav"};
    DecodeOptions bt;
    EXPECT_FALSE(parseDecodeOptions(5, const_cast<char**>(bandTone), bt, error));
    EXPECT_NE(error.find("--band"), std::string::npos) << error;
}

TEST(DecodeOptions, AutomaticToneNeedsTenDecibelsOverTheMedian) {
    std::vector<float> power(2049, 1.0f);
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), 0);
    const int b = binForHz(700);
    power[b - 1] = power[b + 1] = 6.0f; // a windowed tone spreads over three bins
    power[b] = 15.0f;                   // 27 against 3: 9.5 dB, not enough
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), 0);
    power[b] = 20.0f; // 10.3 dB
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), b);
    power[binForHz(3000)] = 1000.0f; // outside the range
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), b);
    power[b + 1] = 30.0f; // the peak moved up a bin
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), b + 1);
    EXPECT_EQ(binForHz(600), 112);
}

TEST(DecodeOptions, NoiseAloneRarelyPassesForATone) {
    std::mt19937 rng(11);
    std::exponential_distribution<float> noisePower(1.0f);
    int falseTones = 0;
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<float> power(2049);
        for (auto& p : power)
            p = noisePower(rng);
        if (strongestToneBin(power.data(), 200, 2500, 10)) ++falseTones;
    }
    EXPECT_LE(falseTones, 2);
}
