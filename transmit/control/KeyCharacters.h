#pragma once
// Characters shown for keys: the echo of a released key in the receive window ("Double"
// screen), and the character of a typed code inserted into the transmit window.
//
// Who calls it: TransmitController (window thread for the echo, TCharThread for typed codes).
// The tables are built once and constant afterwards; any thread may read them. No Qt.
#include <cstdint>
#include <string>

namespace dita {

// The UTF-8 text echoed for a released key: the character the keyboard layout produced for it,
// "\n" for Enter, empty for keys without a character.
std::string echoCharacter(int32_t virtualKey, char32_t character);

// The character a typed code keys, in lower case and UTF-8 (code 65 "A" gives "a", 188 ","
// gives ","); empty for codes that stand for no printable character.
std::string typedCodeCharacter(int32_t code);

} // namespace dita
