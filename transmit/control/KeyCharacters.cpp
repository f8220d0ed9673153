#include "transmit/control/KeyCharacters.h"

#include "common/Latin1.h"
#include "transmit/MorseCode.h"
#include "transmit/control/TransmitState.h"

#include <array>
#include <cctype>

namespace dita {
namespace {

constexpr int kKeyCount = 256;
constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';
constexpr char32_t kLastUnicode = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

std::string utf8FromCodePoint(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
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

std::string echoCharacter(int32_t virtualKey, char32_t character) {
    if (virtualKey == kVkEnter) return "\n";
    const bool valid = character >= static_cast<char32_t>(kFirstPrintable) &&
                       character <= kLastUnicode &&
                       (character < kFirstSurrogate || character > kLastSurrogate);
    return valid ? utf8FromCodePoint(character) : std::string();
}

std::string typedCodeCharacter(int32_t code) {
    static const auto chars = buildCodeCharacters();
    if (code < 0 || code >= kKeyCount || chars[code] == 0) return {};
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(chars[code])));
    return latin1ToUtf8(std::string(1, c));
}

} // namespace dita
