#include "transmit/MorseCode.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

using namespace dita;

TEST(ComputeSendTiming, MatchesTheWorkedTableFrom10To125Wpm) {
    struct Row {
        int wpm, dot, dash, charGap, wordGap, dotSamples;
    };
    const Row rows[] = {
        {10, 109, 327, 218, 654, 4796}, {15, 72, 216, 144, 432, 3168},
        {20, 54, 162, 108, 324, 2376},  {25, 43, 129, 86, 258, 1892},
        {30, 36, 108, 72, 216, 1584},   {40, 27, 81, 54, 162, 1188},
        {50, 21, 63, 42, 126, 924},     {100, 10, 30, 20, 60, 440},
        {125, 8, 24, 16, 48, 352},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.wpm);
        const SendTiming t = ComputeSendTiming(r.wpm);
        EXPECT_EQ(t.DotMs, r.dot);
        EXPECT_EQ(t.ElementGapMs, r.dot);
        EXPECT_EQ(t.DashMs, r.dash);
        EXPECT_EQ(t.CharGapMs, r.charGap);
        EXPECT_EQ(t.WordGapMs, r.wordGap);
        EXPECT_EQ(t.DotSamples, r.dotSamples);
        EXPECT_EQ(t.DashSamples, r.dash * 44);
        EXPECT_EQ(t.ElementGapSamples, r.dot * 44);
        EXPECT_EQ(t.CharGapSamples, r.charGap * 44);
        EXPECT_EQ(t.WordGapSamples, r.wordGap * 44);
    }
}

TEST(ComputeSendTiming, SpacingAt20WpmGivesStandardCharacterAndWordGaps) {
    const SendTiming t = ComputeSendTiming(20);
    // A character ends one element gap plus the character space after its last element, and a
    // space adds the word space plus another character space.
    EXPECT_EQ(t.ElementGapMs + t.CharGapMs, 162);
    EXPECT_EQ(t.ElementGapMs + t.CharGapMs + t.WordGapMs + t.CharGapMs, 594);
}

TEST(ComputeSendTiming, WeightsChangeTheirLengthsButNeverTheElementGap) {
    TimingWeights w;
    w.dot = 150.0f;
    w.dash = 50.0f;
    w.charSpace = 200.0f;
    w.wordSpace = 75.0f;
    const SendTiming t = ComputeSendTiming(20, w);
    EXPECT_EQ(t.DotMs, 81);
    EXPECT_EQ(t.DashMs, 81);
    EXPECT_EQ(t.CharGapMs, 216);
    EXPECT_EQ(t.WordGapMs, 243);
    EXPECT_EQ(t.ElementGapMs, 54);
    EXPECT_EQ(t.DotSamples, 81 * 44);
}

TEST(ComputeSendTiming, OutOfRangeSpeedsAndWeightsAreHeldToTheirLimits) {
    TimingWeights w;
    w.dot = std::numeric_limits<float>::quiet_NaN();
    w.dash = 1000.0f;
    w.charSpace = -5.0f;
    w.wordSpace = std::numeric_limits<float>::infinity();
    const SendTiming t = ComputeSendTiming(20, w);
    EXPECT_EQ(t.DotMs, 54);                     // not finite: standard
    EXPECT_EQ(t.DashMs, 324);                   // 200 %
    EXPECT_EQ(t.CharGapMs, 54);                 // 50 %
    EXPECT_EQ(t.WordGapMs, 324);                // not finite: standard
    EXPECT_EQ(ComputeSendTiming(0).DotMs, 109); // 10 wpm
    EXPECT_EQ(ComputeSendTiming(-40).DotMs, 109);
    EXPECT_EQ(ComputeSendTiming(100000).DotMs, 8); // 125 wpm
}

TEST(SendTable, RowsEndWithACharacterSpaceAndLowerCaseMatchesCapitals) {
    EXPECT_EQ(sendRow('E'), ".*");
    EXPECT_EQ(sendRow('Q'), "--.-*");
    EXPECT_EQ(sendRow('0'), "-----*");
    EXPECT_EQ(sendRow(' '), "^*");
    EXPECT_EQ(sendRow(0), "^*");
    EXPECT_EQ(sendRow(13), "----*");
    EXPECT_EQ(sendRow(96), "+*");
    EXPECT_EQ(sendRow(189), "--....-*");
    for (int c = 'a'; c <= 'z'; ++c)
        EXPECT_EQ(sendRow(c), sendRow(c - 32)) << char(c);
    // Its two fillers are part of the row; the keyers skip them.
    EXPECT_EQ(sendRow(237), ".-.--.00*");
}

TEST(SendTable, CodesWithoutARowSendNothingRatherThanTheNextRow) {
    EXPECT_TRUE(sendRow(10).empty());  // line feed of a CR LF pair
    EXPECT_TRUE(sendRow(221).empty()); // "]" through TextCodeMap
    EXPECT_TRUE(sendRow(1).empty());
    EXPECT_TRUE(sendRow(-1).empty());
    EXPECT_TRUE(sendRow(256).empty());
    EXPECT_TRUE(sendRow(259).empty());
    int rows = 0;
    for (int c = 0; c < 256; ++c)
        rows += sendRow(c).empty() ? 0 : 1;
    EXPECT_EQ(rows, 63 + 52); // the listed rows plus both cases of the letters
}

