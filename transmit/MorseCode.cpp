#include "transmit/MorseCode.h"

#include "common/KeyCodes.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace dita {

namespace {

constexpr char32_t kFirstPrintable = U' ';
constexpr char32_t kLastPrintable = U'~';

struct RowEntry {
    int code;
    const char* elements;
};

// Rows other than the letters: element symbols by code.
constexpr RowEntry kRows[] = {
    {0, "^"},         {13, "----"},     {32, "^"},       {33, "...-."},    {37, "-.-.-"},
    {38, ".-..."},    {40, "-.--."},    {42, "...-.-"},  {43, ".-.-."},    {44, "--..--"},
    {45, "-....-"},   {46, ".-.-.-"},   {47, "-..-."},   {48, "-----"},    {49, ".----"},
    {50, "..---"},    {51, "...--"},    {52, "....-"},   {53, "....."},    {54, "-...."},
    {55, "--..."},    {56, "---.."},    {57, "----."},   {61, "-...-"},    {63, "..--.."},
    {64, ".--.-."},   {96, "+"},        {186, "-.-.-."}, {187, "-...-"},   {188, "--..--"},
    {189, "--....-"}, {190, ".-.-.-"},  {191, "-..-."},  {192, "..--.."},  {219, "..---."},
    {220, "..-..."},  {222, ".----."},  {230, "---..-"}, {231, "---.--"},  {232, ".-..--"},
    {233, ".....-"},  {234, "....-."},  {235, "....--"}, {236, "...-.."},  {237, ".-.--.00"},
    {238, "--...-"},  {239, "...-..-"}, {240, "-.--.-"}, {241, "...--."},  {242, "...---"},
    {243, "..-..."},  {244, ".-.---"},  {245, "..--.-"}, {246, ".-...."},  {247, ".-...-"},
    {248, ".-..-."},  {249, "---..."},  {250, "-.-.-"},  {251, "-...-.-"}, {252, "-.--."},
    {253, ".-.-."},   {254, "...-."},   {255, ".-..."},
};

constexpr const char* kLetters[26] = {
    ".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
    ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
    "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--..",
};

void fillRow(SendRow& row, const char* elements) {
    const size_t n = std::strlen(elements);
    std::memcpy(row.data(), elements, n);
    row[n] = kCharSpaceSymbol;
    row[n + 1] = kRowEnd;
}

std::array<SendRow, kSendTableRows> buildSendTable() {
    std::array<SendRow, kSendTableRows> table;
    for (auto& row : table)
        row.fill(kFillerSymbol);
    for (const auto& e : kRows)
        fillRow(table[e.code], e.elements);
    for (int i = 0; i < 26; ++i) {
        fillRow(table['A' + i], kLetters[i]);
        fillRow(table['a' + i], kLetters[i]);
    }
    return table;
}

std::array<int32_t, 256> identityMap() {
    std::array<int32_t, 256> map{};
    for (int i = 0; i < 256; ++i)
        map[i] = i;
    return map;
}

std::array<int32_t, 256> buildTextCodeMap() {
    auto map = identityMap();
    const std::pair<int, int> entries[] = {
        {'!', 234},  {'"', 244}, {'#', 236}, {'$', 239}, {'%', 235},  {'&', 233},
        {'\'', 222}, {'(', 232}, {')', 240}, {'*', 231}, {'+', 230},  {',', 188},
        {'-', 189},  {'.', 190}, {'/', 191}, {':', 249}, {';', 186},  {'<', 241},
        {'=', 187},  {'>', 242}, {'?', 192}, {'[', 219}, {'\\', 220}, {']', 221},
        {'^', 238},  {'_', 245}, {'{', 246}, {'|', 248}, {'}', 247},  {'~', 237},
    };
    for (const auto& [from, to] : entries)
        map[from] = to;
    return map;
}

void applyPlainEntries(std::array<int32_t, 256>& map) {
    for (int key : {33, 34, 35, 36, 37, 39, 42, 45, 144})
        map[key] = kVkSpace;
    map[106] = 231;
    map[107] = 230;
    map[109] = 189;
    map[110] = 46;
    map[111] = 47;
    for (int key = kVkNumpad0; key <= kVkNumpad9; ++key)
        map[key] = kVkDigit0 + key - kVkNumpad0;
}

std::array<int32_t, 256> buildPlainMap() {
    auto map = identityMap();
    applyPlainEntries(map);
    return map;
}

std::array<int32_t, 256> buildShiftMap() {
    auto map = identityMap();
    applyPlainEntries(map);
    const std::pair<int, int> entries[] = {
        {48, 240},  {49, 234},  {51, 236},  {52, 239},  {53, 235},  {54, 238},  {55, 233},
        {56, 251},  {57, 232},  {140, 241}, {186, 249}, {187, 230}, {188, 241}, {189, 245},
        {190, 242}, {191, 192}, {192, 237}, {219, 246}, {220, 248}, {221, 247}, {222, 244},
    };
    for (const auto& [from, to] : entries)
        map[from] = to;
    return map;
}

std::array<int32_t, 256> buildAltMap() {
    auto map = identityMap();
    for (int key = 49; key <= kVkDigit9; ++key)
        map[key] = 250 + key - 49;
    map[kVkDigit0] = 259;
    return map;
}

} // namespace

