#pragma once
// The key codes of the typed-key path, in one place for every subsystem: the transmit window
// turns a key event into one of these, the key queue and the send tables are indexed by them,
// and the message buttons name their function keys with them. They are the codes the send
// tables were laid out for (letters and digits as their upper-case ASCII, F1 = 112, keypad
// digits 96..105). Printable characters do not travel as key codes: the transmit window passes
// the character the keyboard layout produced, so punctuation never depends on where a layout
// puts it. Header only, no Qt.
#include <cstdint>

namespace dita {

constexpr int32_t kVkBackspace = 8;
constexpr int32_t kVkEnter = 13;
constexpr int32_t kVkShift = 16;
constexpr int32_t kVkControl = 17;
constexpr int32_t kVkAlt = 18;
constexpr int32_t kVkEscape = 27;
constexpr int32_t kVkSpace = 32;
constexpr int32_t kVkPageUp = 33;
constexpr int32_t kVkPageDown = 34;
constexpr int32_t kVkEnd = 35;
constexpr int32_t kVkHome = 36;
constexpr int32_t kVkLeft = 37;
constexpr int32_t kVkUp = 38;
constexpr int32_t kVkRight = 39;
constexpr int32_t kVkDown = 40;
constexpr int32_t kVkInsert = 45;
constexpr int32_t kVkDelete = 46;
constexpr int32_t kVkDigit0 = 48;
constexpr int32_t kVkDigit1 = 49;
constexpr int32_t kVkDigit5 = 53;
constexpr int32_t kVkDigit9 = 57;
constexpr int32_t kVkLetterA = 65;
constexpr int32_t kVkLetterZ = 90;
constexpr int32_t kVkNumpad0 = 96;
constexpr int32_t kVkNumpad9 = 105;
constexpr int32_t kVkF1 = 112;
constexpr int32_t kVkF10 = 121;
constexpr int32_t kVkF12 = 123;

} // namespace dita