TEST(SendTable, PlusAndMinusDifferBetweenSerialAndSoundCardPaths) {
    EXPECT_EQ(sendRow(serialTextCode('+')), ".-.-.*");
    EXPECT_EQ(sendRow(soundCardTextCode('+')), "---..-*");
    EXPECT_EQ(sendRow(serialTextCode('-')), "-....-*");
    EXPECT_EQ(sendRow(soundCardTextCode('-')), "--....-*");
    // Letters, digits and bytes above 127 read the same row on both paths.
    for (unsigned char c : {uint8_t{'A'}, uint8_t{'z'}, uint8_t{'5'}, uint8_t{233}}) {
        EXPECT_EQ(serialTextCode(c), soundCardTextCode(c));
    }
    EXPECT_EQ(serialTextCode(200), 200); // unsigned, never a negative index
}

TEST(TypedKeys, ModifierMapsAndTheArrowAndKeypadStep) {
    const KeyModifiers none, shift{true, false, false}, ctrl{false, true, false};
    EXPECT_EQ(translateTypedKey('A', none, false).code, 'A');
    EXPECT_EQ(translateTypedKey(100, none, false).code, '4'); // keypad 4
    EXPECT_EQ(translateTypedKey(107, none, false).code, 230); // keypad +
    EXPECT_EQ(translateTypedKey(33, none, false).code, 32);   // Page Up sends a space
    EXPECT_EQ(translateTypedKey('1', shift, false).code, 234);
    EXPECT_EQ(translateTypedKey('2', shift, false).code, '2');
    EXPECT_EQ(translateTypedKey(191, shift, false).code, 192);
    EXPECT_EQ(translateTypedKey('A', ctrl, false).code, 'A'); // no map with Ctrl

    const TypedKey up = translateTypedKey(38, none, false);
    EXPECT_TRUE(up.showSpectrum);
    EXPECT_EQ(up.code, 32);
    const TypedKey down = translateTypedKey(40, none, false);
    EXPECT_TRUE(down.showWaterfall);
    // In SCN mode the arrow step is skipped.
    EXPECT_FALSE(translateTypedKey(38, none, true).showSpectrum);
    EXPECT_EQ(translateTypedKey(38, none, true).code, 38);
    // The plain map still turns keypad keys into digits; with Ctrl nothing does.
    EXPECT_EQ(translateTypedKey(100, none, true).code, '4');
    EXPECT_EQ(translateTypedKey(100, ctrl, false).code, 100);
}

TEST(TypedKeys, AltDigitsAreNeverSendable) {
    const KeyModifiers alt{false, false, true};
    for (int key = '1'; key <= '6'; ++key) {
        const TypedKey k = translateTypedKey(key, alt, false);
        EXPECT_EQ(k.code, 250 + key - '1');
        EXPECT_FALSE(k.sendable()) << key;
    }
    EXPECT_EQ(translateTypedKey('0', alt, false).code, 259);
    EXPECT_TRUE(translateTypedKey('E', KeyModifiers{}, false).sendable());
    EXPECT_TRUE(translateTypedKey(192, KeyModifiers{true, false, false}, false).code == 237);
    EXPECT_FALSE(translateTypedKey(192, KeyModifiers{true, false, false}, false).sendable());
}

TEST(Envelope, LetterELaysOutToneThenElementAndCharacterGaps) {
    const SendTiming t = ComputeSendTiming(20);
    EnvelopeBuilder builder(t, beaconCarrierFor(1), true);
    std::vector<uint8_t> env;
    builder.appendRow(sendRow('E'), env);
    ASSERT_EQ(env.size(), 9504u);
    EXPECT_EQ(builder.rowSamples(sendRow('E')), 9504);
    EXPECT_EQ(std::accumulate(env.begin(), env.begin() + 2376, 0), 2376);
    EXPECT_EQ(std::accumulate(env.begin() + 2376, env.end(), 0), 0);
}

TEST(Envelope, BackQuoteKeysTheCarrierAndSidetoneOffKeepsTheTiming) {
    const SendTiming t = ComputeSendTiming(20);
    const BeaconCarrier carrier = beaconCarrierFor(3);
    EXPECT_EQ(carrier.BeaconCarrierMs, 3000.0f);
    EXPECT_EQ(carrier.BeaconCarrierSamples, 132300.0f);
    std::vector<uint8_t> on, off;
    EnvelopeBuilder(t, carrier, true).appendRow(sendRow(soundCardTextCode('`')), on);
    EnvelopeBuilder(t, carrier, false).appendRow(sendRow(soundCardTextCode('`')), off);
    ASSERT_EQ(on.size(), 132300u + 2376u + 4752u);
    EXPECT_EQ(std::accumulate(on.begin(), on.end(), 0), 132300);
    EXPECT_EQ(on[132299], 1);
    EXPECT_EQ(on[132300], 0);
    EXPECT_EQ(off.size(), on.size());
    EXPECT_EQ(std::accumulate(off.begin(), off.end(), 0), 0);
    EXPECT_EQ(beaconCarrierFor(9).BeaconCarrierTime, 5);
    EXPECT_EQ(beaconCarrierFor(0).BeaconCarrierTime, 1);
}