const std::array<SendRow, kSendTableRows>& MorseSendTable() {
    static const auto table = buildSendTable();
    return table;
}

std::string_view sendRow(int32_t code) {
    if (code < 0 || code >= kSendTableRows) return {};
    const SendRow& row = MorseSendTable()[code];
    const auto end = std::find(row.begin(), row.end(), kRowEnd);
    if (end == row.end()) return {}; // no code in this row
    return std::string_view(row.data(), static_cast<size_t>(end - row.begin()));
}

int32_t serialTextCode(unsigned char byte) {
    return byte;
}

int32_t soundCardTextCode(unsigned char byte) {
    return TextCodeMap()[byte];
}

std::string foldLineBreaks(std::string_view text) {
    constexpr char kCr = '\r';
    constexpr char kLf = '\n';
    std::string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kLf) {
            folded += kCr;
        } else {
            folded += text[i];
            if (text[i] == kCr && i + 1 < text.size() && text[i + 1] == kLf) ++i;
        }
    }
    return folded;
}

const std::array<int32_t, 256>& TextCodeMap() {
    static const auto map = buildTextCodeMap();
    return map;
}

const std::array<int32_t, 256>& KeyCodeMapPlain() {
    static const auto map = buildPlainMap();
    return map;
}

const std::array<int32_t, 256>& KeyCodeMapShift() {
    static const auto map = buildShiftMap();
    return map;
}

const std::array<int32_t, 256>& KeyCodeMapAlt() {
    static const auto map = buildAltMap();
    return map;
}

int32_t typedCharacterCode(char32_t character) {
    if (character < kFirstPrintable || character > kLastPrintable) return kNoTypedCode;
    if (character >= U'a' && character <= U'z') return kVkLetterA + int32_t(character - U'a');
    return TextCodeMap()[character];
}

TypedKey translateTypedKey(int32_t virtualKey, KeyModifiers modifiers, bool screenModeBuffer) {
    TypedKey result;
    int32_t code = virtualKey;
    if (!modifiers.ctrl && !modifiers.alt && !screenModeBuffer) {
        if (code == kVkUp || code == kVkDown) {
            result.showSpectrum = code == kVkUp;
            result.showWaterfall = code == kVkDown;
            code = kVkSpace;
        } else if (code >= kVkNumpad0 && code <= kVkNumpad9) {
            code = kVkDigit0 + code - kVkNumpad0;
        }
    }
    if (code >= 0 && code < 256) {
        const bool none = !modifiers.shift && !modifiers.ctrl && !modifiers.alt;
        const bool shiftOnly = modifiers.shift && !modifiers.ctrl && !modifiers.alt;
        const bool altOnly = modifiers.alt && !modifiers.shift && !modifiers.ctrl;
        if (none) {
            code = KeyCodeMapPlain()[code];
        } else if (shiftOnly) {
            code = KeyCodeMapShift()[code];
        } else if (altOnly && code >= kVkDigit0 && code <= kVkDigit9) {
            code = KeyCodeMapAlt()[code];
        }
    }
    result.code = code;
    return result;
}

} // namespace dita
