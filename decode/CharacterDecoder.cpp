#include "decode/CharacterDecoder.h"

#include <algorithm>

namespace dita {

namespace {

struct TableEntry {
    const char* elements;
    char lower;
    char upper;
};

// Letters, figures and punctuation (elements in sending order).
constexpr TableEntry kTable[] = {
    {"-", 't', 'T'},       {".", 'e', 'E'},        {"--", 'm', 'M'},     {".-", 'a', 'A'},
    {"-.", 'n', 'N'},      {"..", 'i', 'I'},       {"---", 'o', 'O'},    {".--", 'w', 'W'},
    {"-.-", 'k', 'K'},     {"..-", 'u', 'U'},      {"--.", 'g', 'G'},    {".-.", 'r', 'R'},
    {"-..", 'd', 'D'},     {"...", 's', 'S'},      {"----", '\n', '\n'}, {".---", 'j', 'J'},
    {"-.--", 'y', 'Y'},    {"--.-", 'q', 'Q'},     {"-..-", 'x', 'X'},   {"...-", 'v', 'V'},
    {".--.", 'p', 'P'},    {"-.-.", 'c', 'C'},     {"..-.", 'f', 'F'},   {"--..", 'z', 'Z'},
    {".-..", 'l', 'L'},    {"-...", 'b', 'B'},     {"....", 'h', 'H'},   {"-----", '0', '0'},
    {".----", '1', '1'},   {"..---", '2', '2'},    {"...--", '3', '3'},  {"-...-", '=', '='},
    {"....-", '4', '4'},   {"----.", '9', '9'},    {"-..-.", '/', '/'},  {"---..", '8', '8'},
    {"--...", '7', '7'},   {"-....", '6', '6'},    {".....", '5', '5'},  {"..----", ']', ']'},
    {".-.---", '"', '"'},  {"...---", '>', '>'},   {"---.--", '*', '*'}, {"--..--", ',', ','},
    {".-..--", '(', '('},  {"....--", '^', '^'},   {"-.--.-", ')', ')'}, {"..--.-", '_', '_'},
    {".-.-.-", '.', '.'},  {"---..-", '+', '+'},   {".-...-", '}', '}'}, {"-....-", '-', '-'},
    {".....-", '&', '&'},  {".----.", '\'', '\''}, {"..---.", '[', '['}, {".-.--.", '~', '~'},
    {"...--.", '<', '<'},  {".--.-.", '@', '@'},   {"-.-.-.", ';', ';'}, {".-..-.", '|', '|'},
    {"-...-.", '!', '!'},  {"....-.", '!', '!'},   {"..--..", '?', '?'}, {"...-..", '#', '#'},
    {"---...", ':', ':'},  {"..-...", '\\', '\\'}, {".-....", '{', '{'}, {"-------", ' ', ' '},
    {"...-..-", '$', '$'}, {"--....-", '-', '-'},
};

struct TextEntry {
    int code;
    const char* lower;
    const char* upper;
};

constexpr TextEntry kNonEnglish[] = {
    {16, "ch", "CH"},
    {19, "\xC3\xBC", "\xC3\x9C"},
    {21, "\xC3\xA4", "\xC3\x84"},
    {24, "\xC3\xB6", "\xC3\x96"},
    {36, "\xC3\xB1", "\xC3\x91"},
    {41, "\xC3\xA0", "\xC3\x85"},
    {45, "\xC3\xA8", "\xC3\x88"},
    {49, "j^", "J^"},
    {50, "h^", "H^"},
    {52, "g^", "G^"},
    {55, "s^", "S^"},
    {57, "p'", "P'"},
    {58, "\xC3\xA7", "\xC3\x87"},
    {59, "\xC3\xA9", "\xC3\x89"},
};

constexpr int kCodeKN = 50;
constexpr int kCodeSN = 55;
constexpr int kCodeLineFeed = 16;
constexpr int kCodeSpace = 1;
constexpr int kCodeSeenAsPlus = 330; // eight elements ---..-.. read as "+"
constexpr int kCodePlus = 88;
constexpr int kDoubleSpaceRawWpm = 176;
// Noise that keys element after element keeps doubling the weight; past this the code can no
// longer name a character, so the weight stops growing instead of overflowing.
constexpr int kMaxCodeWeight = 1 << 20;
constexpr int kMaxCode = 1 << 24;

} // namespace

int codeOf(const char* elements) {
    int code = 0;
    int weight = 1;
    for (const char* e = elements; *e; ++e) {
        if (*e == '.') code += weight;
        weight *= 2;
    }
    return code + weight;
}

DecodingTables::DecodingTables() {
    m_lower.fill(' ');
    m_upper.fill(' ');
    for (const auto& entry : kTable) {
        const int code = codeOf(entry.elements);
        m_lower[code] = entry.lower;
        m_upper[code] = entry.upper;
    }
}

char DecodingTables::character(int code, bool upperCase) const {
    return upperCase ? m_upper[code] : m_lower[code];
}

const char* DecodingTables::prosign(int code, bool nonEnglish) {
    switch (code) {
    case 21:
        return "AA";
    case 42:
        return "KA";
    case kCodeKN:
        return nonEnglish ? "" : "KN";
    case 53:
        return "AR";
    case kCodeSN:
        return nonEnglish ? "" : "SN";
    case 61:
        return "AS";
    case 87:
        return "SK";
    case 127:
        return "HI";
    case 174:
        return "BK";
    default:
        return "";
    }
}

const char* DecodingTables::nonEnglish(int code, bool upperCase) {
    for (const auto& entry : kNonEnglish) {
        if (entry.code == code) return upperCase ? entry.upper : entry.lower;
    }
    return "";
}

void CharacterDecoder::assemble(ElementTimer& timer, bool longSilence,
                                const DecoderSettings& settings, std::string& out) {
    TimingState& s = timer.state();
    if (s.dotFlag) {
        s.characterCode = std::min(s.characterCode + s.codeWeight, kMaxCode);
        s.codeWeight = std::min(s.codeWeight * 2, kMaxCodeWeight);
        s.dotFlag = false;
        return;
    }
    if (s.dashFlag) {
        s.codeWeight = std::min(s.codeWeight * 2, kMaxCodeWeight);
        s.dashFlag = false;
        return;
    }
    if (!s.characterEndFlag) return;
    s.characterCode = std::min(s.characterCode + s.codeWeight, kMaxCode);
    if (longSilence) return; // flag, code and weight stay until the silence ends
    endCharacter(timer, settings, out);
}

void CharacterDecoder::endCharacter(ElementTimer& timer, const DecoderSettings& settings,
                                    std::string& out) {
    TimingState& s = timer.state();
    int code = s.characterCode == kCodeSeenAsPlus ? kCodePlus : s.characterCode;
    if (code < DecodingTables::kSize - 1) {
        if (code < 1) code = 0;
        m_character = m_tables.character(code, settings.upperCase);
    } else {
        // Eight or more elements name no character: write nothing rather than repeating the
        // previous one.
        m_character = 0;
    }
    if (code == kCodeLineFeed) out += '\r';
    timer.saveState();
    if (settings.prosigns && settings.textDisplay)
        out += DecodingTables::prosign(code, settings.nonEnglish);
    if (settings.nonEnglish && settings.textDisplay)
        out += DecodingTables::nonEnglish(code, settings.upperCase);
    if (timer.rawReceiveSpeed() < kDoubleSpaceRawWpm) {
        if (code == kCodeSpace && m_previousWasSpace) m_character = 0;
        m_previousWasSpace = code == kCodeSpace;
    } else {
        m_character = 0;
    }
    if (m_character != 0 && settings.textDisplay) out += m_character;
    s.characterCode = 0;
    s.codeWeight = 1;
    s.characterEndFlag = false;
}

void CharacterDecoder::wordSpaceWatch(ElementTimer& timer, bool keyDown, SpaceTime spaceTime) {
    TimingState& s = timer.state();
    if (keyDown) {
        m_wordSpaceState = 0;
        return;
    }
    if (m_wordSpaceState == 0) {
        int limit = s.dashAverage;
        if (spaceTime == SpaceTime::Short) limit = s.dashAverage - s.dashAverage / 6;
        if (spaceTime == SpaceTime::Long) limit = 2 * s.dotAverage + s.dashAverage;
        if (s.spaceLength > limit) m_wordSpaceState = 1;
    } else if (m_wordSpaceState == 1) {
        m_wordSpaceState = 2;
        s.spaceLength = 0;
        s.characterEndFlag = true;
    }
}

} // namespace dita
