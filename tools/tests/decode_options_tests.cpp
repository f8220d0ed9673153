#include "DecodeOptions.h"

#include <gtest/gtest.h>

#include <vector>

using namespace dita;

TEST(DecodeOptions, ParsesReceiveSettingsInOrderAndRejectsUnknownValues) {
    const char* argv[] = {"dita-decode", "--threshold", "quiet", "--speed", "50+", "--channel", "right", "a.wav", "b.flac"};
    DecodeOptions o;
    std::string error;
    ASSERT_TRUE(parseDecodeOptions(9, const_cast<char**>(argv), o, error)) << error;
    ASSERT_EQ(o.commands.size(), 2u);
    EXPECT_EQ(o.commands[0].kind, ReceiveCommandKind::ThresholdMode);
    EXPECT_EQ(o.commands[0].value, 4);
    EXPECT_EQ(o.commands[1].value, 2);
    EXPECT_EQ(o.channel, InputChannel::Right);
    EXPECT_EQ(o.files.size(), 2u);

    const char* bad[] = {"dita-decode", "--afc", "sideways", "a.wav"};
    DecodeOptions b;
    EXPECT_FALSE(parseDecodeOptions(4, const_cast<char**>(bad), b, error));
    EXPECT_NE(error.find("--afc"), std::string::npos);
    const char* none[] = {"dita-decode", "--stats"};
    DecodeOptions n;
    EXPECT_FALSE(parseDecodeOptions(2, const_cast<char**>(none), n, error));
}

TEST(DecodeOptions, AutomaticToneNeedsTenDecibelsOverTheMedian) {
    std::vector<float> power(2049, 1.0f);
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), 0);
    power[binForHz(700)] = 9.0f;   // 9.5 dB: not enough
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), 0);
    power[binForHz(700)] = 11.0f;
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), binForHz(700));
    power[binForHz(3000)] = 1000.0f;  // outside the range
    EXPECT_EQ(strongestToneBin(power.data(), 200, 2500, 10), binForHz(700));
    EXPECT_EQ(binForHz(600), 112);
}
