#pragma once
// CharacterDecoder: turns the element timer's dot/dash/character-end events into text, with
// the prosign and non-English layers, and the word-space watch that ends a character after a
// long silence and produces the spaces between words.
//
// Called by ReceiveEngine on its worker thread once per tracking step (assemble) and once per
// step when word spaces are on (wordSpaceWatch). Text is appended as UTF-8 to the caller's
// string; "\r" precedes the line feed of the ---- code.
#include "decode/ElementTimer.h"

#include <array>
#include <string>

namespace dita {

struct DecoderSettings {
    bool upperCase = false;  // TextCase: 1 upper, 0 lower
    bool prosigns = true;    // Prosigns
    bool nonEnglish = false; // NonEnglish
    bool textDisplay = true; // TextDisplay
    bool wordSpaces = true;  // SpacesMode 3
    SpaceTime spaceTime = SpaceTime::Medium;
};

// The decoding tables: 257 entries, codes 0..256, in lower and upper case. A code is built
// with weight 1: a dot adds the weight and doubles it, a dash only doubles it, and the
// character end adds the weight once more.
class DecodingTables {
public:
    static constexpr int kSize = 257;
    DecodingTables();
    char character(int code, bool upperCase) const;
    // Prosign abbreviation of a code ("" when none). nonEnglish hides KN and SN, whose codes
    // then stand for accented letters.
    static const char* prosign(int code, bool nonEnglish);
    // Non-English letter (UTF-8) of a code in the given case ("" when none).
    static const char* nonEnglish(int code, bool upperCase);

private:
    std::array<char, kSize> m_lower{};
    std::array<char, kSize> m_upper{};
};

// Code of a dot/dash pattern such as ".-" (for tests and tables).
int codeOf(const char* elements);

class CharacterDecoder {
public:
    // One assembler call; may write text and save the timing state at a character end.
    void assemble(ElementTimer& timer, bool longSilence, const DecoderSettings& settings,
                  std::string& out);
    // Word-space watch; keyDown is the step's state.
    void wordSpaceWatch(ElementTimer& timer, bool keyDown, SpaceTime spaceTime);

private:
    void endCharacter(ElementTimer& timer, const DecoderSettings& settings, std::string& out);

    DecodingTables m_tables;
    char m_character = ' '; // the last character looked up; persists across resets
    bool m_previousWasSpace = false;
    int m_wordSpaceState = 0;
};

} // namespace dita
