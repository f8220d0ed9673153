#pragma once
// The send code table and the maps that lead from text characters and typed keys to its rows.
//
// Who calls it: the send threads (row lookup while keying), the typed-key translation of the
// character sender, and dita-send. The tables are built once, are constant afterwards and may
// be read from any thread. No Qt.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dita {

constexpr int kSendTableRows = 256;
constexpr int kSendRowBytes = 12;
constexpr char kRowEnd = '\n'; // end mark of a row
constexpr char kDotSymbol = '.';
constexpr char kDashSymbol = '-';
constexpr char kCharSpaceSymbol = '*';
constexpr char kWordSpaceSymbol = '^';
constexpr char kCarrierSymbol = '+';
constexpr char kFillerSymbol = '0';
constexpr int32_t kHighestTypedCode = 236; // a typed code above this is never sent

using SendRow = std::array<char, kSendRowBytes>;

// MorseSendTable: 256 rows of 12 bytes, each its element symbols, "*" and the end mark; rows
// without a code hold twelve "0" and no end mark.
const std::array<SendRow, kSendTableRows>& MorseSendTable();

// The symbols of the row of code (0..255) up to the end mark, "*" included. A code outside
// 0..255 or a row without a code gives an empty view: such a code keys nothing (and never the
// row of some other character).
std::string_view sendRow(int32_t code);

// Row of a byte of screen or macro text. The serial path reads the byte itself as an unsigned
// value; the sound-card path goes through TextCodeMap first.
int32_t serialTextCode(unsigned char byte);
int32_t soundCardTextCode(unsigned char byte);

// Text ends its lines with LF (the transmit window, macros), CR LF (a loaded DOS file) or a lone
// CR. Each line break becomes one CR, the Enter code, so it keys "----" once and the words on
// either side never run together on the air.
std::string foldLineBreaks(std::string_view text);

const std::array<int32_t, 256>& TextCodeMap();
const std::array<int32_t, 256>& KeyCodeMapPlain();
const std::array<int32_t, 256>& KeyCodeMapShift();
const std::array<int32_t, 256>& KeyCodeMapAlt();

struct KeyModifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// What a typed virtual key code leads to.
struct TypedKey {
    int32_t code = 0;           // row to key (may be above 236: then nothing is sent)
    bool showSpectrum = false;  // Up arrow: switch the display to the spectrum
    bool showWaterfall = false; // Down arrow: switch the display to the waterfall
    bool sendable() const { return code >= 0 && code <= kHighestTypedCode; }
};

// A typed code without a row: above kHighestTypedCode, so the typed sender skips it.
constexpr int32_t kNoTypedCode = kSendTableRows;

// The code of a character typed in the transmit window, as the keyboard layout produced it. It
// keys what the same character keys in screen text sent to the sound card (TextCodeMap), so
// "/" is "-..-." and "=" is BT on every layout; letters give their capitals' codes. Characters
// outside printable ASCII (the accented letters of many layouts) have no row: kNoTypedCode.
int32_t typedCharacterCode(char32_t character);

// Translates a typed virtual key code (a key that produced no printable character, or any key
// with Ctrl or Alt held). screenModeBuffer is true when SendBufferIndex is 14
// (SCN mode): then the arrow and numeric-pad step is skipped, as with Ctrl or Alt held.
TypedKey translateTypedKey(int32_t virtualKey, KeyModifiers modifiers, bool screenModeBuffer);

} // namespace dita
