#pragma once
// The fifteen canned messages: their source texts, the "%" tokens that stand for contact data,
// and the expansion of a source into the 8-bit text of a send buffer.
//
// Who calls it: the message-button handlers on the window thread (MessageButtons), the screen
// send pass on a send thread, the macro editor and the configuration code. Plain functions on
// values; no shared state, so any thread may call them. No Qt.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace dita {

constexpr int kMacroCount = 15;                 // M1 .. M15
constexpr std::size_t kMacroBufferBytes = 4096; // MacroSources and SendBuffers entries
// A buffer keeps its terminating zero, so a text holds at most this many 8-bit characters.
constexpr std::size_t kMacroMaxChars = kMacroBufferBytes - 1;

// Entries 1..15 hold the 8-bit (Latin-1) source texts of M1..M15; entry 0 is not used.
using MacroSources = std::array<std::string, kMacroCount + 1>;

constexpr char kTokenMark = '%';
constexpr char kBeaconToken = '1';
// "%1" becomes this character, which the send table keys as a carrier of the beacon time.
constexpr char kBeaconCarrierChar = '`';

// The texts a macro can insert, read at the moment of expansion and given as they stand in
// their controls (UTF-8, line breaks included). The names are those of the controls.
struct MacroFields {
    // main window
    std::string CallMemo;     // %a
    std::string MyCallMemo;   // %b
    std::string NameMemo;     // %c
    std::string RSTMemo;      // %e
    std::string MyRSTMemo;    // %f
    std::string XmitCntrMemo; // %i
    // macro editor
    std::string MyNameMemo;    // %d
    std::string QTHMemo;       // %g ("MyInfo")
    std::string MyQTHMemo;     // %h
    std::string GMTMemo;       // %j
    std::string LocalTimeMemo; // %k
};

// The field a token letter stands for, or nullptr when the letter is not one of "a".."k".
const std::string* tokenField(char token, const MacroFields& fields);

// One line of the editor's "Macro Keys" legend per token, in table order ("%a  = Call", ...).
const std::array<const char*, 12>& macroKeyLegend();

// Expands an 8-bit macro source into the 8-bit text of its send buffer:
// - "%a".."%k" insert the field's text converted to Latin-1; "%1" inserts the beacon carrier
//   character;
// - when the inserted text is empty and the next source character is a space, that space is
//   dropped too, so an empty field leaves no double space;
// - a "%" that does not start a token (an unknown letter, or "%" at the end) is copied as it
//   stands, together with the character after it;
// - the result is cut to kMacroMaxChars characters so that it fits the send buffer with its
//   terminating zero; a zero byte in the source ends it.
std::string ExpandMacro(std::string_view source, const MacroFields& fields);

// The key that sends macro n: "F1".."F10" for 1..10, "Ctrl+1".."Ctrl+5" for 11..15; empty
// for any other n.
std::string macroShortcut(int n);

// The object name of the message button of macro n ("MsgButton1".."MsgButton12",
// "MsgButton130", "MsgButton140", "MsgButton150") and its caption ("M1".."M15").
std::string messageButtonName(int n);
std::string messageButtonCaption(int n);

// The macro a command key of the typed-character sender stands for: F1..F10 (virtual keys
// 112..121) give 1..10 (Ctrl or not), Ctrl with "1".."5" gives 11..15; 0 for any other key.
int macroForKey(int virtualKey, bool ctrlHeld);

// Converts the editor's UTF-8 text to the 8-bit text of a macro source. Returns false (and
// leaves `out` alone) when the text has more than kMacroMaxChars 8-bit characters, so that a
// macro is never stored cut short.
bool macroSourceFromText(std::string_view utf8, std::string& out);

// The listing of "Show Macros": for n = 1..15 "Mn = ", the source text and a line feed.
// 8-bit text; every macro is listed in full.
std::string buildMacroListing(const MacroSources& sources);

} // namespace dita
