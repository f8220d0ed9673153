#include "decode/CharacterDecoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace dita;

namespace {

// Drives the assembler and the word-space watch through the element events of a pattern,
// the way the engine does per step, with a tracked 20 wpm timing (dot 60, dash 180 units).
class Keyer {
public:
    explicit Keyer(DecoderSettings settings = {}) : m_settings(settings) {
        m_timer.state().dotAverage = 60;
        m_timer.state().dashAverage = 180;
        m_timer.setSpeeds(20);
    }
    void steps(bool down, int count) {
        for (int i = 0; i < count; ++i) {
            m_timer.track(down, m_settings.spaceTime);
            m_timer.state().dotAverage = 60; // keep the averages fixed for exact limits
            m_timer.state().dashAverage = 180;
            m_decoder.assemble(m_timer, m_longSilence, m_settings, m_text);
            if (m_settings.wordSpaces)
                m_decoder.wordSpaceWatch(m_timer, down, m_settings.spaceTime);
        }
    }
    // Sends the elements with one-dot gaps, then a gap of gapSteps.
    void send(const char* elements, int gapSteps) {
        for (const char* e = elements; *e; ++e) {
            steps(true, *e == '.' ? 20 : 60);
            steps(false, e[1] ? 20 : gapSteps);
        }
    }
    std::string text() const { return m_text; }
    ElementTimer& timer() { return m_timer; }
    bool m_longSilence = false;

private:
    DecoderSettings m_settings;
    ElementTimer m_timer;
    CharacterDecoder m_decoder;
    std::string m_text;
};

} // namespace

TEST(DecodingTables, CodesFollowTheWeightRuleAndTheTableHoldsLettersFiguresAndPunctuation) {
    EXPECT_EQ(codeOf(""), 1);
    EXPECT_EQ(codeOf("-"), 2);
    EXPECT_EQ(codeOf("."), 3);
    EXPECT_EQ(codeOf(".-.-.-"), 85);
    DecodingTables t;
    EXPECT_EQ(t.character(codeOf(".-"), false), 'a');
    EXPECT_EQ(t.character(codeOf(".-"), true), 'A');
    EXPECT_EQ(t.character(codeOf("..--.."), false), '?');
    EXPECT_EQ(t.character(codeOf("...-..-"), true), '$');
    EXPECT_EQ(t.character(codeOf("-...-"), false), '=');
    EXPECT_EQ(t.character(codeOf("----"), false), '\n');
    EXPECT_EQ(t.character(codeOf(".-.-."), false), ' '); // AR has no table letter
    EXPECT_STREQ(DecodingTables::prosign(50, false), "KN");
    EXPECT_STREQ(DecodingTables::prosign(50, true), "");
    EXPECT_STREQ(DecodingTables::nonEnglish(45, true), "\xC3\x88");
    EXPECT_STREQ(DecodingTables::nonEnglish(52, true), "G^");
}

TEST(CharacterDecoder, LetterThenWordSpaceAfterALongSilence) {
    Keyer k;
    k.send(".-", 64); // past one dash length: the letter is written
    EXPECT_EQ(k.text(), "a");
    k.steps(false, 100); // a long silence, then the next mark starts a space
    k.send("-", 64);
    EXPECT_EQ(k.text(), "a t");
}

TEST(CharacterDecoder, CharacterGapWithoutWordSpacesWritesOnlyAtTheNextMark) {
    DecoderSettings s;
    s.wordSpaces = false;
    Keyer k(s);
    k.send("...", 60);
    EXPECT_EQ(k.text(), "");
    k.send("-", 60);
    EXPECT_EQ(k.text(), "s");
}

TEST(CharacterDecoder, LineFeedCodeWritesCarriageReturnAndWithNonEnglishCh) {
    Keyer plain;
    plain.send("----", 64);
    EXPECT_EQ(plain.text(), "\r\n");
    DecoderSettings s;
    s.nonEnglish = true;
    Keyer accented(s);
    accented.send("----", 64);
    EXPECT_EQ(accented.text(), "\rch\n");
}

TEST(CharacterDecoder, ProsignsAndAccentedLettersFollowTheirSettings) {
    Keyer ar;
    ar.send(".-.-.", 64);
    EXPECT_EQ(ar.text(), "AR ");
    DecoderSettings both;
    both.nonEnglish = true;
    Keyer aa(both);
    aa.send(".-.-", 64);
    EXPECT_EQ(aa.text(), "AA\xC3\xA4 ");
    DecoderSettings upper;
    upper.upperCase = true;
    upper.prosigns = false;
    Keyer kn(upper);
    kn.send("-.--.", 64);
    kn.send("..", 64);
    EXPECT_EQ(kn.text(), " I");
}

TEST(CharacterDecoder, TwoWordSpacesInARowGiveOneSpace) {
    Keyer k;
    k.send(".", 64);
    k.steps(false, 100);
    k.send(".", 64); // space, then e
    k.steps(false, 100);
    k.send(".", 64);
    EXPECT_EQ(k.text(), "e e e");
    Keyer twice;
    twice.send(".", 64);
    twice.steps(false, 100);
    twice.steps(true, 20); // a mark ends the first space...
    twice.steps(false, 20);
    EXPECT_EQ(twice.text(), "e ");
}

TEST(CharacterDecoder, TextDisplayOffStillWritesCarriageReturnAndKeepsDecoding) {
    DecoderSettings s;
    s.textDisplay = false;
    Keyer k(s);
    k.send(".-", 64);
    k.send("----", 64);
    EXPECT_EQ(k.text(), "\r");
    EXPECT_EQ(k.timer().state().characterCode, 0);
}

TEST(CharacterDecoder, EightOrMoreElementsWriteNothingAndNoiseCannotOverflowTheWeight) {
    Keyer k;
    k.send(".-", 64);
    k.send("........-", 64);
    EXPECT_EQ(k.text(), "a");
    Keyer noise;
    noise.send(std::string(60, '.').c_str(), 64);
    EXPECT_EQ(noise.text(), "");
    EXPECT_EQ(noise.timer().state().codeWeight, 1);
}

TEST(CharacterDecoder, LongSilenceHoldsAPendingCharacterEnd) {
    Keyer k;
    k.m_longSilence = true;
    k.send(".-", 64);
    EXPECT_EQ(k.text(), "");
    EXPECT_TRUE(k.timer().state().characterEndFlag);
}
