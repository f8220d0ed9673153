#include "transmit/control/KeyCharacters.h"

#include "common/Latin1.h"
#include "transmit/MorseCode.h"
#include "transmit/control/TransmitState.h"

#include <array>
#include <cctype>

namespace dita {
namespace {

constexpr int kKeyCount = 256;
constexpr int32_t kVkSpace = 32;
constexpr int32_t kVkDigit0 = 48;
constexpr int32_t kVkDigit9 = 57;
constexpr int32_t kVkLetterA = 65;
constexpr int32_t kVkLetterZ = 90;
constexpr int32_t kVkNumpad0 = 96;
constexpr int32_t kVkNumpad9 = 105;
constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';

struct EchoTables {
    std::array<char, kKeyCount> plain{};
    std::array<char, kKeyCount> shifted{};
};

EchoTables buildEchoTables() {
    EchoTables t;
    t.plain[kVkSpace] = ' ';
    t.shifted[kVkSpace] = ' ';
    const char* digitsShifted = ")!@#$%^&*(";
    for (int k = kVkDigit0; k <= kVkDigit9; ++k) {
        t.plain[k] = static_cast<char>('0' + k - kVkDigit0);
        t.shifted[k] = digitsShifted[k - kVkDigit0];
    }
    for (int k = kVkLetterA; k <= kVkLetterZ; ++k) {
        t.plain[k] = static_cast<char>('a' + k - kVkLetterA);
        t.shifted[k] = static_cast<char>('A' + k - kVkLetterA);
    }
    for (int k = kVkNumpad0; k <= kVkNumpad9; ++k) {
        t.plain[k] = static_cast<char>('0' + k - kVkNumpad0);
        t.shifted[k] = t.plain[k];
    }
    // The punctuation keys of a US keyboard (Windows "OEM" key codes) and the keypad operators.
    const struct {
        int key;
        char plain;
        char shifted;
    } punctuation[] = {
        {106, '*', '*'}, {107, '+', '+'},  {109, '-', '-'}, {110, '.', '.'},
        {111, '/', '/'}, {186, ';', ':'},  {187, '=', '+'}, {188, ',', '<'},
        {189, '-', '_'}, {190, '.', '>'},  {191, '/', '?'}, {192, '`', '~'},
        {219, '[', '{'}, {220, '\\', '|'}, {221, ']', '}'}, {222, '\'', '"'},
    };
    for (const auto& p : punctuation) {
        t.plain[p.key] = p.plain;
        t.shifted[p.key] = p.shifted;
    }
    return t;
}

const EchoTables& echoTables() {
    static const EchoTables tables = buildEchoTables();
    return tables;
}

// Typed codes back to the characters they stand for: the inverse of the text map, so that
// 188 gives "," and 234 gives "!".
std::array<char, kKeyCount> buildCodeCharacters() {
    std::array<char, kKeyCount> chars{};
    const auto& textMap = TextCodeMap();
    for (int c = kFirstPrintable; c <= kLastPrintable; ++c) {
        const int32_t code = textMap[c];
        if (code >= 0 && code < kKeyCount && chars[code] == 0) chars[code] = static_cast<char>(c);
    }
    return chars;
}

} // namespace

std::string echoCharacter(int32_t virtualKey, bool shift) {
    if (virtualKey == kVkEnter) return "\n";
    if (virtualKey < 0 || virtualKey >= kKeyCount) return {};
    const char c = shift ? echoTables().shifted[virtualKey] : echoTables().plain[virtualKey];
    return c ? std::string(1, c) : std::string();
}

std::string typedCodeCharacter(int32_t code) {
    static const auto chars = buildCodeCharacters();
    if (code < 0 || code >= kKeyCount || chars[code] == 0) return {};
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(chars[code])));
    return latin1ToUtf8(std::string(1, c));
}

} // namespace dita
